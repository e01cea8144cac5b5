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
};

/// Collects the jar at `path` and, with `followClassPath`, the jars its
/// Class-Path names, theirs in turn, depth first in the runtime's order,
/// each file once however often it is named. False with a one-line `error`
/// for an unreadable jar and for a Class-Path entry that does not exist or
/// names a folder, naming the entry and the jar whose manifest names it.
bool collectApplicationJar(const std::string& path, bool followClassPath, ApplicationJar& result, std::string& error);

/// The file a Class-Path entry names, resolved against `folder` (the naming
/// jar's folder, with its trailing '/') as the runtime resolves a URL
/// against the jar's file: URL: relative references and file: URLs,
/// percent escapes decoded, "." and ".." folded. Empty for a URL of another
/// scheme, which the runtime ignores.
std::string resolveClassPathEntry(const std::string& folder, const std::string& entry);

}  // namespace xoq

#endif  // XOQPACK_APPLICATION_JAR_H_
