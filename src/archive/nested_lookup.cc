#include "archive/nested_lookup.h"

#include <algorithm>

#include "archive/archive_node.h"

namespace xoq {

namespace {

bool isSeparator(char c) { return c == '/' || c == '\\'; }

}  // namespace

size_t folderLength(std::string_view name) {
  size_t end = name.size();
  if (end > 0 && isSeparator(name[end - 1])) --end;
  while (end > 0 && !isSeparator(name[end - 1])) --end;
  return end > 0 ? end - 1 : 0;
}

uint32_t folderHash(std::string_view name) {
  const size_t end = folderLength(name);
  // FNV-1a over the folder's bytes, '/' read as '\'.
  uint32_t hash = 2166136261u;
  for (size_t i = 0; i < end; ++i) {
    const char c = name[i] == '/' ? '\\' : name[i];
    hash = (hash ^ static_cast<uint8_t>(c)) * 16777619u;
  }
  return hash;
}

void NestedLookup::build(const ArchiveNode& root) {
  archives_.clear();
  records_.clear();
  for (size_t i = 0; i < root.nestedNames().size(); ++i) {
    if (root.child(i) != nullptr) add(*root.child(i), 1, root.nestedNames()[i]);
  }
  std::sort(records_.begin(), records_.end());
  records_.shrink_to_fit();
  archives_.shrink_to_fit();
}

void NestedLookup::add(const ArchiveNode& node, int32_t depth, const std::string& path) {
  const uint64_t index = archives_.size();
  archives_.push_back(Archive{&node, depth, path});
  // Each folder once per archive. A multi-release jar's versioned entries
  // stand in for names in the folders they name.
  std::vector<uint32_t> folders;
  folders.reserve(node.entryCount() / 8 + node.versionedCount());
  // In the order the archive lists its entries, a folder's entries mostly
  // follow one another: a folder like the one before is not hashed again.
  std::string_view previous;
  for (size_t i = 0; i < node.entryCount(); ++i) {
    const std::string_view name = node.listedName(i);
    const std::string_view folder = name.substr(0, folderLength(name));
    if (i > 0 && folder == previous) continue;
    previous = folder;
    folders.push_back(folderHash(name));
  }
  for (size_t i = 0; i < node.versionedCount(); ++i) folders.push_back(folderHash(node.versionedName(i)));
  std::sort(folders.begin(), folders.end());
  folders.erase(std::unique(folders.begin(), folders.end()), folders.end());
  for (const uint32_t folder : folders) records_.push_back(static_cast<uint64_t>(folder) << 32 | index);
  for (size_t i = 0; i < node.nestedNames().size(); ++i) {
    if (node.child(i) != nullptr) add(*node.child(i), depth + 1, path + "!" + node.nestedNames()[i]);
  }
}

size_t NestedLookup::firstRecord(uint64_t key) const {
  return static_cast<size_t>(std::lower_bound(records_.begin(), records_.end(), key) - records_.begin());
}

size_t NestedLookup::memory() const {
  size_t bytes = archives_.capacity() * sizeof(Archive) + records_.capacity() * sizeof(uint64_t);
  for (const Archive& archive : archives_) {
    if (archive.path.capacity() > std::string().capacity()) bytes += archive.path.capacity() + 1;
  }
  return bytes;
}

}  // namespace xoq
