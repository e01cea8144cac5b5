// SHA-256 (FIPS 180-4), for the integrity value of a packaged executable.
// The launcher hashes its own image on every start, so on x86-64 processors
// with the SHA extensions the block function uses them (several times
// faster); elsewhere the portable one runs.
#ifndef XOQ_BASE_SHA256_H_
#define XOQ_BASE_SHA256_H_

#include <array>
#include <cstddef>
#include <cstdint>

namespace xoq {

class Sha256 {
 public:
  using Digest = std::array<uint8_t, 32>;

  Sha256();
  void update(const uint8_t* data, size_t length);
  Digest finish();

  /// Whether the processor's SHA extensions are used; `allow` false makes
  /// every later hash use the portable code (tests compare the two).
  static bool accelerated();
  static void allowAcceleration(bool allow);

 private:
  void compress(const uint8_t* blocks, size_t count);

  uint32_t state_[8];
  uint8_t buffer_[64];
  size_t buffered_ = 0;
  uint64_t totalBytes_ = 0;
};

}  // namespace xoq

#endif  // XOQ_BASE_SHA256_H_
