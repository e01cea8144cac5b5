// The event log calls of the EventLog natives under Wine, which prints what
// it receives on its debug channels: a program makes the calls the natives
// make (no Windows runtime exists here to call the natives themselves), and
// the test reads the source names, types, categories, event ids, strings
// and data sizes back.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/packaging.h"

namespace xoq {
namespace testing {
namespace {

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

TEST(WindowsEventLog, WhatTheEventLogReceives) {
  RunOptions options;
  options.setEnv["WINEDEBUG"] = "+eventlog";
  options.timeoutSeconds = 120;
  const ProcessResult result =
      runProcess({XOQ_WINE_PROGRAM, std::string(XOQ_BUILD_DIR) + "/windows/xoq_event_log_report.exe"}, options);
  ASSERT_EQ(result.exitCode, 0) << result.err;

  // Sources: the executable's file name on this computer; a named one, with
  // its non-ASCII characters as UTF-16 units.
  const std::vector<std::string> registered = linesOf(result.err, "RegisterEventSourceW ");
  ASSERT_EQ(registered.size(), 2u) << result.err;
  EXPECT_EQ(registered[0], "RegisterEventSourceW ((null),L\"xoq_event_log_report.exe\"): stub");
  EXPECT_EQ(registered[1], "RegisterEventSourceW (L\"\\\\\\\\records\",L\"Notes Gr\\00fc\\00dfe\"): stub");

  // Each report: handle, type, category, event id, user, string count, data
  // size; then each string on a line of its own, on the channel of its type.
  const std::vector<std::string> reports = linesOf(result.err, "ReportEventW (");
  ASSERT_EQ(reports.size(), 3u) << result.err;
  EXPECT_NE(reports[0].find(",0x0004,0x0000,0x000003e8,0000000000000000,0x0000,0x00000000,"), std::string::npos)
      << reports[0];
  EXPECT_NE(reports[1].find(",0x0002,0x0003,0x000003e9,0000000000000000,0x0004,0x00000003,"), std::string::npos)
      << reports[1];
  EXPECT_NE(reports[2].find(",0x0001,0x0007,0xc0000005,0000000000000000,0x0001,0x00000000,"), std::string::npos)
      << reports[2];
  const std::vector<std::string> strings = linesOf(result.err, "eventlog:ReportEventW L");
  const std::vector<std::string> expected = {"eventlog:ReportEventW L\"first\"", "eventlog:ReportEventW L\"\"",
                                             "eventlog:ReportEventW L\"Gr\\00fc\\00dfe \\d83d\\de00\"",
                                             "eventlog:ReportEventW L\"\\65e5\\672c\"",
                                             "eventlog:ReportEventW L\"only\""};
  EXPECT_EQ(strings, expected) << result.err;
  // The warning's strings on the warning channel, the error's on the error
  // channel.
  EXPECT_NE(result.err.find("warn:eventlog:ReportEventW L\"first\""), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("err:eventlog:ReportEventW L\"only\""), std::string::npos) << result.err;
  EXPECT_EQ(linesOf(result.err, "DeregisterEventSource (").size(), 2u) << result.err;
}

}  // namespace
}  // namespace testing
}  // namespace xoq
