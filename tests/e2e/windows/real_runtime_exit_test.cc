// Exit codes of the Windows launchers with the real runtime: a normal end,
// System.exit, an exception that escapes main after the application's other
// threads, and the code of each failure message, with the version bounds
// against this runtime's "11.0.2".
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "e2e/windows/real_runtime.h"

namespace xoq {
namespace testing {
namespace {

class RealRuntimeExit : public RealRuntime {
 protected:
  // The probe application (tests/apps/probe), its classes at the top of
  // the payload.
  std::string probe(Target target, const std::string& name, const std::string& config) {
    return package(target, name, "jre_order e\r\n" + config, {"--add-tree", testAppClasses("probe")});
  }
};

TEST_F(RealRuntimeExit, NormalEndSystemExitAndAnUncaughtExceptionAfterTheOtherThreads) {
  const ProcessResult normal =
      run(Target::kWindowsConsole, probe(Target::kWindowsConsole, "normal.exe", "mainclass probe.Probe\r\n"));
  EXPECT_EQ(normal.exitCode, 0) << describe(normal);
  std::map<std::string, std::string> seen = values(normal);
  EXPECT_EQ(seen["java.version"], kWindowsRuntimeVersion);
  EXPECT_EQ(seen["java.home"], javaHome());
  EXPECT_EQ(seen["main"], "returned");

  const ProcessResult exited = run(Target::kWindowsConsole, probe(Target::kWindowsConsole, "exited.exe",
                                                                  "mainclass probe.Probe\r\n"
                                                                  "property probe.action=exit:3\r\n"));
  EXPECT_EQ(exited.exitCode, 3) << describe(exited);
  EXPECT_EQ(exited.out.find("main=returned"), std::string::npos) << describe(exited);

  // As java.exe: the trace printed, the other threads run to their end,
  // then exit code 1.
  const ProcessResult thrown = run(Target::kWindowsConsole, probe(Target::kWindowsConsole, "thrown.exe",
                                                                  "mainclass probe.Probe\r\n"
                                                                  "property probe.action=thread-throw\r\n"));
  EXPECT_EQ(thrown.exitCode, 1) << describe(thrown);
  EXPECT_NE(thrown.err.find("Exception in thread \"main\" java.lang.IllegalStateException: thrown by the probe"),
            std::string::npos)
      << describe(thrown);
  EXPECT_NE(thrown.out.find("thread=done"), std::string::npos) << describe(thrown);
}

TEST_F(RealRuntimeExit, GuiTemplateEndsWithTheApplicationsCodes) {
  const ProcessResult exited = run(Target::kWindows, probe(Target::kWindows, "exited.exe",
                                                           "mainclass probe.Probe\r\n"
                                                           "property probe.action=exit:5\r\n"));
  EXPECT_EQ(exited.exitCode, 5) << describe(exited);
  const ProcessResult thrown = run(Target::kWindows, probe(Target::kWindows, "thrown.exe",
                                                           "mainclass probe.Probe\r\n"
                                                           "property probe.action=thread-throw\r\n"));
  EXPECT_EQ(thrown.exitCode, 1) << describe(thrown);
  EXPECT_NE(thrown.out.find("thread=done"), std::string::npos) << describe(thrown);
}

// The console template writes its messages to standard error, where the
// GUI template shows a box (tests/e2e/windows/message_box_test.cc).
TEST_F(RealRuntimeExit, EachFailureMessageHasItsCode) {
  RunOptions noRuntime = options();
  noRuntime.setEnv.erase("JAVA_HOME");
  noRuntime.unsetEnv.push_back("JAVA_HOME");
  const ProcessResult none = run(
      Target::kWindowsConsole, probe(Target::kWindowsConsole, "none.exe", "mainclass probe.Probe\r\n"), {}, noRuntime);
  EXPECT_EQ(none.exitCode, 1) << describe(none);
  EXPECT_NE(none.err.find("Java Runtime Environment not found."), std::string::npos) << describe(none);

  // A library of the runtime that loads but is no virtual machine.
  const ProcessResult invalid = run(Target::kWindowsConsole, package(Target::kWindowsConsole, "invalid.exe",
                                                                     "mainclass probe.Probe\r\njre_order c\r\njvmdll " +
                                                                         javaHome() + "\\bin\\jimage.dll\r\n",
                                                                     {"--add-tree", testAppClasses("probe")}));
  EXPECT_EQ(invalid.exitCode, 2) << describe(invalid);
  EXPECT_NE(invalid.err.find("Java Runtime Environment not valid."), std::string::npos) << describe(invalid);

  // An impossible heap size: the runtime refuses to be created.
  const ProcessResult refused = run(Target::kWindowsConsole, probe(Target::kWindowsConsole, "refused.exe",
                                                                   "mainclass probe.Probe\r\noption -Xmx=lots\r\n"));
  EXPECT_EQ(refused.exitCode, 4) << describe(refused);
  EXPECT_NE(refused.err.find("Java Virtual Machine starts failed."), std::string::npos) << describe(refused);

  const ProcessResult misspelt =
      run(Target::kWindowsConsole, probe(Target::kWindowsConsole, "misspelt.exe", "mainclass probe.Prob\r\n"));
  EXPECT_EQ(misspelt.exitCode, 7) << describe(misspelt);
  EXPECT_NE(misspelt.err.find("java.lang.ClassNotFoundException: probe.Prob"), std::string::npos) << describe(misspelt);
  EXPECT_NE(misspelt.err.find("The main startup class could not be found."), std::string::npos) << describe(misspelt);

  const ProcessResult notStatic =
      run(Target::kWindowsConsole, probe(Target::kWindowsConsole, "notstatic.exe", "mainclass probe.NotStatic\r\n"));
  EXPECT_EQ(notStatic.exitCode, 8) << describe(notStatic);
  EXPECT_NE(notStatic.err.find("The main startup class is not valid, main method missing."), std::string::npos)
      << describe(notStatic);
  EXPECT_EQ(notStatic.out.find("never"), std::string::npos) << describe(notStatic);
}

TEST_F(RealRuntimeExit, VersionBoundsAgainstTheRuntimesVersion) {
  const ProcessResult low = run(
      Target::kWindowsConsole, probe(Target::kWindowsConsole, "low.exe", "mainclass probe.Probe\r\nminjre 11.0.3\r\n"));
  EXPECT_EQ(low.exitCode, 6) << describe(low);
  EXPECT_NE(low.err.find("Java virtual machine version 11.0.2 is too low, require 11.0.3 or higher."),
            std::string::npos)
      << describe(low);
  EXPECT_EQ(low.out.find("main="), std::string::npos) << "main must not run";

  const ProcessResult high = run(Target::kWindowsConsole,
                                 probe(Target::kWindowsConsole, "high.exe", "mainclass probe.Probe\r\nmaxjre 10\r\n"));
  EXPECT_EQ(high.exitCode, 12) << describe(high);
  // An empty minjre leaves two blanks after "between".
  EXPECT_NE(high.err.find("Java virtual machine version 11.0.2 is too high, version between  and 10 is required."),
            std::string::npos)
      << describe(high);

  // Only the fields both have are compared: 11 and 11.0.2 hold 11.0.2.
  const ProcessResult within =
      run(Target::kWindowsConsole,
          probe(Target::kWindowsConsole, "within.exe", "mainclass probe.Probe\r\nminjre 11\r\nmaxjre 11.0.2\r\n"));
  EXPECT_EQ(within.exitCode, 0) << describe(within);
  EXPECT_EQ(values(within)["main"], "returned") << describe(within);
}

}  // namespace
}  // namespace testing
}  // namespace xoq
