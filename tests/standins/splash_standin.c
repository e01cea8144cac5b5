/*
 * A stand-in for a Windows Java runtime's splashscreen.dll, which cannot
 * exist on the machines the tests run on. Built in several variants (see
 * cmake/windows.cmake). It shows nothing; it appends what the launcher
 * called, with what, to the file named by XOQ_STANDIN_SPLASH_RECORD, as
 * "key=value" lines.
 */
#include <windows.h>

#include <stdio.h>
#include <string.h>

#ifdef STANDIN_NEEDS_DEPENDENCY
/* Lives in xoqdep.dll, which sits beside this library: found when the
   library's own folder is searched for its imports. */
__declspec(dllimport) int xoqStandinDependency(void);
#endif

static FILE* openRecord(void) {
  char path[MAX_PATH];
  if (GetEnvironmentVariableA("XOQ_STANDIN_SPLASH_RECORD", path, sizeof path) == 0) return NULL;
  return fopen(path, "a");
}

static void record(const char* key, const char* value) {
  FILE* file = openRecord();
  if (file == NULL) return;
  fprintf(file, "%s=%s\n", key, value);
  fclose(file);
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)instance;
  (void)reserved;
  if (reason == DLL_PROCESS_ATTACH) {
    static char value[32768];
    record("loaded", "yes");
    if (GetEnvironmentVariableA("PATH", value, sizeof value) > 0) record("PATH", value);
#ifdef STANDIN_NEEDS_DEPENDENCY
    sprintf(value, "%d", xoqStandinDependency());
    record("dependency", value);
#endif
  }
  return TRUE;
}

static void recordCall(const char* name) {
  static char calls[1024];
  if (calls[0] != '\0') strcat(calls, ",");
  if (strlen(calls) + strlen(name) + 2 < sizeof calls) strcat(calls, name);
  record("calls", calls);
}

__declspec(dllexport) void SplashInit(void) { recordCall("SplashInit"); }

__declspec(dllexport) int SplashLoadMemory(void* data, int size) {
  char text[64];
  recordCall("SplashLoadMemory");
  sprintf(text, "%d", size);
  record("memory.size", text);
  text[0] = '\0';
  for (int i = 0; i < size && i < 8; ++i) sprintf(text + 2 * i, "%02x", ((const unsigned char*)data)[i]);
  record("memory.first", text);
  return 1;
}

#ifndef STANDIN_WITHOUT_LOAD_FILE
__declspec(dllexport) int SplashLoadFile(const char* fileName) {
  recordCall("SplashLoadFile");
  record("file", fileName);
  return 1;
}
#endif

#ifndef STANDIN_WITHOUT_FILE_JAR_NAME
__declspec(dllexport) void SplashSetFileJarName(const char* fileName, const char* jarName) {
  recordCall("SplashSetFileJarName");
  record("fileName", fileName != NULL ? fileName : "(null)");
  record("jarName", jarName != NULL ? jarName : "(null)");
}
#endif
