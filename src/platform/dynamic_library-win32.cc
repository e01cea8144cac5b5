#include <windows.h>

#include <cstdlib>

#include "platform/dynamic_library.h"

namespace xoq {
namespace platform {

void suppressLoaderErrorBoxes() {
  const UINT previous = SetErrorMode(0);
  SetErrorMode(previous | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
}

namespace {

// The reason of the last failed load, taken at once: whatever the launcher
// does before it reports the failure (a trace line written to a pipe, say)
// may change the thread's last error.
thread_local DWORD lastLoadError = 0;

// `path` made absolute, with backslashes and without "." or ".." steps, as
// GetFullPathNameA makes it against the working directory; `path` itself
// when that fails.
std::string fullPathOf(const std::string& path) {
  const DWORD needed = GetFullPathNameA(path.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return path;
  std::string full(needed, '\0');
  const DWORD length = GetFullPathNameA(path.c_str(), needed, &full[0], nullptr);
  if (length == 0 || length >= needed) return path;
  full.resize(length);
  return full;
}

}  // namespace

// A runtime's libraries import others by name: jvm.dll needs msvcr120.dll,
// which the runtime keeps in its bin folder. Loaded plainly, such a name is
// looked for in the executable's folder first, then in the system folders,
// the working directory and PATH, so that a file of that name beside the
// application (a downloads folder, say), or in the folder it was started
// from, would run inside it in place of the runtime's own. Loaded with
// LOAD_WITH_ALTERED_SEARCH_PATH, the search starts in the library's own
// folder instead of the executable's; SetDllDirectoryA("") takes the
// working directory out of it for the moment of the load (and is undone at
// once, back to the folder set before, such as the unpacked native
// libraries' whose dependencies the application's own loads need, so that
// neither those loads nor the programs it starts see the change). What is
// left is the library's folder, the system folders and PATH, which the
// retry in createVm widens. The flag wants a full path with backslashes.
void* loadLibrary(const std::string& path) {
  const std::string full = fullPathOf(path);
  std::string previous(GetDllDirectoryA(0, nullptr), '\0');
  previous.resize(previous.empty() ? 0 : GetDllDirectoryA(static_cast<DWORD>(previous.size()), &previous[0]));
  const BOOL narrowed = SetDllDirectoryA("");
  HMODULE library = LoadLibraryExA(full.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  const DWORD error = GetLastError();
  if (narrowed) SetDllDirectoryA(previous.empty() ? nullptr : previous.c_str());
  if (library == nullptr) lastLoadError = error;
  return reinterpret_cast<void*>(library);
}

void* findSymbol(void* library, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void* findOwnSymbol(const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(nullptr), name));
}

void freeLibrary(void* library) { FreeLibrary(static_cast<HMODULE>(library)); }

std::string libraryLoadError(const std::string& path) {
  const DWORD error = lastLoadError;
  char* buffer = nullptr;
  FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM, nullptr,
                 error, 0x400, reinterpret_cast<char*>(&buffer), 0, nullptr);
  std::string text = buffer != nullptr ? buffer : "";
  if (buffer != nullptr) LocalFree(buffer);
  // The system's texts name the library as "%1"; the replaced text is not
  // scanned again.
  std::string result;
  for (size_t i = 0; i < text.size();) {
    if (text.compare(i, 2, "%1") == 0) {
      result += path;
      i += 2;
    } else {
      result += text[i++];
    }
  }
  return result;
}

bool widenLibrarySearch(const std::string& directory) {
  const char* current = getenv("PATH");
  const std::string assignment = "PATH=" + std::string(current != nullptr ? current : "") + ";" + directory;
  _putenv(assignment.c_str());
  return true;
}

}  // namespace platform
}  // namespace xoq
