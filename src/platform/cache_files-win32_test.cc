// The cache's folders on Windows: only those of the user's own profile.
#include <gtest/gtest.h>

#include <string>

#include "platform/cache_files.h"
#include "platform/platform.h"
#include "support/files.h"

namespace xoq {
namespace platform {
namespace {

TEST(CacheFolderWindows, OnlyFoldersOfTheUsersProfile) {
  std::string profile, local, reason;
  ASSERT_TRUE(getEnvironment("USERPROFILE", profile));
  ASSERT_TRUE(getEnvironment("LOCALAPPDATA", local));
  EXPECT_TRUE(checkCacheFolder(profile, false, reason)) << reason;
  EXPECT_TRUE(checkCacheFolder(local, false, reason)) << reason;
  std::string windows;
  ASSERT_TRUE(getEnvironment("SystemRoot", windows));
  EXPECT_FALSE(checkCacheFolder(windows, false, reason));
  EXPECT_EQ(reason, "it is not inside the user's profile " + profile);
  // A folder that merely starts like the profile is not inside it.
  testing::TempDir dir;
  EXPECT_FALSE(checkCacheFolder(profile + "x", false, reason));
  // xoq's own folders: real folders only.
  EXPECT_TRUE(checkCacheFolder(dir.path(), true, reason)) << reason;
  testing::writeFile(dir.file("file"), "x");
  EXPECT_FALSE(checkCacheFolder(dir.file("file"), true, reason));
  EXPECT_EQ(reason, "it is not a folder");
}

}  // namespace
}  // namespace platform
}  // namespace xoq
