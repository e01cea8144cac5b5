#include "resource_tree.h"

#include <algorithm>
#include <utility>

#include "base/byte_order.h"

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
    // Entries of a sound tree do not share data, so together they hold no
    // more than the image; a damaged one could name its whole section from
    // every leaf.
    copied_ += size;
    if (copied_ > image_.bytes().size()) {
      error = "its resources add up to more than the whole file";
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
  uint64_t copied_ = 0;  // bytes of resource data taken so far
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

  // The tree's levels: types, the names of each, the languages of each name
  // (a run of `sorted`, since set() keeps one resource per type, name and
  // language). `directory` is where each one's directory goes.
  struct NameGroup {
    size_t first;
    size_t count;
    size_t directory;
  };
  struct TypeGroup {
    std::vector<NameGroup> names;
    size_t directory;
  };
  std::vector<TypeGroup> types;
  for (size_t i = 0; i < sorted.size(); ++i) {
    const bool newType = i == 0 || compareResourceNames(sorted[i].type, sorted[i - 1].type) != 0;
    if (newType) types.push_back({{}, 0});
    if (newType || compareResourceNames(sorted[i].name, sorted[i - 1].name) != 0)
      types.back().names.push_back({i, 0, 0});
    ++types.back().names.back().count;
  }

  // Offsets: root, type directories, name directories, data entries, texts,
  // then the data itself.
  const auto textSize = [](const ResourceName& name) { return name.isText() ? 2 + 2 * name.text.size() : 0; };
  size_t offset = kDirectorySize + kEntrySize * types.size();
  size_t textBytes = 0;
  for (TypeGroup& type : types) {
    type.directory = offset;
    offset += kDirectorySize + kEntrySize * type.names.size();
    textBytes += textSize(sorted[type.names.front().first].type);
  }
  for (TypeGroup& type : types) {
    for (NameGroup& name : type.names) {
      name.directory = offset;
      offset += kDirectorySize + kEntrySize * name.count;
      textBytes += textSize(sorted[name.first].name);
      for (size_t i = name.first; i < name.first + name.count; ++i) textBytes += textSize(sorted[i].language);
    }
  }
  const size_t dataEntries = offset;
  size_t text = dataEntries + kDataEntrySize * sorted.size();
  offset = text + textBytes;
  std::vector<size_t> dataAt(sorted.size());
  for (size_t i = 0; i < sorted.size(); ++i) {
    offset = (offset + 7) & ~static_cast<size_t>(7);
    dataAt[i] = offset;
    offset += sorted[i].data.size();
  }

  std::string out(offset, '\0');
  uint8_t* base = reinterpret_cast<uint8_t*>(&out[0]);
  // A directory at `at` with its entries, each a name and what it leads to
  // (text names sort first, as the header counts them); a text goes to the
  // next free place for texts.
  using Entries = std::vector<std::pair<const ResourceName*, uint32_t>>;
  const auto directory = [&](size_t at, const Entries& entries) {
    uint16_t texts = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
      const ResourceName& name = *entries[i].first;
      uint32_t field = name.id;
      if (name.isText()) {
        ++texts;
        field = kHighBit | static_cast<uint32_t>(text);
        writeLittle16(base + text, static_cast<uint16_t>(name.text.size()));
        for (size_t k = 0; k < name.text.size(); ++k) writeLittle16(base + text + 2 + 2 * k, name.text[k]);
        text += textSize(name);
      }
      writeLittle32(base + at + kDirectorySize + kEntrySize * i, field);
      writeLittle32(base + at + kDirectorySize + kEntrySize * i + 4, entries[i].second);
    }
    writeLittle16(base + at + 12, texts);
    writeLittle16(base + at + 14, static_cast<uint16_t>(entries.size() - texts));
  };

  Entries root;
  for (const TypeGroup& type : types)
    root.emplace_back(&sorted[type.names.front().first].type, kHighBit | static_cast<uint32_t>(type.directory));
  directory(0, root);
  for (const TypeGroup& type : types) {
    Entries names;
    for (const NameGroup& name : type.names)
      names.emplace_back(&sorted[name.first].name, kHighBit | static_cast<uint32_t>(name.directory));
    directory(type.directory, names);
    for (const NameGroup& name : type.names) {
      Entries languages;
      for (size_t i = name.first; i < name.first + name.count; ++i) {
        const size_t dataEntry = dataEntries + kDataEntrySize * i;
        languages.emplace_back(&sorted[i].language, static_cast<uint32_t>(dataEntry));
        writeLittle32(base + dataEntry, rva + static_cast<uint32_t>(dataAt[i]));
        writeLittle32(base + dataEntry + 4, static_cast<uint32_t>(sorted[i].data.size()));
        writeLittle32(base + dataEntry + 8, sorted[i].codePage);
        std::copy(sorted[i].data.begin(), sorted[i].data.end(), out.begin() + static_cast<std::ptrdiff_t>(dataAt[i]));
      }
      directory(name.directory, languages);
    }
  }
  return out;
}

}  // namespace xoq
