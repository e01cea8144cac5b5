/*
 * A stand-in for a Windows Java runtime's jvm.dll that writes as a real one
 * does, through the Universal C runtime (ucrtbase.dll, reached through the
 * api-ms-win-crt libraries): a line to descriptor 1 with _write, a line to
 * its stderr stream. Then it ends the process with the code in
 * XOQ_STANDIN_EXIT, as a runtime that cannot start does (else creation
 * fails). Built without the toolchain's own C runtime, so that ucrtbase.dll
 * is the only one it uses.
 */
#include <windows.h>

#include <io.h>
#include <stdio.h>
#include <stdlib.h>

/* This library provides the invocation functions that jni.h declares. */
#define _JNI_IMPLEMENTATION_
#include <jni.h>

BOOL WINAPI standinEntry(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)instance;
  (void)reason;
  (void)reserved;
  return TRUE;
}

JNIEXPORT jint JNICALL JNI_CreateJavaVM(JavaVM** vm, void** env, void* args) {
  static const char out[] = "runtime: standard output\n";
  (void)args;
  _write(1, out, sizeof out - 1);
  fputs("runtime: standard error\n", stderr);
  char code[16];
  if (GetEnvironmentVariableA("XOQ_STANDIN_EXIT", code, sizeof code) > 0) ExitProcess((UINT)atoi(code));
  *vm = NULL;
  *env = NULL;
  return JNI_ERR;
}
