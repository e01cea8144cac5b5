#include <dirent.h>
#include <sys/stat.h>

#include <cstring>

#include "platform/directory.h"

namespace xoq {
namespace platform {

bool listDirectory(const std::string& directory, std::vector<DirectoryEntry>& entries) {
  entries.clear();
  DIR* handle = opendir(directory.empty() ? "." : directory.c_str());
  if (handle == nullptr) return false;
  const std::string prefix =
      directory.empty() || directory.back() == '/' || directory.back() == '\\' ? directory : directory + "/";
  while (const struct dirent* entry = readdir(handle)) {
    if (strcmp(entry->d_name, ".") == 0 || strcmp(entry->d_name, "..") == 0) continue;
    DirectoryEntry found;
    found.name = entry->d_name;
    if (entry->d_type == DT_DIR) {
      found.isDirectory = true;
    } else if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
      // Links count as what they point to, as on Windows a junction does.
      const std::string path = prefix + found.name;
      struct stat info;
      found.isDirectory = stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
      found.isLink = entry->d_type == DT_LNK || (lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode));
    }
    entries.push_back(found);
  }
  closedir(handle);
  return true;
}

}  // namespace platform
}  // namespace xoq
