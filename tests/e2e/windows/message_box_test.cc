// The GUI launcher's message box, in a real window: Wine on a virtual X
// display of the test's own (Xvfb). The test finds the box by its caption
// with xdotool, reads its texts through a small Windows program that asks
// the window itself (xoq_window_text, run in the same Wine session), keeps a
// screenshot as an artifact, dismisses the box with the Return key and
// checks the exit code.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <thread>

#include "e2e/windows/wine_display.h"
#include "support/background.h"
#include "support/files.h"
#include "support/packaging.h"

namespace xoq {
namespace testing {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;
using std::chrono::steady_clock;

class MessageBoxWindow : public WineOnDisplay {
 protected:
  MessageBoxWindow() : WineOnDisplay("wine-prefix-x11") {}

  struct Seen {
    std::string windowName;  // the X window's name, as xdotool reads it
    std::string texts;       // what xoq_window_text read from the window
    std::string screenshot;  // path of the screenshot
    bool dismissed = false;  // the launcher ended after the key press
    int exitCode = -1;
  };

  // Runs `exe` with the GUI launcher, waits for a window captioned
  // `caption`, reads it, photographs it and dismisses it.
  Seen showAndDismiss(const std::string& exe, const std::string& caption, const std::string& artifact) {
    Seen seen;
    std::string id;
    std::unique_ptr<Background> launcher = startAndWait(
        exe, dir_.file(artifact + ".log"), {}, [&] { return windowNamed(caption); }, id);
    if (id.empty()) return seen;
    // Let the box paint before the screenshot.
    std::this_thread::sleep_for(milliseconds(700));
    const std::string name = xdotool({"getwindowname", id});
    seen.windowName = name.substr(0, name.find('\n'));
    const ProcessResult texts = runProcess(
        {XOQ_WINE_PROGRAM, std::string(XOQ_BUILD_DIR) + "/windows/xoq_window_text.exe", caption}, wineOptions(90));
    seen.texts = texts.out;
    for (char& c : seen.texts) {
      if (c == '\r') c = ' ';
    }
    seen.screenshot = artifacts_ + "/" + artifact + ".png";
    screen_->saveScreenshot(seen.screenshot);
    seen.dismissed = dismissWithReturn(id, *launcher);
    seen.exitCode = launcher->exitCode();
    return seen;
  }

  std::string package(const std::string& name, const std::string& config) {
    const std::string exe = packageExecutable(Target::kWindows, dir_.file(name), config);
    EXPECT_FALSE(exe.empty());
    return exe;
  }

  static bool hasLine(const std::string& text, const std::string& line) {
    return text.find(line + " \n") != std::string::npos || text.find(line + "\n") != std::string::npos;
  }
};

// One test for the three boxes: they share the display and the prefix, which
// two tests running side by side could not.
TEST_F(MessageBoxWindow, FatalMessagesAreShownInABox) {
  {
    SCOPED_TRACE("no runtime");
    const Seen seen = showAndDismiss(package("app.exe", "jre_order c\r\n"), "Error", "message-box-no-runtime");
    EXPECT_EQ(seen.windowName, "Error");
    EXPECT_TRUE(hasLine(seen.texts, "caption: Error")) << seen.texts;
    // The icon of MB_ICONWARNING is there (icon handles are per process
    // under Wine, so which icon it is shows on the screenshot only).
    // MB_TOPMOST cannot be seen here: without a window manager Wine leaves
    // the box an ordinary window.
    EXPECT_NE(seen.texts.find("child Static ("), std::string::npos) << seen.texts;
    EXPECT_TRUE(hasLine(seen.texts, "child Static: Java Runtime Environment not found.")) << seen.texts;
    EXPECT_TRUE(hasLine(seen.texts, "child Button: OK")) << seen.texts;
    EXPECT_GT(readFile(seen.screenshot).size(), 1000u) << seen.screenshot;
    EXPECT_TRUE(seen.dismissed);
    EXPECT_EQ(seen.exitCode, 1);
  }
  {
    SCOPED_TRACE("overridden texts");
    const Seen seen =
        showAndDismiss(package("custom.exe", "jre_order c\r\nmessage 1=No Java here.\r\nmessage 10=Problem\r\n"),
                       "Problem", "message-box-overridden");
    EXPECT_EQ(seen.windowName, "Problem");
    EXPECT_TRUE(hasLine(seen.texts, "child Static: No Java here.")) << seen.texts;
    EXPECT_TRUE(seen.dismissed);
    EXPECT_EQ(seen.exitCode, 1);
  }
  {
    SCOPED_TRACE("already running");
    // The first launch stays, held by a stand-in jvm.dll; the guard of the
    // second refuses it before any runtime is loaded.
    writeFile(dir_.file("rt/jvm.dll"), readFile(std::string(XOQ_BUILD_DIR) + "/windows/standins/hold/jvm.dll"));
    const std::string exe =
        package("single.exe", "jre_order c\r\njvmdll " + launcherPath(Target::kWindows, dir_.file("rt/jvm.dll")) +
                                  "\r\nsingleinstance true\r\n");
    std::filesystem::create_directories(dir_.file("status"));
    std::map<std::string, std::string> env = wineEnv_;
    env["XOQ_STANDIN_STATUS"] = launcherPath(Target::kWindows, dir_.file("status"));
    env["XOQ_STANDIN_RELEASE"] = launcherPath(Target::kWindows, dir_.file("release"));
    Background first({XOQ_WINE_PROGRAM, exe}, env, dir_.file("first.log"));
    const auto deadline = steady_clock::now() + seconds(90);
    while (std::filesystem::is_empty(dir_.file("status")) && first.running() && steady_clock::now() < deadline) {
      std::this_thread::sleep_for(milliseconds(50));
    }
    ASSERT_FALSE(std::filesystem::is_empty(dir_.file("status"))) << readFile(dir_.file("first.log"));
    const Seen seen = showAndDismiss(exe, "Error", "message-box-already-running");
    EXPECT_TRUE(hasLine(seen.texts, "child Static: There is already an instance of this program running."))
        << seen.texts;
    EXPECT_TRUE(seen.dismissed);
    EXPECT_EQ(seen.exitCode, 11);
    writeFile(dir_.file("release"), "0");
    EXPECT_TRUE(first.waitFor(seconds(30)));
  }
  {
    SCOPED_TRACE("damaged file");
    const std::string exe = package("damaged.exe", "jre_order c\r\nmessage 10=Problem\r\n");
    std::string content = readFile(exe);
    const size_t marker = content.find("xoq.archive.1");
    ASSERT_NE(marker, std::string::npos);
    content[marker + 4] = 'X';
    writeFile(exe, content);
    const Seen seen = showAndDismiss(exe, "Error", "message-box-damaged");
    EXPECT_EQ(seen.windowName, "Error");
    EXPECT_TRUE(hasLine(seen.texts, "child Static: The program file is damaged or has been changed.")) << seen.texts;
    EXPECT_TRUE(seen.dismissed);
    EXPECT_EQ(seen.exitCode, 9);
  }
}

}  // namespace
}  // namespace testing
}  // namespace xoq
