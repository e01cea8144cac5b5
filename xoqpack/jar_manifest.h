// The main section of a jar's manifest (META-INF/MANIFEST.MF), read the way
// the Java runtime reads it, for the attributes xoqpack acts on.
#ifndef XOQPACK_JAR_MANIFEST_H_
#define XOQPACK_JAR_MANIFEST_H_

#include <string>
#include <utility>
#include <vector>

namespace xoq {

struct JarManifest {
  std::string mainClass;  // Main-Class as the launcher loads it; empty when absent
  std::string classPath;  // Class-Path, empty when absent
  // Attributes `java -jar` acts on in the application jar and a packaged
  // program does not (Add-Opens, Launcher-Agent-Class, ...): name and value,
  // in the manifest's order.
  std::vector<std::pair<std::string, std::string>> launcherOnly;
};

/// Reads the main section of a manifest text: lines of "Name: value" up to
/// the first empty line, a line that starts with a space continuing the one
/// before, names compared without regard to case. Main-Class is trimmed and
/// its '/' turned into '.', as the Java launcher does before loading it.
JarManifest parseJarManifest(const std::string& text);

/// Reads the manifest of the jar at `path`; a jar without one gives an
/// empty manifest. False with `error` when the file is not a readable jar.
bool readJarManifest(const std::string& path, JarManifest& manifest, std::string& error);

}  // namespace xoq

#endif  // XOQPACK_JAR_MANIFEST_H_
