// Windows side of xoqpack's process seam: the UTF-16 command line and
// environment, and the console's own wide output.
// windows.h comes first: the other system headers rely on its types.
#include <windows.h>

#include <shellapi.h>

#include <memory>

#include "host_process.h"
#include "host_text-win32.h"

namespace xoq {
namespace host {

namespace {

struct LocalCloser {
  void operator()(wchar_t** memory) const { LocalFree(memory); }
};

}  // namespace

std::vector<std::string> commandLineArguments(int argc, char** argv) {
  int count = 0;
  const std::unique_ptr<wchar_t*, LocalCloser> wide(CommandLineToArgvW(GetCommandLineW(), &count));
  if (!wide) return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
  std::vector<std::string> arguments;
  for (int i = 1; i < count; ++i) arguments.push_back(utf8Of(wide.get()[i]));
  return arguments;
}

std::string executablePath() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 8; ++attempt) {
    const DWORD length = GetModuleFileNameW(nullptr, &buffer[0], static_cast<DWORD>(buffer.size()));
    if (length == 0) return std::string();
    if (length < buffer.size()) {
      buffer.resize(length);
      return utf8Of(buffer);
    }
    buffer.resize(buffer.size() * 2);
  }
  return std::string();
}

bool environmentVariable(const std::string& name, std::string& value) {
  const std::wstring wideName = wideOf(name);
  const DWORD size = GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
  if (size == 0) {
    if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return false;
    value.clear();
    return true;
  }
  std::wstring buffer(size, L'\0');
  const DWORD length = GetEnvironmentVariableW(wideName.c_str(), &buffer[0], size);
  if (length >= size) return false;
  buffer.resize(length);
  value = utf8Of(buffer);
  return true;
}

unsigned long processId() { return GetCurrentProcessId(); }

void writeText(Stream stream, const std::string& text) {
  const HANDLE handle = GetStdHandle(stream == Stream::kOutput ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
  DWORD mode = 0;
  if (GetConsoleMode(handle, &mode)) {
    const std::wstring wide = wideOf(text);
    DWORD written = 0;
    WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    return;
  }
  // A file or a pipe gets the UTF-8 bytes, the same as on Linux.
  size_t done = 0;
  while (done < text.size()) {
    DWORD written = 0;
    if (!WriteFile(handle, text.data() + done, static_cast<DWORD>(text.size() - done), &written, nullptr) ||
        written == 0)
      return;
    done += written;
  }
}

}  // namespace host
}  // namespace xoq
