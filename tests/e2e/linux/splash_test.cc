// The splash screen of a Linux launcher, with every JDK under /usr/lib/jvm on
// a virtual display of the test's own: the runtime's libsplashscreen.so
// shows the image before the virtual machine exists, the application's
// java.awt.SplashScreen is that splash, and com.tarvolin.xoq.SplashScreen
// closes it. The test application (tests/apps/splash) takes a list of
// actions and stops at each "step" until the test has looked at the screen.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/background.h"
#include "support/files.h"
#include "support/jdks.h"
#include "support/packaging.h"
#include "support/test_picture.h"
#include "support/virtual_display.h"
#include "support/x11_screen.h"

namespace xoq {
namespace testing {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

constexpr int kWidth = 240;
constexpr int kHeight = 120;
const std::string kApp = "mainclass splashapp.Main\r\n";

class LinuxSplash : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    xvfb_.reset(new VirtualDisplay(280, dir_.file("xvfb.log")));
    ASSERT_FALSE(xvfb_->name().empty()) << "no Xvfb display could be started";
    screen_.reset(new X11Screen(xvfb_->name()));
    ASSERT_TRUE(screen_->connected());
    writePatternPpm(dir_.file("splash.ppm"), kWidth, kHeight);
    const ProcessResult converted = runProcess({"convert", dir_.file("splash.ppm"), dir_.file("splash.png")});
    ASSERT_EQ(converted.exitCode, 0) << converted.err;
    std::filesystem::create_directories(artifacts_);
  }

  // The test application; the runtime from JAVA_HOME unless `config` says
  // otherwise first.
  std::string package(const std::string& name, const std::string& config, const std::vector<std::string>& more = {}) {
    std::vector<std::string> arguments = {"--add-tree", testAppClasses("splash")};
    arguments.insert(arguments.end(), more.begin(), more.end());
    const std::string exe = packageWith(Target::kLinux, dir_.file(name), kApp + config + "jre_order e\r\n", arguments);
    EXPECT_FALSE(exe.empty());
    return exe;
  }

  // Starts the packaged application with `actions` on the display; it
  // looks for the files that let it go on in the scratch folder.
  void start(const std::string& exe, const std::vector<std::string>& actions) {
    // Nothing left from an earlier launch: neither its output, which the
    // new one's steps would be found in before it has even begun, nor the
    // files that let it go on.
    app_.reset();
    for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
      const std::string name = entry.path().filename().string();
      if (name == "app.log" || name.rfind("go-", 0) == 0) std::filesystem::remove(entry.path());
    }
    std::vector<std::string> argv = {"timeout", "180", exe, "dir:" + dir_.path()};
    argv.insert(argv.end(), actions.begin(), actions.end());
    app_.reset(new Background(argv, {{"DISPLAY", xvfb_->name()}, {"JAVA_HOME", GetParam()}, {"XOQ_TRACE", "1"}},
                              dir_.file("app.log")));
  }

  std::string output() const { return app_->output(); }

  // Waits until the application stops at step `name`.
  bool reached(const std::string& name) {
    const auto deadline = std::chrono::steady_clock::now() + seconds(120);
    while (output().find("ready " + name + "\n") == std::string::npos) {
      if (!app_->running() || std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(milliseconds(20));
    }
    return true;
  }

  void proceed(const std::string& name) { writeFile(dir_.file("go-" + name), ""); }

  // The application's exit code once it has ended (at most a minute).
  int finish() {
    app_->waitFor(seconds(60));
    return app_->exitCode();
  }

  // The splash window, centred and showing the picture.
  void expectSplashShown(const std::string& artifact) {
    const XWindow window = screen_->waitForWindow(kWidth, kHeight, seconds(10));
    ASSERT_NE(window.id, 0u) << "no splash window; output:\n" << output();
    EXPECT_EQ(window.x, (1024 - kWidth) / 2);
    EXPECT_EQ(window.y, (768 - kHeight) / 2);
    EXPECT_EQ(screen_->wrongPicturePixels(window, seconds(5)), 0) << "the screen does not show the splash image";
    screen_->saveScreenshot(artifacts_ + "/" + artifact + "-" + jdkParameterName(GetParam()) + ".png");
  }

  TempDir dir_;
  std::unique_ptr<VirtualDisplay> xvfb_;
  std::unique_ptr<X11Screen> screen_;
  std::unique_ptr<Background> app_;
  const std::string artifacts_ = std::string(XOQ_BUILD_DIR) + "/test-artifacts";
};

