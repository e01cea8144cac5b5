// Listing a directory, in the order the system returns its entries.
#ifndef XOQ_PLATFORM_DIRECTORY_H_
#define XOQ_PLATFORM_DIRECTORY_H_

#include <string>
#include <vector>

namespace xoq {
namespace platform {

struct DirectoryEntry {
  std::string name;
  bool isDirectory = false;  // a link counts as what it points to
  bool isLink = false;       // a symbolic link, or a junction on Windows
};

/// The entries of `directory` (which ends in a separator or not), "." and
/// ".." left out, unsorted, hidden entries included. False when the
/// directory cannot be read.
bool listDirectory(const std::string& directory, std::vector<DirectoryEntry>& entries);

}  // namespace platform
}  // namespace xoq

#endif  // XOQ_PLATFORM_DIRECTORY_H_
