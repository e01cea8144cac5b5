// Jars whose classes look for the jar they came from as a file. Served from
// inside the executable, such a library gets no file and may fail (Ant's
// launcher, Jython's standard library, Spring's classpath*: scanning); the
// extract key unpacks it into the user's cache. xoqpack cannot tell whether
// the program reaches that code, so it only says so, one warning a jar.
//
// What is looked for, in the bytes of each class file, where the constant
// pool names every class, method and string constant a class uses:
//   java/security/CodeSource with getLocation   a class's code source location
//   java/net/JarURLConnection with getJarFile   the file behind a jar: URL
//                                               (getJarFile, getJarFileURL)
//   jar:file:                                   jar: URLs taken apart by hand
// Both names of a pair must be in the same class file. A name can be there
// for another use, so a warning may be one too many, never one that hides a
// fault: the program is packed as asked either way. Over Debian's jars it
// names about one in twenty (docs/configuration.md).
#ifndef XOQPACK_JAR_FILE_USERS_H_
#define XOQPACK_JAR_FILE_USERS_H_

#include <set>
#include <string>
#include <vector>

#include "packager.h"
#include "runtime_image.h"

namespace xoq {

/// The first class (as a dotted name) of the jar at `path`, in the jar's
/// order, whose class file shows one of the ways above; empty when none
/// does, and when the jar cannot be read (packing reads it again and says
/// so).
std::string classUsingItsJarFile(const std::string& path);

/// Warns once for each jar of `entries` (an entry name ending in .jar)
/// that is not in `extracted` and that classUsingItsJarFile names a class
/// of, suggesting --extract with the entry's name.
void warnOfJarFileUsers(const std::vector<PackEntry>& entries, const std::set<std::string>& extracted,
                        const Warn& warn);

}  // namespace xoq

#endif  // XOQPACK_JAR_FILE_USERS_H_
