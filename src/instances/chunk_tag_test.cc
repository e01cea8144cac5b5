#include "instances/chunk_tag.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace xoq {
namespace {

std::string hex(const ChunkTag& tag) {
  std::string text;
  char digits[3];
  for (uint8_t byte : tag) {
    snprintf(digits, sizeof digits, "%02x", byte);
    text += digits;
  }
  return text;
}

TEST(ChunkSigner, TagsAreTheHmacSha256OfTheFieldsAndTheData) {
  ChunkKey key;
  for (size_t i = 0; i < key.size(); ++i) key[i] = static_cast<uint8_t>(i);
  ChunkHeader header;
  header.sender = 1;
  header.target = 2;
  header.messageId = 3;
  header.capacity = 1024;
  header.messageLength = 5;
  header.chunkLength = 5;
  header.stamp = 0x0102030405060708u;
  const uint8_t data[] = {'h', 'e', 'l', 'l', 'o'};
  const ChunkSigner signer(key);
  // HMAC-SHA-256 of the eight fields as 32-bit and the stamp as 64-bit
  // little-endian integers, then the data, as Python's hmac module makes it.
  const ChunkTag tag = signer.tag(header, data);
  EXPECT_EQ(hex(tag), "224cf9d42d3a41eef12d5f1a3ec41d3ff71d5a2044dfd35594dd934339cc44b8");
  EXPECT_TRUE(signer.verify(header, data, tag));
  ChunkHeader changed = header;
  changed.target = 3;
  EXPECT_FALSE(signer.verify(changed, data, tag));
  ChunkKey otherKey = key;
  otherKey[31] ^= 1;
  EXPECT_FALSE(ChunkSigner(otherKey).verify(header, data, tag));
}

}  // namespace
}  // namespace xoq
