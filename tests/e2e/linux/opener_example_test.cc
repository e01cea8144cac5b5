// examples/opener as a user runs it, with every JDK: the first launch shows
// its Swing window (on an Xvfb display of the test's own), a second launch
// that comes while that window is still being made hands its file names to
// it and ends; the test then ends the window's program with SIGTERM, as
// closing it would.
#include <signal.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <string>

#include "support/background.h"
#include "support/files.h"
#include "support/jdks.h"
#include "support/packaging.h"
#include "support/virtual_display.h"

namespace xoq {
namespace testing {
namespace {

using std::chrono::seconds;

class OpenerExample : public ::testing::TestWithParam<std::string> {
 protected:
  TempDir dir_;
};

TEST_P(OpenerExample, LaterLaunchesOpenTheirFilesInTheRunningWindow) {
  VirtualDisplay display(240, dir_.file("xvfb.log"));
  ASSERT_FALSE(display.name().empty()) << "no Xvfb display could be started";
  const std::string copy = dir_.file("opener");
  writeFile(copy, readFile(std::string(XOQ_BUILD_DIR) + "/examples/opener"));
  makeExecutable(copy);
  writeFile(copy + ".cfg", "jre_order e\r\n");
  const std::map<std::string, std::string> env = {{"JAVA_HOME", GetParam()}, {"DISPLAY", display.name()}};

  // The display stands still while the first launch makes its window, so
  // that the second launch comes exactly then: its files are not lost.
  display.freeze(true);
  Background window({copy, "notes.txt"}, env, dir_.file("window.out"), dir_.file("window.err"));
  const bool listening = window.waitForOutput("Listening for later launches.", seconds(90));
  RunOptions options;
  options.setEnv = env;
  options.timeoutSeconds = 90;
  const ProcessResult second = runExecutable(Target::kLinux, copy, {"a.txt", "b c.txt"}, options);
  display.freeze(false);
  ASSERT_TRUE(listening) << readFile(dir_.file("window.err"));
  EXPECT_EQ(second.exitCode, 0) << second.err;
  EXPECT_EQ(second.out, "Sent 2 argument(s) to the running window.\n");
  ASSERT_TRUE(window.waitForOutput("Window shown.", seconds(90))) << readFile(dir_.file("window.err"));
  EXPECT_TRUE(window.waitForOutput("Opened b c.txt (from instance ", seconds(30))) << window.output();
  const ProcessResult found = runProcess({"xdotool", "search", "--name", "^xoq opener$"}, options);
  EXPECT_FALSE(found.out.empty()) << "the window is on the display";
  const std::string output = window.output();
  EXPECT_NE(output.find("Opened notes.txt (from this launch)\n"), std::string::npos) << output;
  EXPECT_LT(output.find("Opened a.txt (from instance "), output.find("Opened b c.txt (from instance ")) << output;

  const std::string artifacts = std::string(XOQ_BUILD_DIR) + "/test-artifacts";
  std::filesystem::create_directories(artifacts);
  runProcess({"import", "-window", "root", artifacts + "/opener-" + jdkParameterName(GetParam()) + ".png"}, options);

  window.signal(SIGTERM);
  EXPECT_TRUE(window.waitFor(seconds(30)));
  EXPECT_EQ(window.exitCode(), 0);
}

INSTANTIATE_TEST_SUITE_P(EveryJdk, OpenerExample, ::testing::ValuesIn(installedJdkHomes()),
                         [](const ::testing::TestParamInfo<std::string>& param) {
                           return jdkParameterName(param.param);
                         });

}  // namespace
}  // namespace testing
}  // namespace xoq
