// Windows side of xoqpack's file seam: UTF-8 paths become UTF-16 and, for
// the system's file functions, the extended-length form ("\\?\C:\...",
// "\\?\UNC\host\share\..."), which no code page limits and which may be
// longer than MAX_PATH. The full path is made first, so '/' separators,
// '.' and '..' are taken as the user meant them.
// windows.h comes first: the other system headers rely on its types.
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "host_files.h"
#include "host_text-win32.h"

namespace xoq {
namespace host {

namespace {

struct HandleCloser {
  void operator()(HANDLE handle) const {
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
};
using HandlePointer = std::unique_ptr<void, HandleCloser>;

struct FindCloser {
  void operator()(HANDLE handle) const {
    if (handle != INVALID_HANDLE_VALUE) FindClose(handle);
  }
};
using FindPointer = std::unique_ptr<void, FindCloser>;

bool startsWith(const std::wstring& text, const wchar_t* prefix) { return text.rfind(prefix, 0) == 0; }

// The full path, as GetFullPathNameW makes it; empty on failure.
std::wstring fullPath(const std::wstring& path) {
  if (path.empty()) return std::wstring();
  std::wstring buffer(MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 3; ++attempt) {
    const DWORD length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(buffer.size()), &buffer[0], nullptr);
    if (length == 0) return std::wstring();
    if (length < buffer.size()) {
      buffer.resize(length);
      return buffer;
    }
    buffer.assign(length + 1, L'\0');
  }
  return std::wstring();
}

// The form handed to the system's file functions.
std::wstring systemPath(const std::string& path) {
  const std::wstring wide = wideOf(path);
  if (startsWith(wide, L"\\\\?\\")) return wide;
  const std::wstring full = fullPath(wide);
  if (full.empty()) return wide;
  if (startsWith(full, L"\\\\.\\")) return full;  // a device: NUL, CON, ...
  if (startsWith(full, L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

// The path as a user reads it: without the extended-length prefix.
std::wstring userPath(const std::wstring& path) {
  if (startsWith(path, L"\\\\?\\UNC\\")) return L"\\\\" + path.substr(8);
  if (startsWith(path, L"\\\\?\\")) return path.substr(4);
  return path;
}

// The words the POSIX side would use for the same failure, so that a
// user's mistake reads the same on either system.
std::string reasonOf(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
      return "No such file or directory";
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
      return "Permission denied";
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return "No space left on device";
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS:
      return "File exists";
    case ERROR_DIR_NOT_EMPTY:
      return "Directory not empty";
    case ERROR_DIRECTORY:
      return "Not a directory";
    default:
      break;
  }
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
      MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring message = length > 0 ? std::wstring(text, length) : std::wstring();
  if (text != nullptr) LocalFree(text);
  while (!message.empty() && (message.back() == L'\r' || message.back() == L'\n' || message.back() == L'.'))
    message.pop_back();
  return message.empty() ? "system error " + std::to_string(error) : utf8Of(message);
}

// Opens `path` (files and folders alike, links followed) only to ask about
// it.
HandlePointer openForQuery(const std::wstring& path) {
  return HandlePointer(CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

// Deeper than this, a tree walked through its links is taken for a loop.
constexpr int kDeepestLinkedTree = 40;

// Every file below `folder`, named from `prefix`. With `leftOut`, linked
// folders are entered and what is neither file nor folder is named there.
bool listBelow(const std::wstring& folder, const std::string& prefix, std::vector<std::string>& files,
               std::vector<std::string>* leftOut, int depth, std::string& reason) {
  if (depth > kDeepestLinkedTree) {
    reason = prefix + ": folders nested too deep (a loop of links?)";
    return false;
  }
  WIN32_FIND_DATAW found;
  FindPointer search(FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                                      nullptr, FIND_FIRST_EX_LARGE_FETCH));
  if (search.get() == INVALID_HANDLE_VALUE) {
    reason = (prefix.empty() ? "" : prefix + ": ") + reasonOf(GetLastError());
    return false;
  }
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    const std::wstring path = folder + L"\\" + name;
    const DWORD attributes = found.dwFileAttributes;
    const bool link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      // A linked folder (symbolic link or junction) is entered only when
      // asked for.
      if ((!link || leftOut != nullptr) &&
          !listBelow(path, prefix + utf8Of(name) + "/", files, leftOut, depth + 1, reason))
        return false;
      continue;
    }
    if (link) {
      BY_HANDLE_FILE_INFORMATION information;
      const HandlePointer target = openForQuery(path);
      if (target.get() == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(target.get(), &information) ||
          (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        if (leftOut != nullptr) leftOut->push_back(prefix + utf8Of(name));
        continue;
      }
    }
    files.push_back(prefix + utf8Of(name));
  } while (FindNextFileW(search.get(), &found));
  const DWORD error = GetLastError();
  if (error != ERROR_NO_MORE_FILES) {
    reason = (prefix.empty() ? "" : prefix + ": ") + reasonOf(error);
    return false;
  }
  return true;
}

bool removeBelow(const std::wstring& path, std::string& reason) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return true;
    reason = reasonOf(error);
    return false;
  }
  if ((attributes & FILE_ATTRIBUTE_READONLY) != 0)
    SetFileAttributesW(path.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    if (DeleteFileW(path.c_str())) return true;
    reason = reasonOf(GetLastError());
    return false;
  }
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    FindPointer search(
        FindFirstFileExW((path + L"\\*").c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0));
    if (search.get() != INVALID_HANDLE_VALUE) {
      do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") names.push_back(name);
      } while (FindNextFileW(search.get(), &found));
    }
    search.reset();
    for (const std::wstring& name : names) {
      if (!removeBelow(path + L"\\" + name, reason)) return false;
    }
  }
  if (RemoveDirectoryW(path.c_str())) return true;
  reason = reasonOf(GetLastError());
  return false;
}

}  // namespace

