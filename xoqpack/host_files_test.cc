// xoqpack's file seam with the names users give it: letters of any script,
// blanks, and paths longer than Windows' MAX_PATH (260 characters). The same
// test runs on Linux and, under Wine, on Windows.
#include "host_files.h"

#include <gtest/gtest.h>

#include "path_names.h"
#include "support/files.h"

namespace xoq {
namespace {

bool writeThrough(const std::string& path, const std::string& content) {
  std::string reason;
  const host::FilePointer file = host::openFile(path, "wb", reason);
  EXPECT_TRUE(file) << path << ": " << reason;
  return file && fwrite(content.data(), 1, content.size(), file.get()) == content.size();
}

TEST(HostFiles, NamesInAnyScriptAndPathsPastMaxPath) {
  testing::TempDir dir;
  std::string reason;
  const std::string top = host::joinPath(dir.path(),
                                         "Gr\xC3\xBC\xC3\x9F"
                                         "e \xE6\x97\xA5\xE6\x9C\xAC");
  ASSERT_TRUE(host::makeFolder(top, reason)) << reason;
  std::string deep = top;
  std::string deepRelative;
  while (deep.size() < 300) {
    deep = host::joinPath(deep, "a folder with a long name 0123456789");
    deepRelative += "a folder with a long name 0123456789/";
    ASSERT_TRUE(host::makeFolder(deep, reason)) << reason;
  }
  EXPECT_TRUE(host::makeFolder(deep, reason)) << "an existing folder is no failure: " << reason;
  const std::string name =
      "\xC3\x9Cn\xC3\xAF"
      "code \xE2\x98\x83.jar";
  const std::string file = host::joinPath(deep, name);
  ASSERT_TRUE(writeThrough(file, "first"));
  ASSERT_TRUE(writeThrough(host::joinPath(top, "a.txt"), "a"));
  ASSERT_TRUE(host::makeFolder(host::joinPath(top, "z"), reason)) << reason;
  ASSERT_TRUE(writeThrough(host::joinPath(top, "z/\xC3\xA9.txt"), "e"));

  EXPECT_EQ(host::fileKind(file), host::FileKind::kFile);
  EXPECT_EQ(host::fileKind(deep), host::FileKind::kDirectory);
  EXPECT_EQ(host::fileKind(host::joinPath(deep, "missing")), host::FileKind::kMissing);
  std::string content;
  ASSERT_TRUE(host::readFile(file, content, reason)) << reason;
  EXPECT_EQ(content, "first");

  // Put in the place of the first in one step.
  ASSERT_TRUE(writeThrough(file + ".new", "second"));
  ASSERT_TRUE(host::replaceFile(file + ".new", file, reason)) << reason;
  ASSERT_TRUE(host::readFile(file, content, reason)) << reason;
  EXPECT_EQ(content, "second");
  EXPECT_EQ(host::fileKind(file + ".new"), host::FileKind::kMissing);

  // Every file below, '/'-separated and sorted by its bytes.
  std::vector<std::string> files;
  ASSERT_TRUE(host::listFiles(top, files, reason)) << reason;
  // (' ' sorts before '.')
  EXPECT_EQ(files, (std::vector<std::string>{deepRelative + name, "a.txt", "z/\xC3\xA9.txt"}));

  // The same file by other names.
  EXPECT_EQ(fileNameOf(host::canonicalPath(file)), name);
  EXPECT_EQ(host::absolutePath(host::joinPath(deep, "x/../" + name)), host::absolutePath(file));
  EXPECT_EQ(host::joinPath(host::folderOf(host::absolutePath(file)), name), host::absolutePath(file));

  // Failures in the words the user gets on either system.
  EXPECT_FALSE(host::readFile(host::joinPath(top, "missing.jar"), content, reason));
  EXPECT_EQ(reason, "No such file or directory");
  EXPECT_FALSE(host::openFile(host::joinPath(top, "no/such/out.exe"), "w+b", reason));
  EXPECT_EQ(reason, "No such file or directory");
  EXPECT_FALSE(host::listFiles(host::joinPath(top, "missing"), files, reason));

  ASSERT_TRUE(host::removeTree(top, reason)) << reason;
  EXPECT_EQ(host::fileKind(top), host::FileKind::kMissing);
  EXPECT_TRUE(host::removeTree(top, reason)) << "a missing tree is no failure: " << reason;
}

TEST(HostFiles, FileUrlPathsRoundTrip) {
  testing::TempDir dir;
  const std::string path = host::absolutePath(host::joinPath(dir.path(), "lib/a b.jar"));
  const std::string url = host::fileUrlPath(path);
  EXPECT_EQ(url[0], '/') << url;
  EXPECT_EQ(url.find('\\'), std::string::npos) << url;
  EXPECT_EQ(host::pathOfFileUrl(url), path);
}

}  // namespace
}  // namespace xoq
