// The launcher's own splash window on the screen: Wine on a virtual display,
// a GUI executable packaged with a splash bitmap. A stand-in jvm.dll that
// holds the launcher keeps it starting while the test looks at the window,
// presses keys and clicks; without a runtime the failure's message box
// comes up owned by the splash. What the X side shows is read through Xlib;
// the screenshots are kept as artifacts.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "e2e/windows/wine_display.h"
#include "support/files.h"
#include "support/packaging.h"
#include "support/test_picture.h"
#include "support/x11_screen.h"

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

  // A runtime that keeps the launcher starting until the test releases it.
  std::string heldRuntime() {
    writeFile(dir_.file("rt/jvm.dll"), readFile(std::string(XOQ_BUILD_DIR) + "/windows/standins/hold/jvm.dll"));
    std::filesystem::create_directories(dir_.file("status"));
    std::remove(dir_.file("release").c_str());
    return "jre_order c\r\njvmdll rt\\jvm.dll\r\n";
  }
  std::map<std::string, std::string> holdEnv() {
    return {{"XOQ_STANDIN_STATUS", launcherPath(Target::kWindows, dir_.file("status"))},
            {"XOQ_STANDIN_RELEASE", launcherPath(Target::kWindows, dir_.file("release"))}};
  }
  // Lets the held launcher end (with exit code 0).
  void release(Background& launcher) {
    writeFile(dir_.file("release"), "0");
    EXPECT_TRUE(launcher.waitFor(seconds(30)));
  }

  std::string splashId(int width, int height) {
    const XWindow window = screen_->viewableWindow(width, height);
    return window.id == 0 ? std::string() : std::to_string(window.id);
  }

  // The screen shows the picture where the window is (its visible part).
  void expectPicture(const XWindow& window, const std::string& artifact) {
    EXPECT_EQ(screen_->wrongPicturePixels(window, seconds(5)), 0)
        << "the splash does not show its bitmap; see " << artifact << ".png";
    screen_->saveScreenshot(artifacts_ + "/" + artifact + ".png");
  }

  std::string log(const std::string& name) { return dir_.file(name + ".log"); }

  // Packages `name` with a `width` x `height` bitmap and the held runtime,
  // starts it and expects its splash centred, that large, showing the
  // bitmap. The launcher; `window` is the splash.
  std::unique_ptr<Background> showSplash(const std::string& name, const std::string& config, int width, int height,
                                         XWindow& window) {
    const std::string exe = package(name + ".exe", heldRuntime() + config, width, height);
    std::string id;
    auto launcher = startAndWait(
        exe, log(name), holdEnv(), [&] { return splashId(width, height); }, id);
    window = screen_->viewableWindow(width, height);
    if (window.id == 0) return launcher;
    EXPECT_EQ(window.x, (1024 - width) / 2);
    EXPECT_EQ(window.y, (768 - height) / 2);
    expectPicture(window, "splash-window-" + name);
    return launcher;
  }

  // Starts `exe`, whose launch fails without a runtime, and waits for its
  // message box; the launcher, with `box` set.
  std::unique_ptr<Background> startFailing(const std::string& exe, const std::string& name, std::string& box) {
    return startAndWait(
        exe, log(name), {}, [&] { return windowNamed("Error"); }, box);
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
    EXPECT_FALSE(contains(screen_->atomProperty(window.id, "_NET_WM_STATE"), "_NET_WM_STATE_SKIP_TASKBAR"));

    screen_->watchWindow(window.id);
    xdotool({"mousemove", "512", "384"});
    for (const char* button : {"1", "3", "2"}) xdotool({"click", button});
    xdotool({"windowfocus", id});
    std::this_thread::sleep_for(milliseconds(300));
    xdotool({"key", "alt+F4"});
    // A window that Wine has closed can stay viewable for seconds; its unmap
    // comes at once.
    EXPECT_FALSE(screen_->waitForUnmap(window.id, seconds(5))) << "a click or Alt+F4 closed the splash";
    EXPECT_NE(screen_->viewableWindow(300, 200).id, 0u);
    xdotool({"windowfocus", id});
    std::this_thread::sleep_for(milliseconds(300));
    xdotool({"key", "space"});
    EXPECT_TRUE(screen_->waitForNoWindow(300, 200, seconds(10))) << "a key press left the splash up";
    release(*launcher);
  }
  {
    // Wine tells the window manager to leave a tool window off the taskbar.
    SCOPED_TRACE("without a title: a tool window");
    XWindow window;
    auto launcher = showSplash("untitled", "", 200, 150, window);
    ASSERT_NE(window.id, 0u);
    EXPECT_TRUE(contains(screen_->atomProperty(window.id, "_NET_WM_STATE"), "_NET_WM_STATE_SKIP_TASKBAR"));
    release(*launcher);
  }
  {
    SCOPED_TRACE("larger than the screen: centred at negative coordinates");
    XWindow window;
    auto launcher = showSplash("large", "", 1100, 800, window);
    ASSERT_NE(window.id, 0u);
    release(*launcher);
  }
  {
    SCOPED_TRACE("no runtime: message 1 owned by the splash, which goes with it");
    std::string box;
    auto launcher = startFailing(package("noruntime.exe", "jre_order c\r\n", 200, 150), "noruntime", box);
    ASSERT_FALSE(box.empty());
    const XWindow splash = screen_->viewableWindow(200, 150);
    ASSERT_NE(splash.id, 0u) << "no splash under the box";
    EXPECT_EQ(screen_->transientFor(std::stoul(box)), splash.id) << "the box is not owned by the splash";
    const ProcessResult texts = runProcess(
        {XOQ_WINE_PROGRAM, std::string(XOQ_BUILD_DIR) + "/windows/xoq_window_text.exe", "Error"}, wineOptions(90));
    EXPECT_NE(texts.out.find("Java Runtime Environment not found."), std::string::npos) << texts.out;
    screen_->saveScreenshot(artifacts_ + "/splash-window-message-box.png");
    EXPECT_TRUE(dismissWithReturn(box, *launcher));
    EXPECT_EQ(launcher->exitCode(), 1);
    // The launcher ends right after the box, so this only shows that the
    // splash does not outlive it; its close 100 ms after the box is seen by
    // the unit test (NativeSplashWindow).
    EXPECT_TRUE(screen_->waitForNoWindow(200, 150, seconds(5)));
  }
  {
    SCOPED_TRACE("no bitmap: no splash, and the box has no owner");
    std::string box;
    auto launcher = startFailing(package("plain.exe", "jre_order c\r\n", 0, 0), "plain", box);
    ASSERT_FALSE(box.empty());
    EXPECT_EQ(screen_->transientFor(std::stoul(box)), 0u);
    EXPECT_NE(readFile(log("plain")).find("no splash bitmap; no splash"), std::string::npos) << readFile(log("plain"));
    EXPECT_TRUE(dismissWithReturn(box, *launcher));
    EXPECT_EQ(launcher->exitCode(), 1);
  }
}

}  // namespace
}  // namespace testing
}  // namespace xoq
