// The resources of a Windows image as a flat list of (type, name, language)
// entries with their bytes, read from and written to the three-level
// directory tree of a resource section.
#ifndef XOQPACK_RESOURCE_TREE_H_
#define XOQPACK_RESOURCE_TREE_H_

#include <cstdint>
#include <string>
#include <vector>

#include "pe_image.h"

namespace xoq {

/// Standard resource types, numbered as Windows numbers them.
enum ResourceType : uint16_t {
  kResourceIcon = 3,        // RT_ICON
  kResourceBitmap = 2,      // RT_BITMAP
  kResourceString = 6,      // RT_STRING
  kResourceData = 10,       // RT_RCDATA
  kResourceGroupIcon = 14,  // RT_GROUP_ICON
  kResourceVersion = 16,    // RT_VERSION
  kResourceManifest = 24,   // RT_MANIFEST
};

/// US English, the language of the launcher's own messages.
constexpr uint16_t kLanguageUsEnglish = 0x0409;

/// A level of the tree names its entries by number or by a UTF-16 text.
struct ResourceName {
  uint16_t id = 0;
  std::u16string text;  // used when not empty

  static ResourceName number(uint16_t value) { return ResourceName{value, std::u16string()}; }
  bool isText() const { return !text.empty(); }
};

/// Windows' order within a directory: texts first, compared without regard
/// to ASCII case, then numbers ascending. Negative, zero or positive.
int compareResourceNames(const ResourceName& a, const ResourceName& b);

struct Resource {
  ResourceName type;
  ResourceName name;
  ResourceName language;
  uint32_t codePage = 0;
  std::string data;
};

class ResourceTree {
 public:
  /// Reads the tree of `image` (none is an empty tree); false with `error`
  /// when it is damaged: an offset outside the section, a level too deep,
  /// data outside the image.
  bool read(const PeImage& image, std::string& error);

  const std::vector<Resource>& resources() const { return resources_; }

  /// Adds `resource`, replacing one of the same type, name and language.
  void set(Resource resource);

  /// Removes every resource of `type`; with `name`, only those of that name.
  void remove(const ResourceName& type);
  void remove(const ResourceName& type, const ResourceName& name);

  /// The section content for the address `rva`: the directories, the data
  /// entries, the name texts, then the data, each piece aligned as the
  /// loader expects.
  std::string write(uint32_t rva) const;

 private:
  std::vector<Resource> resources_;
};

}  // namespace xoq

#endif  // XOQPACK_RESOURCE_TREE_H_
