// Windows programs in real windows: Wine on a virtual X display of the
// test's own (Xvfb). The Wine prefix is the test's own too: the desktop
// process of a prefix binds it to the display of whichever process started
// it first, and the other Windows tests run without a display. Two tests
// that share a prefix cannot run side by side, so each fixture names its
// own.
#ifndef XOQ_TESTS_E2E_WINDOWS_WINE_DISPLAY_H_
#define XOQ_TESTS_E2E_WINDOWS_WINE_DISPLAY_H_

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/background.h"
#include "support/files.h"
#include "support/packaging.h"
#include "support/virtual_display.h"
#include "support/x11_screen.h"

namespace xoq {
namespace testing {

class WineOnDisplay : public ::testing::Test {
 protected:
  /// `prefixName`: the folder of the build directory that holds the prefix.
  explicit WineOnDisplay(const std::string& prefixName)
      : prefix_(std::string(XOQ_BUILD_DIR) + "/" + prefixName),
        artifacts_(std::string(XOQ_BUILD_DIR) + "/test-artifacts") {}

  void SetUp() override {
    xvfb_.reset(new VirtualDisplay(280, dir_.file("xvfb.log")));
    ASSERT_FALSE(xvfb_->name().empty()) << "no Xvfb display could be started";
    screen_.reset(new X11Screen(xvfb_->name()));
    ASSERT_TRUE(screen_->connected()) << "no connection to " << xvfb_->name();
    wineEnv_ = {{"WINEPREFIX", prefix_},
                {"WINEDEBUG", "-all"},
                {"WINEDLLOVERRIDES", "mscoree,mshtml="},
                {"DISPLAY", xvfb_->name()}};
    if (!std::filesystem::exists(prefix_ + "/system.reg")) {
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
    screen_.reset();
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
    options.setEnv["DISPLAY"] = xvfb_->name();
    options.timeoutSeconds = 20;
    return options;
  }

  /// Runs xdotool with `arguments` on the display; its output.
  std::string xdotool(const std::vector<std::string>& arguments) {
    std::vector<std::string> command = {"xdotool"};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return runProcess(command, displayOptions()).out;
  }

  /// The first window whose name is exactly `name`, as xdotool gives it;
  /// empty when none.
  std::string windowNamed(const std::string& name) {
    const std::string found = xdotool({"search", "--name", "^" + name + "$"});
    return found.substr(0, found.find('\n'));
  }

  /// Starts the Windows program `exe` under Wine on the display, tracing to
  /// `log`, with `extraEnv` added, and waits at most 120 s until `found`
  /// gives a window id. A start that Wine itself failed is repeated. The
  /// process, with `id` set; `id` stays empty (and a failure is added) when
  /// no window came.
  std::unique_ptr<Background> startAndWait(const std::string& exe, const std::string& log,
                                           const std::map<std::string, std::string>& extraEnv,
                                           const std::function<std::string()>& found, std::string& id) {
    std::map<std::string, std::string> env = wineEnv_;
    env["XOQ_TRACE"] = "1";
    for (const auto& entry : extraEnv) env[entry.first] = entry.second;
    const std::vector<std::string> argv = {XOQ_WINE_PROGRAM, exe};
    auto process = std::make_unique<Background>(argv, env, log);
    id.clear();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    int restarts = 0;
    while (id.empty() && std::chrono::steady_clock::now() < deadline) {
      if (!process->running()) {
        if (restarts++ == 3 || !wineFailedToStart(readFile(log))) break;
        process = std::make_unique<Background>(argv, env, log);
        continue;
      }
      id = found();
      if (id.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (id.empty()) ADD_FAILURE() << "the window did not come; launcher output:\n" << readFile(log);
    return process;
  }

  /// Presses Return in window `id` until `process` ends (a few tries, in case
  /// the first press comes before Wine has taken the focus). windowactivate
  /// needs a window manager; a bare Xvfb has none, so the keyboard focus is
  /// set directly. True when it ended.
  bool dismissWithReturn(const std::string& id, Background& process) {
    for (int attempt = 0; attempt < 5; ++attempt) {
      xdotool({"windowfocus", id});
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      xdotool({"key", "Return"});
      if (process.waitFor(std::chrono::seconds(6))) return true;
    }
    return false;
  }

  TempDir dir_;
  std::unique_ptr<VirtualDisplay> xvfb_;
  std::unique_ptr<X11Screen> screen_;
  std::map<std::string, std::string> wineEnv_;
  const std::string prefix_;
  const std::string artifacts_;
};

}  // namespace testing
}  // namespace xoq

#endif  // XOQ_TESTS_E2E_WINDOWS_WINE_DISPLAY_H_
