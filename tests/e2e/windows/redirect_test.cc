// Standard stream redirection of the Windows launchers, GUI and console,
// under Wine. No Windows runtime exists here: a stand-in jvm.dll takes its
// place, records the standard handles it finds, writes a line to each as a
// runtime's messages would, and ends the process from inside its creation
// as a runtime that cannot start does (so the GUI launcher shows no box).
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/jdks.h"
#include "support/packaging.h"

namespace xoq {
namespace testing {
namespace {

const char kRuntimeOut[] = "runtime: standard output\n";
const char kRuntimeErr[] = "runtime: standard error\n";

std::string tool(const std::string& name) { return std::string(XOQ_BUILD_DIR) + "/windows/" + name + ".exe"; }

class WindowsRedirection : public ::testing::TestWithParam<Target> {
 protected:
  // Packages and runs the application with `config` added to a runtime
  // configuration that reaches the stand-in.
  ProcessResult launch(const std::string& config, const std::string& name = "app.exe",
                       const std::string& standin = "streams") {
    writeFile(dir_.file("rt/jvm.dll"),
              readFile(std::string(XOQ_BUILD_DIR) + "/windows/standins/" + standin + "/jvm.dll"));
    const std::string exe = packageExecutable(GetParam(), dir_.file(name),
                                              "jre_order c\r\njvmdll rt\\jvm.dll\r\nmainclass app.Main\r\n" + config);
    EXPECT_FALSE(exe.empty());
    RunOptions options;
    options.workingDirectory = dir_.path();
    options.setEnv["XOQ_STANDIN_RECORD"] = win("record.txt");
    options.setEnv["XOQ_STANDIN_EXIT"] = "7";
    return runExecutable(GetParam(), exe, {}, options);
  }

  std::string win(const std::string& relative) { return launcherPath(GetParam(), dir_.file(relative)); }
  std::map<std::string, std::string> recorded() { return parseKeyValues(readFile(dir_.file("record.txt"))); }

  static std::string describe(const ProcessResult& result) {
    return "exit " + std::to_string(result.exitCode) + " signal " + std::to_string(result.signal) + " timedout " +
           std::to_string(result.timedOut) + "\nstdout:\n" + result.out + "\nstderr:\n" + result.err;
  }

