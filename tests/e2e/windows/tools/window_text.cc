// window_text CAPTION: prints what a top-level window with exactly that
// caption shows, so that a test can read a message box of another process
// under Wine: its caption, whether it is topmost, and the class and text of
// each child window. Exit code 0 when found, 2 when no such window exists.
#include <windows.h>

#include <cstdio>

namespace {

BOOL CALLBACK printChild(HWND child, LPARAM) {
  char className[256] = "";
  char text[4096] = "";
  GetClassNameA(child, className, sizeof className);
  GetWindowTextA(child, text, sizeof text);
  printf("child %s: %s\n", className, text);
  return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: window_text CAPTION\n");
    return 1;
  }
  HWND window = FindWindowA(nullptr, argv[1]);
  if (window == nullptr) return 2;
  char caption[4096] = "";
  GetWindowTextA(window, caption, sizeof caption);
  printf("caption: %s\n", caption);
  const LONG_PTR extended = GetWindowLongPtrA(window, GWL_EXSTYLE);
  printf("topmost: %s\n", (extended & WS_EX_TOPMOST) != 0 ? "yes" : "no");
  EnumChildWindows(window, printChild, 0);
  fflush(stdout);
  return 0;
}
