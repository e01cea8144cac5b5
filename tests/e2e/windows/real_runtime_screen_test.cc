// The GUI template with the real runtime on a virtual display (Xvfb, Wine
// in a prefix of the test's own, see wine_display.h): the launcher's native
// splash window while this runtime starts, the splash natives from Java
// (tests/apps/nativesplash: getSplashScreen, autoClose, close) and the
// automatic close; the runtime splash step, which finds no splashscreen.dll
// in this runtime and shows nothing; and the message box of a refused
// second launch of a single-instance program.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "e2e/windows/wine_display.h"
#include "support/background.h"
#include "support/files.h"
#include "support/jdks.h"
#include "support/packaging.h"
#include "support/test_picture.h"
#include "support/windows_runtime.h"

namespace xoq {
namespace testing {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;
using std::chrono::steady_clock;

constexpr int kWidth = 240;
constexpr int kHeight = 120;
const milliseconds kPatience = seconds(240);

class RealRuntimeOnScreen : public WineOnDisplay {
 protected:
  explicit RealRuntimeOnScreen(const std::string& prefix) : WineOnDisplay(prefix) {}

  void SetUp() override {
    XOQ_REQUIRE_WINDOWS_RUNTIME();
    WineOnDisplay::SetUp();
  }

  std::map<std::string, std::string> runtimeEnv() const {
    return {{"JAVA_HOME", launcherPath(Target::kWindows, windowsRuntimeHome())}};
  }

  // Waits until `process` has written `text` to `log`; false when it ended
  // or the time is up first.
  static bool logged(const std::string& log, const std::string& text, Background& process) {
    const auto deadline = steady_clock::now() + kPatience;
    while (withoutCarriageReturns(readFile(log)).find(text) == std::string::npos) {
      if (!process.running() || steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(milliseconds(20));
    }
    return true;
  }

  // Lets the application go on past its step `name`.
  void proceed(const std::string& name) { writeFile(dir_.file("go-" + name), ""); }
};

class RealRuntimeSplash : public RealRuntimeOnScreen {
 protected:
  RealRuntimeSplash() : RealRuntimeOnScreen("wine-prefix-x11-real-splash") {}

  // The splash probe, as a GUI program with the test picture as its splash
  // bitmap (or, with `bitmap` false, an image for the runtime's splash
  // library only), doing `actions`.
  std::string package(const std::string& name, const std::string& actions, bool bitmap) {
    std::vector<std::string> arguments = {"--add-tree", testAppClasses("nativesplash")};
    if (bitmap) {
      writePatternBmp(dir_.file("splash.bmp"), kWidth, kHeight);
      arguments.insert(arguments.end(), {"--splash-bitmap", dir_.file("splash.bmp")});
    } else {
      const ProcessResult made = runProcess({"convert", "-size", "160x80", "xc:#336699", dir_.file("image.png")});
      EXPECT_EQ(made.exitCode, 0) << made.err;
      arguments.insert(arguments.end(), {"--splash-image", dir_.file("image.png")});
    }
    const std::string exe = packageWith(Target::kWindows, dir_.file(name),
                                        "jre_order e\r\nmainclass nativesplash.Main\r\nargv \"dir:" +
                                            launcherPath(Target::kWindows, dir_.path()) + "\" " + actions + "\r\n",
                                        arguments);
    EXPECT_FALSE(exe.empty());
    return exe;
  }

