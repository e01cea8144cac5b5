// Windows side of xoqpack's process seam: the UTF-16 command line and
// environment, and the console's own wide output.
// windows.h comes first: the other system headers rely on its types.
#include <windows.h>

#include <shellapi.h>

#include <algorithm>
#include <memory>

#include "host_process.h"
#include "host_text-win32.h"

namespace xoq {
namespace host {

namespace {

struct LocalCloser {
  void operator()(wchar_t** memory) const { LocalFree(memory); }
};

struct HandleCloser {
  void operator()(HANDLE handle) const {
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
};
using HandlePointer = std::unique_ptr<void, HandleCloser>;

// One argument as the C runtime's command-line parser reads it back.
void appendQuoted(std::wstring& line, const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) {
    line += argument;
    return;
  }
  line += L'"';
  size_t backslashes = 0;
  for (wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    line.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
    backslashes = 0;
    line += c;
  }
  line.append(2 * backslashes, L'\\');
  line += L'"';
}

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

bool runsOnWindows() { return true; }

std::string programFileName(const std::string& name) { return name + ".exe"; }

std::vector<std::string> searchPath() {
  std::vector<std::string> folders;
  std::string path;
  if (!environmentVariable("PATH", path)) return folders;
  size_t start = 0;
  while (start <= path.size()) {
    const size_t end = std::min(path.find(';', start), path.size());
    const std::string folder = path.substr(start, end - start);
    folders.push_back(folder.empty() ? "." : folder);
    start = end + 1;
  }
  return folders;
}

bool runTool(const std::vector<std::string>& argv, ToolResult& result, std::string& error) {
  std::wstring line;
  for (const std::string& argument : argv) {
    if (!line.empty()) line += L' ';
    appendQuoted(line, wideOf(argument));
  }
  SECURITY_ATTRIBUTES inherit = {sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE readHandle = nullptr, writeHandle = nullptr;
  if (!CreatePipe(&readHandle, &writeHandle, &inherit, 0)) {
    error = "cannot make a pipe for " + argv[0];
    return false;
  }
  HandlePointer readEnd(readHandle);
  HandlePointer writeEnd(writeHandle);
  SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = nullptr;
  startup.hStdOutput = writeEnd.get();
  startup.hStdError = writeEnd.get();
  PROCESS_INFORMATION process = {};
  const BOOL started = CreateProcessW(wideOf(argv[0]).c_str(), &line[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                                      nullptr, nullptr, &startup, &process);
  // Only the child holds the writing end now, so that reading ends with it.
  writeEnd.reset();
  if (!started) {
    error = "cannot run " + argv[0];
    return false;
  }
  const HandlePointer processHandle(process.hProcess);
  const HandlePointer threadHandle(process.hThread);
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(readEnd.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) result.output.append(buffer, got);
  WaitForSingleObject(processHandle.get(), INFINITE);
  DWORD code = 1;
  GetExitCodeProcess(processHandle.get(), &code);
  result.exitCode = static_cast<int>(code);
  return true;
}

}  // namespace host
}  // namespace xoq
