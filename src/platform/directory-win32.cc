#include <windows.h>

#include <cstring>

#include "platform/directory.h"

namespace xoq {
namespace platform {

bool listDirectory(const std::string& directory, std::vector<DirectoryEntry>& entries) {
  entries.clear();
  const std::string prefix =
      directory.empty() || directory.back() == '/' || directory.back() == '\\' ? directory : directory + "/";
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA((prefix + "*").c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) return false;
  do {
    if (strcmp(data.cFileName, ".") == 0 || strcmp(data.cFileName, "..") == 0) continue;
    DirectoryEntry found;
    found.name = data.cFileName;
    found.isDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    found.isLink = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    entries.push_back(found);
  } while (FindNextFileA(search, &data));
  FindClose(search);
  return true;
}

}  // namespace platform
}  // namespace xoq
