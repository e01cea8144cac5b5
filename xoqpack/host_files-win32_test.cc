// The Windows spelling of paths and file URLs: drive letters, backslashes,
// network shares and the extended-length form.
#include <gtest/gtest.h>

#include "host_files.h"
#include "support/files.h"

namespace xoq {
namespace {

TEST(HostFilesWin32, DrivesSharesAndExtendedPathsAsUrlPaths) {
  EXPECT_EQ(host::fileUrlPath("C:\\a b\\x.jar"), "/C:/a b/x.jar");
  EXPECT_EQ(host::fileUrlPath("\\\\host\\share\\x.jar"), "//host/share/x.jar");
  EXPECT_EQ(host::fileUrlPath("\\\\?\\C:\\a\\x.jar"), "/C:/a/x.jar");
  EXPECT_EQ(host::fileUrlPath("\\\\?\\UNC\\host\\share\\x.jar"), "//host/share/x.jar");
  EXPECT_EQ(host::pathOfFileUrl("/C:/a b/x.jar"), "C:\\a b\\x.jar");
  EXPECT_EQ(host::pathOfFileUrl("//host/share/x.jar"), "\\\\host\\share\\x.jar");
  EXPECT_EQ(host::joinPath("C:\\a", "b/c.jar"), "C:\\a\\b\\c.jar");
  EXPECT_EQ(host::joinPath("C:/a/", "c.jar"), "C:/a/c.jar");
  EXPECT_EQ(host::folderOf("C:\\a\\b.jar"), "C:\\a\\");
  EXPECT_EQ(host::folderOf("C:/a/b.jar"), "C:/a/");
  EXPECT_EQ(host::folderOf("C:b.jar"), "C:");
}

TEST(HostFilesWin32, SlashesBackslashesAndTheExtendedFormNameOneFile) {
  testing::TempDir dir;  // "C:/users/.../Temp/xoq-test-...", with slashes
  testing::writeFile(dir.file("sub/x.txt"), "x");
  std::string backslashed = dir.file("sub/x.txt");
  for (char& c : backslashed) {
    if (c == '/') c = '\\';
  }
  const std::string absolute = host::absolutePath(dir.file("sub/x.txt"));
  EXPECT_EQ(absolute, backslashed);
  EXPECT_EQ(host::absolutePath(dir.file("sub/../sub/./x.txt")), backslashed);
  std::string content;
  std::string reason;
  for (const std::string& path : {dir.file("sub/x.txt"), backslashed, "\\\\?\\" + backslashed}) {
    EXPECT_EQ(host::fileKind(path), host::FileKind::kFile) << path;
    ASSERT_TRUE(host::readFile(path, content, reason)) << path << ": " << reason;
    EXPECT_EQ(content, "x");
  }
  EXPECT_EQ(host::canonicalPath(dir.file("sub/x.txt")), backslashed);
}

}  // namespace
}  // namespace xoq
