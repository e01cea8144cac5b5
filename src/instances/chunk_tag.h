// The tag that makes a chunk authentic: an HMAC-SHA-256 over the chunk's
// header fields, its stamp and its data, keyed with a secret that only the
// user who runs the instances can read (platform/user_secret.h).
//
// On Windows the instance block is a section of the image that every
// process running the file can read and write, whatever its user; anybody
// could write a chunk there and name any sender. Without the key nobody can
// make a tag that verifies, so a receiver takes only chunks that a process
// of its own user wrote, unchanged and addressed to it.
#ifndef XOQ_INSTANCES_CHUNK_TAG_H_
#define XOQ_INSTANCES_CHUNK_TAG_H_

#include <array>
#include <cstddef>
#include <cstdint>

#include "base/sha256.h"

namespace xoq {

using ChunkKey = std::array<uint8_t, 32>;
using ChunkTag = std::array<uint8_t, 32>;

/// What a tag covers besides the data: the fields a receiver acts on.
struct ChunkHeader {
  int32_t sender = 0;
  int32_t target = 0;
  int32_t messageId = 0;
  int32_t chunkIndex = 0;
  int32_t lastChunkIndex = 0;
  int32_t capacity = 0;
  int32_t messageLength = 0;
  int32_t chunkLength = 0;
  uint64_t stamp = 0;  // the sender's, growing with every chunk it writes
};

/// HMAC-SHA-256 with one key, its padded key blocks hashed once.
class ChunkSigner {
 public:
  explicit ChunkSigner(const ChunkKey& key);

  /// The tag of `header` and its `header.chunkLength` bytes of `data`
  /// (which must be between 0 and 1024).
  ChunkTag tag(const ChunkHeader& header, const uint8_t* data) const;

  /// True when `tag` is the tag of `header` and `data`; compared in a time
  /// that does not depend on where they differ.
  bool verify(const ChunkHeader& header, const uint8_t* data, const ChunkTag& tag) const;

 private:
  Sha256 inner_;  // after the key XOR 0x36
  Sha256 outer_;  // after the key XOR 0x5c
};

}  // namespace xoq

#endif  // XOQ_INSTANCES_CHUNK_TAG_H_
