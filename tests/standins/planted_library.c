/*
 * A library planted beside a packaged program under the name of one that a
 * Java runtime's jvm.dll imports (msvcr120.dll), as a file dropped into a
 * downloads folder would be. It is not a C runtime at all: when the loader
 * takes it, it says so, appending "planted" to the file named by
 * XOQ_PLANTED_RECORD, and ends the process with exit code 97 before
 * anything could call into it. Built without any C runtime of its own.
 */
#include <windows.h>

BOOL WINAPI plantedEntry(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)instance;
  (void)reserved;
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  char path[MAX_PATH];
  const DWORD length = GetEnvironmentVariableA("XOQ_PLANTED_RECORD", path, sizeof path);
  if (length > 0 && length < sizeof path) {
    HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file != INVALID_HANDLE_VALUE) {
      DWORD written = 0;
      WriteFile(file, "planted\r\n", 9, &written, NULL);
      CloseHandle(file);
    }
  }
  ExitProcess(97);
  return FALSE;
}
