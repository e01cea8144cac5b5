// EventLog on Linux with every JDK: the packaged application reports to the
// system log, received by a socket of the test. The machine's own /dev/log
// (a syslog daemon's, where there is one) and the rest of /dev must stay as
// they are: the application runs in a mount namespace of its own, where
// /dev is an overlay whose /dev/log leads to the test's socket.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/jdks.h"
#include "support/packaging.h"

namespace xoq {
namespace testing {
namespace {

struct SyslogLine {
  int priority = -1;
  std::string tag;
  std::string text;
};

// "<PRI>Mmm dd hh:mm:ss TAG[PID]: TEXT", as the C library's syslog sends it.
SyslogLine parse(const std::string& message) {
  SyslogLine line;
  const size_t close = message.find('>');
  if (message.empty() || message[0] != '<' || close == std::string::npos) return line;
  line.priority = std::stoi(message.substr(1, close - 1));
  const size_t tag = close + 1 + 16;  // after the time stamp and its space
  const size_t bracket = message.find('[', tag);
  const size_t colon = message.find("]: ", bracket);
  if (bracket == std::string::npos || colon == std::string::npos) return line;
  line.tag = message.substr(tag, bracket - tag);
  line.text = message.substr(colon + 3);
  return line;
}

class EventLogToSyslog : public ::testing::TestWithParam<std::string> {};

TEST_P(EventLogToSyslog, WhatTheSystemLogReceives) {
  TempDir dir;
  // A datagram socket bound at a path, as a syslog daemon listens on /dev/log.
  const int receiver = socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  dir.file("log.socket").copy(address.sun_path, sizeof address.sun_path - 1);
  ASSERT_EQ(bind(receiver, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  const std::string exe =
      packageWith(Target::kLinux, dir.file("notes-app"), "jre_order e\r\nmainclass redirect.Main\r\n",
                  {"--add-tree", testAppClasses("redirect")});
  ASSERT_FALSE(exe.empty());
  std::filesystem::create_directories(dir.file("namespace"));
  // Inside the namespace only: a tmpfs for the overlay's own layers, /dev
  // overlaid with everything it holds, and /dev/log replaced in the overlay.
  const std::string ns = dir.file("namespace");
  const std::string script = "set -e; mount -t tmpfs xoq-test " + ns + "; mkdir " + ns + "/upper " + ns +
                             "/work; mount -t overlay xoq-test -o lowerdir=/dev,upperdir=" + ns +
                             "/upper,workdir=" + ns + "/work /dev; rm -f /dev/log; ln -s " + dir.file("log.socket") +
                             " /dev/log; exec \"$0\" \"$@\"";
  RunOptions options;
  options.workingDirectory = dir.path();
  options.setEnv = {{"JAVA_HOME", GetParam()}, {"XOQ_TRACE", ""}};
  options.unsetEnv = {"JRE_HOME", "CLASSPATH", "CLASS_PATH"};
  options.timeoutSeconds = 120;
  const std::vector<std::string> inNamespace = {"unshare", "--mount", "--propagation", "private", "sh", "-c", script};
  std::vector<std::string> command = inNamespace;
  command.push_back("true");
  const ProcessResult probe = runProcess(command, options);
  if (probe.exitCode != 0) GTEST_SKIP() << "no mount namespace with an overlay on /dev here: " << probe.err;
  command.back() = exe;
  command.push_back("eventlog");
  const ProcessResult result = runProcess(command, options);
  ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
  EXPECT_EQ(result.out, "eventlog done\n") << result.err;
  EXPECT_EQ(result.err, "");

  std::vector<SyslogLine> lines;
  char message[8192];
  for (ssize_t n; (n = recv(receiver, message, sizeof message, 0)) > 0;) {
    lines.push_back(parse(std::string(message, static_cast<size_t>(n))));
  }
  close(receiver);
  // user.info 14, user.err 11, user.warning 12, user.notice 13,
  // authpriv.info 86, authpriv.warning 84.
  const std::vector<SyslogLine> expected = {
      {14, "xoq-notes", "event 1000, category 0"},
      {11, "xoq-notes",
       "event 1001, category 3: first  Gr\xc3\xbc\xc3\x9f"
       "e \xf0\x9f\x98\x80 \xe6\x97\xa5\xe6\x9c\xac"},
      {12, "xoq-notes", "event 1002, category 1: with data; data: 0a0bff"},
      {13, "xoq-notes", "event 1003, category 0: success"},
      {86, "xoq-notes", "event 1004, category 0"},
      {84, "xoq-notes", "event 1005, category 0"},
      {14, "notes-app", "event 1006, category 0: default source"},
      {14, "xoq-notes", "event 1008, category 0: before the end"},
      {12, "xoq-local", "event 1010, category 2: "},
  };
  ASSERT_EQ(lines.size(), expected.size()) << result.out;
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(lines[i].priority, expected[i].priority) << i;
    EXPECT_EQ(lines[i].tag, expected[i].tag) << i;
    EXPECT_EQ(lines[i].text, expected[i].text) << i;
  }
}

INSTANTIATE_TEST_SUITE_P(EveryJdk, EventLogToSyslog, ::testing::ValuesIn(installedJdkHomes()),
                         [](const ::testing::TestParamInfo<std::string>& param) {
                           return jdkParameterName(param.param);
                         });

}  // namespace
}  // namespace testing
}  // namespace xoq
