/*
 * A stand-in for a Windows Java runtime's jvm.dll, which cannot exist on the
 * machines the tests run on. Built in several variants (see
 * cmake/windows.cmake); each creation entry point writes what the launcher
 * handed it to the file named by XOQ_STANDIN_RECORD, then fails, since there
 * is no virtual machine behind it.
 */
#include <windows.h>

#include <stdio.h>

/* This library provides the invocation functions that jni.h declares. */
#define _JNI_IMPLEMENTATION_
#include <jni.h>

#ifdef STANDIN_NEEDS_DEPENDENCY
/* Lives in xoqdep.dll, which sits in the parent of this library's folder. */
__declspec(dllimport) int xoqStandinDependency(void);
#endif

#if defined(STANDIN_CREATE) || defined(STANDIN_CREATE_IMPL)
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
  fclose(file);
}
#endif

#ifdef STANDIN_CREATE_WAITS
/* A runtime that takes its time to start: creation goes on only once the
   file named by XOQ_STANDIN_RELEASE exists (two minutes at most). */
static void waitForRelease(void) {
  char path[MAX_PATH];
  if (GetEnvironmentVariableA("XOQ_STANDIN_RELEASE", path, sizeof path) == 0) return;
  for (int waited = 0; waited < 120000 && GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES; waited += 50) {
    Sleep(50);
  }
}
#endif

#ifdef STANDIN_CREATE
JNIEXPORT jint JNICALL JNI_CreateJavaVM(JavaVM** vm, void** env, void* args) {
#ifdef STANDIN_CREATE_WAITS
  waitForRelease();
#endif
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

#if !defined(STANDIN_CREATE) && !defined(STANDIN_CREATE_IMPL)
/* A library with no creation entry point at all. */
__declspec(dllexport) int standinWithoutEntryPoint(void) { return 0; }
#endif
