// Packaging straight from an application jar: its Main-Class, and the jars
// that its manifest's Class-Path names, followed the way the Java runtime
// follows them for `java -jar`, so that a jar that depends on its
// Class-Path still finds its libraries inside the executable.
#ifndef XOQPACK_APPLICATION_JAR_H_
#define XOQPACK_APPLICATION_JAR_H_

#include <string>
#include <vector>

#include "packager.h"

namespace xoq {

struct ApplicationJar {
  std::string mainClass;        // from the manifest; empty when it has none
  std::vector<PackEntry> jars;  // the jar at the archive's top, then each Class-Path jar once under lib/
  // One line each: the Class-Path entries left out, and what the jar's
  // manifest asks of java -jar that the packaged program does not do.
  std::vector<std::string> warnings;
};

/// Collects the jar at `path` and, with `followClassPath`, the jars its
/// Class-Path names, theirs in turn, depth first in the runtime's order,
/// each file once however often it is named, each stored under a name that
/// ends like an archive. A Class-Path entry that java -jar passes over (not
/// there, not a jar, a folder) is a warning when a library names it; false
/// with a one-line `error` naming the entry when the application jar does
/// (folders aside), and when the application jar cannot be read.
bool collectApplicationJar(const std::string& path, bool followClassPath, ApplicationJar& result, std::string& error);

/// The file a Class-Path entry names, resolved against `folder` (the naming
/// jar's folder, with its trailing '/') as the runtime resolves a URL
/// against the jar's file: URL: relative references and file: URLs,
/// percent escapes decoded, "." and ".." folded; a file: URL's host
/// "localhost" (any case) is this machine, another host's file comes back
/// as "//host/path". Empty for a URL of another scheme, which the runtime
/// ignores.
std::string resolveClassPathEntry(const std::string& folder, const std::string& entry);

}  // namespace xoq

#endif  // XOQPACK_APPLICATION_JAR_H_
