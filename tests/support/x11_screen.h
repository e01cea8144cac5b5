// What an X display shows, read through Xlib: its top-level windows with
// their geometry, map state and window manager hints, the moments windows
// are mapped, and the pixels of the screen.
#ifndef XOQ_TESTS_SUPPORT_X11_SCREEN_H_
#define XOQ_TESTS_SUPPORT_X11_SCREEN_H_

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace xoq {
namespace testing {

/// One top-level window of the display.
struct XWindow {
  unsigned long id = 0;  // 0: none
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  bool viewable = false;
  std::string name;  // WM_NAME
};

/// An Xlib connection to one display, closed with the object.
class X11Screen {
 public:
  /// Connects to `displayName` (such as ":140"), trying for a few seconds
  /// while a display server is still starting.
  explicit X11Screen(const std::string& displayName);
  ~X11Screen();
  X11Screen(const X11Screen&) = delete;
  X11Screen& operator=(const X11Screen&) = delete;

  bool connected() const { return display_ != nullptr; }

  /// The children of the root window, in stacking order.
  std::vector<XWindow> topLevelWindows();
  /// The first viewable top-level window of that size; id 0 when none.
  XWindow viewableWindow(int width, int height);
  /// Waits at most `limit` for viewableWindow(width, height).
  XWindow waitForWindow(int width, int height, std::chrono::milliseconds limit);
  /// Waits at most `limit` until no viewable window of that size is left.
  bool waitForNoWindow(int width, int height, std::chrono::milliseconds limit);

  /// The atom names of a window property of type ATOM (such as
  /// _NET_WM_WINDOW_TYPE or _NET_WM_STATE); empty when not set.
  std::vector<std::string> atomProperty(unsigned long window, const char* property);
  /// WM_TRANSIENT_FOR of a window, 0 when not set.
  unsigned long transientFor(unsigned long window);

  /// The screen's pixels in the rectangle (clipped to the screen) as
  /// 0xRRGGBB, row by row; `width` and `height` receive the clipped size.
  std::vector<uint32_t> capture(int x, int y, int& width, int& height);
  /// How many pixels of the visible part of `window` differ from the test
  /// picture (test_picture.h), waiting at most `limit` for none to differ: a
  /// window is painted a moment after it is mapped.
  int wrongPicturePixels(const XWindow& window, std::chrono::milliseconds limit);

  /// Starts taking note of windows being mapped on the screen; call before
  /// starting the program whose window is awaited.
  void listenForMaps();
  /// Waits at most `limit` for a top-level window of that size to be mapped
  /// after listenForMaps, and stores the moment its map event was read.
  /// False when none came.
  bool waitForMap(int width, int height, std::chrono::milliseconds limit, std::chrono::steady_clock::time_point& when);

  /// Starts taking note of `window` being unmapped or destroyed.
  void watchWindow(unsigned long window);
  /// Waits at most `limit` for `window`, watched since watchWindow, to be
  /// unmapped or destroyed. True when it was: a window can stay viewable for
  /// a while after its program has closed it, but these events come at once.
  bool waitForUnmap(unsigned long window, std::chrono::milliseconds limit);

  /// Saves the whole screen as a PNG image, as a test artifact.
  bool saveScreenshot(const std::string& path);

 private:
  void* display_ = nullptr;  // Display*
};

}  // namespace testing
}  // namespace xoq

#endif  // XOQ_TESTS_SUPPORT_X11_SCREEN_H_
