#include "windows_resources.h"

#include "pe_image.h"
#include "platform/platform.h"
#include "resource_tree.h"
#include "splash_images.h"

namespace xoq {

namespace {

bool readInput(const std::string& path, std::string& content, std::string& error) {
  if (platform::isDirectory(path) || !platform::readWholeFile(path, content)) {
    error = "cannot read " + path;
    return false;
  }
  return true;
}

Resource numbered(uint16_t type, uint16_t name, std::string data) {
  Resource resource;
  resource.type = ResourceName::number(type);
  resource.name = ResourceName::number(name);
  resource.language = ResourceName::number(kLanguageUsEnglish);
  resource.data = std::move(data);
  return resource;
}

}  // namespace

bool readSplashImage(const ResourceOptions& options, std::string& image, std::string& error) {
  if (!readInput(options.splashImage, image, error)) return false;
  if (splashImageFormat(image) == nullptr) {
    error = options.splashImage + " is not a JPEG, PNG or GIF image (its first bytes say otherwise)";
    return false;
  }
  return true;
}

bool addWindowsResources(std::string& image, const std::string& templatePath, const ResourceOptions& options,
                         std::string& error) {
  PeImage pe;
  if (!pe.parse(image, error)) {
    error = "cannot add resources to " + templatePath + ": " + error;
    return false;
  }
  ResourceTree tree;
  if (!tree.read(pe, error)) {
    error = "cannot read the resources of " + templatePath + ": " + error;
    return false;
  }
  if (!options.splashBitmap.empty()) {
    std::string file;
    std::string bitmap;
    if (!readInput(options.splashBitmap, file, error)) return false;
    if (!bitmapResourceFromBmp(file, bitmap, error)) {
      error = options.splashBitmap + " " + error;
      return false;
    }
    tree.set(numbered(kResourceBitmap, kSplashResourceId, std::move(bitmap)));
  }
  if (!options.splashImage.empty()) {
    std::string splash;
    if (!readSplashImage(options, splash, error)) return false;
    tree.set(numbered(kResourceData, kSplashResourceId, std::move(splash)));
  }
  if (!pe.replaceResources([&](uint32_t rva) { return tree.write(rva); }, error)) {
    error = "cannot add resources to " + templatePath + ": " + error;
    return false;
  }
  image = pe.bytes();
  return true;
}

}  // namespace xoq
