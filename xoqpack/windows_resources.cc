#include "windows_resources.h"

#include <utility>
#include <vector>

#include "host_files.h"
#include "icon_file.h"
#include "pe_image.h"
#include "resource_tree.h"
#include "splash_images.h"
#include "version_info.h"

namespace xoq {

namespace {

constexpr uint16_t kManifestId = 1;  // CREATEPROCESS_MANIFEST_RESOURCE_ID
constexpr uint16_t kVersionId = 1;
constexpr uint16_t kGroupIconId = 1;
constexpr uint16_t kFirstIconId = 1;

bool readInput(const std::string& path, std::string& content, std::string& error) {
  std::string reason;
  if (host::fileKind(path) == host::FileKind::kDirectory) {
    error = "cannot read " + path + ": it is a folder";
    return false;
  }
  if (!host::readFile(path, content, reason)) {
    error = "cannot read " + path + ": " + reason;
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

bool hasVersionInformation(const ResourceOptions& o) {
  return !o.fileVersion.empty() || !o.productVersion.empty() || !o.product.empty() || !o.company.empty() ||
         !o.description.empty() || !o.copyright.empty() || !o.internalName.empty();
}

// The icon's images replace any the template has, so that this group is
// the first one, the one Explorer and the taskbar show.
bool addIcon(ResourceTree& tree, const std::string& path, std::string& error) {
  std::string file;
  std::vector<IconImage> images;
  if (!readInput(path, file, error)) return false;
  if (!readIconFile(file, images, error)) {
    error = path + " " + error;
    return false;
  }
  tree.remove(ResourceName::number(kResourceIcon));
  tree.remove(ResourceName::number(kResourceGroupIcon));
  for (size_t i = 0; i < images.size(); ++i) {
    tree.set(numbered(kResourceIcon, static_cast<uint16_t>(kFirstIconId + i), images[i].data));
  }
  tree.set(numbered(kResourceGroupIcon, kGroupIconId, groupIconResource(images, kFirstIconId)));
  return true;
}

bool addVersion(ResourceTree& tree, const ResourceOptions& o, const std::string& outputName, std::string& error) {
  // Each version stands in for the other when only one is given.
  VersionNumber file = {0, 0, 0, 0};
  VersionNumber product = {0, 0, 0, 0};
  if (!o.fileVersion.empty() && !parseVersionNumber(o.fileVersion, file, error)) {
    error = "--file-version " + error;
    return false;
  }
  if (!o.productVersion.empty() && !parseVersionNumber(o.productVersion, product, error)) {
    error = "--product-version " + error;
    return false;
  }
  if (o.productVersion.empty()) product = file;
  if (o.fileVersion.empty()) file = product;
  const auto dotted = [](const VersionNumber& v) {
    return std::to_string(v[0]) + "." + std::to_string(v[1]) + "." + std::to_string(v[2]) + "." + std::to_string(v[3]);
  };
  const std::string stem = outputName.substr(0, outputName.rfind('.') == 0 ? std::string::npos : outputName.rfind('.'));
  std::vector<std::pair<std::string, std::string>> strings;
  const auto add = [&strings](const char* name, const std::string& value) {
    if (!value.empty()) strings.emplace_back(name, value);
  };
  add("CompanyName", o.company);
  add("FileDescription", o.description);
  add("FileVersion", o.fileVersion.empty() ? dotted(file) : o.fileVersion);
  add("InternalName", o.internalName.empty() ? stem : o.internalName);
  add("LegalCopyright", o.copyright);
  add("OriginalFilename", outputName);
  add("ProductName", o.product);
  add("ProductVersion",
      o.productVersion.empty() ? (o.fileVersion.empty() ? dotted(product) : o.fileVersion) : o.productVersion);
  std::string resource = versionInfoResource(file, product, strings);
  if (resource.size() > 0xFFFF) {
    error = "the version information is longer than the 64 KB Windows allows";
    return false;
  }
  tree.remove(ResourceName::number(kResourceVersion));
  tree.set(numbered(kResourceVersion, kVersionId, std::move(resource)));
  return true;
}

}  // namespace

std::string ResourceOptions::firstWindowsOnlyOption() const {
  const std::pair<bool, const char*> options[] = {
      {!icon.empty(), "--icon"},
      {!splashBitmap.empty(), "--splash-bitmap"},
      {!fileVersion.empty(), "--file-version"},
      {!productVersion.empty(), "--product-version"},
      {!product.empty(), "--product"},
      {!company.empty(), "--company"},
      {!description.empty(), "--description"},
      {!copyright.empty(), "--copyright"},
      {!internalName.empty(), "--internal-name"},
      {!executionLevel.empty(), "--execution-level"},
      {!dpiAware, "--no-dpi-aware"},
      {utf8CodePage, "--utf8-code-page"},
  };
  for (const auto& option : options) {
    if (option.first) return option.second;
  }
  return std::string();
}

bool readSplashImage(const ResourceOptions& options, std::string& image, std::string& error) {
  if (!readInput(options.splashImage, image, error)) return false;
  if (splashImageFormat(image) == nullptr) {
    error = options.splashImage + " is not a JPEG, PNG or GIF image (its first bytes say otherwise)";
    return false;
  }
  return true;
}

bool addWindowsResources(std::string& image, const std::string& templatePath, const ResourceOptions& options,
                         const std::string& outputName, std::string& error) {
  if (!options.executionLevel.empty() && !isExecutionLevel(options.executionLevel)) {
    error = "--execution-level " + options.executionLevel +
            " is not one of asInvoker, highestAvailable and requireAdministrator";
    return false;
  }
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
  if (!options.icon.empty() && !addIcon(tree, options.icon, error)) return false;
  // The template's own version information names xoq, not the program:
  // the program carries the user's or none.
  if (!hasVersionInformation(options)) {
    tree.remove(ResourceName::number(kResourceVersion));
  } else if (!addVersion(tree, options, outputName, error)) {
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
  // One manifest only: Windows would pick among several by language.
  ManifestOptions manifest;
  if (!options.executionLevel.empty()) manifest.executionLevel = options.executionLevel;
  manifest.dpiAware = options.dpiAware;
  manifest.utf8CodePage = options.utf8CodePage;
  tree.remove(ResourceName::number(kResourceManifest), ResourceName::number(kManifestId));
  tree.set(numbered(kResourceManifest, kManifestId, applicationManifest(manifest)));

  if (!pe.replaceResources([&](uint32_t rva) { return tree.write(rva); }, error)) {
    error = "cannot add resources to " + templatePath + ": " + error;
    return false;
  }
  image = pe.bytes();
  return true;
}

}  // namespace xoq
