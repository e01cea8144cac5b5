#include "instances/chunk_tag.h"

namespace xoq {

namespace {

constexpr size_t kBlockSize = 64;

// Little-endian, as the block stores them, so that both systems agree.
void putLittleEndian(uint8_t* out, uint64_t value, int size) {
  for (int i = 0; i < size; ++i) out[i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

ChunkSigner::ChunkSigner(const ChunkKey& key) {
  uint8_t pad[kBlockSize];
  for (size_t i = 0; i < kBlockSize; ++i) pad[i] = static_cast<uint8_t>((i < key.size() ? key[i] : 0) ^ 0x36);
  inner_.update(pad, sizeof pad);
  for (size_t i = 0; i < kBlockSize; ++i) pad[i] = static_cast<uint8_t>((i < key.size() ? key[i] : 0) ^ 0x5c);
  outer_.update(pad, sizeof pad);
}

ChunkTag ChunkSigner::tag(const ChunkHeader& header, const uint8_t* data) const {
  uint8_t fields[8 * 4 + 8];
  const int32_t values[] = {header.sender,         header.target,   header.messageId,     header.chunkIndex,
                            header.lastChunkIndex, header.capacity, header.messageLength, header.chunkLength};
  for (size_t i = 0; i < 8; ++i) putLittleEndian(fields + 4 * i, static_cast<uint32_t>(values[i]), 4);
  putLittleEndian(fields + 32, header.stamp, 8);
  Sha256 inner = inner_;
  inner.update(fields, sizeof fields);
  if (header.chunkLength > 0) inner.update(data, static_cast<size_t>(header.chunkLength));
  const Sha256::Digest innerDigest = inner.finish();
  Sha256 outer = outer_;
  outer.update(innerDigest.data(), innerDigest.size());
  return outer.finish();
}

bool ChunkSigner::verify(const ChunkHeader& header, const uint8_t* data, const ChunkTag& tag) const {
  const ChunkTag expected = this->tag(header, data);
  uint8_t difference = 0;
  for (size_t i = 0; i < expected.size(); ++i) difference |= static_cast<uint8_t>(expected[i] ^ tag[i]);
  return difference == 0;
}

}  // namespace xoq
