// The picture the splash tests show and look for on the screen.
#ifndef XOQ_TESTS_SUPPORT_TEST_PICTURE_H_
#define XOQ_TESTS_SUPPORT_TEST_PICTURE_H_

#include <cstdint>
#include <string>
#include <vector>

namespace xoq {
namespace testing {

/// The test picture's pixel at (x, y) as 0xRRGGBB: a distinct colour for
/// each pixel of a small neighbourhood, so that a shift, a cut or a mirror
/// shows.
inline uint32_t patternPixel(int x, int y) {
  return (static_cast<uint32_t>((x * 7) & 0xFF) << 16) | (static_cast<uint32_t>((y * 5) & 0xFF) << 8) |
         static_cast<uint32_t>(((x + 2 * y) * 3) & 0xFF);
}

/// Writes the test picture as a 24-bit Windows bitmap (.bmp) or as a PPM.
void writePatternBmp(const std::string& path, int width, int height);
void writePatternPpm(const std::string& path, int width, int height);

/// How many pixels of `pixels` (width x height, the picture's part whose
/// top-left corner is at picture coordinates `left`, `top`) differ from the
/// test picture.
int wrongPatternPixels(const std::vector<uint32_t>& pixels, int width, int height, int left = 0, int top = 0);

}  // namespace testing
}  // namespace xoq

#endif  // XOQ_TESTS_SUPPORT_TEST_PICTURE_H_
