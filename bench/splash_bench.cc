// How soon the splash is on the screen: the time from starting the process
// to its splash window being mapped on an Xvfb display of the benchmark's
// own (an X map event, read as it arrives).
//   1. Linux, for every JDK under /usr/lib/jvm: a packaged executable with
//      `splash splash.png`, next to the JDK's own
//      `java -splash:splash.png -cp classes splashapp.Main` with the same
//      image, alternating in one run.
//   2. Windows under Wine: a packaged GUI executable whose splash is the
//      launcher's own window (xoqpack --splash-bitmap, no runtime), next to
//      the least Windows program that shows a window of the same size
//      (bench/tools/first_window.cc) under the same Wine; also the
//      launcher's own time to the shown window, from its trace.
// It prints figures; it is not a test. Run: ninja -C build splash_bench &&
// build/splash_bench [--quick]
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "bench_figures.h"
#include "support/background.h"
#include "support/files.h"
#include "support/jdks.h"
#include "support/packaging.h"
#include "support/process.h"
#include "support/test_picture.h"
#include "support/virtual_display.h"
#include "support/x11_screen.h"

namespace {

using xoq_bench::median;

using Clock = std::chrono::steady_clock;
using xoq::testing::Background;
using xoq::testing::X11Screen;

constexpr int kWidth = 400;
constexpr int kHeight = 300;

double millisecondsBetween(Clock::time_point start, Clock::time_point end) {
  return std::chrono::duration<double, std::milli>(end - start).count();
}

// Starts `argv` and returns the milliseconds until a window of the splash's
// size was mapped (-1 when none came within 30 s); the process is ended
// `linger` later.
double timeToSplash(X11Screen& screen, const std::vector<std::string>& argv,
                    const std::map<std::string, std::string>& env, const std::string& log,
                    std::chrono::milliseconds linger = std::chrono::milliseconds(0)) {
  screen.listenForMaps();
  const Clock::time_point start = Clock::now();
  Background process(argv, env, log);
  Clock::time_point mapped;
  const bool seen = screen.waitForMap(kWidth, kHeight, std::chrono::seconds(30), mapped);
  std::this_thread::sleep_for(linger);
  kill(-process.pid(), SIGKILL);  // the whole group, Wine's processes too
  return seen ? millisecondsBetween(start, mapped) : -1;
}

void linuxFigures(X11Screen& screen, const std::string& display, const xoq::testing::TempDir& dir, int runs) {
  const std::string image = dir.file("splash.png");
  const std::string classes = xoq::testing::testAppClasses("splash");
  const std::string exe = xoq::testing::packageWith(
      xoq::testing::Target::kLinux, dir.file("app"),
      "mainclass splashapp.Main\r\njre_order e\r\nsplash " + image + "\r\n", {"--add-tree", classes});
  if (exe.empty()) return;
  printf("Linux: process start to splash window mapped (%dx%d PNG), median of %d\n", kWidth, kHeight, runs);
  printf("%-28s %12s %22s %8s\n", "JDK", "xoq (ms)", "java -splash: (ms)", "ratio");
  for (const std::string& home : xoq::testing::installedJdkHomes()) {
    std::vector<double> launcher, java;
    const std::map<std::string, std::string> env = {{"DISPLAY", display}, {"JAVA_HOME", home}};
    for (int i = 0; i < runs; ++i) {
      launcher.push_back(timeToSplash(screen, {exe, "sleep:30000"}, env, "/dev/null"));
      java.push_back(timeToSplash(
          screen, {home + "/bin/java", "-splash:" + image, "-cp", classes, "splashapp.Main", "sleep:30000"}, env,
          "/dev/null"));
    }
    const double a = median(launcher), b = median(java);
    printf("%-28s %12.1f %22.1f %8.3f\n", std::filesystem::path(home).filename().c_str(), a, b, a / b);
  }
  printf("\n");
}

// The launcher's own milliseconds to "splash window: shown" in its trace.
double tracedShowTime(const std::string& log) {
  const std::string text = xoq::testing::readFile(log);
  const size_t line = text.find("splash window: shown");
  if (line == std::string::npos) return -1;
  const size_t start = text.rfind("[xoq", line);
  return start == std::string::npos ? -1 : atof(text.c_str() + start + 4);
}

void windowsFigures(X11Screen& screen, const std::string& display, const xoq::testing::TempDir& dir, int runs) {
  xoq::testing::writePatternBmp(dir.file("splash.bmp"), kWidth, kHeight);
  const std::string exe = xoq::testing::packageWith(xoq::testing::Target::kWindows, dir.file("app.exe"),
                                                    "jre_order c\r\n", {"--splash-bitmap", dir.file("splash.bmp")});
  if (exe.empty()) {
    printf("Windows: skipped (the executable could not be packaged)\n");
    return;
  }
  const std::string prefix = std::string(XOQ_BUILD_DIR) + "/wine-prefix-bench";
  std::map<std::string, std::string> env = {
      {"WINEPREFIX", prefix}, {"WINEDEBUG", "-all"}, {"WINEDLLOVERRIDES", "mscoree,mshtml="}, {"DISPLAY", display}};
  xoq::testing::RunOptions options;
  options.setEnv = env;
  options.timeoutSeconds = 240;
  if (!std::filesystem::exists(prefix + "/system.reg")) {
    xoq::testing::RunOptions boot = options;
    boot.unsetEnv = {"DISPLAY"};
    xoq::testing::runProcess({"wineboot", "-i"}, boot);
  }
  // A server of this display's own, kept running between the starts, as on
  // a desktop where Wine already runs.
  xoq::testing::runProcess({"wineserver", "-k"}, options);
  xoq::testing::runProcess({"wineserver", "-w"}, options);
  xoq::testing::runProcess({"wineserver", "-p", "120"}, options);
  const std::string least = std::string(XOQ_BUILD_DIR) + "/windows/xoq_first_window.exe";
  const std::vector<std::string> leastCommand = {XOQ_WINE_PROGRAM, least, std::to_string(kWidth),
                                                 std::to_string(kHeight)};
  timeToSplash(screen, leastCommand, env, "/dev/null");  // Wine's own services start here

  std::vector<double> toSplash, toWindow, traced;
  std::map<std::string, std::string> traceEnv = env;
  traceEnv["XOQ_TRACE"] = "1";
  for (int i = 0; i < runs; ++i) {
    const std::string log = dir.file("wine-" + std::to_string(i) + ".log");
    // It lingers a moment, so that its trace has the shown window.
    toSplash.push_back(timeToSplash(screen, {XOQ_WINE_PROGRAM, exe}, traceEnv, log, std::chrono::milliseconds(300)));
    traced.push_back(tracedShowTime(log));
    toWindow.push_back(timeToSplash(screen, leastCommand, env, "/dev/null"));
  }
  xoq::testing::runProcess({"wineserver", "-k"}, options);
  const double a = median(toSplash), b = median(toWindow);
  printf("Windows under Wine: process start to window mapped (%dx%d), median of %d\n", kWidth, kHeight, runs);
  printf("launcher's splash window:                    %8.1f ms\n", a);
  printf("the least program showing a window:          %8.1f ms\n", b);
  printf("ratio:                                       %8.3f\n", a / b);
  printf("the launcher's own time to the shown window: %8.1f ms (its trace, from its own start)\n", median(traced));
}

}  // namespace

int main(int argc, char** argv) {
  const bool quick = argc > 1 && strcmp(argv[1], "--quick") == 0;
  const int runs = quick ? 3 : 15;
  xoq::testing::TempDir dir;
  xoq::testing::VirtualDisplay display(3600, dir.file("xvfb.log"));
  X11Screen screen(display.name());
  if (display.name().empty() || !screen.connected()) {
    fprintf(stderr, "no Xvfb display could be started\n");
    return 1;
  }
  xoq::testing::writePatternPpm(dir.file("splash.ppm"), kWidth, kHeight);
  xoq::testing::runProcess({"convert", dir.file("splash.ppm"), dir.file("splash.png")});
  linuxFigures(screen, display.name(), dir, runs);
  windowsFigures(screen, display.name(), dir, runs);
  return 0;
}
