#include "archive/integrity.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/byte_order.h"
#include "base/sha256.h"
#include "support/payload_builder.h"
#include "support/zip_builder.h"

namespace xoq {
namespace {

std::string hex(const uint8_t* data, size_t length) {
  static const char digits[] = "0123456789abcdef";
  std::string text;
  for (size_t i = 0; i < length; ++i) {
    text += digits[data[i] >> 4];
    text += digits[data[i] & 15];
  }
  return text;
}

std::string sha256Hex(const std::string& text, size_t chunk = 1000000) {
  Sha256 hash;
  for (size_t i = 0; i < text.size(); i += chunk) {
    hash.update(reinterpret_cast<const uint8_t*>(text.data()) + i, std::min(chunk, text.size() - i));
  }
  const Sha256::Digest digest = hash.finish();
  return hex(digest.data(), digest.size());
}

TEST(Sha256, KnownVectors) {
  EXPECT_EQ(sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(sha256Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  const std::string million(1000000, 'a');
  EXPECT_EQ(sha256Hex(million), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
  // Fed in odd pieces, the same digest.
  EXPECT_EQ(sha256Hex(million, 77), sha256Hex(million));
}

TEST(Sha256, BothBlockFunctionsAgree) {
  // Known vectors through the portable code, then random data of many
  // lengths through both: the processor's SHA extensions where it has them.
  Sha256::allowAcceleration(false);
  EXPECT_EQ(sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(sha256Hex(std::string(1000000, 'a')), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
  std::string data;
  uint32_t seed = 12345;
  for (int i = 0; i < 70000; ++i) {
    seed = seed * 1103515245u + 12345u;
    data += static_cast<char>(seed >> 24);
  }
  std::vector<std::string> portable;
  for (size_t length : {0, 1, 55, 56, 63, 64, 65, 127, 128, 1000, 4096, 65537, 70000}) {
    portable.push_back(sha256Hex(data.substr(0, length), 333));
  }
  Sha256::allowAcceleration(true);
  size_t index = 0;
  for (size_t length : {0, 1, 55, 56, 63, 64, 65, 127, 128, 1000, 4096, 65537, 70000}) {
    EXPECT_EQ(sha256Hex(data.substr(0, length), 333), portable[index++]) << length;
  }
  EXPECT_EQ(sha256Hex(std::string(1000000, 'a')), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
  RecordProperty("accelerated", Sha256::accelerated() ? "yes" : "no");
}

// A file laid out like a packaged PE executable: an MZ header pointing to a
// PE32+ header, whose checksum and certificate entry signing rewrites.
class IntegrityValueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string image(1024, '\0');
    image[0] = 'M';
    image[1] = 'Z';
    writeLittle32(reinterpret_cast<uint8_t*>(&image[0x3C]), 0x80);
    image.replace(0x80, 4, std::string("PE\0\0", 4));
    image[0x80 + 24] = 0x0B;  // PE32+ magic 0x20B
    image[0x80 + 25] = 0x02;
    // An archive with one central directory entry (its content matters only
    // as bytes to protect).
    std::string archive = "local header and data";
    const uint32_t directoryOffset = static_cast<uint32_t>(archive.size());
    const std::string directory = "PK\x01\x02 central directory entry";
    archive += directory;
    std::string end("PK\x05\x06", 4);
    end.append(8, '\0');
    appendLittle32(end, static_cast<uint32_t>(directory.size()));
    appendLittle32(end, directoryOffset);
    appendLittle16(end, 0);
    archive += end;
    image_ = image;
    file_ = packaged(archive);
  }

  // The image with `archive` as its payload, sealed.
  std::string packaged(const std::string& archive) {
    testing::BuiltPayload built = testing::buildPayloadFile(image_, "\xEF\xBB\xBFmainclass a.B\r\n", archive);
    archiveLength_ = built.archiveLength;
    seal(built.file);
    return built.file;
  }

  PayloadLayout layout(const std::string& file) const {
    return computePayloadLayout(reinterpret_cast<const uint8_t*>(file.data()), file.size(), archiveLength_);
  }

  // Stores the value, as xoqpack does.
  void seal(std::string& file) const {
    const PayloadLayout l = layout(file);
    ASSERT_TRUE(l.fits);
    const IntegrityValue value = computeIntegrityValue(reinterpret_cast<const uint8_t*>(file.data()), l);
    file.replace(static_cast<size_t>(l.payloadPosition), value.size(),
                 std::string(reinterpret_cast<const char*>(value.data()), value.size()));
  }

  bool verifies(const std::string& file) const {
    return verifyIntegrity(reinterpret_cast<const uint8_t*>(file.data()), layout(file));
  }

  std::string image_;
  std::string file_;
  uint32_t archiveLength_ = 0;
};

TEST_F(IntegrityValueTest, OneChangedByteInAnyCoveredRegionIsSeen) {
  ASSERT_TRUE(verifies(file_));
  const PayloadLayout l = layout(file_);
  const size_t covered[] = {
      10,                                          // launcher image
      l.configStart + 5,                           // configuration block
      static_cast<size_t>(l.payloadPosition) - 4,  // configLength
      static_cast<size_t>(l.payloadPosition) + 3,  // the stored value itself
      l.centralDirectoryStart + 6,                 // central directory
      l.endRecord + 8,                             // end record: entry count
  };
  for (size_t position : covered) {
    std::string changed = file_;
    changed[position] = static_cast<char>(changed[position] ^ 0x01);
    EXPECT_FALSE(verifies(changed)) << position;
  }
}

TEST_F(IntegrityValueTest, ChangedZip64EndRecordOrLocatorIsSeen) {
  // More entries than the end record can count: the ZIP64 end record and
  // its locator lie between the central directory and the end record.
  testing::ZipBuilder builder;
  for (size_t i = 0; i < 65536; ++i) builder.stored("e" + std::to_string(i), "");
  const std::string file = packaged(builder.zip64End(testing::Zip64End::kArchiveOffset).build());
  ASSERT_TRUE(verifies(file));
  const PayloadLayout l = layout(file);
  ASSERT_TRUE(l.fits);
  const size_t locator = l.endRecord - 20;
  const size_t record = locator - 56;
  ASSERT_EQ(file.compare(record, 4, "PK\x06\x06"), 0);
  ASSERT_EQ(file.compare(locator, 4, "PK\x06\x07"), 0);
  for (size_t position : {record + 24, record + 32, record + 48, locator + 8}) {
    std::string changed = file;
    changed[position] = static_cast<char>(changed[position] ^ 0x01);
    EXPECT_FALSE(verifies(changed)) << position - record;
  }
}

TEST_F(IntegrityValueTest, WhatSigningChangesIsNotCovered) {
  std::string signedFile = file_;
  const size_t optional = 0x80 + 24;
  signedFile[optional + 64] = 0x55;                         // CheckSum
  signedFile[optional + 112 + 32] = 0x66;                   // certificate table: address
  signedFile[optional + 112 + 39] = 0x77;                   // certificate table: size
  signedFile += std::string(7, '\0') + "PKCS#7 signature";  // padding and signature
  EXPECT_TRUE(verifies(signedFile));
}

TEST_F(IntegrityValueTest, EntryDataAndCommentLengthAreNotCovered) {
  std::string changed = file_;
  const PayloadLayout l = layout(file_);
  changed[l.archiveStart + 2] = 'x';  // entry data: protected by its CRC-32 instead
  EXPECT_TRUE(verifies(changed));
  changed[l.endRecord + 20] = 9;  // comment length: a comment may be added later
  changed += "123456789";
  EXPECT_TRUE(verifies(changed));
}

TEST_F(IntegrityValueTest, PayloadThatDoesNotFitNeverVerifies) {
  for (size_t length : {size_t(0), size_t(100), file_.size() - 1}) {
    EXPECT_FALSE(verifies(file_.substr(0, length))) << length;
  }
}

}  // namespace
}  // namespace xoq
