// The main section of a jar's manifest (META-INF/MANIFEST.MF), read the way
// the Java runtime reads it, for the two attributes xoqpack follows.
#ifndef XOQPACK_JAR_MANIFEST_H_
#define XOQPACK_JAR_MANIFEST_H_

#include <string>

namespace xoq {

struct JarManifest {
  std::string mainClass;  // Main-Class, empty when absent
  std::string classPath;  // Class-Path, empty when absent
};

/// Reads the main section of a manifest text: lines of "Name: value" up to
/// the first empty line, a line that starts with a space continuing the one
/// before, names compared without regard to case.
JarManifest parseJarManifest(const std::string& text);

/// Reads the manifest of the jar at `path`; a jar without one gives an
/// empty manifest. False with `error` when the file is not a readable jar.
bool readJarManifest(const std::string& path, JarManifest& manifest, std::string& error);

}  // namespace xoq

#endif  // XOQPACK_JAR_MANIFEST_H_
