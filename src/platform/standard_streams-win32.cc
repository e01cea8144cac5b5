#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include "platform/dynamic_library.h"
#include "platform/standard_streams.h"

namespace xoq {
namespace platform {

namespace {

DWORD standardHandleId(StandardStream stream) {
  return stream == StandardStream::kOutput ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE;
}

HANDLE asHandle(StreamHandle handle) { return reinterpret_cast<HANDLE>(handle); }

StreamHandle fromHandle(HANDLE handle) { return reinterpret_cast<StreamHandle>(handle); }

// Every write of a handle without FILE_WRITE_DATA goes to the end of the
// file as it is at that moment. With GENERIC_WRITE and the pointer moved to
// the end once, two handles on one file (two names for it, or two running
// copies of the program logging to it) would write over each other's lines.
constexpr DWORD kAppendOnly = FILE_GENERIC_WRITE & ~FILE_WRITE_DATA;

}  // namespace

StreamHandle openAppendingFile(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), kAppendOnly, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_ARCHIVE, nullptr);
  if (file == INVALID_HANDLE_VALUE) return kNoStreamHandle;
  SetFilePointer(file, 0, nullptr, FILE_END);
  return fromHandle(file);
}

StreamHandle startCommand(const std::string& commandLine) {
  SECURITY_ATTRIBUTES inheritable = {sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE inheritableWriteEnd = nullptr;
  if (!CreatePipe(&readEnd, &inheritableWriteEnd, &inheritable, 0)) return kNoStreamHandle;
  // The command must not hold the write end, or it would never see the end
  // of its input.
  HANDLE writeEnd = nullptr;
  const HANDLE self = GetCurrentProcess();
  const BOOL duplicated = DuplicateHandle(self, inheritableWriteEnd, self, &writeEnd, 0, FALSE, DUPLICATE_SAME_ACCESS);
  CloseHandle(inheritableWriteEnd);
  if (!duplicated) {
    CloseHandle(readEnd);
    return kNoStreamHandle;
  }

  STARTUPINFOA startup;
  ZeroMemory(&startup, sizeof startup);
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = readEnd;
  startup.hStdOutput = nullptr;
  startup.hStdError = nullptr;
  PROCESS_INFORMATION process;
  std::string line = commandLine;
  const BOOL started =
      CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process);
  // Only the command reads the pipe: when it ends, writes fail instead of
  // blocking on a full pipe that nobody empties, and a command started
  // later does not inherit this read end.
  CloseHandle(readEnd);
  if (!started) {
    CloseHandle(writeEnd);
    return kNoStreamHandle;
  }
  // Not waited for: the command lives on after the launcher.
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return fromHandle(writeEnd);
}

void closeStreamHandle(StreamHandle handle) {
  if (handle != kNoStreamHandle && handle != 0) CloseHandle(asHandle(handle));
}

FILE* openRuntimeStream(StreamHandle handle, bool buffered) {
  HANDLE copy = nullptr;
  const HANDLE self = GetCurrentProcess();
  if (!DuplicateHandle(self, asHandle(handle), self, &copy, 0, FALSE, DUPLICATE_SAME_ACCESS)) return nullptr;
  const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(copy), _O_APPEND | _O_TEXT);
  if (descriptor < 0) {
    CloseHandle(copy);
    return nullptr;
  }
  FILE* stream = _fdopen(descriptor, "a");
  if (stream == nullptr) {
    _close(descriptor);
    return nullptr;
  }
  setvbuf(stream, nullptr, buffered ? _IOFBF : _IONBF, BUFSIZ);
  return stream;
}

