#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>

#include "platform/file_search.h"

namespace xoq {
namespace platform {

const char kPatternSeparators[] = "/";

bool findMatchingEntries(const std::string& pattern, std::vector<FoundEntry>& entries) {
  entries.clear();
  const size_t separator = pattern.rfind('/');
  const std::string directory = separator == std::string::npos ? std::string() : pattern.substr(0, separator + 1);
  const std::string component = separator == std::string::npos ? pattern : pattern.substr(separator + 1);
  DIR* handle = opendir(directory.empty() ? "." : directory.c_str());
  if (handle == nullptr) return false;
  while (const struct dirent* entry = readdir(handle)) {
    if (strcmp(entry->d_name, ".") == 0 || strcmp(entry->d_name, "..") == 0) continue;
    if (!matchesPattern(component.c_str(), entry->d_name)) continue;
    FoundEntry found;
    found.name = entry->d_name;
    if (entry->d_type == DT_DIR) {
      found.isDirectory = true;
    } else if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
      // A link to a directory is searched through, as a junction is on
      // Windows.
      struct stat info;
      found.isDirectory = stat((directory + found.name).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
    }
    entries.push_back(found);
  }
  closedir(handle);
  // readdir's order is the file system's hash order, which changes from one
  // copy of a tree to the next; names in byte order are what a user expects
  // and what an NTFS search gives on Windows.
  std::sort(entries.begin(), entries.end(), [](const FoundEntry& a, const FoundEntry& b) { return a.name < b.name; });
  return !entries.empty();
}

}  // namespace platform
}  // namespace xoq
