// The launcher's own splash window on the screen: Wine on a virtual display,
// a GUI executable packaged with a splash bitmap and no usable runtime. A
// stand-in jvm.dll that waits before it fails keeps the launcher starting
// while the test looks at the window, presses keys and clicks; its failure
// then shows the message box that the splash owns. What the X side shows is
// read through Xlib; the screenshots are kept as artifacts.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "e2e/windows/wine_display.h"
#include "support/files.h"
#include "support/packaging.h"
#include "support/test_picture.h"
#include "support/x11_display.h"

namespace xoq {
namespace testing {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

bool contains(const std::vector<std::string>& names, const std::string& name) {
  for (const std::string& each : names) {
    if (each == name) return true;
  }
  return false;
}

class SplashWindowOnScreen : public WineOnDisplay {
 protected:
  SplashWindowOnScreen() : WineOnDisplay("wine-prefix-x11-splash") {}

  // A GUI executable whose splash bitmap is the test picture, `width` x
  // `height` (none when 0).
  std::string package(const std::string& name, const std::string& config, int width, int height) {
    std::vector<std::string> arguments;
    if (width > 0) {
      writePatternBmp(dir_.file(name + ".bmp"), width, height);
      arguments = {"--splash-bitmap", dir_.file(name + ".bmp")};
    }
    const std::string exe = packageWith(Target::kWindows, dir_.file(name), config, arguments);
    EXPECT_FALSE(exe.empty());
    return exe;
  }

  // A runtime that starts slowly and then fails creation (message 4), once
  // the test releases it.
  std::string slowRuntime() {
    writeFile(dir_.file("rt/jvm.dll"), readFile(std::string(XOQ_BUILD_DIR) + "/windows/standins/waits/jvm.dll"));
    std::remove(dir_.file("release").c_str());
    return "jre_order c\r\njvmdll rt\\jvm.dll\r\n";
  }
  std::map<std::string, std::string> releaseEnv() {
    return {{"XOQ_STANDIN_RELEASE", launcherPath(Target::kWindows, dir_.file("release"))}};
  }
  void release() { writeFile(dir_.file("release"), ""); }

  std::string splashId(int width, int height) {
    const XWindow window = display_->viewableWindow(width, height);
    return window.id == 0 ? std::string() : std::to_string(window.id);
  }

  // The screen shows the picture where the window is (its visible part).
  void expectPicture(const XWindow& window, const std::string& artifact) {
    EXPECT_EQ(display_->wrongPicturePixels(window, seconds(5)), 0)
        << "the splash does not show its bitmap; see " << artifact << ".png";
    display_->saveScreenshot(artifacts_ + "/" + artifact + ".png");
  }

  // Waits for the failure's message box; its window id.
  std::string messageBox() {
    for (int attempt = 0; attempt < 300; ++attempt) {
      const std::string id = windowNamed("Error");
      if (!id.empty()) return id;
      std::this_thread::sleep_for(milliseconds(100));
    }
    ADD_FAILURE() << "no message box";
    return std::string();
  }

  std::string log(const std::string& name) { return dir_.file(name + ".log"); }

