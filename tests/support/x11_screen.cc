#include "support/x11_screen.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>

#include <cstdio>
#include <functional>
#include <thread>

#include "support/files.h"
#include "support/process.h"
#include "support/test_picture.h"

namespace xoq {
namespace testing {

namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

// A window may go away between listing and asking; Xlib's default handler
// would end the test for that.
int ignoreXErrors(Display*, XErrorEvent*) { return 0; }

Display* asDisplay(void* display) { return static_cast<Display*>(display); }

// Reads the events that arrive within `limit` until `wanted` accepts one.
bool waitForEvent(Display* display, milliseconds limit, const std::function<bool(const XEvent&)>& wanted) {
  const auto deadline = steady_clock::now() + limit;
  for (;;) {
    while (XPending(display) > 0) {
      XEvent event;
      XNextEvent(display, &event);
      if (wanted(event)) return true;
    }
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - steady_clock::now()).count();
    if (left <= 0) return false;
    pollfd connection = {ConnectionNumber(display), POLLIN, 0};
    poll(&connection, 1, static_cast<int>(left));
  }
}

}  // namespace

X11Screen::X11Screen(const std::string& displayName) {
  XSetErrorHandler(ignoreXErrors);
  for (int attempt = 0; attempt < 50 && display_ == nullptr; ++attempt) {
    display_ = XOpenDisplay(displayName.c_str());
    if (display_ == nullptr) std::this_thread::sleep_for(milliseconds(100));
  }
}

X11Screen::~X11Screen() {
  if (display_ != nullptr) XCloseDisplay(asDisplay(display_));
}

std::vector<XWindow> X11Screen::topLevelWindows() {
  std::vector<XWindow> windows;
  if (display_ == nullptr) return windows;
  Display* display = asDisplay(display_);
  Window root = 0, parent = 0;
  Window* children = nullptr;
  unsigned int count = 0;
  if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count)) return windows;
  for (unsigned int i = 0; i < count; ++i) {
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, children[i], &attributes)) continue;
    XWindow window;
    window.id = children[i];
    window.x = attributes.x;
    window.y = attributes.y;
    window.width = attributes.width;
    window.height = attributes.height;
    window.viewable = attributes.map_state == IsViewable;
    char* name = nullptr;
    if (XFetchName(display, children[i], &name) && name != nullptr) {
      window.name = name;
      XFree(name);
    }
    windows.push_back(window);
  }
  if (children != nullptr) XFree(children);
  return windows;
}

XWindow X11Screen::viewableWindow(int width, int height) {
  for (const XWindow& window : topLevelWindows()) {
    if (window.viewable && window.width == width && window.height == height) return window;
  }
  return XWindow();
}

XWindow X11Screen::waitForWindow(int width, int height, milliseconds limit) {
  const auto deadline = steady_clock::now() + limit;
  for (;;) {
    const XWindow window = viewableWindow(width, height);
    if (window.id != 0 || steady_clock::now() > deadline) return window;
    std::this_thread::sleep_for(milliseconds(20));
  }
}

bool X11Screen::waitForNoWindow(int width, int height, milliseconds limit) {
  const auto deadline = steady_clock::now() + limit;
  while (viewableWindow(width, height).id != 0) {
    if (steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(milliseconds(20));
  }
  return true;
}

int X11Screen::wrongPicturePixels(const XWindow& window, milliseconds limit) {
  const int left = window.x < 0 ? -window.x : 0;
  const int top = window.y < 0 ? -window.y : 0;
  const auto deadline = steady_clock::now() + limit;
  for (;;) {
    int width = window.width, height = window.height;
    const std::vector<uint32_t> pixels = capture(window.x, window.y, width, height);
    const int wrong = wrongPatternPixels(pixels, width, height, left, top);
    if (wrong == 0 || steady_clock::now() > deadline) return wrong;
    std::this_thread::sleep_for(milliseconds(50));
  }
}

void X11Screen::listenForMaps() {
  if (display_ == nullptr) return;
  Display* display = asDisplay(display_);
  XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
  XSync(display, True);  // and drop what came before
}

bool X11Screen::waitForMap(int width, int height, milliseconds limit, steady_clock::time_point& when) {
  if (display_ == nullptr) return false;
  Display* display = asDisplay(display_);
  return waitForEvent(display, limit, [&](const XEvent& event) {
    if (event.type != MapNotify) return false;
    const steady_clock::time_point seen = steady_clock::now();
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, event.xmap.window, &attributes) || attributes.width != width ||
        attributes.height != height) {
      return false;
    }
    when = seen;
    return true;
  });
}

