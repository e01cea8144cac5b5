#include <windows.h>

#include "platform/elevation.h"

namespace xoq {
namespace platform {

long queryElevation(int* out) {
  OSVERSIONINFOA version;
  ZeroMemory(&version, sizeof version);
  version.dwOSVersionInfoSize = 148;
  // Before Vista there is no elevation: every process has the rights its
  // user has, so it counts as elevated.
  if (!GetVersionExA(&version) || version.dwPlatformId != VER_PLATFORM_WIN32_NT || version.dwMajorVersion < 6) {
    if (out != nullptr) *out = 1;
    return 0;
  }
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return static_cast<long>(E_FAIL);
  DWORD elevation = 0;
  DWORD size = 0;
  if (!GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size)) {
    CloseHandle(token);
    return static_cast<long>(E_FAIL);
  }
  const bool elevated = elevation != 0;
  if (out != nullptr) *out = elevated ? 1 : 0;
  CloseHandle(token);
  return elevated ? 0 : 1;
}

}  // namespace platform
}  // namespace xoq
