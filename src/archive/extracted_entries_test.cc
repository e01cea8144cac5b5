#include "archive/extracted_entries.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "archive/archive_node.h"
#include "archive/cache_folder.h"
#include "support/files.h"
#include "support/zip_builder.h"

namespace xoq {
namespace {

using ::xoq::testing::readFile;
using ::xoq::testing::TempDir;
using ::xoq::testing::ZipBuilder;

TEST(ExtractedEntries, PatternsNameFilesAsTheDocsSay) {
  struct Case {
    const char* pattern;
    const char* name;
    bool named;
  };
  const Case cases[] = {
      {"lib/ant.jar", "lib/ant.jar", true},
      {"lib/ant.jar", "lib/ant.jar.old", false},
      {"lib/*.jar", "lib/ant.jar", true},
      {"lib/*.jar", "lib/sub/ant.jar", false},
      {"lib/*.jar", "lib/.jar", true},
      {"*.jar", "lib/ant.jar", false},
      {"*/*.jar", "lib/ant.jar", true},
      {"native/libz?.so", "native/libz1.so", true},
      {"native/libz?.so", "native/libz12.so", false},
      {"native/", "native/a/b.dll", true},
      {"native/", "native/", false},
      {"native/", "nativeX/a.dll", false},
      {"lib/*", "lib/", false},
      {"LIB/*.jar", "lib/ant.jar", false},
      {"a*b*c", "aXbYbZc", true},
      {"a*b*c", "aXbYcZ", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(extractPatternMatches(c.pattern, c.name), c.named) << c.pattern << " " << c.name;

  // Value by value, each in the archive's order, every entry once; a value
  // that names nothing is told.
  const std::vector<std::string_view> names = {"app.jar", "lib/", "lib/b.jar", "lib/a.jar", "native/x.so"};
  std::vector<std::string> unmatched;
  EXPECT_EQ(selectExtractedEntries(names, {"lib/a.jar", "lib/*.jar", "none/*", "native/"}, &unmatched),
            (std::vector<size_t>{3, 2, 4}));
  EXPECT_EQ(unmatched, std::vector<std::string>{"none/*"});

  EXPECT_TRUE(isNativeLibraryName("native/zlib1.DLL"));
  EXPECT_TRUE(isNativeLibraryName("libfoo.so"));
  EXPECT_TRUE(isNativeLibraryName("lib/libfoo.so.1.2"));
  EXPECT_FALSE(isNativeLibraryName("lib/libfoo.so.txt"));
  EXPECT_FALSE(isNativeLibraryName("lib/.so.1"));
  EXPECT_FALSE(isNativeLibraryName("lib/ant.jar"));
}

// The digest that xoqpack records travels in the central directory; a jar
// that carries one is left to the class path, the others are opened.
TEST(ExtractedEntries, RecordedDigestsAndTheLoaderLeavingMarkedJarsOut) {
  ContentDigest digest;
  for (size_t i = 0; i < digest.size(); ++i) digest[i] = static_cast<uint8_t>(i * 7);
  const std::string inner = ZipBuilder().deflated("p/A.class", "class bytes").build();
  ZipBuilder outer;
  outer.stored("marked.jar", inner);
  outer.last().centralExtra = std::string("\x55\x54\x01\x00\x00", 5) + contentDigestBlock(digest);
  outer.stored("plain.jar", inner);
  outer.stored("short.jar", inner);
  outer.last().centralExtra = contentDigestBlock(digest).substr(0, 4 + 16).replace(2, 1, "\x10");
  const std::string bytes = outer.build();

  ZipReader zip;
  ASSERT_EQ(zip.open(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), nullptr);
  ContentDigest read;
  ASSERT_TRUE(recordedContentDigest(zip, zip.entries()[0], read));
  EXPECT_EQ(read, digest);
  EXPECT_FALSE(recordedContentDigest(zip, zip.entries()[1], read));
  EXPECT_FALSE(recordedContentDigest(zip, zip.entries()[2], read));  // 16 bytes are no SHA-256

  ArchiveNode node(kPayloadNestingDepth);
  std::unique_ptr<uint8_t[]> copy(new uint8_t[bytes.size()]);
  std::copy(bytes.begin(), bytes.end(), copy.get());
  ASSERT_TRUE(openArchiveMemory(node, std::move(copy), bytes.size()));
  EXPECT_EQ(node.nestedNames(), (std::vector<std::string>{"plain.jar", "short.jar"}));
}

// A content that is part of a larger archive: only its entries are
// unpacked, and an entry whose bytes it refuses leaves nothing behind.
class PartOfArchive : public CacheContent {
 public:
  explicit PartOfArchive(std::string bytes) : bytes_(std::move(bytes)) {}
  bool bytes(const uint8_t*& data, size_t& size, std::string&) override {
    data = reinterpret_cast<const uint8_t*>(bytes_.data());
    size = bytes_.size();
    return true;
  }
  bool matchesDigest(const uint8_t*, size_t, const std::string&) override { return true; }
  bool selects(const std::string& name) const override { return name.compare(0, 4, "lib/") == 0; }
  bool accepts(const std::string& name, const uint8_t*, size_t, std::string& reason) override {
    reason = "refused " + name;
    return name != refused;
  }
  std::string refused;

 private:
  std::string bytes_;
};

TEST(ExtractedEntries, CacheFolderOfSelectedEntries) {
  TempDir dir;
  const std::string root = dir.path() + "/cache/";
  std::filesystem::create_directories(root);
  PartOfArchive content(ZipBuilder()
                            .deflated("app/Main.class", "main")
                            .stored("lib/a.jar", "jar a")
                            .deflated("lib/x/b.so", std::string(3000, 'b'))
                            .build());
  const std::string digest(64, 'a');
  std::string folder;
  CacheFailure failure;
  ASSERT_TRUE(ensureCacheFolderIn(root, "files", digest, content, folder, failure)) << failure.reason;
  EXPECT_EQ(readFile(folder + "/lib/a.jar"), "jar a");
  EXPECT_EQ(readFile(folder + "/lib/x/b.so"), std::string(3000, 'b'));
  EXPECT_FALSE(std::filesystem::exists(folder + "/app"));

  content.refused = "lib/x/b.so";
  ASSERT_TRUE(ensureCacheFolderIn(root, "files", std::string(64, 'b'), content, folder, failure) == false);
  EXPECT_EQ(failure.messageId, 9);
  EXPECT_EQ(failure.reason, "refused lib/x/b.so");
  std::vector<std::string> left;
  for (const auto& entry : std::filesystem::directory_iterator(root + "xoq/files")) {
    left.push_back(entry.path().filename().string());
  }
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{".lock", digest}));
}

}  // namespace
}  // namespace xoq
