#include "icon_file.h"

#include <algorithm>
#include <utility>

#include "base/byte_order.h"
#include "splash_images.h"

namespace xoq {

namespace {

constexpr size_t kDirectorySize = 6;
constexpr size_t kFileEntrySize = 16;
constexpr uint32_t kBitmapInfoHeader = 40;

// Bits per pixel of a PNG, from its IHDR chunk: bit depth times channels.
uint16_t pngBits(const std::string& png) {
  if (png.size() < 26) return 0;
  const uint8_t depth = static_cast<uint8_t>(png[24]);
  switch (png[25]) {
    case 2:
      return static_cast<uint16_t>(depth * 3);
    case 4:
      return static_cast<uint16_t>(depth * 2);
    case 6:
      return static_cast<uint16_t>(depth * 4);
    default:
      return depth;
  }
}

}  // namespace

bool readIconFile(const std::string& file, std::vector<IconImage>& images, std::string& error) {
  const uint8_t* data = reinterpret_cast<const uint8_t*>(file.data());
  if (file.size() < kDirectorySize || readLittle16(data) != 0 || readLittle16(data + 2) == 0 ||
      readLittle16(data + 2) > 2) {
    error = "is not an icon (.ico) file";
    return false;
  }
  if (readLittle16(data + 2) == 2) {
    error = "is a cursor, not an icon";
    return false;
  }
  const size_t count = readLittle16(data + 4);
  if (count == 0 || (file.size() - kDirectorySize) / kFileEntrySize < count) {
    error = count == 0 ? "holds no images" : "is cut short in its list of images";
    return false;
  }
  // Where each image lies. Images may not share bytes: a file whose entries
  // all point at one large image would otherwise ask for its size many
  // times over.
  std::vector<std::pair<uint64_t, size_t>> ranges;  // offset and image index
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* entry = data + kDirectorySize + i * kFileEntrySize;
    const uint32_t size = readLittle32(entry + 8);
    const uint32_t offset = readLittle32(entry + 12);
    if (size == 0 || offset > file.size() || file.size() - offset < size) {
      error = "is cut short: image " + std::to_string(i + 1) + " lies beyond the end of the file";
      return false;
    }
    ranges.emplace_back(offset, i);
  }
  std::sort(ranges.begin(), ranges.end());
  for (size_t i = 1; i < ranges.size(); ++i) {
    const uint8_t* before = data + kDirectorySize + ranges[i - 1].second * kFileEntrySize;
    if (ranges[i - 1].first + readLittle32(before + 8) > ranges[i].first) {
      error = "is broken: images " + std::to_string(std::min(ranges[i - 1].second, ranges[i].second) + 1) + " and " +
              std::to_string(std::max(ranges[i - 1].second, ranges[i].second) + 1) + " overlap";
      return false;
    }
  }

  images.clear();
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* entry = data + kDirectorySize + i * kFileEntrySize;
    IconImage image;
    image.width = entry[0];
    image.height = entry[1];
    image.colours = entry[2];
    image.planes = readLittle16(entry + 4);
    image.bits = readLittle16(entry + 6);
    const uint32_t size = readLittle32(entry + 8);
    const uint32_t offset = readLittle32(entry + 12);
    image.data = file.substr(offset, size);
    const char* format = splashImageFormat(image.data);
    if (format != nullptr && std::string(format) == "PNG") {
      if (image.bits == 0) image.bits = pngBits(image.data);
    } else if (size >= kBitmapInfoHeader && readLittle32(data + offset) == kBitmapInfoHeader) {
      if (image.bits == 0) image.bits = readLittle16(data + offset + 14);
    } else {
      error = "is broken: image " + std::to_string(i + 1) + " is neither a bitmap nor a PNG";
      return false;
    }
    if (image.planes == 0) image.planes = 1;
    images.push_back(image);
  }
  return true;
}

std::string groupIconResource(const std::vector<IconImage>& images, uint16_t firstId) {
  std::string group;
  appendLittle16(group, 0);
  appendLittle16(group, 1);  // icons, not cursors
  appendLittle16(group, static_cast<uint16_t>(images.size()));
  for (size_t i = 0; i < images.size(); ++i) {
    const IconImage& image = images[i];
    group += static_cast<char>(image.width);
    group += static_cast<char>(image.height);
    group += static_cast<char>(image.colours);
    group += '\0';
    appendLittle16(group, image.planes);
    appendLittle16(group, image.bits);
    appendLittle32(group, static_cast<uint32_t>(image.data.size()));
    appendLittle16(group, static_cast<uint16_t>(firstId + i));
  }
  return group;
}

}  // namespace xoq
