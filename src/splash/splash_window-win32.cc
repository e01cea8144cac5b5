#include <windows.h>

#include <atomic>
#include <mutex>

#include "base/trace.h"
#include "platform/platform.h"
#include "splash/splash_window.h"

namespace xoq {

namespace {

const char kSplashClassName[] = "XOQSPLASH";
constexpr UINT_PTR kCloseTimer = 1;
constexpr DWORD kReadyWaitMillis = 30000;

}  // namespace

class SplashWindow final {
 public:
  SplashWindow(HBITMAP splashBitmap, const std::string& splashTitle) : bitmap(splashBitmap), title(splashTitle) {}

  // Runs on the splash thread: publishes the object, creates the window and
  // signals readyEvent whatever the outcome. True when the window exists.
  virtual bool createWindow();

  // The object lives in pages of its own that are given back to the system
  // when it is freed: a use after that faults at once instead of reading
  // whatever the heap put there since. 64 KiB of address space for one
  // object made once per process is a small price for that: a bug in the
  // splash's lifetime shows as a crash where it happens (the lifetime test
  // relies on it), not as a corrupted heap somewhere later.
  // Null when out of memory (no exceptions here).
  static void* operator new(size_t size) noexcept {
    return VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  }
  static void operator delete(void* memory) { VirtualFree(memory, 0, MEM_RELEASE); }

  // Drops one of the two references (the starter's and the splash thread's);
  // the last one closes the event and frees the object.
  void release() {
    if (references.fetch_sub(1) != 1) return;
    CloseHandle(readyEvent);
    delete this;
  }

  HANDLE readyEvent = nullptr;
  HWND* window = nullptr;  // the holder; written under the splash lock
  HBITMAP bitmap;
  // A copy: the thread may still create the window after a starter that
  // gave up waiting has released its text.
  const std::string title;
  int32_t closeScheduled = 0;        // read and written under the splash lock
  std::atomic<bool> closing{false};  // set by the splash thread as the window closes

 private:
  std::atomic<int> references{2};
};

namespace {

std::mutex splashLock;
// Written by the splash thread under splashLock; read by other threads only
// under it. The splash thread itself reads it without the lock.
SplashWindow* currentSplash = nullptr;

// Paints the whole bitmap of the live splash at the window's origin.
void paintSplash(HWND window) {
  RECT client;
  GetClientRect(window, &client);
  PAINTSTRUCT paint;
  HDC target = BeginPaint(window, &paint);
  SplashWindow* splash = currentSplash;
  if (target != nullptr && splash != nullptr) {
    HDC memory = CreateCompatibleDC(target);
    HGDIOBJ previous = SelectObject(memory, splash->bitmap);
    BitBlt(target, 0, 0, client.right - client.left, client.bottom - client.top, memory, 0, 0, SRCCOPY);
    SelectObject(memory, previous);
    DeleteDC(memory);
  }
  EndPaint(window, &paint);
}

LRESULT CALLBACK splashWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT:
      paintSplash(window);
      return 0;
    case WM_TIMER:
    case WM_KEYDOWN:
      PostMessageA(window, WM_CLOSE, 0, 0);
      return 0;
    case WM_CLOSE:
      // The splash counts as gone before its window goes: a program that
      // has seen the window go and asks for the splash gets none, however
      // long the splash thread, at the lowest priority, takes to withdraw.
      if (currentSplash != nullptr) currentSplash->closing = true;
      DestroyWindow(window);
      return 0;
    // Clicks and Alt combinations (Alt+F4 among them) must not close the
    // splash or move it: no default processing.
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_NCLBUTTONDOWN:
    case WM_NCRBUTTONDOWN:
    case WM_NCMBUTTONDOWN:
    case WM_SYSKEYDOWN:
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

bool registerSplashClass(HINSTANCE instance) {
  WNDCLASSA existing;
  if (GetClassInfoA(instance, kSplashClassName, &existing)) return true;
  WNDCLASSA type;
  type.style = 0;
  type.lpfnWndProc = splashWindowProc;
  type.cbClsExtra = 0;
  type.cbWndExtra = 0;
  type.hInstance = instance;
  type.hIcon = nullptr;
  type.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  type.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  type.lpszMenuName = nullptr;
  type.lpszClassName = kSplashClassName;
  return RegisterClassA(&type) != 0;
}

HWND createSplashWindow(HBITMAP bitmap, const std::string& title) {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  if (!registerSplashClass(instance)) return nullptr;
  const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
  const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
  BITMAP size = {};
  GetObjectA(bitmap, sizeof size, &size);
  // Centred, also when larger than the screen (negative coordinates).
  const int x = (screenWidth - static_cast<int>(size.bmWidth)) / 2;
  const int y = (screenHeight - static_cast<int>(size.bmHeight)) / 2;
  // A splash without a title gets no taskbar button.
  HWND window =
      CreateWindowExA(title.empty() ? WS_EX_TOOLWINDOW : 0, kSplashClassName, title.c_str(), WS_POPUP | WS_VISIBLE, x,
                      y, size.bmWidth, size.bmHeight, nullptr, nullptr, instance, nullptr);
  if (window == nullptr) return nullptr;
  ShowWindow(window, SW_SHOW);
  UpdateWindow(window);
  return window;
}

unsigned splashThreadMain(void* argument) {
  SplashWindow* splash = static_cast<SplashWindow*>(argument);
  if (splash->createWindow()) {
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
  HWND* holder = nullptr;
  {
    // Withdrawn under the lock: whoever holds a LiveSplash is done with the
    // object before this goes on, and nobody can reach it afterwards.
    std::lock_guard<std::mutex> guard(splashLock);
    if (currentSplash == splash) currentSplash = nullptr;
    holder = splash->window;
    splash->window = nullptr;
  }
  DeleteObject(splash->bitmap);
  delete holder;
  splash->release();
  return 0;
}

}  // namespace

bool SplashWindow::createWindow() {
  HWND* holder = new HWND(nullptr);
  {
    std::lock_guard<std::mutex> guard(splashLock);
    currentSplash = this;
    window = holder;
  }
  // Created without the lock: creating and showing a window may send
  // messages to other threads' windows.
  HWND created = createSplashWindow(bitmap, title);
  {
    std::lock_guard<std::mutex> guard(splashLock);
    *holder = created;
  }
  SetEvent(readyEvent);
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_LOWEST);
  return created != nullptr;
}

LiveSplash::LiveSplash() { splashLock.lock(); }

LiveSplash::~LiveSplash() { splashLock.unlock(); }

SplashWindow* LiveSplash::get() const { return currentSplash; }

void* loadSplashBitmap() { return LoadBitmapA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(100)); }

