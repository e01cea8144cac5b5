#include "splash_images.h"

#include <cstdint>

#include "base/byte_order.h"

namespace xoq {

namespace {

constexpr size_t kFileHeaderSize = 14;
constexpr size_t kCoreHeaderSize = 12;  // BITMAPCOREHEADER
constexpr size_t kInfoHeaderSize = 40;  // BITMAPINFOHEADER
constexpr size_t kV5HeaderSize = 124;   // BITMAPV5HEADER
constexpr uint32_t kUncompressed = 0;   // BI_RGB
constexpr uint32_t kRle8 = 1;
constexpr uint32_t kRle4 = 2;
constexpr uint32_t kBitFields = 3;
constexpr uint32_t kEmbeddedProfile = 0x4D424544;  // 'MBED'
constexpr uint32_t kLinkedProfile = 0x4C494E4B;    // 'LINK'

int32_t readSigned32(const uint8_t* p) { return static_cast<int32_t>(readLittle32(p)); }

}  // namespace

bool bitmapResourceFromBmp(const std::string& file, std::string& resource, std::string& error) {
  const uint8_t* data = reinterpret_cast<const uint8_t*>(file.data());
  if (file.size() < kFileHeaderSize + kCoreHeaderSize || file[0] != 'B' || file[1] != 'M') {
    error = "is not a BMP file";
    return false;
  }
  const uint32_t pixelsAt = readLittle32(data + 10);
  const uint32_t headerSize = readLittle32(data + kFileHeaderSize);
  const uint8_t* header = data + kFileHeaderSize;
  int64_t width = 0;
  int64_t height = 0;
  uint32_t planes = 0;
  uint32_t bits = 0;
  uint32_t compression = kUncompressed;
  uint64_t tableSize = 0;
  uint64_t rleSize = 0;
  if (headerSize == kCoreHeaderSize) {
    width = readLittle16(header + 4);
    height = readLittle16(header + 6);
    planes = readLittle16(header + 8);
    bits = readLittle16(header + 10);
    tableSize = bits <= 8 ? 3ull << bits : 0;
  } else if (headerSize == kInfoHeaderSize || headerSize == 52 || headerSize == 56 || headerSize == 108 ||
             headerSize == kV5HeaderSize) {
    if (file.size() < kFileHeaderSize + headerSize) {
      error = "is cut short in its header";
      return false;
    }
    width = readSigned32(header + 4);
    height = readSigned32(header + 8);
    planes = readLittle16(header + 12);
    bits = readLittle16(header + 14);
    compression = readLittle32(header + 16);
    rleSize = readLittle32(header + 20);
    const uint64_t colours = readLittle32(header + 32);
    if (bits <= 8 && colours > (1ull << bits)) {
      error = "names more colours than its depth allows";
      return false;
    }
    tableSize = 4 * (colours != 0 ? colours : bits <= 8 ? 1ull << bits : 0);
    // The three channel masks follow a plain info header.
    if (compression == kBitFields && headerSize == kInfoHeaderSize) tableSize += 12;
  } else {
    error = "has a bitmap header of " + std::to_string(headerSize) + " bytes, which is not one Windows reads";
    return false;
  }
  if (compression != kUncompressed && compression != kRle8 && compression != kRle4 && compression != kBitFields) {
    error = compression == 4 || compression == 5
                ? "holds a JPEG or PNG inside; give an uncompressed or RLE-compressed BMP"
                : "uses compression " + std::to_string(compression) + "; give an uncompressed or RLE-compressed BMP";
    return false;
  }
  const bool depthFits =
      (compression == kRle8 && bits == 8) || (compression == kRle4 && bits == 4) ||
      (compression == kBitFields && (bits == 16 || bits == 32)) ||
      (compression == kUncompressed && (bits == 1 || bits == 4 || bits == 8 || bits == 24 ||
                                        (headerSize != kCoreHeaderSize && (bits == 16 || bits == 32))));
  if (!depthFits || planes != 1) {
    error = "has a colour depth of " + std::to_string(bits) + " bits, which its " +
            (headerSize == kCoreHeaderSize ? "12-byte OS/2 header" : "compression") + " does not allow";
    return false;
  }
  if (width <= 0 || height == 0 || ((compression == kRle8 || compression == kRle4) && height < 0)) {
    error = "has no pixels, or a size Windows does not accept";
    return false;
  }
  const uint64_t headerAndTable = headerSize + tableSize;
  const uint64_t pixelBytes =
      compression == kRle8 || compression == kRle4
          ? rleSize
          : (static_cast<uint64_t>(width) * bits + 31) / 32 * 4 * static_cast<uint64_t>(height < 0 ? -height : height);
  if (pixelsAt < kFileHeaderSize + headerAndTable || pixelsAt > file.size() || pixelBytes == 0 ||
      file.size() - pixelsAt < pixelBytes) {
    error = "is cut short: it does not hold all its pixels";
    return false;
  }
  resource = file.substr(kFileHeaderSize, headerAndTable);
  const uint64_t gap = pixelsAt - kFileHeaderSize - headerAndTable;
  // Everything from the pixels on, so that a colour profile after them
  // comes along.
  resource += file.substr(pixelsAt);
  // A profile, embedded or linked by file name, is found by its offset from
  // the header. The gap goes, so a profile after it moves up with the
  // pixels, and one inside it is carried to the end.
  const uint32_t colourSpace = headerSize == kV5HeaderSize ? readLittle32(header + 56) : 0;
  if (gap != 0 && (colourSpace == kEmbeddedProfile || colourSpace == kLinkedProfile)) {
    const uint64_t profileAt = readLittle32(header + 112);
    uint64_t moved = profileAt;
    if (profileAt >= headerAndTable + gap) {
      moved = profileAt - gap;
    } else if (profileAt >= headerAndTable) {
      moved = resource.size();
      resource += file.substr(kFileHeaderSize + profileAt, readLittle32(header + 116));
    }
    writeLittle32(reinterpret_cast<uint8_t*>(&resource[112]), static_cast<uint32_t>(moved));
  }
  return true;
}

const char* splashImageFormat(const std::string& file) {
  if (file.compare(0, 3, "\xFF\xD8\xFF") == 0) return "JPEG";
  if (file.compare(0, 8, "\x89PNG\r\n\x1A\n") == 0) return "PNG";
  if (file.compare(0, 6, "GIF87a") == 0 || file.compare(0, 6, "GIF89a") == 0) return "GIF";
  return nullptr;
}

}  // namespace xoq
