#include "resource_tree.h"

#include <algorithm>

#include "archive/byte_order.h"

namespace xoq {

namespace {

constexpr uint32_t kHighBit = 0x80000000;
constexpr size_t kDirectorySize = 16;
constexpr size_t kEntrySize = 8;
constexpr size_t kDataEntrySize = 16;
// A tree may name one subdirectory from many entries; this bounds the work
// a damaged or hostile one can cause.
constexpr size_t kMostEntries = 1 << 16;

char16_t upperAscii(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c; }

bool sameResource(const Resource& a, const Resource& b) {
  return compareResourceNames(a.type, b.type) == 0 && compareResourceNames(a.name, b.name) == 0 &&
         compareResourceNames(a.language, b.language) == 0;
}

bool resourceBefore(const Resource& a, const Resource& b) {
  if (const int type = compareResourceNames(a.type, b.type)) return type < 0;
  if (const int name = compareResourceNames(a.name, b.name)) return name < 0;
  return compareResourceNames(a.language, b.language) < 0;
}

class TreeReader {
 public:
  TreeReader(const PeImage& image, std::string_view section, std::vector<Resource>& out)
      : image_(image), section_(section), out_(out) {}

  bool directory(uint32_t offset, int level, Resource& path, std::string& error) {
    if (offset > section_.size() || section_.size() - offset < kDirectorySize) return damaged(error);
    const uint8_t* header = bytes(offset);
    const size_t count = static_cast<size_t>(readLittle16(header + 12)) + readLittle16(header + 14);
    if ((section_.size() - offset - kDirectorySize) / kEntrySize < count) return damaged(error);
    for (size_t i = 0; i < count; ++i) {
      if (++visited_ > kMostEntries) {
        error = "its resource directory has more than 65536 entries";
        return false;
      }
      const uint8_t* entry = header + kDirectorySize + i * kEntrySize;
      ResourceName& name = level == 0 ? path.type : level == 1 ? path.name : path.language;
      if (!readName(readLittle32(entry), name, error)) return false;
      const uint32_t target = readLittle32(entry + 4);
      const bool subdirectory = (target & kHighBit) != 0;
      if (subdirectory != (level < 2)) return damaged(error);
      if (subdirectory) {
        if (!directory(target & ~kHighBit, level + 1, path, error)) return false;
      } else if (!leaf(target, path, error)) {
        return false;
      }
    }
    return true;
  }

 private:
  const uint8_t* bytes(size_t offset) const { return reinterpret_cast<const uint8_t*>(section_.data()) + offset; }

  static bool damaged(std::string& error) {
    error = "its resource directory is damaged";
    return false;
  }

  bool readName(uint32_t field, ResourceName& name, std::string& error) {
    name = ResourceName();
    if ((field & kHighBit) == 0) {
      if (field > 0xFFFF) return damaged(error);
      name.id = static_cast<uint16_t>(field);
      return true;
    }
    const size_t offset = field & ~kHighBit;
    if (offset > section_.size() || section_.size() - offset < 2) return damaged(error);
    const size_t length = readLittle16(bytes(offset));
    if (length == 0 || (section_.size() - offset - 2) / 2 < length) return damaged(error);
    for (size_t i = 0; i < length; ++i) name.text += static_cast<char16_t>(readLittle16(bytes(offset + 2 + 2 * i)));
    return true;
  }

  bool leaf(uint32_t offset, Resource& path, std::string& error) {
    if (offset > section_.size() || section_.size() - offset < kDataEntrySize) return damaged(error);
    const uint32_t rva = readLittle32(bytes(offset));
    const uint32_t size = readLittle32(bytes(offset + 4));
    std::string_view data;
    if (!image_.read(rva, size, data)) {
      error = "a resource's data lies outside the image";
      return false;
    }
    path.codePage = readLittle32(bytes(offset + 8));
    path.data.assign(data.data(), data.size());
    out_.push_back(path);
    return true;
  }

