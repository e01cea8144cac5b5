// Short forms of the archive reader's calls for tests: open a node on a copy
// of some bytes, read an entry into a string, collect entry paths.
#ifndef XOQ_TESTS_SUPPORT_ARCHIVE_READS_H_
#define XOQ_TESTS_SUPPORT_ARCHIVE_READS_H_

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "archive/archive_node.h"

namespace xoq {
namespace testing {

/// What read() and firstPath() return when nothing is found.
constexpr char kNotFound[] = "<not found>";

/// A node opened on its own copy of `archive`.
inline std::unique_ptr<ArchiveNode> openNode(const std::string& archive, int32_t depth = kPayloadNestingDepth) {
  std::unique_ptr<ArchiveNode> node(new ArchiveNode(depth));
  std::unique_ptr<uint8_t[]> bytes(new uint8_t[archive.size() + 1]);
  memcpy(bytes.get(), archive.data(), archive.size());
  openArchiveMemory(*node, std::move(bytes), archive.size());
  return node;
}

inline bool allocateString(void* argument, uint32_t size, uint8_t** destination) {
  std::string* out = static_cast<std::string*>(argument);
  out->assign(size, '\0');
  *destination = reinterpret_cast<uint8_t*>(&(*out)[0]);
  return true;
}

/// The entry's bytes, or kNotFound.
inline std::string read(const ArchiveNode& node, const std::string& name, bool searchNested = true) {
  std::string out;
  if (!readEntryBytes(node, name, searchNested, allocateString, &out)) return kNotFound;
  return out;
}

/// The first entry path findEntryPaths gives, or kNotFound.
inline std::string firstPath(const ArchiveNode& node, const std::string& name) {
  std::string path;
  if (!findEntryPaths(node, name, path, "", nullptr, nullptr)) return kNotFound;
  return path;
}

inline void collectPath(void* argument, const std::string& entryPath) {
  static_cast<std::vector<std::string>*>(argument)->push_back(entryPath);
}

/// Every entry path findEntryPaths reports, in order.
inline std::vector<std::string> allPaths(const ArchiveNode& node, const std::string& name) {
  std::vector<std::string> paths;
  std::string unused;
  findEntryPaths(node, name, unused, "", collectPath, &paths);
  return paths;
}

}  // namespace testing
}  // namespace xoq

#endif  // XOQ_TESTS_SUPPORT_ARCHIVE_READS_H_
