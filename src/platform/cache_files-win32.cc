#include <windows.h>

#include <string>

#include "platform/cache_files.h"
#include "platform/platform.h"

namespace xoq {
namespace platform {

namespace {

// The system's words for `code`, without the line break it ends them with.
std::string systemReason(DWORD code) {
  char* text = nullptr;
  const DWORD length =
      FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM,
                     nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string reason = length > 0 && text != nullptr ? std::string(text, length) : std::string();
  if (text != nullptr) LocalFree(text);
  while (!reason.empty() &&
         (reason.back() == '\n' || reason.back() == '\r' || reason.back() == ' ' || reason.back() == '.')) {
    reason.pop_back();
  }
  return reason.empty() ? "system error " + std::to_string(code) : reason;
}

bool failWith(std::string& reason, DWORD code) {
  reason = systemReason(code);
  return false;
}

// The full, lower-case form of a path, with '\' separators and none at its
// end, for comparing folders.
std::string comparable(const std::string& path) {
  char buffer[MAX_PATH];
  const DWORD length = GetFullPathNameA(path.c_str(), MAX_PATH, buffer, nullptr);
  std::string full = length > 0 && length < MAX_PATH ? std::string(buffer, length) : path;
  for (char& c : full) {
    if (c == '/') c = '\\';
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  while (full.size() > 3 && full.back() == '\\') full.pop_back();
  return full;
}

}  // namespace

const char kPathSeparator = '\\';

std::string userCacheFolder() {
  std::string folder;
  if (!getEnvironment("LOCALAPPDATA", folder) || folder.empty()) return std::string();
  const char last = folder.back();
  return last == '\\' || last == '/' ? folder : folder + "\\";
}

bool makeFolders(const std::string& path) {
  std::string failedFolder, reason;
  return makeFolders(path, failedFolder, reason);
}

bool makeFolders(const std::string& path, std::string& failedFolder, std::string& reason) {
  if (path.empty()) {
    failedFolder = path;
    reason = "no folder named";
    return false;
  }
  if (isDirectory(path)) return true;
  const size_t separator = path.find_last_of("\\/");
  // Stop at a drive ("C:") or at the start of a UNC name.
  if (separator != std::string::npos && separator > 2 && !makeFolders(path.substr(0, separator), failedFolder, reason))
    return false;
  if (CreateDirectoryA(path.c_str(), nullptr) == 0 && GetLastError() != ERROR_ALREADY_EXISTS) {
    failedFolder = path;
    return failWith(reason, GetLastError());
  }
  if (!isDirectory(path)) {
    failedFolder = path;
    reason = "it is not a folder";
    return false;
  }
  return true;
}

bool makeNewFolder(const std::string& path, std::string& reason) {
  return CreateDirectoryA(path.c_str(), nullptr) != 0 || failWith(reason, GetLastError());
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

bool writeNewFile(const std::string& path, const uint8_t* data, size_t size, bool, std::string& reason) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return failWith(reason, GetLastError());
  size_t done = 0;
  while (done < size) {
    const DWORD chunk = size - done > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size - done);
    DWORD written = 0;
    if (!WriteFile(file, data + done, chunk, &written, nullptr) || written == 0) {
      const DWORD code = written == 0 && GetLastError() == ERROR_SUCCESS ? ERROR_DISK_FULL : GetLastError();
      CloseHandle(file);
      return failWith(reason, code);
    }
    done += written;
  }
  return CloseHandle(file) != 0 || failWith(reason, GetLastError());
}

bool renameFolder(const std::string& from, const std::string& to, std::string& reason) {
  // Without MOVEFILE_REPLACE_EXISTING the move fails when `to` exists.
  return MoveFileExA(from.c_str(), to.c_str(), 0) != 0 || failWith(reason, GetLastError());
}

bool removeTree(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return true;
  if (attributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesA(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
  // A junction is removed as the link it is; what it points to stays.
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return DeleteFileA(path.c_str()) != 0;
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((path + "\\*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
      do {
        const std::string name = entry.cFileName;
        if (name != "." && name != "..") removeTree(path + "\\" + name);
      } while (FindNextFileA(find, &entry));
      FindClose(find);
    }
  }
  return RemoveDirectoryA(path.c_str()) != 0;
}

bool checkCacheFolder(const std::string& folder, bool ours, std::string& reason) {
  const DWORD attributes = GetFileAttributesA(folder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return failWith(reason, GetLastError());
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    reason = "it is not a folder";
    return false;
  }
  if (ours) {
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      reason = "it is a link to another folder";
      return false;
    }
    return true;
  }
  std::string profile;
  if (!getEnvironment("USERPROFILE", profile) || profile.empty()) {
    reason = "the user's profile folder is not known (USERPROFILE is not set)";
    return false;
  }
  const std::string own = comparable(profile);
  const std::string here = comparable(folder);
  if (here == own || (here.size() > own.size() && here.compare(0, own.size(), own) == 0 && here[own.size()] == '\\')) {
    return true;
  }
  reason = "it is not inside the user's profile " + profile;
  return false;
}

FileLock::~FileLock() {
  if (handle_ != nullptr) CloseHandle(static_cast<HANDLE>(handle_));  // drops the lock
}

bool FileLock::acquire(const std::string& path, uint32_t waitMillis, std::string& reason) {
  const uint64_t deadline = monotonicMillis() + waitMillis;
  for (;;) {
    // Opened without sharing: the open itself is the lock, and the system
    // closes the handle of a process that ends.
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      handle_ = file;
      locked_ = true;
      return true;
    }
    const DWORD code = GetLastError();
    if (code != ERROR_SHARING_VIOLATION && code != ERROR_LOCK_VIOLATION) {
      return failWith(reason, code);
    }
    if (monotonicMillis() >= deadline) {
      reason = "another start has held it for " + std::to_string(waitMillis / 1000) + " seconds";
      return false;
    }
    Sleep(10);
  }
}

}  // namespace platform
}  // namespace xoq