  // Packages `name` with a `width` x `height` bitmap and the slow runtime,
  // starts it and expects its splash centred, that large, showing the
  // bitmap. The launcher; `window` is the splash.
  std::unique_ptr<BackgroundProcess> showSplash(const std::string& name, const std::string& config, int width,
                                                int height, XWindow& window) {
    const std::string exe = package(name + ".exe", slowRuntime() + config, width, height);
    std::string id;
    auto launcher = startAndWait(
        exe, log(name), releaseEnv(), [&] { return splashId(width, height); }, id);
    window = display_->viewableWindow(width, height);
    if (window.id == 0) return launcher;
    EXPECT_EQ(window.x, (1024 - width) / 2);
    EXPECT_EQ(window.y, (768 - height) / 2);
    expectPicture(window, "splash-window-" + name);
    return launcher;
  }
};

// One test for all cases: they share the display and the prefix.
TEST_F(SplashWindowOnScreen, NativeSplashWindow) {
  {
    SCOPED_TRACE("with a title: centred, the bitmap's size and pixels, closed by a key only");
    XWindow window;
    auto launcher = showSplash("titled", "splashtitle Starting Demo\r\n", 300, 200, window);
    ASSERT_NE(window.id, 0u);
    const std::string id = std::to_string(window.id);
    EXPECT_EQ(window.name, "Starting Demo");
    EXPECT_FALSE(contains(display_->atomProperty(window.id, "_NET_WM_STATE"), "_NET_WM_STATE_SKIP_TASKBAR"));

    xdotool({"mousemove", "512", "384"});
    for (const char* button : {"1", "3", "2"}) xdotool({"click", button});
    xdotool({"windowfocus", id});
    std::this_thread::sleep_for(milliseconds(300));
    xdotool({"key", "alt+F4"});
    std::this_thread::sleep_for(seconds(1));
    EXPECT_NE(display_->viewableWindow(300, 200).id, 0u) << "a click or Alt+F4 closed the splash";
    xdotool({"windowfocus", id});
    std::this_thread::sleep_for(milliseconds(300));
    xdotool({"key", "space"});
    EXPECT_TRUE(display_->waitForNoWindow(300, 200, seconds(10))) << "a key press left the splash up";

    // The splash has gone: the failure's box has no owner.
    release();
    const std::string box = messageBox();
    EXPECT_EQ(display_->transientFor(std::stoul(box)), 0u);
    EXPECT_TRUE(dismissWithReturn(box, *launcher));
    EXPECT_EQ(launcher->exitCode(), 4);
  }
  {
    // Wine tells the window manager to leave a tool window off the taskbar.
    SCOPED_TRACE("without a title: a tool window that owns the failure's box and goes with it");
    const std::string exe = package("untitled.exe", slowRuntime(), 200, 150);
    std::string id;
    auto launcher = startAndWait(
        exe, log("untitled"), releaseEnv(), [&] { return splashId(200, 150); }, id);
    ASSERT_FALSE(id.empty());
    EXPECT_TRUE(contains(display_->atomProperty(std::stoul(id), "_NET_WM_STATE"), "_NET_WM_STATE_SKIP_TASKBAR"));
    release();
    const std::string box = messageBox();
    EXPECT_EQ(display_->transientFor(std::stoul(box)), std::stoul(id)) << "the box is not owned by the splash";
    display_->saveScreenshot(artifacts_ + "/splash-window-message-box.png");
    EXPECT_NE(display_->viewableWindow(200, 150).id, 0u);
    EXPECT_TRUE(dismissWithReturn(box, *launcher));
    EXPECT_EQ(launcher->exitCode(), 4);
    EXPECT_TRUE(display_->waitForNoWindow(200, 150, seconds(5)));
  }
  {
    SCOPED_TRACE("no runtime: message 1 on top of the splash");
    const std::string exe = package("noruntime.exe", "jre_order c\r\n", 200, 150);
    std::string box;
    auto launcher = startAndWait(
        exe, log("noruntime"), {}, [&] { return windowNamed("Error"); }, box);
    ASSERT_FALSE(box.empty());
    const XWindow splash = display_->viewableWindow(200, 150);
    ASSERT_NE(splash.id, 0u) << "no splash under the box";
    EXPECT_EQ(display_->transientFor(std::stoul(box)), splash.id);
    const ProcessResult texts = runProcess(
        {XOQ_WINE_PROGRAM, std::string(XOQ_BUILD_DIR) + "/windows/xoq_window_text.exe", "Error"}, wineOptions(90));
    EXPECT_NE(texts.out.find("Java Runtime Environment not found."), std::string::npos) << texts.out;
    EXPECT_TRUE(dismissWithReturn(box, *launcher));
    EXPECT_EQ(launcher->exitCode(), 1);
    EXPECT_TRUE(display_->waitForNoWindow(200, 150, seconds(5)));
  }
  {
    SCOPED_TRACE("larger than the screen: centred at negative coordinates");
    XWindow window;
    auto launcher = showSplash("large", "", 1100, 800, window);
    ASSERT_NE(window.id, 0u);
    release();
    const std::string box = messageBox();
    EXPECT_TRUE(dismissWithReturn(box, *launcher));
  }
  {
    SCOPED_TRACE("no bitmap: no splash");
    const std::string exe = package("plain.exe", slowRuntime(), 0, 0);
    release();
    std::string box;
    auto launcher = startAndWait(
        exe, log("plain"), releaseEnv(), [&] { return windowNamed("Error"); }, box);
    ASSERT_FALSE(box.empty());
    EXPECT_EQ(display_->transientFor(std::stoul(box)), 0u);
    EXPECT_NE(readFile(log("plain")).find("no splash bitmap; no splash"), std::string::npos) << readFile(log("plain"));
    EXPECT_TRUE(dismissWithReturn(box, *launcher));
    EXPECT_EQ(launcher->exitCode(), 4);
  }
}

}  // namespace
}  // namespace testing
}  // namespace xoq