bool startSplashWindow(void* bitmap, const std::string& title) {
  SplashWindow* splash = new SplashWindow(static_cast<HBITMAP>(bitmap), title);
  if (splash == nullptr) {
    DeleteObject(static_cast<HBITMAP>(bitmap));
    return false;
  }
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, nullptr, FALSE};
  splash->readyEvent = CreateEventA(&attributes, TRUE, FALSE, nullptr);
  platform::Thread thread;
  if (splash->readyEvent == nullptr || !thread.start(splashThreadMain, splash, false)) {
    trace("splash window: the splash thread could not be started");
    DeleteObject(splash->bitmap);
    if (splash->readyEvent != nullptr) CloseHandle(splash->readyEvent);
    delete splash;
    return false;
  }
  // The event stays open until both sides are done with it: the thread may
  // fail to create the window and end before this wait has even begun.
  const bool ready = WaitForSingleObject(splash->readyEvent, kReadyWaitMillis) == WAIT_OBJECT_0;
  splash->release();
  const bool shown = liveSplashOwner() != nullptr;
  trace("splash window: %s", shown ? "shown" : ready ? "could not be created" : "not ready after 30 s");
  return shown;
}

void scheduleSplashClose(SplashWindow* splash, int32_t delayMs) {
  if (splash == nullptr || splash->window == nullptr) return;
  splash->closeScheduled = 1;
  HWND window = *splash->window;
  // No window yet (or never): a null handle would give the calling thread a
  // timer of its own instead.
  if (window == nullptr) return;
  KillTimer(window, kCloseTimer);
  if (delayMs >= 0) SetTimer(window, kCloseTimer, static_cast<UINT>(delayMs), nullptr);
}

void* splashOwnerWindow(SplashWindow* splash) {
  if (splash == nullptr || splash->window == nullptr) return nullptr;
  return *splash->window;
}

bool splashShowing(SplashWindow* splash) { return splashOwnerWindow(splash) != nullptr && !splash->closing; }

void closeSplashWindow(SplashWindow* splash) {
  HWND window = static_cast<HWND>(splashOwnerWindow(splash));
  if (window != nullptr) PostMessageA(window, WM_CLOSE, 0, 0);
}

void scheduleAutomaticSplashClose(int32_t delayMs) {
  {
    LiveSplash live;
    SplashWindow* splash = live.get();
    if (splash == nullptr || splash->closeScheduled != 0) return;
    scheduleSplashClose(splash, delayMs);
    splash->closeScheduled = 0;
  }
  // Traced after unlocking: the trace may wait for whoever reads it.
  trace("splash window: closes in %d ms unless the application says otherwise", static_cast<int>(delayMs));
}

}  // namespace xoq