  const PeImage& image_;
  std::string_view section_;
  std::vector<Resource>& out_;
  size_t visited_ = 0;
};

}  // namespace

int compareResourceNames(const ResourceName& a, const ResourceName& b) {
  if (a.isText() != b.isText()) return a.isText() ? -1 : 1;
  if (!a.isText()) return static_cast<int>(a.id) - static_cast<int>(b.id);
  for (size_t i = 0; i < a.text.size() && i < b.text.size(); ++i) {
    const char16_t x = upperAscii(a.text[i]);
    const char16_t y = upperAscii(b.text[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return a.text.size() == b.text.size() ? 0 : a.text.size() < b.text.size() ? -1 : 1;
}

bool ResourceTree::read(const PeImage& image, std::string& error) {
  resources_.clear();
  if (image.resourceRva() == 0) return true;
  // The tree may use all of its section, whatever the directory size says.
  std::string_view section;
  for (const PeSection& candidate : image.sections()) {
    if (image.resourceRva() >= candidate.virtualAddress &&
        image.resourceRva() - candidate.virtualAddress < candidate.rawSize) {
      const uint32_t start = image.resourceRva() - candidate.virtualAddress;
      section = std::string_view(image.bytes()).substr(candidate.rawOffset + start, candidate.rawSize - start);
    }
  }
  if (section.empty()) {
    error = "its resource directory lies outside its sections";
    return false;
  }
  Resource path;
  TreeReader reader(image, section, resources_);
  return reader.directory(0, 0, path, error);
}

void ResourceTree::set(Resource resource) {
  for (Resource& existing : resources_) {
    if (sameResource(existing, resource)) {
      existing = std::move(resource);
      return;
    }
  }
  resources_.push_back(std::move(resource));
}

void ResourceTree::remove(const ResourceName& type) {
  resources_.erase(std::remove_if(resources_.begin(), resources_.end(),
                                  [&](const Resource& r) { return compareResourceNames(r.type, type) == 0; }),
                   resources_.end());
}

void ResourceTree::remove(const ResourceName& type, const ResourceName& name) {
  resources_.erase(std::remove_if(resources_.begin(), resources_.end(),
                                  [&](const Resource& r) {
                                    return compareResourceNames(r.type, type) == 0 &&
                                           compareResourceNames(r.name, name) == 0;
                                  }),
                   resources_.end());
}

std::string ResourceTree::write(uint32_t rva) const {
  std::vector<Resource> sorted = resources_;
  std::stable_sort(sorted.begin(), sorted.end(), resourceBefore);
  const size_t count = sorted.size();

  // One directory per distinct prefix: the root, one per type, one per
  // (type, name). newType[i] and newName[i] tell whether resource i opens a
  // new entry at that level.
  std::vector<bool> newType(count), newName(count);
  for (size_t i = 0; i < count; ++i) {
    newType[i] = i == 0 || compareResourceNames(sorted[i].type, sorted[i - 1].type) != 0;
    newName[i] = newType[i] || compareResourceNames(sorted[i].name, sorted[i - 1].name) != 0;
  }
  const auto entriesUnder = [&](size_t first, const std::vector<bool>& opens, const std::vector<bool>& ends) {
    size_t entries = 0;
    for (size_t i = first; i < count && (i == first || !ends[i]); ++i) entries += opens[i] ? 1 : 0;
    return entries;
  };
  const std::vector<bool> everyOne(count, true);
  const std::vector<bool> none(count, false);

  // Offsets: root, type directories, name directories, data entries, texts,
  // then the data itself.
  size_t offset = kDirectorySize + kEntrySize * entriesUnder(0, newType, none);
  std::vector<size_t> typeDirectory(count), nameDirectory(count);
  for (size_t i = 0; i < count; ++i) {
    if (!newType[i]) continue;
    typeDirectory[i] = offset;
    offset += kDirectorySize + kEntrySize * entriesUnder(i, newName, newType);
  }
  for (size_t i = 0; i < count; ++i) {
    if (!newName[i]) continue;
    nameDirectory[i] = offset;
    offset += kDirectorySize + kEntrySize * entriesUnder(i, everyOne, newName);
  }
  const size_t dataEntries = offset;
  offset += kDataEntrySize * count;
  std::vector<size_t> typeText(count), nameText(count), languageText(count);
  const auto placeText = [&](const ResourceName& name, size_t& at) {
    if (!name.isText()) return;
    at = offset;
    offset += 2 + 2 * name.text.size();
  };
  for (size_t i = 0; i < count; ++i) {
    if (newType[i]) placeText(sorted[i].type, typeText[i]);
    if (newName[i]) placeText(sorted[i].name, nameText[i]);
    placeText(sorted[i].language, languageText[i]);
  }
  std::vector<size_t> dataAt(count);
  for (size_t i = 0; i < count; ++i) {
    offset = (offset + 7) & ~static_cast<size_t>(7);
    dataAt[i] = offset;
    offset += sorted[i].data.size();
  }

  std::string out(offset, '\0');
  uint8_t* base = reinterpret_cast<uint8_t*>(&out[0]);
  const auto put16 = [&](size_t at, uint16_t value) {
    base[at] = static_cast<uint8_t>(value & 0xFF);
    base[at + 1] = static_cast<uint8_t>(value >> 8);
  };
  const auto putText = [&](const ResourceName& name, size_t at) {
    put16(at, static_cast<uint16_t>(name.text.size()));
    for (size_t k = 0; k < name.text.size(); ++k) put16(at + 2 + 2 * k, name.text[k]);
  };
  // A directory header, and its entries filled one by one.
  struct Directory {
    size_t at;
    size_t next;
  };
  const auto openDirectory = [&](size_t at, size_t first, const std::vector<bool>& opens, const std::vector<bool>& ends,
                                 const ResourceName Resource::*level) {
    uint16_t texts = 0;
    uint16_t numbers = 0;
    for (size_t i = first; i < count && (i == first || !ends[i]); ++i) {
      if (!opens[i]) continue;
      if ((sorted[i].*level).isText()) {
        ++texts;
      } else {
        ++numbers;
      }
    }
    put16(at + 12, texts);
    put16(at + 14, numbers);
    return Directory{at, at + kDirectorySize};
  };
  const auto addEntry = [&](Directory& directory, const ResourceName& name, size_t textAt, uint32_t target) {
    writeLittle32(base + directory.next, name.isText() ? kHighBit | static_cast<uint32_t>(textAt) : name.id);
    writeLittle32(base + directory.next + 4, target);
    directory.next += kEntrySize;
  };

  Directory root = openDirectory(0, 0, newType, none, &Resource::type);
  Directory typeDir{0, 0};
  Directory nameDir{0, 0};
  for (size_t i = 0; i < count; ++i) {
    const Resource& resource = sorted[i];
    if (newType[i]) {
      addEntry(root, resource.type, typeText[i], kHighBit | static_cast<uint32_t>(typeDirectory[i]));
      putText(resource.type, typeText[i]);
      typeDir = openDirectory(typeDirectory[i], i, newName, newType, &Resource::name);
    }
    if (newName[i]) {
      addEntry(typeDir, resource.name, nameText[i], kHighBit | static_cast<uint32_t>(nameDirectory[i]));
      putText(resource.name, nameText[i]);
      nameDir = openDirectory(nameDirectory[i], i, everyOne, newName, &Resource::language);
    }
    const size_t dataEntry = dataEntries + kDataEntrySize * i;
    addEntry(nameDir, resource.language, languageText[i], static_cast<uint32_t>(dataEntry));
    putText(resource.language, languageText[i]);
    writeLittle32(base + dataEntry, rva + static_cast<uint32_t>(dataAt[i]));
    writeLittle32(base + dataEntry + 4, static_cast<uint32_t>(resource.data.size()));
    writeLittle32(base + dataEntry + 8, resource.codePage);
    std::copy(resource.data.begin(), resource.data.end(), out.begin() + static_cast<std::ptrdiff_t>(dataAt[i]));
  }
  return out;
}

}  // namespace xoq