FileKind fileKind(const std::string& path) {
  const std::wstring system = systemPath(path);
  DWORD attributes = GetFileAttributesW(system.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return FileKind::kMissing;
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    BY_HANDLE_FILE_INFORMATION information;
    const HandlePointer target = openForQuery(system);
    if (target.get() == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(target.get(), &information))
      return FileKind::kMissing;
    attributes = information.dwFileAttributes;
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return FileKind::kDirectory;
  if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0) return FileKind::kOther;
  return FileKind::kFile;
}

bool readFile(const std::string& path, std::string& content, std::string& reason) {
  content.clear();
  const HandlePointer file(CreateFileW(systemPath(path).c_str(), GENERIC_READ,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) {
    reason = reasonOf(GetLastError());
    return false;
  }
  char block[1 << 16];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file.get(), block, sizeof block, &got, nullptr)) {
      reason = reasonOf(GetLastError());
      return false;
    }
    if (got == 0) return true;
    content.append(block, got);
  }
}

FilePointer openFile(const std::string& path, const char* mode, std::string& reason) {
  FilePointer file(_wfopen(systemPath(path).c_str(), wideOf(mode).c_str()));
  if (!file) reason = strerror(errno);
  return file;
}

bool seekFile(std::FILE* file, uint64_t position) {
  return _fseeki64(file, static_cast<__int64>(position), SEEK_SET) == 0;
}

int64_t tellFile(std::FILE* file) { return _ftelli64(file); }

std::string absolutePath(const std::string& path) {
  const std::wstring wide = wideOf(path);
  if (startsWith(wide, L"\\\\?\\")) return path;
  const std::wstring full = fullPath(wide);
  return full.empty() ? std::string() : utf8Of(full);
}

std::string canonicalPath(const std::string& path) {
  const std::wstring system = systemPath(path);
  const HandlePointer file = openForQuery(system);
  if (file.get() == INVALID_HANDLE_VALUE) return std::string();
  std::wstring buffer(MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 3; ++attempt) {
    const DWORD length = GetFinalPathNameByHandleW(file.get(), &buffer[0], static_cast<DWORD>(buffer.size()),
                                                   FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0) break;
    if (length < buffer.size()) {
      buffer.resize(length);
      return utf8Of(userPath(buffer));
    }
    buffer.assign(length + 1, L'\0');
  }
  // The file exists, but the system cannot name its final path (Wine cannot
  // past MAX_PATH): its full path is the next best name.
  return utf8Of(userPath(system));
}