TEST_P(LinuxSplash, ImageIsShownBeforeTheApplicationAndIsItsSplashScreen) {
  start(package("app", "splash splash.png\r\n"), {"report", "step:shown", "frame", "step:frame"});
  ASSERT_TRUE(reached("shown")) << output();
  expectSplashShown("linux-splash");
  std::map<std::string, std::string> seen = parseKeyValues(output());
  EXPECT_EQ(seen["awt.splash"], "true");
  EXPECT_EQ(seen["awt.visible"], "true");
  EXPECT_EQ(seen["awt.size"], "240x120");
  // As after java -splash:, the image's URL shows the image.
  EXPECT_EQ(seen["awt.url"], "file:" + dir_.file("splash.png"));
  EXPECT_EQ(seen["awt.url.image"], "240x120");
  EXPECT_EQ(seen["xoq.splash"], "true,true");
  EXPECT_EQ(seen["xoq.same"], "true");
  proceed("shown");
  // The application's first frame takes the splash's place.
  ASSERT_TRUE(reached("frame")) << output();
  EXPECT_NE(screen_->waitForWindow(300, 200, seconds(10)).id, 0u) << "no application frame";
  EXPECT_TRUE(screen_->waitForNoWindow(kWidth, kHeight, seconds(10))) << "the splash stayed over the frame";
  proceed("frame");
  EXPECT_EQ(finish(), 0) << output();
}

TEST_P(LinuxSplash, BuiltInImageIsShownWhenTheSplashKeyNamesNoFile) {
  // A second picture of another size, to tell the two apart on the screen.
  const ProcessResult made = runProcess({"convert", "-size", "160x80", "xc:#336699", dir_.file("other.png")});
  ASSERT_EQ(made.exitCode, 0) << made.err;
  start(package("builtin", "splash missing.png\r\n", {"--splash-image", dir_.file("splash.png")}),
        {"report", "step:shown"});
  ASSERT_TRUE(reached("shown")) << output();
  expectSplashShown("linux-splash-built-in");
  EXPECT_EQ(parseKeyValues(output())["awt.splash"], "true");
  proceed("shown");
  EXPECT_EQ(finish(), 0) << output();

  // Both: the file wins.
  start(package("both", "splash splash.png\r\n", {"--splash-image", dir_.file("other.png")}), {"step:shown"});
  ASSERT_TRUE(reached("shown")) << output();
  expectSplashShown("linux-splash-file-wins");
  EXPECT_EQ(screen_->viewableWindow(160, 80).id, 0u);
  proceed("shown");
  EXPECT_EQ(finish(), 0) << output();
}

TEST_P(LinuxSplash, ApplicationClosesItNowOrAfterADelay) {
  const std::string exe = package("app", "splash splash.png\r\n");
  for (const char* closing : {"close", "autoClose:0"}) {
    SCOPED_TRACE(closing);
    start(exe, {"step:up", closing, "step:closed"});
    ASSERT_TRUE(reached("up")) << output();
    EXPECT_NE(screen_->waitForWindow(kWidth, kHeight, seconds(10)).id, 0u);
    proceed("up");
    ASSERT_TRUE(reached("closed")) << output();
    EXPECT_TRUE(screen_->waitForNoWindow(kWidth, kHeight, seconds(5)));
    proceed("closed");
    EXPECT_EQ(finish(), 0) << output();
  }

  // Threads that ask for the splash at once all get the same one, and arming
  // and cancelling its close from all of them at once goes well. Then a
  // negative delay cancels the pending close; a new delay closes it no
  // sooner than asked.
  start(exe, {"race", "step:up", "autoClose:500", "autoClose:-1", "sleep:1500", "step:cancelled", "autoClose:500",
              "waitClosed", "step:after"});
  ASSERT_TRUE(reached("up")) << output();
  EXPECT_EQ(parseKeyValues(output())["race.same"], "true") << output();
  EXPECT_EQ(parseKeyValues(output())["race.errors"], "0") << output();
  proceed("up");
  ASSERT_TRUE(reached("cancelled")) << output();
  EXPECT_NE(screen_->viewableWindow(kWidth, kHeight).id, 0u) << "a cancelled close happened";
  proceed("cancelled");
  ASSERT_TRUE(reached("after")) << output();
  std::map<std::string, std::string> seen = parseKeyValues(output());
  EXPECT_EQ(seen["closed"], "true");
  EXPECT_GE(std::stoi(seen["closed.after"]), 500);
  EXPECT_TRUE(screen_->waitForNoWindow(kWidth, kHeight, seconds(5)));
  proceed("after");
  EXPECT_EQ(finish(), 0) << output();
}

