// A packaged executable refuses to run once it has been changed: one byte
// anywhere the integrity value covers, and it shows message 9 and exits with
// code 9 before any other start-up step.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "config/payload.h"
#include "e2e/common/e2e_test.h"

namespace xoq {
namespace testing {
namespace {

const char kDamagedText[] = "The program file is damaged or has been changed.";

class Integrity : public EndToEnd {
 protected:
  void SetUp() override {
    writeFile(dir_.file("data.txt"), "some data for the archive");
    exe_ = package(exeName("app"), "jre_order c\r\nmainclass com.example.Main\r\nmessage 9=Not this text\r\n",
                   {{dir_.file("data.txt"), "data.txt"}}, kMessageTarget);
    whole_ = readFile(exe_);
    const std::string marker(kArchiveLengthMarker, kArchiveLengthMarkerSize);
    marker_ = whole_.find(marker);
    ASSERT_NE(marker_, std::string::npos);
    uint32_t archiveLength = 0;
    for (int i = 3; i >= 0; --i) archiveLength = (archiveLength << 8) | static_cast<uint8_t>(whole_[marker_ - 8 + i]);
    layout_ = computePayloadLayout(reinterpret_cast<const uint8_t*>(whole_.data()), whole_.size(), archiveLength);
    ASSERT_TRUE(layout_.fits);
  }

  ProcessResult runChanged(const std::string& content) {
    const std::string changed = dir_.file(exeName("changed"));
    writeFile(changed, content);
    makeExecutable(changed);
    return run(changed);
  }

  std::string flipped(size_t position) const {
    std::string content = whole_;
    content[position] = static_cast<char>(content[position] ^ 0x20);
    return content;
  }

  std::string exe_;
  std::string whole_;
  size_t marker_ = 0;
  PayloadLayout layout_;
};

TEST_F(Integrity, IntactFileRuns) {
  const ProcessResult result = run(exe_);
  EXPECT_EQ(result.exitCode, 1) << describe(result);
  EXPECT_TRUE(traced(result, "integrity: the stored value matches")) << describe(result);
  EXPECT_TRUE(traced(result, "launch thread started")) << describe(result);
}

TEST_F(Integrity, OneChangedByteInEachCoveredRegionIsRefused) {
  const std::string block = whole_.substr(layout_.configStart, layout_.configLength);
  const struct {
    const char* region;
    size_t position;
  } changes[] = {
      // The marker text is read by xoqpack only, so the image still loads.
      {"launcher image", marker_ + 4},
      {"configuration block", layout_.configStart + block.find("com.example")},
      {"configLength", static_cast<size_t>(layout_.payloadPosition) - 4},
      {"stored value", static_cast<size_t>(layout_.payloadPosition) + 7},
      {"central directory", layout_.centralDirectoryStart + 46 + 2},  // inside the first entry's name
      {"end record", layout_.endRecord + 8},                          // entry count
  };
  for (const auto& change : changes) {
    const ProcessResult result = runChanged(flipped(change.position));
    EXPECT_EQ(result.exitCode, 9) << change.region << ": " << describe(result);
    EXPECT_EQ(result.signal, 0) << change.region;
    // The built-in text: the configuration is part of what changed.
    EXPECT_NE(result.err.find(std::string("Error: ") + kDamagedText), std::string::npos)
        << change.region << ": " << describe(result);
    EXPECT_TRUE(traced(result, "integrity: the file is damaged or has been changed")) << change.region;
    EXPECT_FALSE(traced(result, "launch thread started")) << change.region << ": " << describe(result);
    EXPECT_FALSE(traced(result, "working directory")) << change.region << ": " << describe(result);
  }
}

TEST_F(Integrity, BytesAfterTheArchiveAreNotCovered) {
  // What signing tools and archive tools append: a comment, a certificate.
  const ProcessResult result = runChanged(whole_ + std::string(3000, '\x11'));
  EXPECT_EQ(result.exitCode, 1) << describe(result);
  EXPECT_TRUE(traced(result, "integrity: the stored value matches")) << describe(result);
  EXPECT_TRUE(traced(result, "comment 3000 bytes")) << describe(result);
}

}  // namespace
}  // namespace testing
}  // namespace xoq
