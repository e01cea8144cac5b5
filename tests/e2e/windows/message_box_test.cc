// The GUI launcher's message box, in a real window: Wine on a virtual X
// display of the test's own (Xvfb). The test finds the box by its caption
// with xdotool, reads its texts through a small Windows program that asks
// the window itself (xoq_window_text, run in the same Wine session), keeps a
// screenshot as an artifact, dismisses the box with the Return key and
// checks the exit code.
//
// The Wine prefix is this test's own: the desktop process of a prefix binds
// it to the display of whichever process started it first, and the other
// Windows tests run without a display.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/background.h"
#include "support/files.h"
#include "support/packaging.h"
#include "support/virtual_display.h"

namespace xoq {
namespace testing {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;
using std::chrono::steady_clock;

bool fileExists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

class MessageBoxWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    xvfb_.reset(new VirtualDisplay(140, 280, dir_.file("xvfb.log")));
    display_ = xvfb_->name();
    ASSERT_FALSE(display_.empty()) << "no Xvfb display could be started";
    wineEnv_ = {
        {"WINEPREFIX", prefix_}, {"WINEDEBUG", "-all"}, {"WINEDLLOVERRIDES", "mscoree,mshtml="}, {"DISPLAY", display_}};
    if (!fileExists(prefix_ + "/system.reg")) {
      RunOptions boot = wineOptions(240);
      boot.unsetEnv.push_back("DISPLAY");
      const ProcessResult made = runProcess({"wineboot", "-i"}, boot);
      ASSERT_EQ(made.exitCode, 0) << made.err;
    }
    // No server or desktop left from an earlier run: the desktop that starts
    // now belongs to this display.
    runProcess({"wineserver", "-k"}, wineOptions(30));
    runProcess({"wineserver", "-w"}, wineOptions(60));
    std::filesystem::create_directories(artifacts_);
  }

  void TearDown() override {
    // The desktop process and the server go before their display does.
    runProcess({"wineserver", "-k"}, wineOptions(30));
    xvfb_.reset();
  }

  RunOptions wineOptions(int timeoutSeconds) const {
    RunOptions options;
    options.setEnv = wineEnv_;
    options.timeoutSeconds = timeoutSeconds;
    options.workingDirectory = dir_.path();
    return options;
  }

  RunOptions displayOptions() const {
    RunOptions options;
    options.setEnv["DISPLAY"] = display_;
    options.timeoutSeconds = 20;
    return options;
  }

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
    std::map<std::string, std::string> env = wineEnv_;
    env["XOQ_TRACE"] = "1";
    const std::string log = dir_.file(artifact + ".log");
    auto launcher = std::make_unique<Background>(std::vector<std::string>{XOQ_WINE_PROGRAM, exe}, env, log);

    std::string id;
    const auto deadline = steady_clock::now() + seconds(120);
    int restarts = 0;
    while (id.empty() && steady_clock::now() < deadline) {
      if (!launcher->running()) {
        if (restarts++ == 3 || !wineFailedToStart(readFile(log))) break;
        launcher = std::make_unique<Background>(std::vector<std::string>{XOQ_WINE_PROGRAM, exe}, env, log);
        continue;
      }
      const ProcessResult search = runProcess({"xdotool", "search", "--name", "^" + caption + "$"}, displayOptions());
      id = search.out.substr(0, search.out.find('\n'));
      if (id.empty()) std::this_thread::sleep_for(milliseconds(250));
    }
    if (id.empty()) {
      ADD_FAILURE() << "no window \"" << caption << "\"; launcher output:\n" << readFile(dir_.file(artifact + ".log"));
      return seen;
    }
    // Let the box paint before the screenshot.
    std::this_thread::sleep_for(milliseconds(700));
    const ProcessResult name = runProcess({"xdotool", "getwindowname", id}, displayOptions());
    seen.windowName = name.out.substr(0, name.out.find('\n'));
    const ProcessResult texts = runProcess(
        {XOQ_WINE_PROGRAM, std::string(XOQ_BUILD_DIR) + "/windows/xoq_window_text.exe", caption}, wineOptions(90));
    seen.texts = texts.out;
    for (char& c : seen.texts) {
      if (c == '\r') c = ' ';
    }
    seen.screenshot = artifacts_ + "/" + artifact + ".png";
    runProcess({"import", "-window", "root", seen.screenshot}, displayOptions());

    // windowactivate needs a window manager; a bare Xvfb has none, so the
    // keyboard focus is set directly. A few tries, in case the first key
    // press arrives before Wine has taken the focus.
    for (int attempt = 0; attempt < 5 && !seen.dismissed; ++attempt) {
      runProcess({"xdotool", "windowfocus", id}, displayOptions());
      std::this_thread::sleep_for(milliseconds(300));
      runProcess({"xdotool", "key", "Return"}, displayOptions());
      seen.dismissed = launcher->waitFor(seconds(6));
    }
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

  TempDir dir_;
  std::unique_ptr<VirtualDisplay> xvfb_;
  std::string display_;
  std::map<std::string, std::string> wineEnv_;
  const std::string prefix_ = std::string(XOQ_BUILD_DIR) + "/wine-prefix-x11";
  const std::string artifacts_ = std::string(XOQ_BUILD_DIR) + "/test-artifacts";
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