std::string joinPath(const std::string& folder, const std::string& relative) {
  std::string joined = folder;
  if (!joined.empty() && joined.back() != '\\' && joined.back() != '/' && joined.back() != ':') joined += '\\';
  for (const char c : relative) joined += c == '/' ? '\\' : c;
  return joined;
}

std::string folderOf(const std::string& path) {
  const size_t separator = path.find_last_of("\\/");
  if (separator != std::string::npos) return path.substr(0, separator + 1);
  // "C:name" is a name in drive C's current folder.
  return path.size() >= 2 && path[1] == ':' ? path.substr(0, 2) : std::string();
}

bool listFiles(const std::string& folder, std::vector<std::string>& files, std::string& reason) {
  files.clear();
  std::wstring system = systemPath(folder);
  while (system.size() > 7 && system.back() == L'\\') system.pop_back();
  if (!listBelow(system, "", files, nullptr, 0, reason)) return false;
  std::sort(files.begin(), files.end());
  return true;
}

bool listFilesThroughLinks(const std::string& folder, std::vector<std::string>& files,
                           std::vector<std::string>& leftOut, std::string& reason) {
  files.clear();
  leftOut.clear();
  std::wstring system = systemPath(folder);
  while (system.size() > 7 && system.back() == L'\\') system.pop_back();
  if (!listBelow(system, "", files, &leftOut, 0, reason)) return false;
  std::sort(files.begin(), files.end());
  return true;
}

bool fileSize(const std::string& path, uint64_t& size) {
  const HandlePointer file = openForQuery(systemPath(path));
  LARGE_INTEGER value;
  if (file.get() == INVALID_HANDLE_VALUE || !GetFileSizeEx(file.get(), &value)) return false;
  size = static_cast<uint64_t>(value.QuadPart);
  return true;
}

bool keepsExecutableBits() { return false; }

bool isExecutable(const std::string&) { return false; }

bool setFileRights(const std::string&, bool, std::string&) { return true; }

bool movePath(const std::string& from, const std::string& to, std::string& reason) {
  // Without MOVEFILE_REPLACE_EXISTING, which folders do not take: nothing
  // may be at `to`.
  if (MoveFileExW(systemPath(from).c_str(), systemPath(to).c_str(), 0)) return true;
  reason = reasonOf(GetLastError());
  return false;
}

bool replaceFile(const std::string& from, const std::string& to, std::string& reason) {
  if (MoveFileExW(systemPath(from).c_str(), systemPath(to).c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
  reason = reasonOf(GetLastError());
  return false;
}

bool removeFile(const std::string& path) { return DeleteFileW(systemPath(path).c_str()) != 0; }

bool makeFolder(const std::string& path, std::string& reason) {
  if (CreateDirectoryW(systemPath(path).c_str(), nullptr)) return true;
  const DWORD error = GetLastError();
  if (error == ERROR_ALREADY_EXISTS && fileKind(path) == FileKind::kDirectory) return true;
  reason = reasonOf(error);
  return false;
}

bool removeTree(const std::string& path, std::string& reason) { return removeBelow(systemPath(path), reason); }

void copyPermissions(const std::string&, const std::string&) {}

std::string fileUrlPath(const std::string& path) {
  const std::wstring plain = userPath(wideOf(path));
  std::string url = utf8Of(plain);
  for (char& c : url) {
    if (c == '\\') c = '/';
  }
  // "C:/a" is "/C:/a" in a URL; "//host/share" stays as it is.
  if (url.size() >= 2 && url[1] == ':') url.insert(0, "/");
  return url;
}

std::string pathOfFileUrl(const std::string& urlPath) {
  std::string path = urlPath;
  // "/C:/a" is the path "C:\a", as the runtime's File takes it.
  if (path.size() >= 3 && path[0] == '/' && path[2] == ':') path.erase(0, 1);
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

}  // namespace host
}  // namespace xoq
