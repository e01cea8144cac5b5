// The two splash images a launcher can carry: a BMP for its own splash
// window (bitmap resource 100) and a JPEG, PNG or GIF for the Java runtime's
// splash library (RCDATA resource 100, or a payload entry on Linux).
#ifndef XOQPACK_SPLASH_IMAGES_H_
#define XOQPACK_SPLASH_IMAGES_H_

#include <string>

#include "splash/runtime_splash.h"  // kSplashImageEntry, where the Linux launcher looks

namespace xoq {

/// Resource identifier of both splash images.
constexpr uint16_t kSplashResourceId = 100;

/// The bitmap resource of a BMP file: the file without its 14-byte file
/// header, its pixels moved up to follow the colour table when the file
/// leaves a gap there (the resource has no offset field). False with `error`
/// when the file is not an uncompressed or RLE-compressed BMP whose pixels
/// it holds in full.
bool bitmapResourceFromBmp(const std::string& file, std::string& resource, std::string& error);

/// "JPEG", "PNG" or "GIF", recognised by the file's signature; nullptr for
/// anything else.
const char* splashImageFormat(const std::string& file);

}  // namespace xoq

#endif  // XOQPACK_SPLASH_IMAGES_H_
