// The OS seam. Everything above this header is portable C++17; everything
// that touches the operating system goes through these functions, with one
// implementation per OS (platform-win32.cc, platform-posix.cc).
//
// Paths and texts here are narrow strings: the process's ANSI code page on
// Windows, the locale's multibyte encoding (UTF-8 in practice) on Linux.
#ifndef XOQ_PLATFORM_PLATFORM_H_
#define XOQ_PLATFORM_PLATFORM_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace xoq {
namespace platform {

/// Longest path the launcher hands to the system, terminator included
/// (MAX_PATH on Windows, PATH_MAX on Linux).
extern const size_t kMaxPath;

/// Selects the user's default locale for every category, so that the
/// narrow/wide conversions of the launcher use the user's code page.
void selectUserLocale();

/// True when the process's narrow form is UTF-8 although the C runtime's
/// locale cannot say so: a Windows program whose manifest makes UTF-8 its
/// ANSI code page (Windows 10 version 1903 and later), while the C runtime
/// keeps the user's legacy code page. Always false on Linux, where the
/// locale converts UTF-8 itself.
bool narrowFormIsUtf8();

/// Full path of the running executable; empty when the system cannot tell.
std::string modulePath();

/// Current directory of the process, as the system reports it; empty on
/// failure.
std::string currentDirectory();

/// Makes `path` the current directory; false on failure.
bool setCurrentDirectory(const std::string& path);

/// The absolute, normalised form of `path` (GetFullPathNameA on Windows),
/// without requiring it to exist; empty on failure.
std::string fullPathName(const std::string& path);

/// True when `path` exists (file or directory) and may be read.
bool isReadable(const std::string& path);

/// True when `path` exists (file or directory).
bool exists(const std::string& path);

/// True when `path` names an existing directory.
bool isDirectory(const std::string& path);

/// Reads a whole file into `out`; false when it cannot be opened or read.
bool readWholeFile(const std::string& path, std::string& out);

/// Value of an environment variable; false when it is not set.
bool getEnvironment(const std::string& name, std::string& value);

/// Puts "NAME=VALUE" into the process environment ("NAME=" removes it),
/// the way `_putenv` does; false on failure.
bool putEnvironment(const std::string& assignment);

/// Milliseconds of a monotonic clock; only differences mean something.
uint64_t monotonicMillis();

/// The predefined registry keys a configured reference may start from.
enum class RegistryRoot { kClassesRoot, kCurrentUser, kLocalMachine, kUsers, kCurrentConfig };

/// Registry value types, numbered as the registry numbers them.
enum RegistryType : uint32_t {
  kRegistryString = 1,          // REG_SZ
  kRegistryExpandString = 2,    // REG_EXPAND_SZ
  kRegistryDword = 4,           // REG_DWORD (little-endian)
  kRegistryDwordBigEndian = 5,  // REG_DWORD_BIG_ENDIAN
};

/// One registry value as stored: its type and its raw data bytes.
struct RegistryValue {
  uint32_t type = 0;
  std::string data;
};

/// Reads the value `valueName` ("" names the key's default value) of the key
/// `keyPath` under `root`, opened for reading; false when the key cannot be
/// opened or the value cannot be read. Always false on Linux: no registry.
bool readRegistryValue(RegistryRoot root, const std::string& keyPath, const std::string& valueName,
                       RegistryValue& value);

/// The names of the subkeys of `keyPath` under `root` (RegEnumKeyExA), in
/// the order the registry lists them, appended to `names`; false when the
/// key cannot be opened. Always false on Linux.
bool listRegistrySubkeys(RegistryRoot root, const std::string& keyPath, std::vector<std::string>& names);

/// Whether the system keeps a registry at all: the search methods that only
/// read it say so on Linux instead of naming keys that cannot exist there.
#ifdef _WIN32
constexpr bool kHasRegistry = true;
#else
constexpr bool kHasRegistry = false;
#endif

/// The path that `path` leads to with every link on the way resolved
/// (realpath on Linux; GetFinalPathNameByHandleA on Windows, without its
/// "\\?\" prefix); empty when it does not exist or cannot be resolved.
std::string resolveLinks(const std::string& path);

/// Read-only mapping of a whole file. Closed when the object goes away.
/// The file also stays open for reads at a position: bytes read that way
/// do not become part of the process's resident memory, as the mapped pages
/// that are touched do for as long as the mapping lasts (the working set on
/// Windows, file-backed resident pages on Linux). releaseView ends the
/// mapping early and keeps the file open for such reads.
class MappedFile {
 public:
  MappedFile() = default;
  ~MappedFile();
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;
  MappedFile(MappedFile&& other) noexcept;
  MappedFile& operator=(MappedFile&& other) noexcept;

