#include <windows.h>

#include <fcntl.h>
#include <io.h>

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

// Replaces the C runtime's descriptor of `own` with a copy of `source`. The
// C runtime makes its copy the standard handle as well when it replaces
// descriptor 1 or 2; the standard handle is left as it was.
void replaceDescriptor(StandardStream stream, FILE* own, int source) {
  const DWORD id = standardHandleId(stream);
  const HANDLE current = GetStdHandle(id);
  _dup2(source, _fileno(own));
  SetStdHandle(id, current);
}

}  // namespace

StreamHandle rebindLauncherStream(StandardStream stream, FILE* target, bool buffered) {
  FILE* own = stream == StandardStream::kOutput ? stdout : stderr;
  fflush(own);
  if (target == nullptr || _fileno(own) < 0) return kNoStreamHandle;
  const StreamHandle saved = _dup(_fileno(own));
  replaceDescriptor(stream, own, _fileno(target));
  setvbuf(own, nullptr, buffered ? _IOFBF : _IONBF, BUFSIZ);
  return saved;
}

void restoreLauncherStream(StandardStream stream, StreamHandle saved) {
  FILE* own = stream == StandardStream::kOutput ? stdout : stderr;
  fflush(own);
  if (saved < 0) return;
  replaceDescriptor(stream, own, static_cast<int>(saved));
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