  TempDir dir_;
};

TEST_P(WindowsRedirection, BothStreamsShareOneFileAppendedTo) {
  writeFile(dir_.file("logs/both.log"), "from an earlier run\r\n");
  const ProcessResult result = launch("forcecwd logs\r\nstdout both.log\r\nstderr both.log\r\n");
  EXPECT_EQ(result.exitCode, 7) << describe(result);
  const std::string log = readFile(dir_.file("logs/both.log"));
  // The launcher's trace (its own standard error), then the runtime's lines.
  const size_t sent = log.find("standard output: sent to both.log");
  EXPECT_EQ(log.rfind("from an earlier run\r\n", 0), 0u) << log;
  EXPECT_NE(sent, std::string::npos) << log;
  EXPECT_NE(log.find(std::string(kRuntimeOut) + kRuntimeErr, sent), std::string::npos) << log;
  EXPECT_EQ(result.out.find("runtime:"), std::string::npos) << describe(result);
  EXPECT_EQ(result.err.find("runtime:"), std::string::npos) << describe(result);
  // One file, opened once, one handle for both.
  EXPECT_TRUE(traced(result, "redirection target both.log: file opened")) << describe(result);
  std::map<std::string, std::string> handles = recorded();
  EXPECT_EQ(handles["stdout"], handles["stderr"]);
  // The runtime is handed the hook that writes buffered lines out on
  // System.exit.
  EXPECT_NE(readFile(dir_.file("record.txt")).find("=exit\r\n"), std::string::npos)
      << readFile(dir_.file("record.txt"));
}

TEST_P(WindowsRedirection, NamesDifferingInCaseAreTwoHandlesBothAppending) {
  writeFile(dir_.file("log.txt"), "earlier\r\n");
  const ProcessResult result = launch("stdout log.txt\r\nstderr LOG.TXT\r\n");
  EXPECT_EQ(result.exitCode, 7) << describe(result);
  std::map<std::string, std::string> handles = recorded();
  EXPECT_NE(handles["stdout"], handles["stderr"]);
  const std::string log = readFile(dir_.file("log.txt"));
  EXPECT_EQ(log.rfind("earlier\r\n", 0), 0u) << log;
  // Neither handle wrote over what the other wrote.
  EXPECT_NE(log.find(std::string(kRuntimeOut) + kRuntimeErr), std::string::npos) << log;
  EXPECT_NE(log.find("standard output: sent to log.txt"), std::string::npos) << log;
}

// A real runtime writes through the Universal C runtime, which the system's
// own libraries brought into the process before the launcher ran: its
// descriptors 1 and 2 took the standard handles then, and follow the
// redirection all the same, into one file for both streams or one each.
TEST_P(WindowsRedirection, RuntimeWritingThroughTheUniversalCRuntimeFollows) {
  const ProcessResult both = launch("stdout both.log\r\nstderr both.log\r\n", "both.exe", "ucrt");
  EXPECT_EQ(both.exitCode, 7) << describe(both);
  const std::string log = withoutCarriageReturns(readFile(dir_.file("both.log")));
  EXPECT_NE(log.find(std::string(kRuntimeOut) + kRuntimeErr), std::string::npos) << log;
  EXPECT_EQ(both.out.find("runtime:"), std::string::npos) << describe(both);
  EXPECT_EQ(both.err.find("runtime:"), std::string::npos) << describe(both);

  const ProcessResult apart = launch("stdout out.log\r\nstderr err.log\r\n", "apart.exe", "ucrt");
  EXPECT_EQ(apart.exitCode, 7) << describe(apart);
  EXPECT_EQ(withoutCarriageReturns(readFile(dir_.file("out.log"))), kRuntimeOut);
  const std::string errors = withoutCarriageReturns(readFile(dir_.file("err.log")));
  EXPECT_NE(errors.find(kRuntimeErr), std::string::npos) << errors;
  EXPECT_EQ(errors.find(kRuntimeOut), std::string::npos) << errors;
  EXPECT_EQ(apart.out.find("runtime:"), std::string::npos) << describe(apart);
  EXPECT_EQ(apart.err.find("runtime:"), std::string::npos) << describe(apart);
}

// Standard output taken, standard error left alone: its file cannot be
// opened. A command that cannot start leaves its stream alone too.
TEST_P(WindowsRedirection, OnlyWhatCanBeOpenedIsRedirected) {
  const ProcessResult result = launch("stdout out.txt\r\nstderr no-such-folder\\err.txt\r\n");
  EXPECT_EQ(result.exitCode, 7) << describe(result);
  EXPECT_EQ(readFile(dir_.file("out.txt")), kRuntimeOut);
  EXPECT_NE(result.err.find(kRuntimeErr), std::string::npos) << describe(result);
  EXPECT_TRUE(traced(result, "redirection target no-such-folder\\err.txt: file cannot be opened")) << describe(result);

  const ProcessResult command = launch("stdout |xoq-no-such-program.exe\r\n", "command.exe");
  EXPECT_EQ(command.exitCode, 7) << describe(command);
  EXPECT_NE(command.out.find(kRuntimeOut), std::string::npos) << describe(command);
  EXPECT_TRUE(traced(command, "redirection target |xoq-no-such-program.exe: command cannot be started"))
      << describe(command);
  EXPECT_TRUE(traced(command, "standard output: left as it is")) << describe(command);
}

// The command runs without a window: Wine gives a console program started
// with CREATE_NO_WINDOW a console host without one ("--headless"). The
// shell waits for the command's output, so that its trace is complete.
TEST_P(WindowsRedirection, CommandReceivesStandardOutputWithoutAWindow) {
  writeFile(dir_.file("rt/jvm.dll"), readFile(std::string(XOQ_BUILD_DIR) + "/windows/standins/streams/jvm.dll"));
  const std::string exe = packageExecutable(GetParam(), dir_.file("app.exe"),
                                            "jre_order c\r\njvmdll rt\\jvm.dll\r\nmainclass app.Main\r\nstdout |\"" +
                                                launcherPath(GetParam(), tool("xoq_stdin_sink")) + "\" \"" +
                                                win("received.txt") + "\"\r\n");
  ASSERT_FALSE(exe.empty());
  RunOptions options;
  options.workingDirectory = dir_.path();
  options.setEnv = {{"XOQ_STANDIN_EXIT", "7"}, {"WINEDEBUG", "+process"}, {"RECEIVED", dir_.file("received.txt")}};
  options.timeoutSeconds = 120;
  const ProcessResult result =
      runProcess({"sh", "-c", "\"$0\" \"$@\"; code=$?; while [ ! -e \"$RECEIVED\" ]; do sleep 0.1; done; exit $code",
                  XOQ_WINE_PROGRAM, exe},
                 options);
  EXPECT_EQ(result.exitCode, 7) << result.err.substr(0, 4000);
  EXPECT_EQ(readFile(dir_.file("received.txt")), kRuntimeOut);
  // The console host of the command: started, and without a window.
  const size_t sink = result.err.find("xoq_stdin_sink.exe\\\" \\\"");
  ASSERT_NE(sink, std::string::npos) << result.err.substr(0, 20000);
  const size_t host = result.err.find("conhost.exe\\\" --server", sink);
  ASSERT_NE(host, std::string::npos) << result.err.substr(sink, 20000);
  const std::string hostLine = result.err.substr(host, result.err.find('\n', host) - host);
  EXPECT_NE(hostLine.find("--headless"), std::string::npos) << hostLine;
}

INSTANTIATE_TEST_SUITE_P(Templates, WindowsRedirection, ::testing::Values(Target::kWindows, Target::kWindowsConsole),
                         [](const ::testing::TestParamInfo<Target>& param) {
                           return std::string(param.param == Target::kWindows ? "Gui" : "Console");
                         });

}  // namespace
}  // namespace testing
}  // namespace xoq
