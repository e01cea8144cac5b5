// Windows on a screen in tests: a process that runs beside the test, and a
// virtual X display of the test's own (Xvfb) that the test reads through
// Xlib: its top-level windows with their geometry, map state and window
// manager hints, and the pixels of the screen.
#ifndef XOQ_TESTS_SUPPORT_X11_DISPLAY_H_
#define XOQ_TESTS_SUPPORT_X11_DISPLAY_H_

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace xoq {
namespace testing {

/// A process that runs while the test goes on: its own process group, its
/// output in a file, ended with its group when the object goes away.
class BackgroundProcess {
 public:
  BackgroundProcess(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
                    const std::string& outputFile, const std::string& workingDirectory = std::string());
  ~BackgroundProcess();
  BackgroundProcess(const BackgroundProcess&) = delete;
  BackgroundProcess& operator=(const BackgroundProcess&) = delete;

  bool running();
  /// Waits at most `limit`; false when it still runs.
  bool waitFor(std::chrono::milliseconds limit);
  /// Ends it and its group at once (SIGKILL) and reaps it.
  void kill();
  /// The exit status once it has ended, -1 before or after a signal.
  int exitCode() const { return exitCode_; }

 private:
  pid_t pid_ = -1;
  bool done_ = false;
  int exitCode_ = -1;
};

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

/// An Xvfb display of 1024x768 at 24 bits, on the first free number from
/// 140, with an Xlib connection to it; both end with the object.
class VirtualDisplay {
 public:
  /// Xvfb's output goes to `logFile`.
  explicit VirtualDisplay(const std::string& logFile);
  ~VirtualDisplay();
  VirtualDisplay(const VirtualDisplay&) = delete;
  VirtualDisplay& operator=(const VirtualDisplay&) = delete;

  /// ":N", empty when no display could be started.
  const std::string& name() const { return name_; }

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

  /// Saves the whole screen as a PNG image, as a test artifact.
  bool saveScreenshot(const std::string& path);

 private:
  BackgroundProcess* xvfb_ = nullptr;
  void* display_ = nullptr;  // Display*
  std::string name_;
};

}  // namespace testing
}  // namespace xoq

#endif  // XOQ_TESTS_SUPPORT_X11_DISPLAY_H_
