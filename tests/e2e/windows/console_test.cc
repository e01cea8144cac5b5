// The console launcher: the same code as the GUI launcher, linked as a
// console program. xoqpack picks it with --target windows-console; its fatal
// messages go to standard error, and a command line typed in cmd reaches it
// as typed, quotes included, so the `wildcard` modes can be seen end to end.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/packaging.h"

namespace xoq {
namespace testing {
namespace {

// The Subsystem field of a PE file's optional header: 2 GUI, 3 console.
int subsystemOf(const std::string& file) {
  if (file.size() < 0x40 || file.compare(0, 2, "MZ") != 0) return -1;
  const auto byteAt = [&file](size_t at) { return static_cast<uint32_t>(static_cast<uint8_t>(file[at])); };
  const size_t header = byteAt(0x3C) | byteAt(0x3D) << 8 | byteAt(0x3E) << 16 | byteAt(0x3F) << 24;
  const size_t field = header + 24 + 68;
  if (field + 2 > file.size()) return -1;
  return static_cast<int>(byteAt(field) | byteAt(field + 1) << 8);
}

class ConsoleLauncher : public ::testing::Test {
 protected:
  // Packages with the xoqpack command line a user would type.
  std::string pack(const std::string& target, const std::string& name, const std::string& config) {
    writeFile(dir_.file(name + ".input"), config);
    const ProcessResult packed =
        runXoqpack({"--target", target, "--config", dir_.file(name + ".input"), "--output", dir_.file(name)});
    EXPECT_EQ(packed.exitCode, 0) << packed.err;
    return dir_.file(name);
  }

  // Runs `line` from a batch file in cmd, which starts the program with the
  // command line exactly as written.
  ProcessResult runInCmd(const std::string& line, const std::string& directory) {
    writeFile(directory + "/run.bat", "@" + line + "\r\n@exit /b %errorlevel%\r\n");
    RunOptions options;
    options.workingDirectory = directory;
    options.setEnv["XOQ_TRACE"] = "1";
    return runProcess({XOQ_WINE_PROGRAM, "cmd", "/c", "run.bat"}, options);
  }

  static std::vector<std::string> arguments(const ProcessResult& result) {
    std::vector<std::string> found;
    for (const std::string& line : traceLines(result)) {
      const size_t at = line.find("program argument ");
      if (at != std::string::npos) found.push_back(line.substr(line.find(": ", at) + 2));
    }
    return found;
  }

  TempDir dir_;
};

TEST_F(ConsoleLauncher, TargetsPickTheTemplateBySubsystem) {
  const std::string console = pack("windows-console", "cli.exe", "jre_order c\r\n");
  const std::string gui = pack("windows", "gui.exe", "jre_order c\r\n");
  EXPECT_EQ(subsystemOf(readFile(console)), 3);
  EXPECT_EQ(subsystemOf(readFile(gui)), 2);
}

TEST_F(ConsoleLauncher, WritesItsMessageToStandardErrorAndCmdGetsTheExitCode) {
  const std::string exe = pack("windows-console", "cli.exe", "jre_order c\r\nmessage 10=cli\r\n");
  const ProcessResult result = runInCmd(launcherPath(Target::kWindowsConsole, exe), dir_.path());
  EXPECT_EQ(result.exitCode, 1) << result.err;
  EXPECT_NE(withoutCarriageReturns(result.err).find("\ncli: Java Runtime Environment not found.\n"), std::string::npos)
      << result.err;
}

TEST_F(ConsoleLauncher, QuotedPatternsExpandOnlyInModeAll) {
  for (const char* name : {"work/a.txt", "work/b.txt", "work/c.log"}) writeFile(dir_.file(name), "x");
  const std::string line = " *.txt \"*.log\" \"*.none\" \"a \\\"quoted\\\" word\"";

  const std::string unquoted = pack("windows-console", "one.exe", "jre_order c\r\nwildcard true\r\n");
  const ProcessResult one = runInCmd(launcherPath(Target::kWindowsConsole, unquoted) + line, dir_.file("work"));
  std::vector<std::string> got = arguments(one);
  ASSERT_EQ(got.size(), 5u) << one.err;
  std::sort(got.begin(), got.begin() + 2);
  EXPECT_EQ(got, (std::vector<std::string>{"a.txt", "b.txt", "*.log", "*.none", "a \"quoted\" word"})) << one.err;

  const std::string all = pack("windows-console", "all.exe", "jre_order c\r\nwildcard all\r\n");
  const ProcessResult two = runInCmd(launcherPath(Target::kWindowsConsole, all) + line, dir_.file("work"));
  got = arguments(two);
  ASSERT_EQ(got.size(), 5u) << two.err;
  std::sort(got.begin(), got.begin() + 2);
  EXPECT_EQ(got, (std::vector<std::string>{"a.txt", "b.txt", "c.log", "*.none", "a \"quoted\" word"})) << two.err;
}

}  // namespace
}  // namespace testing
}  // namespace xoq
