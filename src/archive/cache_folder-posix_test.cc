// The cache's folders on Linux: the rights that keep other users out.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "archive/cache_folder.h"
#include "base/sha256.h"
#include "support/files.h"
#include "support/zip_builder.h"

namespace xoq {
namespace {

namespace fs = std::filesystem;
using ::xoq::testing::TempDir;
using ::xoq::testing::ZipBuilder;

class Content : public CacheContent {
 public:
  Content() {
    ZipBuilder zip;
    zip.deflated("lib/server/libjvm.so", std::string(1000, 'j'));
    zip.stored("lib/jspawnhelper", "run me");
    bytes_ = zip.build();
    Sha256 hash;
    hash.update(reinterpret_cast<const uint8_t*>(bytes_.data()), bytes_.size());
    const Sha256::Digest value = hash.finish();
    digest = hexDigits(value.data(), value.size());
  }
  bool bytes(const uint8_t*& data, size_t& size, std::string&) override {
    ++asked;
    data = reinterpret_cast<const uint8_t*>(bytes_.data());
    size = bytes_.size();
    return true;
  }
  std::string digest;
  int asked = 0;

 private:
  std::string bytes_;
};

class CacheFolderRights : public ::testing::Test {
 protected:
  CacheFolderRights() : root_(dir_.path() + "/cache/") { fs::create_directories(root_); }
  bool ensure(Content& content, std::string& folder, CacheFailure& failure) {
    return ensureCacheFolderIn(root_, "runtimes", content.digest, content, folder, failure);
  }
  TempDir dir_;
  std::string root_;
};

TEST_F(CacheFolderRights, EveryFolderIsTheUsersAlone) {
  Content content;
  std::string folder;
  CacheFailure failure;
  ASSERT_TRUE(ensure(content, folder, failure)) << failure.reason;
  for (const std::string& path : {root_ + "xoq", root_ + "xoq/runtimes", folder, folder + "/lib/server"}) {
    struct stat info;
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u) << path;
  }
  struct stat info;
  ASSERT_EQ(stat((folder + "/lib/server/libjvm.so").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(CacheFolderRights, FoldersOthersMayChangeAreRefused) {
  Content content;
  std::string folder;
  CacheFailure failure;
  ASSERT_TRUE(ensure(content, folder, failure));
  // Group-writable, then a link in place of the folder: message 16 naming
  // the folder, and nothing is unpacked.
  fs::permissions(root_ + "xoq/runtimes", fs::perms::group_write, fs::perm_options::add);
  EXPECT_FALSE(ensure(content, folder, failure));
  EXPECT_EQ(failure.messageId, 16);
  EXPECT_EQ(failure.folder, root_ + "xoq/runtimes");
  EXPECT_EQ(failure.reason, "other users may write to it");
  fs::permissions(root_ + "xoq/runtimes", fs::perms::group_write, fs::perm_options::remove);

  fs::rename(folder, dir_.file("elsewhere"));
  fs::create_directory_symlink(dir_.file("elsewhere"), folder);
  failure = CacheFailure();
  EXPECT_FALSE(ensure(content, folder, failure));
  EXPECT_EQ(failure.messageId, 16);
  EXPECT_EQ(failure.reason, "it is a symbolic link, not a folder");
  EXPECT_EQ(content.asked, 1);

  // A cache root that others may write to.
  fs::remove(folder);
  fs::permissions(root_, fs::perms::others_write, fs::perm_options::add);
  failure = CacheFailure();
  EXPECT_FALSE(ensure(content, folder, failure));
  EXPECT_EQ(failure.messageId, 16);
  EXPECT_NE(failure.reason.find("other users may write to " + root_.substr(0, root_.size() - 1)), std::string::npos)
      << failure.reason;
}

}  // namespace
}  // namespace xoq
