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

}  // namespace

void* loadLibrary(const std::string& path) {
  HMODULE library = LoadLibraryA(path.c_str());
  if (library == nullptr) lastLoadError = GetLastError();
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
