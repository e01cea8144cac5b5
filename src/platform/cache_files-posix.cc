#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/cache_files.h"
#include "platform/platform.h"

namespace xoq {
namespace platform {

std::string userCacheFolder() {
  std::string folder;
  if (getEnvironment("XDG_CACHE_HOME", folder) && !folder.empty() && folder[0] == '/') {
    return folder.back() == '/' ? folder : folder + "/";
  }
  if (getEnvironment("HOME", folder) && !folder.empty() && folder[0] == '/') {
    return folder + (folder.back() == '/' ? "" : "/") + ".cache/";
  }
  return std::string();
}

bool makeFolders(const std::string& path) {
  if (path.empty()) return false;
  if (isDirectory(path)) return true;
  const size_t separator = path.find_last_of('/');
  if (separator != std::string::npos && separator > 0 && !makeFolders(path.substr(0, separator))) return false;
  return (mkdir(path.c_str(), 0700) == 0 || errno == EEXIST) && isDirectory(path);
}

bool fileStamp(const std::string& path, uint64_t& size, uint64_t& modified) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return false;
  size = static_cast<uint64_t>(info.st_size);
  modified = static_cast<uint64_t>(info.st_mtim.tv_sec) * 1000000000u + static_cast<uint64_t>(info.st_mtim.tv_nsec);
  return true;
}

bool replaceFile(const std::string& from, const std::string& to) { return rename(from.c_str(), to.c_str()) == 0; }

bool removeFile(const std::string& path) { return unlink(path.c_str()) == 0; }

}  // namespace platform
}  // namespace xoq
