// The resources xoqpack writes into a Windows launcher: what the user asked
// for on the command line, merged into the template's own (its message
// table stays unless replaced).
#ifndef XOQPACK_WINDOWS_RESOURCES_H_
#define XOQPACK_WINDOWS_RESOURCES_H_

#include <string>

#include "manifest.h"

namespace xoq {

struct ResourceOptions {
  std::string icon;          // .ico file; empty: none
  std::string splashBitmap;  // BMP file for bitmap 100; empty: none
  std::string splashImage;   // JPEG, PNG or GIF file for RCDATA 100; empty: none
  // Version information, written when any of these is given.
  std::string fileVersion;
  std::string productVersion;
  std::string product;
  std::string company;
  std::string description;
  std::string copyright;
  std::string internalName;
  // The manifest, always written; an empty level means the default.
  std::string executionLevel;
  bool dpiAware = true;
  bool utf8CodePage = false;

  /// The first option given that only a Windows launcher can hold, as the
  /// user typed it ("--icon"); empty when there is none.
  std::string firstWindowsOnlyOption() const;
};

/// Reads the splash image named in `options` and checks its signature;
/// false with a one-line `error` naming the file.
bool readSplashImage(const ResourceOptions& options, std::string& image, std::string& error);

/// Rewrites the resource section of `image`, a whole Windows launcher
/// template, with the resources of `options` merged in; `outputName` is
/// the executable's file name, for the version information. False with a
/// one-line `error`, `image` unchanged, on any bad input.
bool addWindowsResources(std::string& image, const std::string& templatePath, const ResourceOptions& options,
                         const std::string& outputName, std::string& error);

}  // namespace xoq

#endif  // XOQPACK_WINDOWS_RESOURCES_H_
