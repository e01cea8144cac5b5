// The GUI launcher's question when no runtime is found and `downloadurl`
// names where to get Java: a real message box under Wine on a virtual
// display, read through the window itself, photographed, and answered No,
// which ends the program with message 1's exit code. (Yes would start the
// machine's browser; the opening is ShellExecuteA's and not tried here.)
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "e2e/windows/runtime_search_prefix.h"
#include "e2e/windows/wine_display.h"
#include "support/background.h"
#include "support/files.h"
#include "support/packaging.h"

namespace xoq {
namespace testing {
namespace {

// The prefix of the runtime search tests, taken before the display fixture
// sets it up: its desktop binds to this test's display.
class DownloadQuestionBox : public WineOnDisplay {
 protected:
  DownloadQuestionBox() : WineOnDisplay(kRuntimeSearchPrefixName) {}

  void SetUp() override {
    ASSERT_TRUE(lock_.held());
    WineOnDisplay::SetUp();
  }

  // Presses N (the No button's key) in window `id` until `process` ends.
  bool answerNo(const std::string& id, Background& process) {
    for (int attempt = 0; attempt < 5; ++attempt) {
      xdotool({"windowfocus", id});
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      xdotool({"key", "n"});
      if (process.waitFor(std::chrono::seconds(6))) return true;
    }
    return false;
  }

  RuntimeSearchPrefixLock lock_;
};

TEST_F(DownloadQuestionBox, AsksToOpenTheAddressAndNoEndsWithMessageOnesCode) {
  const std::string exe =
      packageExecutable(Target::kWindows, dir_.file("app.exe"),
                        "mainclass app.Main\r\njre_order c\r\ndownloadurl https://example.org/get-java\r\n");
  ASSERT_FALSE(exe.empty());
  std::string id;
  std::unique_ptr<Background> launcher = startAndWait(
      exe, dir_.file("question.log"), {}, [&] { return windowNamed("Error"); }, id);
  ASSERT_FALSE(id.empty());
  std::this_thread::sleep_for(std::chrono::milliseconds(700));
  const ProcessResult texts = runProcess(
      {XOQ_WINE_PROGRAM, std::string(XOQ_BUILD_DIR) + "/windows/xoq_window_text.exe", "Error"}, wineOptions(90));
  const std::string seen = withoutCarriageReturns(texts.out);
  const std::string screenshot = artifacts_ + "/download-question.png";
  screen_->saveScreenshot(screenshot);
  EXPECT_NE(seen.find("child Static: Java Runtime Environment not found.\n\nOpen https://example.org/get-java in "
                      "your browser to get Java?"),
            std::string::npos)
      << seen;
  EXPECT_NE(seen.find("child Button: &Yes"), std::string::npos) << seen;
  EXPECT_NE(seen.find("child Button: &No"), std::string::npos) << seen;
  EXPECT_GT(readFile(screenshot).size(), 1000u) << screenshot;

  ASSERT_TRUE(answerNo(id, *launcher)) << readFile(dir_.file("question.log"));
  EXPECT_EQ(launcher->exitCode(), 1) << readFile(dir_.file("question.log"));
  const std::string log = readFile(dir_.file("question.log"));
  EXPECT_NE(log.find("download question: no"), std::string::npos) << log;
}

}  // namespace
}  // namespace testing
}  // namespace xoq
