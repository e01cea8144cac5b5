// The launcher's own prints follow a redirected standard error: its trace,
// the system's reason why the runtime library does not load, and the
// fatal message that the console launcher prints, into a file and into a
// command, whose buffered stream is written out before the process ends.
#include <gtest/gtest.h>

#include <string>

#include "e2e/common/e2e_test.h"

namespace xoq {
namespace testing {
namespace {

class LauncherPrints : public EndToEnd {};

TEST_F(LauncherPrints, FollowStandardErrorIntoAFileAndACommand) {
  writeFile(dir_.file(kWindows ? "rt/jvm.dll" : "rt/libjvm.so"), "not a library");
  const std::string received = dir_.file("received.txt");
  const std::string command =
      kWindows ? "\"" + launcherPath(kTarget, std::string(XOQ_BUILD_DIR) + "/windows/xoq_stdin_sink.exe") + "\" \"" +
                     launcherPath(kTarget, received) + "\""
               : "cat > received.txt.part && mv received.txt.part received.txt";
  for (const std::string& target : {std::string("err.log"), "|" + command}) {
    const std::string config = std::string("jre_order c\r\njvmdll ") + (kWindows ? "rt\\jvm.dll" : "rt/libjvm.so") +
                               "\r\nmainclass app.Main\r\nstderr " + target + "\r\n";
    const std::string exe = package(exeName(target[0] == '|' ? "command" : "file"), config, {}, kMessageTarget);
    const ProcessResult result = run(exe);
    EXPECT_EQ(result.exitCode, 2) << describe(result);
    const std::string text =
        withoutCarriageReturns(target[0] == '|' ? awaitFile(received) : readFile(dir_.file("err.log")));
    const size_t sent = text.find("standard error: sent to " + target);
    const size_t loading = text.find(": cannot be loaded\n", sent);
    const size_t message = text.find("\nError: Java Runtime Environment not valid.\n", loading);
    ASSERT_NE(sent, std::string::npos) << target << ":\n" << text;
    ASSERT_NE(loading, std::string::npos) << target << ":\n" << text;
    ASSERT_NE(message, std::string::npos) << target << ":\n" << text;
    // The system's reason, on a line of its own, right after the trace says
    // that the library cannot be loaded.
    const size_t reason = loading + std::string(": cannot be loaded\n").size();
    const std::string reasonLine = text.substr(reason, text.find('\n', reason) - reason);
    EXPECT_FALSE(reasonLine.empty()) << text;
    EXPECT_NE(reasonLine.compare(0, 4, "[xoq"), 0) << text;
    EXPECT_NE(reasonLine.find(kWindows ? "jvm.dll" : "libjvm.so"), std::string::npos) << text;
    EXPECT_NE(text.find("exit code 2", message), std::string::npos) << text;
    // Nothing of it reached the launcher's own standard error.
    EXPECT_EQ(result.err.find("not valid"), std::string::npos) << describe(result);
    EXPECT_EQ(result.err.find("cannot be loaded"), std::string::npos) << describe(result);
  }
}

}  // namespace
}  // namespace testing
}  // namespace xoq
