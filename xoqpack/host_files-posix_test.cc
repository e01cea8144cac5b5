// The POSIX spelling of paths and file URLs, and links below a folder.
#include <gtest/gtest.h>
#include <unistd.h>

#include "host_files.h"
#include "support/files.h"

namespace xoq {
namespace {

TEST(HostFilesPosix, PathsAreTheirOwnUrlPaths) {
  EXPECT_EQ(host::fileUrlPath("/home/a/x.jar"), "/home/a/x.jar");
  EXPECT_EQ(host::pathOfFileUrl("/home/a/x.jar"), "/home/a/x.jar");
  // Another machine's file is no path here.
  EXPECT_EQ(host::pathOfFileUrl("//server/share/x.jar"), "");
  EXPECT_EQ(host::joinPath("/a/", "b/c.jar"), "/a/b/c.jar");
  EXPECT_EQ(host::joinPath("/a", "b/c.jar"), "/a/b/c.jar");
  EXPECT_EQ(host::folderOf("/a/b\\c.jar"), "/a/");
  EXPECT_EQ(host::folderOf("c.jar"), "");
}

TEST(HostFilesPosix, LinkedFilesAreListedAndLinkedFoldersNotEntered) {
  testing::TempDir dir;
  testing::writeFile(dir.file("tree/real.txt"), "r");
  testing::writeFile(dir.file("elsewhere/inside.txt"), "i");
  ASSERT_EQ(symlink(dir.file("tree/real.txt").c_str(), dir.file("tree/link.txt").c_str()), 0);
  ASSERT_EQ(symlink(dir.file("elsewhere").c_str(), dir.file("tree/folder").c_str()), 0);
  ASSERT_EQ(symlink(dir.file("nowhere").c_str(), dir.file("tree/dangling").c_str()), 0);
  std::vector<std::string> files;
  std::string reason;
  ASSERT_TRUE(host::listFiles(dir.file("tree"), files, reason)) << reason;
  EXPECT_EQ(files, (std::vector<std::string>{"link.txt", "real.txt"}));
  // Removing the tree removes the links, not what they point to.
  ASSERT_TRUE(host::removeTree(dir.file("tree"), reason)) << reason;
  EXPECT_EQ(host::fileKind(dir.file("elsewhere/inside.txt")), host::FileKind::kFile);
}

}  // namespace
}  // namespace xoq
