#include "support/test_picture.h"

#include "support/files.h"

namespace xoq {
namespace testing {

void writePatternBmp(const std::string& path, int width, int height) {
  const uint32_t rowSize = (static_cast<uint32_t>(width) * 3 + 3) & ~3u;
  const uint32_t dataSize = rowSize * static_cast<uint32_t>(height);
  std::string file(54 + dataSize, '\0');
  const auto put = [&file](size_t at, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) file[at + i] = static_cast<char>(value >> (8 * i));
  };
  file[0] = 'B';
  file[1] = 'M';
  put(2, 54 + dataSize, 4);
  put(10, 54, 4);
  put(14, 40, 4);
  put(18, static_cast<uint32_t>(width), 4);
  put(22, static_cast<uint32_t>(height), 4);  // bottom-up rows
  put(26, 1, 2);
  put(28, 24, 2);
  put(34, dataSize, 4);
  for (int y = 0; y < height; ++y) {
    const size_t row = 54 + static_cast<size_t>(height - 1 - y) * rowSize;
    for (int x = 0; x < width; ++x) put(row + static_cast<size_t>(x) * 3, patternPixel(x, y), 3);  // B, G, R
  }
  writeFile(path, file);
}

void writePatternPpm(const std::string& path, int width, int height) {
  std::string ppm = "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const uint32_t pixel = patternPixel(x, y);
      ppm += static_cast<char>(pixel >> 16);
      ppm += static_cast<char>(pixel >> 8);
      ppm += static_cast<char>(pixel);
    }
  }
  writeFile(path, ppm);
}

int wrongPatternPixels(const std::vector<uint32_t>& pixels, int width, int height, int left, int top) {
  if (pixels.size() != static_cast<size_t>(width) * static_cast<size_t>(height)) return width * height;
  int wrong = 0;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      if (pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)] !=
          patternPixel(left + x, top + y)) {
        ++wrong;
      }
    }
  }
  return wrong;
}

}  // namespace testing
}  // namespace xoq
