// Class-Path entries and manifests as the Java runtime reads them; the
// end-to-end tests compare whole packaged jars with `java -jar`.
#include "application_jar.h"

#include <gtest/gtest.h>

#include "jar_manifest.h"

namespace xoq {
namespace {

TEST(ClassPathEntry, ResolvesAsAUrlAgainstTheJarsFolder) {
  const std::string folder = "/apps/notes/";
  EXPECT_EQ(resolveClassPathEntry(folder, "lib/util.jar"), "/apps/notes/lib/util.jar");
  EXPECT_EQ(resolveClassPathEntry(folder, "./lib/../../shared/x.jar"), "/apps/shared/x.jar");
  EXPECT_EQ(resolveClassPathEntry(folder, "my%20lib%2b.jar"), "/apps/notes/my lib+.jar");
  EXPECT_EQ(resolveClassPathEntry(folder, "/usr/share/java/a.jar"), "/usr/share/java/a.jar");
  EXPECT_EQ(resolveClassPathEntry(folder, "file:/usr/share/java/a.jar"), "/usr/share/java/a.jar");
  EXPECT_EQ(resolveClassPathEntry(folder, "FILE:///usr/share/java/a.jar"), "/usr/share/java/a.jar");
  EXPECT_EQ(resolveClassPathEntry(folder, "file://localhost/a.jar"), "/a.jar");
  EXPECT_EQ(resolveClassPathEntry(folder, "file:lib/a.jar"), "/apps/notes/lib/a.jar");
  EXPECT_EQ(resolveClassPathEntry(folder, "file://server/share/a.jar"), "//server/share/a.jar");
  EXPECT_EQ(resolveClassPathEntry(folder, "a.jar#part"), "/apps/notes/a.jar");
  // Other schemes are ignored, as the runtime ignores them.
  EXPECT_EQ(resolveClassPathEntry(folder, "http://example.com/a.jar"), "");
  EXPECT_EQ(resolveClassPathEntry(folder, "c:/a.jar"), "");
}

TEST(JarManifest, ReadsTheMainSectionWithContinuationLines) {
  const JarManifest manifest = parseJarManifest(
      "Manifest-Version: 1.0\r\nclass-path: lib/a.jar lib/\r\n b.jar\r\nMAIN-CLASS: com.example.Main\r\n\r\n"
      "Name: com/example/\r\nMain-Class: not.This\r\n");
  EXPECT_EQ(manifest.mainClass, "com.example.Main");
  EXPECT_EQ(manifest.classPath, "lib/a.jar lib/b.jar");
  EXPECT_EQ(parseJarManifest("Main-Class: a.B\nClass-Path: x.jar").classPath, "x.jar");
}

}  // namespace
}  // namespace xoq
