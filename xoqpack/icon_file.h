// A Windows .ico file as the resources of an executable: each image becomes
// an RT_ICON resource, and one RT_GROUP_ICON lists them, which is what
// Explorer, the taskbar and LoadIcon look up.
#ifndef XOQPACK_ICON_FILE_H_
#define XOQPACK_ICON_FILE_H_

#include <cstdint>
#include <string>
#include <vector>

namespace xoq {

struct IconImage {
  uint8_t width = 0;   // 0 stands for 256
  uint8_t height = 0;  // 0 stands for 256
  uint8_t colours = 0;
  uint16_t planes = 0;
  uint16_t bits = 0;
  std::string data;  // a bitmap without its file header, or a whole PNG
};

/// Reads every image of an .ico file, PNG-compressed ones (256 pixels)
/// included. Planes and bits that the file leaves 0, as PNG entries often
/// do, are taken from the image, since Windows picks the image to show by
/// them. False with `error` for a broken or cut file, a cursor file, or an
/// image that is neither a bitmap nor a PNG.
bool readIconFile(const std::string& file, std::vector<IconImage>& images, std::string& error);

/// The RT_GROUP_ICON resource for `images`, stored as RT_ICON resources
/// numbered from `firstId` on.
std::string groupIconResource(const std::vector<IconImage>& images, uint16_t firstId);

}  // namespace xoq

#endif  // XOQPACK_ICON_FILE_H_
