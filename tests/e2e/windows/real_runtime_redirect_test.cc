// Standard output and standard error of the GUI template sent to files and
// commands with the real runtime: what System.out and System.err print and
// an uncaught exception's trace all arrive; RedirOutputStream carries Java's
// writes to a Windows handle; and the event log receives what the
// application reports, as Wine prints it (WINEDEBUG=+eventlog). The probe is
// tests/apps/redirect.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e/windows/real_runtime.h"

namespace xoq {
namespace testing {
namespace {

// True when `text` holds each of `parts`, in this order.
bool inOrder(const std::string& text, const std::vector<std::string>& parts, std::string& missing) {
  size_t at = 0;
  for (const std::string& part : parts) {
    const size_t found = text.find(part, at);
    if (found == std::string::npos) {
      missing = part;
      return false;
    }
    at = found + part.size();
  }
  return true;
}

// The lines of `text` that contain `channel`, from that point on.
std::vector<std::string> linesOf(const std::string& text, const std::string& channel) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const size_t at = text.find(channel, start);
    if (at != std::string::npos && at < end) lines.push_back(text.substr(at, end - at));
    start = end + 1;
  }
  return lines;
}

class RealRuntimeRedirect : public RealRuntime {
 protected:
  std::string packageProbe(Target target, const std::string& name, const std::string& config) {
    return package(target, name, "jre_order e\r\nmainclass redirect.Main\r\n" + config,
                   {"--add", testApp("redirect/redirect.jar") + "=redirect.jar"});
  }

  static std::string tool(const std::string& name) {
    return launcherPath(Target::kWindows, std::string(XOQ_BUILD_DIR) + "/windows/" + name + ".exe");
  }