  std::string splashId() {
    const XWindow window = screen_->viewableWindow(kWidth, kHeight);
    return window.id == 0 ? std::string() : std::to_string(window.id);
  }
};

// One test for the splash's whole life: the cases share the display and
// the prefix.
TEST_F(RealRuntimeSplash, NativeSplashWhileTheRuntimeStartsAndItsNativesFromJava) {
  {
    SCOPED_TRACE("shown while the runtime starts, closed by the launcher once main runs");
    const std::string log = dir_.file("automatic.log");
    std::string id;
    auto app = startAndWait(
        package("automatic.exe", "step:main report step:end", true), log, runtimeEnv(), [&] { return splashId(); }, id);
    ASSERT_FALSE(id.empty());
    EXPECT_EQ(readFile(log).find("ready main"), std::string::npos) << "the splash came after main started";
    const XWindow window = screen_->viewableWindow(kWidth, kHeight);
    EXPECT_EQ(window.x, (1024 - kWidth) / 2);
    EXPECT_EQ(window.y, (768 - kHeight) / 2);
    EXPECT_EQ(screen_->wrongPicturePixels(window, seconds(5)), 0) << "the splash does not show its bitmap";
    screen_->saveScreenshot(artifacts_ + "/real-runtime-splash.png");
    screen_->watchWindow(window.id);
    // main waits at its first step; the launcher's own close (1750 ms after
    // the virtual machine was created) takes the splash away meanwhile.
    ASSERT_TRUE(logged(log, "ready main\n", *app)) << readFile(log);
    EXPECT_TRUE(screen_->waitForUnmap(window.id, seconds(30))) << "the splash stayed up";
    proceed("main");
    ASSERT_TRUE(logged(log, "ready end\n", *app)) << readFile(log);
    const std::map<std::string, std::string> seen = parseKeyValues(readFile(log));
    EXPECT_EQ(seen.at("awt"), "false") << "this runtime has no java.awt";
    EXPECT_EQ(seen.at("splash"), "false,false") << "a splash that has gone is no splash";
    proceed("end");
    EXPECT_TRUE(app->waitFor(seconds(60)));
    EXPECT_EQ(app->exitCode(), 0) << readFile(log);
  }
  {
    SCOPED_TRACE("kept by autoClose(-1), closed by close()");
    const std::string log = dir_.file("natives.log");
    std::string id;
    auto app = startAndWait(
        package("natives.exe", "report autoClose:-1 step:kept close step:closed", true), log, runtimeEnv(),
        [&] { return splashId(); }, id);
    ASSERT_FALSE(id.empty());
    ASSERT_TRUE(logged(log, "ready kept\n", *app)) << readFile(log);
    const std::map<std::string, std::string> seen = parseKeyValues(readFile(log));
    EXPECT_EQ(seen.at("splash"), "true,true");
    EXPECT_EQ(seen.at("splash.same"), "true");
    // Well past the launcher's own close.
    std::this_thread::sleep_for(seconds(4));
    const XWindow kept = screen_->viewableWindow(kWidth, kHeight);
    ASSERT_NE(kept.id, 0u) << "the automatic close was not cancelled";
    screen_->watchWindow(kept.id);
    proceed("kept");
    ASSERT_TRUE(logged(log, "ready closed\n", *app)) << readFile(log);
    EXPECT_TRUE(screen_->waitForUnmap(kept.id, seconds(10))) << "close() left the splash up";
    proceed("closed");
    EXPECT_TRUE(app->waitFor(seconds(60)));
    EXPECT_EQ(app->exitCode(), 0) << readFile(log);
  }
  {
    SCOPED_TRACE("an image for the runtime's splash library, which this runtime lacks: nothing, silently");
    const std::string log = dir_.file("image.log");
    std::map<std::string, std::string> env = wineEnv_;
    env["XOQ_TRACE"] = "1";
    env["JAVA_HOME"] = launcherPath(Target::kWindows, windowsRuntimeHome());
    Background app({XOQ_WINE_PROGRAM, package("image.exe", "report step:up", false)}, env, log);
    ASSERT_TRUE(logged(log, "ready up\n", app)) << readFile(log);
    EXPECT_EQ(screen_->viewableWindow(160, 80).id, 0u) << "something showed the image";
    EXPECT_EQ(windowNamed("Error"), "") << "a message came up";
    proceed("up");
    EXPECT_TRUE(app.waitFor(seconds(60)));
    EXPECT_EQ(app.exitCode(), 0) << readFile(log);
    const std::string output = withoutCarriageReturns(readFile(log));
    EXPECT_NE(output.find("splashscreen.dll: not there"), std::string::npos) << output;
    EXPECT_EQ(parseKeyValues(output)["splash"], "false,false");
    // Nothing but the trace and the application's own lines.
    std::string others;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
      if (line.rfind("[xoq", 0) != 0 && line.find('=') == std::string::npos && line.rfind("ready ", 0) != 0 &&
          line != "done") {
        others += line + "\n";
      }
    }
    EXPECT_EQ(others, "") << "the launch printed something else";
  }
}

class RealRuntimeMessageBox : public RealRuntimeOnScreen {
 protected:
  RealRuntimeMessageBox() : RealRuntimeOnScreen("wine-prefix-x11-real-instances") {}
};

TEST_F(RealRuntimeMessageBox, SecondLaunchOfASingleInstanceProgramShowsMessage13) {
  const std::string exe =
      packageWith(Target::kWindows, dir_.file("single.exe"),
                  "jre_order e\r\nmainclass instprobe.Main\r\nsingleinstance true\r\nargv \"await:" +
                      launcherPath(Target::kWindows, dir_.file("stop")) + "\"\r\n",
                  {"--add", testAppJar("instances") + "=instances.jar"});
  ASSERT_FALSE(exe.empty());
  std::map<std::string, std::string> env = wineEnv_;
  env["JAVA_HOME"] = launcherPath(Target::kWindows, windowsRuntimeHome());
  Background first({XOQ_WINE_PROGRAM, exe}, env, dir_.file("first.log"));
  ASSERT_TRUE(logged(dir_.file("first.log"), "ready\n", first)) << readFile(dir_.file("first.log"));

  std::string box;
  auto second = startAndWait(
      exe, dir_.file("second.log"), runtimeEnv(), [&] { return windowNamed("Error"); }, box);
  ASSERT_FALSE(box.empty());
  std::this_thread::sleep_for(milliseconds(700));
  const ProcessResult texts = runProcess(
      {XOQ_WINE_PROGRAM, std::string(XOQ_BUILD_DIR) + "/windows/xoq_window_text.exe", "Error"}, wineOptions(90));
  EXPECT_NE(texts.out.find("child Static: There is already an instance of this program running."), std::string::npos)
      << texts.out;
  screen_->saveScreenshot(artifacts_ + "/real-runtime-already-running.png");
  EXPECT_TRUE(dismissWithReturn(box, *second));
  EXPECT_EQ(second->exitCode(), 11);
  EXPECT_EQ(("\n" + withoutCarriageReturns(readFile(dir_.file("second.log")))).find("\nready\n"), std::string::npos)
      << "the second application ran";

  writeFile(dir_.file("stop"), "");
  EXPECT_TRUE(first.waitFor(seconds(60)));
  EXPECT_EQ(first.exitCode(), 0) << readFile(dir_.file("first.log"));
}

}  // namespace
}  // namespace testing
}  // namespace xoq