// A duplicate, kept valid whatever happens to the handle itself: rebinding
// the launcher's own stream replaces the C runtime's descriptor, which
// closes the handle it held, and that is the standard handle. Null or
// invalid (no such stream, as in a program without a console) is kept as
// it is.
StreamHandle saveStandardStream(StandardStream stream) {
  const HANDLE current = GetStdHandle(standardHandleId(stream));
  HANDLE copy = nullptr;
  const HANDLE self = GetCurrentProcess();
  if (current == nullptr || current == INVALID_HANDLE_VALUE ||
      !DuplicateHandle(self, current, self, &copy, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
    return fromHandle(current);
  }
  return fromHandle(copy);
}

bool setStandardStream(StandardStream stream, StreamHandle handle) {
  return SetStdHandle(standardHandleId(stream), asHandle(handle)) != 0;
}

bool standardStreamIs(StandardStream stream, StreamHandle handle) {
  return GetStdHandle(standardHandleId(stream)) == asHandle(handle);
}

// The saved duplicate becomes the standard handle again, and stays open as
// such.
void restoreStandardStream(StandardStream stream, StreamHandle saved) {
  SetStdHandle(standardHandleId(stream), asHandle(saved));
}

namespace {

// The descriptor functions of one C runtime of the process.
struct CRuntime {
  int(__cdecl* dup)(int);
  int(__cdecl* dup2)(int, int);
  int(__cdecl* close)(int);
  intptr_t(__cdecl* osfHandle)(int);
  int(__cdecl* openOsfHandle)(intptr_t, int);
  int(__cdecl* flush)(FILE*);
};

const CRuntime ownRuntime = {_dup, _dup2, _close, _get_osfhandle, _open_osfhandle, fflush};

template <typename Function>
bool findFunction(void* module, const char* name, Function& function) {
  function = reinterpret_cast<Function>(findSymbol(module, name));
  return function != nullptr;
}

// ucrtbase.dll, when the process has it already. A Java runtime's libraries
// write their messages through it (_write to descriptors 1 and 2, and its
// stderr), and the system's own libraries bring it in before the launcher
// runs: its descriptors took their handles from the standard handles then,
// and SetStdHandle does not reach them. Loaded later, it takes the
// redirected handles by itself.
bool findUniversalRuntime(CRuntime& runtime) {
#ifdef _UCRT
  // The launcher's own: rebound as such.
  (void)runtime;
  return false;
#else
  void* module = reinterpret_cast<void*>(GetModuleHandleA("ucrtbase.dll"));
  return module != nullptr && findFunction(module, "_dup", runtime.dup) &&
         findFunction(module, "_dup2", runtime.dup2) && findFunction(module, "_close", runtime.close) &&
         findFunction(module, "_get_osfhandle", runtime.osfHandle) &&
         findFunction(module, "_open_osfhandle", runtime.openOsfHandle) &&
         findFunction(module, "fflush", runtime.flush);
#endif
}

int descriptorOf(StandardStream stream) { return stream == StandardStream::kOutput ? 1 : 2; }

// Not null, invalid, or the C runtimes' mark for a stream without a console.
bool isRealHandle(intptr_t value) { return value != 0 && value != -1 && value != -2; }

// A copy of what descriptor `fd` of `runtime` holds, to be put back; -1
// when it holds no handle.
int saveDescriptor(const CRuntime& runtime, int fd) {
  return isRealHandle(runtime.osfHandle(fd)) ? runtime.dup(fd) : -1;
}

// Replaces descriptor `fd` of `runtime` with a copy of its descriptor
// `source`. The C runtime makes its copy the standard handle as well when
// it replaces descriptor 1 or 2; the standard handle is left as it was.
void replaceDescriptor(const CRuntime& runtime, StandardStream stream, int fd, int source) {
  const DWORD id = standardHandleId(stream);
  const HANDLE current = GetStdHandle(id);
  runtime.dup2(source, fd);
  SetStdHandle(id, current);
}

// Takes the handle value `value`, just freed, with a handle of ours, which
// whoever still holds that value closes in its place.
void occupyHandleValue(intptr_t value) {
  const HANDLE self = GetCurrentProcess();
  HANDLE others[64];
  int count = 0;
  while (count < 64) {
    HANDLE handle = nullptr;
    if (!DuplicateHandle(self, self, self, &handle, 0, FALSE, DUPLICATE_SAME_ACCESS)) break;
    if (reinterpret_cast<intptr_t>(handle) == value) break;  // left for the holder to close
    others[count++] = handle;
  }
  while (count > 0) CloseHandle(others[--count]);
}

// What ucrtbase.dll's descriptors 1 and 2 held before, by stream.
struct UniversalSaved {
  bool rebound = false;
  int saved = -1;
} universalSaved[2];

// Points descriptor 1 or 2 of ucrtbase.dll at a copy of `target`, in text
// mode as it opened it. It holds the standard handle under the same value
// as the launcher's own runtime (`ownHeld`), and each closes that value
// when its descriptor is replaced: the system would hand the value to
// ucrtbase.dll's new copy once it is closed, and the launcher's runtime
// would close that copy next. So ucrtbase.dll's descriptor is closed
// first, and a handle of ours takes the value for the launcher's runtime
// to close.
void rebindUniversalRuntime(StandardStream stream, HANDLE target, intptr_t ownHeld) {
  CRuntime universal;
  if (!findUniversalRuntime(universal)) return;
  HANDLE copy = nullptr;
  const HANDLE self = GetCurrentProcess();
  if (!DuplicateHandle(self, target, self, &copy, 0, FALSE, DUPLICATE_SAME_ACCESS)) return;
  const int source = universal.openOsfHandle(reinterpret_cast<intptr_t>(copy), _O_TEXT);
  if (source < 0) {
    CloseHandle(copy);
    return;
  }
  const int fd = descriptorOf(stream);
  const DWORD id = standardHandleId(stream);
  const HANDLE current = GetStdHandle(id);
  // What it holds goes where it was headed. Its buffering stays as it
  // chose: a runtime does not flush its warnings.
  universal.flush(nullptr);
  UniversalSaved& state = universalSaved[fd - 1];
  state.saved = saveDescriptor(universal, fd);
  state.rebound = true;
  const intptr_t held = universal.osfHandle(fd);
  DWORD flags = 0;
  universal.close(fd);
  if (held == ownHeld && isRealHandle(held) && !GetHandleInformation(reinterpret_cast<HANDLE>(held), &flags)) {
    occupyHandleValue(held);
  }
  universal.dup2(source, fd);
  universal.close(source);
  // Closing and replacing descriptor 1 or 2 changes the standard handle.
  SetStdHandle(id, current);
}

void restoreUniversalRuntime(StandardStream stream) {
  const int fd = descriptorOf(stream);
  UniversalSaved& state = universalSaved[fd - 1];
  CRuntime universal;
  if (state.rebound && findUniversalRuntime(universal)) {
    const DWORD id = standardHandleId(stream);
    const HANDLE current = GetStdHandle(id);
    universal.flush(nullptr);
    if (state.saved >= 0) {
      universal.dup2(state.saved, fd);
      universal.close(state.saved);
    } else {
      universal.close(fd);
    }
    SetStdHandle(id, current);
  }
  state = UniversalSaved();
}

}  // namespace

StreamHandle rebindLauncherStream(StandardStream stream, FILE* target, bool buffered) {
  FILE* own = stream == StandardStream::kOutput ? stdout : stderr;
  fflush(own);
  if (target == nullptr || _fileno(own) < 0) return kNoStreamHandle;
  const StreamHandle saved = saveDescriptor(ownRuntime, _fileno(own));
  rebindUniversalRuntime(stream, reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(target))),
                         _get_osfhandle(_fileno(own)));
  replaceDescriptor(ownRuntime, stream, _fileno(own), _fileno(target));
  setvbuf(own, nullptr, buffered ? _IOFBF : _IONBF, BUFSIZ);
  return saved;
}

void restoreLauncherStream(StandardStream stream, StreamHandle saved) {
  FILE* own = stream == StandardStream::kOutput ? stdout : stderr;
  fflush(own);
  restoreUniversalRuntime(stream);
  if (saved < 0) return;
  replaceDescriptor(ownRuntime, stream, _fileno(own), static_cast<int>(saved));
  _close(static_cast<int>(saved));
}

bool writeToStreamHandle(StreamHandle handle, const void* data, size_t length) {
  if (handle == kNoStreamHandle || handle == 0) return false;
  const char* next = static_cast<const char*>(data);
  while (length > 0) {
    const DWORD chunk = length > 0x40000000u ? 0x40000000u : static_cast<DWORD>(length);
    DWORD written = 0;
    if (!WriteFile(asHandle(handle), next, chunk, &written, nullptr) || written == 0) return false;
    next += written;
    length -= written;
  }
  return true;
}

}  // namespace platform
}  // namespace xoq
