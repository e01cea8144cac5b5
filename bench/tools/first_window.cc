// first_window WIDTH HEIGHT: the least a Windows program does to put a window
// of that size on the screen (register a class, create a visible popup,
// paint it), for the splash benchmark to compare the launcher's splash
// window with. It runs until it is ended.
#include <windows.h>

#include <cstdlib>

namespace {

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return 1;
  const int width = atoi(argv[1]);
  const int height = atoi(argv[2]);
  WNDCLASSA type = {};
  type.lpfnWndProc = windowProc;
  type.hInstance = GetModuleHandleA(nullptr);
  type.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  type.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  type.lpszClassName = "FIRSTWINDOW";
  if (RegisterClassA(&type) == 0) return 2;
  HWND window = CreateWindowExA(
      WS_EX_TOOLWINDOW, "FIRSTWINDOW", "", WS_POPUP | WS_VISIBLE, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
      (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height, nullptr, nullptr, type.hInstance, nullptr);
  if (window == nullptr) return 3;
  UpdateWindow(window);
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
  return 0;
}
