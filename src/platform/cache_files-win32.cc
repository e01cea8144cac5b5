#include <windows.h>

#include "platform/cache_files.h"
#include "platform/platform.h"

namespace xoq {
namespace platform {

std::string userCacheFolder() {
  std::string folder;
  if (!getEnvironment("LOCALAPPDATA", folder) || folder.empty()) return std::string();
  const char last = folder.back();
  return last == '\\' || last == '/' ? folder : folder + "\\";
}

bool makeFolders(const std::string& path) {
  if (path.empty()) return false;
  if (isDirectory(path)) return true;
  const size_t separator = path.find_last_of("\\/");
  // Stop at a drive ("C:") or at the start of a UNC name.
  if (separator != std::string::npos && separator > 2 && !makeFolders(path.substr(0, separator))) return false;
  return (CreateDirectoryA(path.c_str(), nullptr) != 0 || GetLastError() == ERROR_ALREADY_EXISTS) && isDirectory(path);
}

bool fileStamp(const std::string& path, uint64_t& size, uint64_t& modified) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return false;
  size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  modified = (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
  return true;
}

bool replaceFile(const std::string& from, const std::string& to) {
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

bool removeFile(const std::string& path) { return DeleteFileA(path.c_str()) != 0; }

}  // namespace platform
}  // namespace xoq
