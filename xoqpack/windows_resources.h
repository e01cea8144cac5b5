// The resources xoqpack writes into a Windows launcher: what the user asked
// for on the command line, merged into the template's own (its message
// table stays unless replaced).
#ifndef XOQPACK_WINDOWS_RESOURCES_H_
#define XOQPACK_WINDOWS_RESOURCES_H_

#include <string>

namespace xoq {

struct ResourceOptions {
  std::string splashBitmap;  // BMP file for bitmap 100; empty: none
  std::string splashImage;   // JPEG, PNG or GIF file for RCDATA 100; empty: none

  /// True when an option asks for something only a Windows launcher holds.
  bool windowsOnly() const { return !splashBitmap.empty(); }
  bool any() const { return !splashBitmap.empty() || !splashImage.empty(); }
};

/// Reads the splash image named in `options` and checks its signature;
/// false with a one-line `error` naming the file.
bool readSplashImage(const ResourceOptions& options, std::string& image, std::string& error);

/// Rewrites the resource section of `image`, a whole Windows launcher
/// template, with the resources of `options` merged in. False with a
/// one-line `error`, `image` unchanged, on any bad input.
bool addWindowsResources(std::string& image, const std::string& templatePath, const ResourceOptions& options,
                         std::string& error);

}  // namespace xoq

#endif  // XOQPACK_WINDOWS_RESOURCES_H_
