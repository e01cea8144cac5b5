// Windows side of the OS seam: the narrow ("A") functions throughout.
// windows.h comes first: the other system headers rely on its types.
#include <windows.h>

#include <commctrl.h>
#include <io.h>
#include <process.h>

#include <clocale>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

namespace xoq {
namespace platform {

const size_t kMaxPath = MAX_PATH;

void selectUserLocale() { setlocale(LC_ALL, ""); }

bool narrowFormIsUtf8() { return GetACP() == CP_UTF8; }

std::string modulePath() {
  char buffer[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return std::string();
  return std::string(buffer, length);
}

std::string currentDirectory() {
  char buffer[MAX_PATH];
  const DWORD length = GetCurrentDirectoryA(MAX_PATH, buffer);
  if (length == 0 || length >= MAX_PATH) return std::string();
  return std::string(buffer, length);
}

bool setCurrentDirectory(const std::string& path) { return SetCurrentDirectoryA(path.c_str()) != 0; }

std::string fullPathName(const std::string& path) {
  if (path.empty()) return std::string();
  std::string buffer(MAX_PATH, '\0');
  DWORD length = GetFullPathNameA(path.c_str(), static_cast<DWORD>(buffer.size()), &buffer[0], nullptr);
  if (length >= buffer.size()) {
    buffer.assign(length + 1, '\0');
    length = GetFullPathNameA(path.c_str(), static_cast<DWORD>(buffer.size()), &buffer[0], nullptr);
  }
  if (length == 0 || length >= buffer.size()) return std::string();
  buffer.resize(length);
  return buffer;
}

bool isReadable(const std::string& path) { return _access(path.c_str(), 4) == 0; }

bool exists(const std::string& path) { return _access(path.c_str(), 0) == 0; }

bool isDirectory(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

namespace {

// Every file the launcher reads is opened the same way: for reading, with
// others allowed to read and write it meanwhile.
HANDLE openForReading(const std::string& path) {
  return CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

bool readWholeFile(const std::string& path, std::string& out) {
  out.clear();
  HANDLE file = openForReading(path);
  if (file == INVALID_HANDLE_VALUE) return false;
  const DWORD size = GetFileSize(file, nullptr);
  if (size == INVALID_FILE_SIZE) {
    CloseHandle(file);
    return false;
  }
  out.resize(size);
  DWORD done = 0;
  const BOOL ok = size == 0 || ReadFile(file, &out[0], size, &done, nullptr);
  CloseHandle(file);
  out.resize(ok ? done : 0);
  return ok != 0;
}

bool getEnvironment(const std::string& name, std::string& value) {
  const char* found = getenv(name.c_str());
  if (found == nullptr) return false;
  value = found;
  return true;
}

bool putEnvironment(const std::string& assignment) { return _putenv(assignment.c_str()) == 0; }

uint64_t monotonicMillis() { return GetTickCount64(); }

// ---------------------------------------------------------------------------
// Registry

namespace {

HKEY predefinedKey(RegistryRoot root) {
  switch (root) {
    case RegistryRoot::kClassesRoot:
      return HKEY_CLASSES_ROOT;
    case RegistryRoot::kCurrentUser:
      return HKEY_CURRENT_USER;
    case RegistryRoot::kLocalMachine:
      return HKEY_LOCAL_MACHINE;
    case RegistryRoot::kUsers:
      return HKEY_USERS;
    case RegistryRoot::kCurrentConfig:
      return HKEY_CURRENT_CONFIG;
  }
  return HKEY_CURRENT_USER;
}

class RegistryKey {
 public:
  RegistryKey() = default;
  ~RegistryKey() {
    if (key_ != nullptr) RegCloseKey(key_);
  }
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;
  HKEY* out() { return &key_; }
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

}  // namespace

bool readRegistryValue(RegistryRoot root, const std::string& keyPath, const std::string& valueName,
                       RegistryValue& value) {
  RegistryKey key;
  if (RegOpenKeyExA(predefinedKey(root), keyPath.c_str(), 0, KEY_READ, key.out()) != ERROR_SUCCESS) return false;
  // The size is asked first and the data read into a buffer of that size.
  // Someone may enlarge the value in between; then ask again, a few times.
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(key.get(), valueName.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
    std::string data(size, '\0');
    DWORD got = size;
    const LONG status = RegQueryValueExA(key.get(), valueName.c_str(), nullptr, &type,
                                         size == 0 ? nullptr : reinterpret_cast<BYTE*>(&data[0]), &got);
    if (status == ERROR_MORE_DATA) continue;
    if (status != ERROR_SUCCESS) return false;
    data.resize(got < size ? got : size);
    value.type = type;
    value.data.swap(data);
    return true;
  }
  return false;
}

bool listRegistrySubkeys(RegistryRoot root, const std::string& keyPath, std::vector<std::string>& names) {
  RegistryKey key;
  if (RegOpenKeyExA(predefinedKey(root), keyPath.c_str(), 0, KEY_READ, key.out()) != ERROR_SUCCESS) return false;
  // A key name holds at most 255 characters. The count is bounded so that a
  // key that someone keeps filling cannot hold the start-up forever.
  for (DWORD index = 0; index < 100000; ++index) {
    char name[256];
    DWORD length = sizeof name;
    const LONG status = RegEnumKeyExA(key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status != ERROR_SUCCESS) continue;  // renamed or removed meanwhile
    names.emplace_back(name, length);
  }
  return true;
}

// ---------------------------------------------------------------------------
// Links

namespace {

class FileHandle {
 public:
  explicit FileHandle(HANDLE handle) : handle_(handle) {}
  ~FileHandle() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

}  // namespace

std::string resolveLinks(const std::string& path) {
  // Opened without access rights, only to ask for its name; a folder needs
  // FILE_FLAG_BACKUP_SEMANTICS to be opened at all.
  FileHandle file(CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) return std::string();
  std::string name(MAX_PATH, '\0');
  for (int attempt = 0; attempt < 2; ++attempt) {
    const DWORD length = GetFinalPathNameByHandleA(file.get(), &name[0], static_cast<DWORD>(name.size()),
                                                   FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0) return std::string();
    if (length < name.size()) {
      name.resize(length);
      // "\\?\UNC\server\share" is "\\server\share"; "\\?\C:\x" is "C:\x".
      if (name.compare(0, 8, "\\\\?\\UNC\\") == 0) return "\\\\" + name.substr(8);
      if (name.compare(0, 4, "\\\\?\\") == 0) return name.substr(4);
      return name;
    }
    name.assign(length + 1, '\0');  // the size asked for, terminator included
  }
  return std::string();
}

// ---------------------------------------------------------------------------
// MappedFile

MappedFile::~MappedFile() { close(); }

MappedFile::MappedFile(MappedFile&& other) noexcept
    : data_(other.data_), size_(other.size_), open_(other.open_), file_(other.file_), mapping_(other.mapping_) {
  other.data_ = nullptr;
  other.size_ = 0;
  other.open_ = false;
  other.file_ = nullptr;
  other.mapping_ = nullptr;
}

MappedFile& MappedFile::operator=(MappedFile&& other) noexcept {
  if (this != &other) {
    close();
    data_ = other.data_;
    size_ = other.size_;
    open_ = other.open_;
    file_ = other.file_;
    mapping_ = other.mapping_;
    other.data_ = nullptr;
    other.size_ = 0;
    other.open_ = false;
    other.file_ = nullptr;
    other.mapping_ = nullptr;
  }
  return *this;
}

bool MappedFile::open(const std::string& path) {
  close();
  HANDLE file = openForReading(path);
  if (file == INVALID_HANDLE_VALUE) return false;
  const DWORD size = GetFileSize(file, nullptr);
  if (size == INVALID_FILE_SIZE) {
    CloseHandle(file);
    return false;
  }
  file_ = file;
  open_ = true;
  if (size == 0) return true;  // an empty file cannot be mapped, but is valid
  HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  if (mapping == nullptr) {
    close();
    return false;
  }
  mapping_ = mapping;
  const void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, size);
  if (view == nullptr) {
    close();
    return false;
  }
  data_ = static_cast<const uint8_t*>(view);
  size_ = size;
  return true;
}

void MappedFile::close() {
  if (data_ != nullptr) UnmapViewOfFile(data_);
  if (mapping_ != nullptr) CloseHandle(static_cast<HANDLE>(mapping_));
  if (file_ != nullptr) CloseHandle(static_cast<HANDLE>(file_));
  data_ = nullptr;
  mapping_ = nullptr;
  file_ = nullptr;
  size_ = 0;
  open_ = false;
}

void MappedFile::releaseView() {
  if (data_ != nullptr) UnmapViewOfFile(data_);
  if (mapping_ != nullptr) CloseHandle(static_cast<HANDLE>(mapping_));
  data_ = nullptr;
  mapping_ = nullptr;
}

bool MappedFile::readAt(uint64_t offset, void* buffer, size_t length) const {
  if (file_ == nullptr || offset > size_ || length > size_ - offset) return false;
  uint8_t* into = static_cast<uint8_t*>(buffer);
  while (length > 0) {
    // A read at an explicit position: threads reading the same handle at
    // once do not disturb one another.
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    const DWORD chunk = length > 0x40000000u ? 0x40000000u : static_cast<DWORD>(length);
    DWORD got = 0;
    if (!ReadFile(static_cast<HANDLE>(file_), into, chunk, &got, &at) || got == 0) return false;
    into += got;
    offset += got;
    length -= got;
  }
  return true;
}

// ---------------------------------------------------------------------------
// Thread

Thread::~Thread() {
  if (handle_ != nullptr) CloseHandle(static_cast<HANDLE>(handle_));
}

bool Thread::start(Procedure procedure, void* argument, bool reserveStack) {
  if (started_) return false;
  const unsigned flags = reserveStack ? STACK_SIZE_PARAM_IS_A_RESERVATION : 0;
  const uintptr_t handle = _beginthreadex(nullptr, 0, procedure, argument, flags, nullptr);
  if (handle == 0) return false;
  handle_ = reinterpret_cast<void*>(handle);
  started_ = true;
  return true;
}

unsigned Thread::join() {
  if (!started_) return 0;
  HANDLE handle = static_cast<HANDLE>(handle_);
  WaitForSingleObject(handle, INFINITE);
  DWORD code = 0;
  GetExitCodeThread(handle, &code);
  CloseHandle(handle);
  handle_ = nullptr;
  started_ = false;
  return code;
}

void initCommonControls() {
  INITCOMMONCONTROLSEX controls;
  controls.dwSize = 8;
  controls.dwICC = 0;
  InitCommonControlsEx(&controls);
}

// ---------------------------------------------------------------------------
// Console signals. A console's Ctrl+C goes to the process's console control
// handlers, the one registered last first, until one of them says it has
// dealt with it. The Java runtime registers its own while the virtual
// machine starts (Ctrl+C ends the application with status 130 there), and
// a C runtime's signal() registers one of its own whenever that C runtime
// decides to: Microsoft's msvcrt.dll with the first signal() call, Wine's
// when it is loaded, before the Java runtime. Through signal(), which
// handler comes first would depend on that; the launcher's own console
// handler, registered once the virtual machine exists, always comes first.
// Ctrl+Break and the closing of the console stay the runtime's (a thread
// dump, and the shutdown that java.exe does). SIGTERM, which only raise()
// produces on Windows, goes through signal().

namespace {

ConsoleSignalHandler consoleHandler = nullptr;
void (*previousTerminate)(int) = nullptr;

BOOL WINAPI onConsoleControl(DWORD event) {
  if (event != CTRL_C_EVENT || consoleHandler == nullptr) return FALSE;
  consoleHandler(SIGINT);
  // Still here: the virtual machine did not end the process. The handlers
  // registered before this one act as they would have.
  return FALSE;
}

}  // namespace

void installConsoleSignalHandler(ConsoleSignalHandler handler) {
  // A process started with Ctrl+C ignored (a new process group) gets no
  // Ctrl+C at all: nothing to keep ignored here.
  consoleHandler = handler;
  SetConsoleCtrlHandler(onConsoleControl, TRUE);
  previousTerminate = signal(SIGTERM, handler);
  if (previousTerminate == SIG_IGN) signal(SIGTERM, SIG_IGN);
}

void callPreviousSignalHandler(int signalNumber) {
  // Ctrl+C goes on to the handlers registered before the launcher's when
  // its handler returns.
  if (signalNumber != SIGTERM) return;
  const intptr_t value = reinterpret_cast<intptr_t>(previousTerminate);
  // SIG_DFL, SIG_IGN, SIG_GET, SIG_SGE, SIG_ACK and SIG_ERR are markers.
  if (value == 0 || value == 1 || value == 2 || value == 3 || value == 4 || value == -1) return;
  previousTerminate(signalNumber);
}

}  // namespace platform
}  // namespace xoq