  /// Maps `path`; false when it cannot be opened or mapped. An empty file
  /// maps successfully with size 0 and a null data pointer.
  bool open(const std::string& path);
  void close();
  /// Unmaps the file: data() is null afterwards, size() and readAt stay.
  void releaseView();

  const uint8_t* data() const { return data_; }
  size_t size() const { return size_; }
  bool isOpen() const { return open_; }

  /// Copies `length` bytes from `offset` of the file into `buffer` without
  /// touching the mapping; false when they cannot all be read (beyond the
  /// end, an I/O error). Any thread may call it at any time.
  bool readAt(uint64_t offset, void* buffer, size_t length) const;

 private:
  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
  bool open_ = false;
#ifdef _WIN32
  void* file_ = nullptr;     // HANDLE
  void* mapping_ = nullptr;  // HANDLE
#else
  int descriptor_ = -1;
#endif
};

/// Whether the payload archive may be opened on a thread of its own while
/// the runtime is created. Not on Windows: under Wine, a process that the
/// runtime ends from inside its creation (ExitProcess) while another thread
/// is busy is at times killed instead, and its exit code is lost.
#ifdef _WIN32
constexpr bool kOpenArchiveBesideCreation = false;
#else
constexpr bool kOpenArchiveBesideCreation = true;
#endif

/// A joinable thread that returns an unsigned exit code.
class Thread {
 public:
  using Procedure = unsigned (*)(void* argument);

  Thread() = default;
  ~Thread();
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  /// Starts `procedure(argument)`. With `reserveStack` the stack size is
  /// taken as a reservation (STACK_SIZE_PARAM_IS_A_RESERVATION on Windows;
  /// no difference on Linux). False when the thread could not be created.
  bool start(Procedure procedure, void* argument, bool reserveStack);

  /// Waits without time limit and returns the thread's exit code.
  unsigned join();

 private:
  bool started_ = false;
#ifdef _WIN32
  void* handle_ = nullptr;
#else
  unsigned long id_ = 0;  // pthread_t
#endif
};

/// Initialises the common controls (InitCommonControlsEx with an empty
/// class set); nothing on Linux.
void initCommonControls();

/// A handler for SIGINT/SIGTERM that runs on an ordinary thread, where it
/// may attach to the virtual machine.
using ConsoleSignalHandler = void (*)(int signalNumber);

/// Installs `handler` for SIGINT and then SIGTERM and keeps each previous
/// disposition; a signal that is ignored when the process starts stays
/// ignored. On Windows SIGINT is the console's Ctrl+C, taken by a console
/// control handler of the launcher's own that is asked before the ones
/// registered earlier (the Java runtime's); it runs on a thread of its own,
/// as the C runtime's `signal` handlers do. On Linux the async handler only
/// forwards the signal number to a watcher thread, which calls `handler`.
void installConsoleSignalHandler(ConsoleSignalHandler handler);

/// Calls the disposition that was in force for SIGINT or SIGTERM before
/// `installConsoleSignalHandler`, when it is a function (not SIG_DFL,
/// SIG_IGN, SIG_ERR or another reserved value). Other numbers do nothing.
/// On Windows a Ctrl+C goes on to the earlier console handlers by itself
/// once `handler` returns.
void callPreviousSignalHandler(int signalNumber);

}  // namespace platform
}  // namespace xoq

#endif  // XOQ_PLATFORM_PLATFORM_H_
