// window_text CAPTION: prints what a top-level window with exactly that
// caption shows, so that a test can read a message box of another process
// under Wine: its caption, whether it is topmost, and the class and text of
// each child window, with the icon of a static control that shows one. Exit
// code 0 when found, 2 when no such window exists.
#include <windows.h>

#include <cstdio>

namespace {

// The icon a static control shows, by name when it is one of the system's
// shared icons (user handles are the same in every process).
const char* iconName(HWND control) {
  const HICON icon = reinterpret_cast<HICON>(SendMessageA(control, STM_GETICON, 0, 0));
  if (icon == nullptr) return nullptr;
  if (icon == LoadIconA(nullptr, IDI_WARNING)) return "warning";
  if (icon == LoadIconA(nullptr, IDI_ERROR)) return "error";
  if (icon == LoadIconA(nullptr, IDI_INFORMATION)) return "information";
  if (icon == LoadIconA(nullptr, IDI_QUESTION)) return "question";
  return "other";
}

BOOL CALLBACK printChild(HWND child, LPARAM) {
  char className[256] = "";
  char text[4096] = "";
  GetClassNameA(child, className, sizeof className);
  GetWindowTextA(child, text, sizeof text);
  const char* icon = lstrcmpiA(className, "Static") == 0 ? iconName(child) : nullptr;
  if (icon != nullptr) {
    printf("child %s (%s icon): %s\n", className, icon, text);
  } else {
    printf("child %s: %s\n", className, text);
  }
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