void X11Screen::watchWindow(unsigned long window) {
  if (display_ == nullptr) return;
  Display* display = asDisplay(display_);
  XSelectInput(display, window, StructureNotifyMask);
  XSync(display, False);
}

bool X11Screen::waitForUnmap(unsigned long window, milliseconds limit) {
  if (display_ == nullptr) return false;
  return waitForEvent(asDisplay(display_), limit, [&](const XEvent& event) {
    return (event.type == UnmapNotify && event.xunmap.window == window) ||
           (event.type == DestroyNotify && event.xdestroywindow.window == window);
  });
}

std::vector<std::string> X11Screen::atomProperty(unsigned long window, const char* property) {
  std::vector<std::string> names;
  if (display_ == nullptr) return names;
  Display* display = asDisplay(display_);
  Atom type = 0;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(display, window, XInternAtom(display, property, False), 0, 64, False, XA_ATOM, &type, &format,
                         &count, &after, &data) != Success) {
    return names;
  }
  if (type == XA_ATOM && format == 32) {
    const Atom* atoms = reinterpret_cast<const Atom*>(data);
    for (unsigned long i = 0; i < count; ++i) {
      char* name = XGetAtomName(display, atoms[i]);
      if (name != nullptr) {
        names.push_back(name);
        XFree(name);
      }
    }
  }
  if (data != nullptr) XFree(data);
  return names;
}

unsigned long X11Screen::transientFor(unsigned long window) {
  Window owner = 0;
  if (display_ == nullptr || !XGetTransientForHint(asDisplay(display_), window, &owner)) return 0;
  return owner;
}

std::vector<uint32_t> X11Screen::capture(int x, int y, int& width, int& height) {
  std::vector<uint32_t> pixels;
  if (display_ == nullptr) return pixels;
  Display* display = asDisplay(display_);
  const int screenWidth = DisplayWidth(display, DefaultScreen(display));
  const int screenHeight = DisplayHeight(display, DefaultScreen(display));
  const int left = x < 0 ? 0 : x;
  const int top = y < 0 ? 0 : y;
  const int right = x + width > screenWidth ? screenWidth : x + width;
  const int bottom = y + height > screenHeight ? screenHeight : y + height;
  width = right > left ? right - left : 0;
  height = bottom > top ? bottom - top : 0;
  if (width == 0 || height == 0) return pixels;
  XImage* image = XGetImage(display, DefaultRootWindow(display), left, top, static_cast<unsigned>(width),
                            static_cast<unsigned>(height), AllPlanes, ZPixmap);
  if (image == nullptr) return pixels;
  pixels.reserve(static_cast<size_t>(width) * static_cast<size_t>(height));
  for (int row = 0; row < height; ++row) {
    for (int column = 0; column < width; ++column) {
      pixels.push_back(static_cast<uint32_t>(XGetPixel(image, column, row)) & 0xFFFFFF);
    }
  }
  XDestroyImage(image);
  return pixels;
}

bool X11Screen::saveScreenshot(const std::string& path) {
  int width = 1 << 16, height = 1 << 16;
  const std::vector<uint32_t> pixels = capture(0, 0, width, height);
  if (pixels.empty()) return false;
  std::string ppm = "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
  for (uint32_t pixel : pixels) {
    ppm += static_cast<char>(pixel >> 16);
    ppm += static_cast<char>(pixel >> 8);
    ppm += static_cast<char>(pixel);
  }
  // Kept as PNG: a third of the size, and every viewer opens it.
  const std::string raw = path + ".ppm";
  writeFile(raw, ppm);
  const bool converted = runProcess({"convert", raw, path}).exitCode == 0;
  std::remove(raw.c_str());
  return converted;
}

}  // namespace testing
}  // namespace xoq
