// Little-endian field access for the ZIP and payload formats, byte by byte so
// that neither alignment nor the host's byte order matter.
#ifndef XOQ_BASE_BYTE_ORDER_H_
#define XOQ_BASE_BYTE_ORDER_H_

#include <cstdint>
#include <string>

namespace xoq {

inline uint16_t readLittle16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

inline uint32_t readLittle32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

inline uint64_t readLittle64(const uint8_t* p) {
  return readLittle32(p) | (static_cast<uint64_t>(readLittle32(p + 4)) << 32);
}

inline void appendLittle16(std::string& out, uint16_t value) {
  out += static_cast<char>(value & 0xFF);
  out += static_cast<char>(value >> 8);
}

inline void appendLittle32(std::string& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

inline void writeLittle16(uint8_t* p, uint16_t value) {
  p[0] = static_cast<uint8_t>(value & 0xFF);
  p[1] = static_cast<uint8_t>(value >> 8);
}

inline void appendLittle64(std::string& out, uint64_t value) {
  for (int i = 0; i < 8; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

inline void writeLittle32(uint8_t* p, uint32_t value) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>((value >> (8 * i)) & 0xFF);
}

}  // namespace xoq

#endif  // XOQ_BASE_BYTE_ORDER_H_
