#include "archive/cache_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/sha256.h"
#include "platform/cache_files.h"
#include "support/files.h"
#include "support/zip_builder.h"

namespace xoq {
namespace {

namespace fs = std::filesystem;
using ::xoq::testing::readFile;
using ::xoq::testing::TempDir;
using ::xoq::testing::writeFile;
using ::xoq::testing::ZipBuilder;

std::string digestOf(const std::string& bytes) {
  Sha256 hash;
  hash.update(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  const Sha256::Digest digest = hash.finish();
  return hexDigits(digest.data(), digest.size());
}

// An archive in memory that counts how often it is asked for.
class Content : public CacheContent {
 public:
  explicit Content(std::string bytes) : bytes_(std::move(bytes)) {}
  bool bytes(const uint8_t*& data, size_t& size, std::string&) override {
    ++asked;
    data = reinterpret_cast<const uint8_t*>(bytes_.data());
    size = bytes_.size();
    return true;
  }
  const std::string& archive() const { return bytes_; }
  int asked = 0;

 private:
  std::string bytes_;
};

std::string runtimeLikeArchive() {
  ZipBuilder zip;
  zip.directory("lib/");
  zip.deflated("lib/server/libjvm.so", std::string(70000, 'j'));
  zip.stored("release", "JAVA_VERSION=\"17\"\n");
  zip.deflated("lib/modules", std::string(5000, 'm') + "end");
  zip.stored("conf/empty", "");
  return zip.build();
}

// Every folder and file below `root`, relative, sorted.
std::vector<std::string> listing(const std::string& root) {
  std::vector<std::string> names;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
    names.push_back(fs::relative(entry.path(), root).generic_string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

class CacheFolder : public ::testing::Test {
 protected:
  // The path of `parts` below the cache root, as the system spells it.
  std::string inCache(const std::vector<std::string>& parts) const {
    std::string path = root_.substr(0, root_.size() - 1);
    for (const std::string& part : parts) path += platform::kPathSeparator + part;
    return path;
  }

  // A cache root of the test's own, private like a home's.
  CacheFolder() : root_(dir_.path() + "/cache/") { fs::create_directories(root_); }

  bool ensure(Content& content, std::string& folder, CacheFailure& failure) {
    return ensureCacheFolderIn(root_, "runtimes", digestOf(content.archive()), content, folder, failure);
  }

  TempDir dir_;
  std::string root_;
};

TEST_F(CacheFolder, FirstStartUnpacksLaterStartsOnlyLook) {
  Content content(runtimeLikeArchive());
  const std::string digest = digestOf(content.archive());
  std::string folder;
  CacheFailure failure;
  ASSERT_TRUE(ensure(content, folder, failure)) << failure.reason;
  EXPECT_EQ(folder, inCache({"xoq", "runtimes", digest}));
  EXPECT_EQ(content.asked, 1);
  EXPECT_EQ(readFile(folder + "/lib/server/libjvm.so"), std::string(70000, 'j'));
  EXPECT_EQ(readFile(folder + "/lib/modules"), std::string(5000, 'm') + "end");
  EXPECT_EQ(readFile(folder + "/conf/empty"), "");
  // One folder beside the lock, the marker listing every file with its size.
  EXPECT_EQ(listing(root_ + "xoq/runtimes"),
            (std::vector<std::string>{".lock", digest, digest + "/.xoq-unpacked", digest + "/conf",
                                      digest + "/conf/empty", digest + "/lib", digest + "/lib/modules",
                                      digest + "/lib/server", digest + "/lib/server/libjvm.so", digest + "/release"}));
  EXPECT_EQ(readFile(folder + "/.xoq-unpacked"), "xoq cache folder 1\ndigest " + digest +
                                                     "\nfiles 4\n70000 lib/server/libjvm.so\n18 release\n5003 "
                                                     "lib/modules\n0 conf/empty\n");
  // Later: the marker and the sizes, not the archive.
  std::string again;
  ASSERT_TRUE(ensure(content, again, failure));
  EXPECT_EQ(again, folder);
  EXPECT_EQ(content.asked, 1);
}

TEST_F(CacheFolder, DamageIsNoticedAndUnpackedAfresh) {
  Content content(runtimeLikeArchive());
  std::string folder;
  CacheFailure failure;
  ASSERT_TRUE(ensure(content, folder, failure));
  // A deleted file, a truncated one, a marker of something else: each time
  // the folder is made again from the archive.
  const std::vector<std::function<void()>> damages = {
      [&] { fs::remove(folder + "/lib/modules"); },
      [&] { fs::resize_file(folder + "/lib/server/libjvm.so", 100); },
      [&] { writeFile(folder + "/.xoq-unpacked", "xoq cache folder 1\ndigest 00\nfiles 0\n"); },
      [&] { fs::remove(folder + "/.xoq-unpacked"); },
  };
  int asked = 1;
  for (const auto& damage : damages) {
    damage();
    ASSERT_TRUE(ensure(content, folder, failure)) << failure.reason;
    EXPECT_EQ(content.asked, ++asked);
    EXPECT_EQ(readFile(folder + "/lib/server/libjvm.so"), std::string(70000, 'j'));
    EXPECT_EQ(readFile(folder + "/lib/modules"), std::string(5000, 'm') + "end");
    EXPECT_EQ(listing(root_ + "xoq/runtimes").size(), 10u);
  }
}

TEST_F(CacheFolder, WhatAKilledStartLeftIsRemoved) {
  Content content(runtimeLikeArchive());
  const std::string digest = digestOf(content.archive());
  // A start killed while unpacking: its folder under the temporary name,
  // half full, marker and all; never taken for the real one.
  writeFile(root_ + "xoq/runtimes/" + digest + ".partial/lib/modules", "half");
  writeFile(root_ + "xoq/runtimes/" + digest + ".partial/.xoq-unpacked", "xoq cache folder 1\n");
  fs::permissions(root_ + "xoq", fs::perms::owner_all, fs::perm_options::replace);
  fs::permissions(root_ + "xoq/runtimes", fs::perms::owner_all, fs::perm_options::replace);
  std::string folder;
  CacheFailure failure;
  ASSERT_TRUE(ensure(content, folder, failure)) << failure.reason;
  EXPECT_EQ(readFile(folder + "/lib/modules"), std::string(5000, 'm') + "end");
  EXPECT_FALSE(fs::exists(root_ + "xoq/runtimes/" + digest + ".partial"));
}

TEST_F(CacheFolder, ADamagedOrUnsafeArchiveLeavesNothing) {
  // Bytes that are not their digest's, a CRC that does not match, a name
  // that climbs out of the folder: message 9, and no folder.
  std::string archive = runtimeLikeArchive();
  Content wrongDigest(archive);
  std::string folder;
  CacheFailure failure;
  EXPECT_FALSE(ensureCacheFolderIn(root_, "runtimes", std::string(64, 'a'), wrongDigest, folder, failure));
  EXPECT_EQ(failure.messageId, 9);

  ZipBuilder badCrc;
  badCrc.stored("lib/a", "first");
  badCrc.stored("lib/b", "second");
  badCrc.last().crc ^= 1;
  Content crc(badCrc.build());
  failure = CacheFailure();
  EXPECT_FALSE(ensure(crc, folder, failure));
  EXPECT_EQ(failure.messageId, 9);
  EXPECT_NE(failure.reason.find("lib/b"), std::string::npos) << failure.reason;

  ZipBuilder climbing;
  climbing.stored("../escaped", "x");
  Content unsafe(climbing.build());
  failure = CacheFailure();
  EXPECT_FALSE(ensure(unsafe, folder, failure));
  EXPECT_EQ(failure.messageId, 9);
  EXPECT_FALSE(fs::exists(root_ + "xoq/escaped"));
  EXPECT_EQ(listing(root_ + "xoq/runtimes"), std::vector<std::string>{".lock"});
}

TEST(CacheMarker, OnlyAWholeMarkerOfTheSameDigestCounts) {
  const std::vector<CachedFile> files = {{"lib/a", 5}, {"b c", 0}};
  const std::string text = cacheMarkerText("ab12", files);
  std::vector<CachedFile> read;
  ASSERT_TRUE(parseCacheMarker(text, "ab12", read));
  ASSERT_EQ(read.size(), 2u);
  EXPECT_EQ(read[0].name, "lib/a");
  EXPECT_EQ(read[0].size, 5u);
  EXPECT_EQ(read[1].name, "b c");
  EXPECT_FALSE(parseCacheMarker(text, "ab13", read));
  EXPECT_FALSE(parseCacheMarker(text.substr(0, text.size() - 1), "ab12", read));  // cut short
  EXPECT_FALSE(parseCacheMarker(text.substr(0, text.size() - 4), "ab12", read));  // a line missing
  EXPECT_FALSE(parseCacheMarker(text + "9 extra\n", "ab12", read));               // one too many
  EXPECT_FALSE(parseCacheMarker(cacheMarkerText("ab12", {{"../x", 1}}), "ab12", read));
}

TEST(CacheMarker, SafeNames) {
  for (const char* name : {"lib/server/libjvm.so", "release", "a b/c"}) EXPECT_TRUE(isSafeCacheName(name)) << name;
  for (const char* name : {"", "/etc/passwd", "a//b", "./a", "a/../b", "..", "a\\b", "C:x", "a\nb"})
    EXPECT_FALSE(isSafeCacheName(name)) << name;
}

}  // namespace
}  // namespace xoq
