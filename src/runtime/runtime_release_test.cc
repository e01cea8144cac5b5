#include "runtime/runtime_release.h"

#include <gtest/gtest.h>

#include <string>

#include "support/files.h"

namespace xoq {
namespace {

TEST(RuntimeRelease, FeatureVersions) {
  EXPECT_EQ(featureVersion("17.0.15"), 17);
  EXPECT_EQ(featureVersion("25"), 25);
  EXPECT_EQ(featureVersion("1.8.0_402"), 8);
  EXPECT_EQ(featureVersion("9-ea"), 9);
  EXPECT_EQ(featureVersion(""), 0);
  EXPECT_EQ(featureVersion("\"17\""), 0);
}

TEST(RuntimeRelease, FoundAboveTheLibraryInEachLayout) {
  testing::TempDir dir;
  // A modern runtime (lib/server), an old kit (jre/lib/amd64/server, the
  // file in the kit's folder), and a Windows runtime with CR LF lines.
  testing::writeFile(dir.file("jdk17/release"), "IMPLEMENTOR=\"x\"\nJAVA_VERSION=\"17.0.15\"\n");
  testing::writeFile(dir.file("jdk8/release"), "JAVA_VERSION=\"1.8.0_402\"\n");
  testing::writeFile(dir.file("win/release"), "JAVA_VERSION=\"25.0.3\"\r\nOS_NAME=\"Windows\"\r\n");
  EXPECT_EQ(readRuntimeRelease(dir.file("jdk17/lib/server/libjvm.so")).feature, 17);
  const RuntimeRelease old = readRuntimeRelease(dir.file("jdk8/jre/lib/amd64/server/libjvm.so"));
  EXPECT_EQ(old.version, "1.8.0_402");
  EXPECT_EQ(old.feature, 8);
  EXPECT_EQ(readRuntimeRelease(dir.file("win\\bin\\server\\jvm.dll")).version, "25.0.3");

  // No release file, or one without a version: unknown.
  testing::writeFile(dir.file("bare/release"), "OS_NAME=\"Linux\"\n");
  EXPECT_EQ(readRuntimeRelease(dir.file("bare/lib/server/libjvm.so")).feature, 0);
  EXPECT_EQ(readRuntimeRelease("libjvm.so").feature, 0);
}

TEST(RuntimeRelease, VersionsInOrder) {
  // Oldest first; neighbours compare as older, each with itself as equal.
  const char* const ordered[] = {"",  "abc",    "1.6.0_45", "1.8.0",   "1.8.0_9", "1.8.0_402",
                                 "9", "11.0.2", "17",       "17.0.15", "25",      "25.0.3"};
  const size_t count = sizeof ordered / sizeof ordered[0];
  for (size_t i = 0; i < count; ++i) {
    for (size_t k = 0; k < count; ++k) {
      const int order = compareJavaVersions(ordered[i], ordered[k]);
      const bool same = i == k || (i <= 1 && k <= 1);  // neither begins with a number
      if (same) {
        EXPECT_EQ(order, 0) << ordered[i] << " " << ordered[k];
      } else {
        EXPECT_EQ(order < 0, i < k) << ordered[i] << " " << ordered[k];
        EXPECT_NE(order, 0) << ordered[i] << " " << ordered[k];
      }
    }
  }
  // A missing number counts as 0; what follows the numbers does not count.
  EXPECT_EQ(compareJavaVersions("17", "17.0.0"), 0);
  EXPECT_EQ(compareJavaVersions("21.0.2+13", "21.0.2"), 0);
  EXPECT_EQ(compareJavaVersions("9-ea", "9"), 0);
}

}  // namespace
}  // namespace xoq