  // What the probe's "streams" prints, in order, as Java writes lines on
  // Windows (carriage returns taken out).
  static std::vector<std::string> streamsOutput() {
    return {"out 1\nerr 1\nout 2\nerr 2\n!\nout 3 java.io.PrintStream\n",
            "Exception in thread \"main\" java.lang.IllegalStateException: boom", "\tat redirect.Main.streams"};
  }
};

TEST_F(RealRuntimeRedirect, GuiTemplateSendsBothStreamsIntoOneFileInOrder) {
  writeFile(dir_.file("both.log"), "from an earlier run\r\n");
  const std::string exe = packageProbe(Target::kWindows, "app.exe", "stdout both.log\r\nstderr both.log\r\n");
  const ProcessResult result = run(Target::kWindows, exe, {"streams"});
  // main ends by an exception: exit code 1.
  EXPECT_EQ(result.exitCode, 1) << describe(result);
  const std::string log = withoutCarriageReturns(readFile(dir_.file("both.log")));
  std::vector<std::string> expected = {"from an earlier run\n"};
  for (const std::string& part : streamsOutput()) expected.push_back(part);
  std::string missing;
  EXPECT_TRUE(inOrder(log, expected, missing)) << "missing in order: " << missing << "\n" << log;
  // Nothing reached the streams the program was given.
  EXPECT_EQ(result.out, "") << describe(result);
  EXPECT_EQ(withoutWineNotes(result.err), "") << describe(result);
}

TEST_F(RealRuntimeRedirect, GuiTemplateSendsTheStreamsToCommands) {
  const std::string sink = tool("xoq_stdin_sink");
  const std::string exe = packageProbe(
      Target::kWindows, "app.exe",
      "stdout |\"" + sink + "\" \"" + win("out.txt") + "\"\r\nstderr |\"" + sink + "\" \"" + win("err.txt") + "\"\r\n");
  const ProcessResult result = run(Target::kWindows, exe, {"streams"});
  EXPECT_EQ(result.exitCode, 1) << describe(result);
  // Each command receives its stream whole once the program has ended.
  const std::string out = withoutCarriageReturns(awaitFile(dir_.file("out.txt"), kRunSeconds));
  const std::string err = withoutCarriageReturns(awaitFile(dir_.file("err.txt"), kRunSeconds));
  EXPECT_EQ(out, "out 1\nout 2\n!\nout 3 java.io.PrintStream\n") << err;
  std::string missing;
  EXPECT_TRUE(inOrder(err, {"err 1\nerr 2\n", streamsOutput()[1], streamsOutput()[2]}, missing))
      << "missing in order: " << missing << "\n"
      << err;
  EXPECT_EQ(err.find("out 1"), std::string::npos) << err;
}

// The launcher writes through RedirOutputStream where the process's
// standard handle does not take a redirection. Windows' standard handles
// always take it, so here the application hands the stream a handle of its
// own, a file that Java opened: single bytes, part of an array and a
// PrintStream's lines all arrive, in the stream's encoding.
TEST_F(RealRuntimeRedirect, RedirOutputStreamCarriesJavasWritesToAHandle) {
  const std::string exe =
      packageProbe(Target::kWindowsConsole, "app.exe", "option --add-opens=java.base/java.io=ALL-UNNAMED\r\n");
  const ProcessResult result = run(Target::kWindowsConsole, exe, {"javastream", win("stream.txt")});
  EXPECT_EQ(result.exitCode, 0) << describe(result);
  EXPECT_NE(result.out.find("javastream written"), std::string::npos) << describe(result);
  EXPECT_EQ(readFile(dir_.file("stream.txt")),
            "1\ntwo\nGr\xC3\xBC\xC3\x9F"
            "e \xE6\x97\xA5\xE6\x9C\xAC\r\n");
}

TEST_F(RealRuntimeRedirect, TheEventLogReceivesEveryTypeAndTheData) {
  const std::string exe = packageProbe(Target::kWindowsConsole, "notes.exe", "");
  RunOptions logged = options();
  logged.setEnv["WINEDEBUG"] = "+eventlog";
  const ProcessResult result = run(Target::kWindowsConsole, exe, {"eventlog"}, logged);
  ASSERT_EQ(result.exitCode, 0) << describe(result);
  EXPECT_NE(result.out.find("eventlog done"), std::string::npos) << describe(result);

  // Sources: named ones, and the executable's file name for new EventLog().
  const std::vector<std::string> registered = linesOf(result.err, "RegisterEventSourceW ");
  const auto registeredAs = [&](const std::string& call) {
    return std::find(registered.begin(), registered.end(), "RegisterEventSourceW (" + call + "): stub") !=
           registered.end();
  };
  EXPECT_TRUE(registeredAs("(null),L\"xoq-notes\"")) << result.err.substr(0, 8000);
  EXPECT_TRUE(registeredAs("(null),L\"notes.exe\"")) << result.err.substr(0, 8000);
  EXPECT_TRUE(registeredAs("L\"localhost\",L\"xoq-local\"")) << result.err.substr(0, 8000);

  // Each report: handle, type, category, event id, user, string count and
  // data size, for every type; the strings follow on lines of their own.
  const std::vector<std::string> reports = linesOf(result.err, "ReportEventW (");
  const auto reported = [&](const std::string& fields) {
    for (const std::string& report : reports) {
      if (report.find(fields) != std::string::npos) return true;
    }
    return false;
  };
  EXPECT_TRUE(reported(",0x0004,0x0000,0x000003e8,0000000000000000,0x0000,0x00000000,")) << "INFORMATION, no strings";
  EXPECT_TRUE(reported(",0x0001,0x0003,0x000003e9,0000000000000000,0x0004,0x00000000,")) << "ERROR, four strings";
  EXPECT_TRUE(reported(",0x0002,0x0001,0x000003ea,0000000000000000,0x0001,0x00000003,")) << "WARNING with data";
  EXPECT_TRUE(reported(",0x0000,0x0000,0x000003eb,0000000000000000,0x0001,0x00000000,")) << "SUCCESS";
  EXPECT_TRUE(reported(",0x0008,0x0000,0x000003ec,0000000000000000,0x0000,0x00000000,")) << "AUDIT_SUCCESS";
  EXPECT_TRUE(reported(",0x0010,0x0000,0x000003ed,0000000000000000,0x0000,0x00000000,")) << "AUDIT_FAILURE";
  EXPECT_TRUE(reported(",0x0004,0x0000,0x000003ee,0000000000000000,0x0001,0x00000000,")) << "default source";
  // Wine's RegisterEventSourceW hands out a handle for any computer, so the
  // entry for one that cannot be reached ("never", 1007) is reported here;
  // Windows refuses the registration and the entry goes nowhere.
  // A null string arrives as an empty one.
  EXPECT_TRUE(reported(",0x0002,0x0002,0x000003f2,0000000000000000,0x0001,0x00000000,")) << "a null string";
  // Strings cross as UTF-16, also beyond the Basic Multilingual Plane, in
  // their order, each on the channel of its entry's type.
  const std::vector<std::string> strings = linesOf(result.err, "eventlog:ReportEventW L");
  const std::vector<std::string> expected = {"eventlog:ReportEventW L\"first\"",
                                             "eventlog:ReportEventW L\"\"",
                                             "eventlog:ReportEventW L\"Gr\\00fc\\00dfe \\d83d\\de00\"",
                                             "eventlog:ReportEventW L\"\\65e5\\672c\"",
                                             "eventlog:ReportEventW L\"with data\"",
                                             "eventlog:ReportEventW L\"success\"",
                                             "eventlog:ReportEventW L\"default source\"",
                                             "eventlog:ReportEventW L\"never\"",
                                             "eventlog:ReportEventW L\"before the end\"",
                                             "eventlog:ReportEventW L\"\""};
  EXPECT_EQ(strings, expected) << result.err.substr(0, 8000);
  EXPECT_NE(result.err.find("err:eventlog:ReportEventW L\"first\""), std::string::npos);
  EXPECT_NE(result.err.find("warn:eventlog:ReportEventW L\"with data\""), std::string::npos);
  // A source ended by its finalizer reports nothing more.
  EXPECT_TRUE(reported(",0x0004,0x0000,0x000003f0,")) << "before the end";
  EXPECT_FALSE(reported(",0x0004,0x0000,0x000003f1,")) << "after the end";
  EXPECT_FALSE(linesOf(result.err, "DeregisterEventSource (").empty()) << result.err.substr(0, 8000);
}

}  // namespace
}  // namespace testing
}  // namespace xoq
