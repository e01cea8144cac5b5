/*
 * A stand-in for a Windows Java runtime's jvm.dll, which cannot exist on the
 * machines the tests run on. Built in several variants (see
 * cmake/windows.cmake); each creation entry point writes what the launcher
 * handed it to the file named by XOQ_STANDIN_RECORD, then fails, since there
 * is no virtual machine behind it (the streams variant writes to the
 * standard handles first, or ends the process as a runtime may).
 */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* This library provides the invocation functions that jni.h declares. */
#define _JNI_IMPLEMENTATION_
#include <jni.h>

#ifdef STANDIN_NEEDS_DEPENDENCY
/* Lives in xoqdep.dll, which sits in the parent of this library's folder. */
__declspec(dllimport) int xoqStandinDependency(void);
#endif

#if defined(STANDIN_CREATE) || defined(STANDIN_CREATE_IMPL) || defined(STANDIN_STREAMS)
static void record(const char* entry, void* raw) {
  char path[MAX_PATH];
  if (GetEnvironmentVariableA("XOQ_STANDIN_RECORD", path, sizeof path) == 0) return;
  FILE* file = fopen(path, "w");
  if (file == NULL) return;
  JavaVMInitArgs* args = (JavaVMInitArgs*)raw;
  fprintf(file, "entry=%s\n", entry);
  fprintf(file, "version=%08lx\n", (unsigned long)args->version);
  fprintf(file, "ignoreUnrecognized=%d\n", (int)args->ignoreUnrecognized);
  fprintf(file, "options=%d\n", (int)args->nOptions);
  for (jint i = 0; i < args->nOptions; ++i) {
    fprintf(file, "option%d=%s\n", (int)i, args->options[i].optionString);
  }
  static char value[32768];
  if (GetEnvironmentVariableA("PATH", value, sizeof value) > 0) fprintf(file, "PATH=%s\n", value);
#ifdef STANDIN_NEEDS_DEPENDENCY
  fprintf(file, "dependency=%d\n", xoqStandinDependency());
#endif
#ifdef STANDIN_STREAMS
  fprintf(file, "stdout=%p\nstderr=%p\n", (void*)GetStdHandle(STD_OUTPUT_HANDLE),
          (void*)GetStdHandle(STD_ERROR_HANDLE));
#endif
  fclose(file);
}
#endif

#ifdef STANDIN_STREAMS
static void writeLine(DWORD which, const char* text) {
  DWORD written = 0;
  WriteFile(GetStdHandle(which), text, (DWORD)strlen(text), &written, NULL);
}

/*
 * Like a runtime, which takes its standard streams from the standard
 * handles when it is loaded: one line to each, then, as a runtime that
 * cannot start ends the process from inside its creation, ExitProcess with
 * the code in XOQ_STANDIN_EXIT, when that is set; else creation fails.
 */
JNIEXPORT jint JNICALL JNI_CreateJavaVM(JavaVM** vm, void** env, void* args) {
  record("JNI_CreateJavaVM", args);
  writeLine(STD_OUTPUT_HANDLE, "runtime: standard output\n");
  writeLine(STD_ERROR_HANDLE, "runtime: standard error\n");
  char code[16];
  if (GetEnvironmentVariableA("XOQ_STANDIN_EXIT", code, sizeof code) > 0) ExitProcess((UINT)atoi(code));
  *vm = NULL;
  *env = NULL;
  return JNI_ERR;
}
#endif

#ifdef STANDIN_CREATE
JNIEXPORT jint JNICALL JNI_CreateJavaVM(JavaVM** vm, void** env, void* args) {
  record("JNI_CreateJavaVM", args);
  *vm = NULL;
  *env = NULL;
  return JNI_ERR;
}
#endif

#ifdef STANDIN_CREATE_IMPL
JNIEXPORT jint JNICALL JNI_CreateJavaVM_Impl(JavaVM** vm, void** env, void* args) {
  record("JNI_CreateJavaVM_Impl", args);
  *vm = NULL;
  *env = NULL;
  return JNI_ERR;
}
#endif

#ifdef STANDIN_HOLD
/*
 * Keeps the launcher that loaded it running, for the tests of the instance
 * registry and the single-instance guard: instead of creating a virtual
 * machine it reports the launcher's instance block, the ".SHMMESS" section
 * of the executable's own image, every 20 ms into <XOQ_STANDIN_STATUS>\<pid>.txt
 * ("pid=", "first=", "count=", "ids=" lines), until the file named by
 * XOQ_STANDIN_RELEASE exists; then it ends the process with the number
 * that file holds (at most two minutes later in any case, with 99).
 */
static const unsigned char* ownInstanceBlock(void) {
  const unsigned char* image = (const unsigned char*)GetModuleHandleA(NULL);
  const IMAGE_DOS_HEADER* dos = (const IMAGE_DOS_HEADER*)image;
  const IMAGE_NT_HEADERS* nt = (const IMAGE_NT_HEADERS*)(image + dos->e_lfanew);
  const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
  for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
    if (memcmp(section->Name, ".SHMMESS", 8) == 0) return image + section->VirtualAddress;
  }
  return NULL;
}

static int readInt(const unsigned char* block, size_t offset) {
  int value;
  memcpy(&value, block + offset, sizeof value);
  return value;
}

static void writeStatus(const char* directory, const unsigned char* block) {
  char path[MAX_PATH], temporary[MAX_PATH];
  const unsigned long pid = GetCurrentProcessId();
  snprintf(path, sizeof path, "%s\\%lu.txt", directory, pid);
  snprintf(temporary, sizeof temporary, "%s\\%lu.tmp", directory, pid);
  FILE* file = fopen(temporary, "w");
  if (file == NULL) return;
  fprintf(file, "pid=%lu\n", pid);
  if (block != NULL) {
    int count = readInt(block, 1104);
    fprintf(file, "first=%d\ncount=%d\nids=", readInt(block, 0), count);
    for (int i = 0; i < count && i < 250; ++i)
      fprintf(file, "%s%d", i == 0 ? "" : ",", readInt(block, 1108 + 4 * (size_t)i));
    fprintf(file, "\n");
  }
  fclose(file);
  MoveFileExA(temporary, path, MOVEFILE_REPLACE_EXISTING);
}

JNIEXPORT jint JNICALL JNI_CreateJavaVM(JavaVM** vm, void** env, void* args) {
  (void)args;
  *vm = NULL;
  *env = NULL;
  char directory[MAX_PATH], release[MAX_PATH];
  if (GetEnvironmentVariableA("XOQ_STANDIN_STATUS", directory, sizeof directory) == 0) return JNI_ERR;
  if (GetEnvironmentVariableA("XOQ_STANDIN_RELEASE", release, sizeof release) == 0) return JNI_ERR;
  const unsigned char* block = ownInstanceBlock();
  for (int round = 0; round < 6000; ++round) {
    writeStatus(directory, block);
    FILE* file = fopen(release, "r");
    if (file != NULL) {
      int code = 0;
      if (fscanf(file, "%d", &code) != 1) code = 0;
      fclose(file);
      ExitProcess((UINT)code);
    }
    Sleep(20);
  }
  ExitProcess(99);
}
#endif

#if !defined(STANDIN_CREATE) && !defined(STANDIN_CREATE_IMPL) && !defined(STANDIN_HOLD) && !defined(STANDIN_STREAMS)
/* A library with no creation entry point at all. */
__declspec(dllexport) int standinWithoutEntryPoint(void) { return 0; }
#endif
