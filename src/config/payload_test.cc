#include "config/payload.h"

#include <gtest/gtest.h>

#include <string>

#include "base/byte_order.h"
#include "support/payload_builder.h"

namespace xoq {
namespace {

const uint8_t* bytes(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

PayloadLayout layoutOf(const std::string& file, uint32_t archiveLength) {
  return computePayloadLayout(bytes(file), file.size(), archiveLength);
}

TEST(PayloadLayout, PositionsWithoutComment) {
  const std::string image(1000, 'I');
  const std::string block = "\xEF\xBB\xBFmainclass a.B\r\n";
  const testing::BuiltPayload built = testing::buildPayloadFile(image, block);
  const PayloadLayout layout = layoutOf(built.file, built.archiveLength);
  ASSERT_TRUE(layout.fits);
  EXPECT_EQ(layout.commentLength, 0u);
  EXPECT_EQ(layout.configStart, 1000u);
  EXPECT_EQ(layout.configLength, block.size() + 1);
  EXPECT_EQ(layout.payloadPosition, static_cast<int64_t>(1000 + block.size() + 1 + 4));
  EXPECT_EQ(layout.archiveStart, layout.payloadPosition + 16);
  // The last 22 bytes of the file are the end record.
  EXPECT_EQ(layout.endRecord, built.file.size() - 22);
}

TEST(PayloadLayout, CommentAddedAfterPackagingKeepsThePosition) {
  const testing::BuiltPayload plain = testing::buildPayloadFile("image", "text");
  const testing::BuiltPayload commented =
      testing::buildPayloadFile("image", "text", testing::emptyZipArchive(), "signature bytes");
  const PayloadLayout a = layoutOf(plain.file, plain.archiveLength);
  const PayloadLayout b = layoutOf(commented.file, commented.archiveLength);
  EXPECT_EQ(commented.file.size(), plain.file.size() + 15);
  EXPECT_EQ(b.commentLength, 15u);
  EXPECT_EQ(a.payloadPosition, b.payloadPosition);
  EXPECT_TRUE(b.fits);
}

TEST(PayloadLayout, SearchWindowCoversSmallFilesWhole) {
  // A file far shorter than the 51200 + 22 byte window: the record sits at
  // the very first byte and is still found.
  const std::string file = testing::emptyZipArchive() + std::string(100, 'c');
  EXPECT_EQ(findArchiveCommentLength(bytes(file), file.size()), 100u);
  // Too short to hold a record at all.
  EXPECT_EQ(findArchiveCommentLength(bytes(file), 21), 0u);
  EXPECT_EQ(findArchiveCommentLength(nullptr, 0), 0u);
}

TEST(PayloadLayout, RecordBeyondTheWindowIsNotFound) {
  const std::string file = testing::emptyZipArchive() + std::string(60000, 'c');
  EXPECT_EQ(findArchiveCommentLength(bytes(file), file.size()), 0u);
  // The window grows with the file: one hundredth of it.
  const std::string large = std::string(10000000, 'x') + testing::emptyZipArchive() + std::string(60000, 'c');
  EXPECT_EQ(findArchiveCommentLength(bytes(large), large.size()), 60000u);
}

TEST(PayloadLayout, LastSignatureWins) {
  const std::string file = testing::emptyZipArchive() + "x" + testing::emptyZipArchive() + "yy";
  EXPECT_EQ(findArchiveCommentLength(bytes(file), file.size()), 2u);
}

TEST(PayloadLayout, StoredLengthCountsTheNul) {
  const std::string block(186, 'k');
  const testing::BuiltPayload built = testing::buildPayloadFile("img", block);
  const PayloadLayout layout = layoutOf(built.file, built.archiveLength);
  ASSERT_TRUE(layout.configFits);
  EXPECT_EQ(readLittle32(bytes(built.file) + layout.payloadPosition - 4), 187u);
  EXPECT_EQ(built.file.substr(layout.configStart, 186), block);
}

TEST(PayloadLayout, TruncatedFilesNeverFitAndNeverReadOutside) {
  const testing::BuiltPayload built = testing::buildPayloadFile(std::string(300, 'I'), "mainclass x\r\n");
  for (size_t length = 0; length < built.file.size(); ++length) {
    // A copy of exactly `length` bytes, so that AddressSanitizer sees any
    // read past its end.
    const std::string truncated = built.file.substr(0, length);
    const PayloadLayout layout = layoutOf(truncated, built.archiveLength);
    EXPECT_FALSE(layout.fits) << length;
  }
}

TEST(PayloadLayout, DamagedFieldsDoNotFit) {
  const testing::BuiltPayload built = testing::buildPayloadFile("image", "text");
  EXPECT_FALSE(layoutOf(built.file, built.archiveLength + 1000).fits);
  EXPECT_FALSE(layoutOf(built.file, 0xFFFFFFFFu).configFits);

  std::string badLength = built.file;
  const PayloadLayout layout = layoutOf(built.file, built.archiveLength);
  writeLittle32(reinterpret_cast<uint8_t*>(&badLength[0]) + layout.payloadPosition - 4, 0x7FFFFFFF);
  EXPECT_FALSE(layoutOf(badLength, built.archiveLength).configFits);
  writeLittle32(reinterpret_cast<uint8_t*>(&badLength[0]) + layout.payloadPosition - 4, 0);
  EXPECT_FALSE(layoutOf(badLength, built.archiveLength).configFits);

  // A central directory that claims to lie beyond the end record.
  std::string badDirectory = built.file;
  writeLittle32(reinterpret_cast<uint8_t*>(&badDirectory[0]) + layout.endRecord + 12, 5000);
  EXPECT_TRUE(layoutOf(badDirectory, built.archiveLength).configFits);
  EXPECT_FALSE(layoutOf(badDirectory, built.archiveLength).fits);
}

}  // namespace
}  // namespace xoq