TEST_P(LinuxSplash, CloseOnWindowWaitsForAWindowToOpen) {
  // Window events for a frame that is never shown: only "opened" (200)
  // closes the splash; "activated" (205) and "closing" (201) do not.
  start(package("app", "splash splash.png\r\nsplashcloseonwindow true\r\n"),
        {"step:up", "post:205", "post:201", "step:other", "post:200", "step:opened"});
  ASSERT_TRUE(reached("up")) << output();
  EXPECT_NE(screen_->waitForWindow(kWidth, kHeight, seconds(10)).id, 0u);
  proceed("up");
  ASSERT_TRUE(reached("other")) << output();
  EXPECT_NE(screen_->viewableWindow(kWidth, kHeight).id, 0u) << "another window event closed the splash";
  proceed("other");
  ASSERT_TRUE(reached("opened")) << output();
  EXPECT_TRUE(screen_->waitForNoWindow(kWidth, kHeight, seconds(5))) << "the opened window left the splash up";
  proceed("opened");
  EXPECT_EQ(finish(), 0) << output();
  EXPECT_NE(output().find("splash close on window: listening"), std::string::npos) << output();
}

TEST_P(LinuxSplash, WithoutImageOrLibraryThereIsNoSplashAndNoMessage) {
  {
    SCOPED_TRACE("splash names no file, nothing built in");
    start(package("app", "splash missing.png\r\n"), {"report"});
    EXPECT_EQ(finish(), 0) << output();
    std::map<std::string, std::string> seen = parseKeyValues(output());
    EXPECT_EQ(seen["awt.splash"], "false");
    EXPECT_EQ(seen["xoq.splash"], "false,false");
    EXPECT_NE(output().find("no image file and no built-in image; no splash"), std::string::npos) << output();
    // Nothing to show, nothing loaded for it (as java -cp).
    EXPECT_EQ(seen["splash.library.loaded"], "false") << output();
  }
  {
    // A runtime without the splash library (as a headless one is): its
    // files, less libsplashscreen.so, linked into a tree of its own.
    SCOPED_TRACE("runtime without libsplashscreen.so");
    const std::filesystem::path home = GetParam();
    const std::filesystem::path tree = dir_.file("rt");
    std::filesystem::create_directories(tree / "lib");
    for (const auto& entry : std::filesystem::directory_iterator(home)) {
      if (entry.path().filename() != "lib")
        std::filesystem::create_symlink(entry.path(), tree / entry.path().filename());
    }
    // lib/server a real folder: "server/.." must lead back into the tree.
    std::filesystem::create_directories(tree / "lib" / "server");
    for (const auto& entry : std::filesystem::directory_iterator(home / "lib" / "server")) {
      std::filesystem::create_symlink(entry.path(), tree / "lib" / "server" / entry.path().filename());
    }
    for (const auto& entry : std::filesystem::directory_iterator(home / "lib")) {
      const std::string name = entry.path().filename().string();
      if (name != "libsplashscreen.so" && name != "server") {
        std::filesystem::create_symlink(entry.path(), tree / "lib" / name);
      }
    }
    start(package("headless", "jre_order b\r\njre rt\r\nsplash splash.png\r\n"), {"report"});
    EXPECT_EQ(finish(), 0) << output();
    EXPECT_EQ(parseKeyValues(output())["awt.splash"], "false");
    EXPECT_NE(output().find("libsplashscreen.so: not there"), std::string::npos) << output();
    // Nothing but the trace and the application's own lines.
    std::string others;
    std::istringstream lines(output());
    for (std::string line; std::getline(lines, line);) {
      if (line.rfind("[xoq", 0) != 0 && line.find('=') == std::string::npos) others += line + "\n";
    }
    EXPECT_EQ(others, "") << "the launch printed a message";
  }
}

INSTANTIATE_TEST_SUITE_P(EveryJdk, LinuxSplash, ::testing::ValuesIn(installedJdkHomes()),
                         [](const ::testing::TestParamInfo<std::string>& param) {
                           return jdkParameterName(param.param);
                         });

}  // namespace
}  // namespace testing
}  // namespace xoq
