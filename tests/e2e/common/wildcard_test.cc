// The `wildcard` key: the launcher rebuilds its program arguments from its
// own command line and replaces file patterns by the files they match,
// relative to the working directory that `forcecwd` chose.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "e2e/common/e2e_test.h"

namespace xoq {
namespace testing {
namespace {

class Wildcard : public EndToEnd {
 protected:
  void SetUp() override {
    for (const char* name :
         {"work/a.txt", "work/b.txt", "work/c.log", "work/src/x/A.java", "work/src/y/B.java", "data/only.txt"}) {
      writeFile(dir_.file(name), "x");
    }
  }

  // The program arguments the launcher hands to the launch, from its trace.
  static std::vector<std::string> arguments(const ProcessResult& result) {
    std::vector<std::string> found;
    const std::string marker = "program argument ";
    for (const std::string& line : traceLines(result)) {
      const size_t at = line.find(marker);
      if (at == std::string::npos) continue;
      found.push_back(line.substr(line.find(": ", at) + 2));
    }
    return found;
  }

  ProcessResult launch(const std::string& config, const std::vector<std::string>& args) {
    const std::string exe = package(exeName("app"), "jre_order c\r\n" + config, {}, kMessageTarget);
    RunOptions options;
    options.workingDirectory = dir_.file("work");
    return run(exe, args, options);
  }

  static std::vector<std::string> sorted(std::vector<std::string> values) {
    std::sort(values.begin(), values.end());
    return values;
  }
};

TEST_F(Wildcard, PatternsAreExpandedInTheWorkingDirectory) {
  const ProcessResult result = launch("wildcard true\r\n", {"*.txt", "*.none", "two words", "plain"});
  EXPECT_EQ(result.exitCode, 1) << describe(result);
  EXPECT_TRUE(traced(result, "rebuilt from the command line (wildcard true")) << describe(result);
  const std::vector<std::string> got = arguments(result);
  ASSERT_EQ(got.size(), 5u) << describe(result);
  // The order is the directory search's.
  EXPECT_EQ(sorted({got[0], got[1]}), (std::vector<std::string>{"a.txt", "b.txt"}));
  EXPECT_EQ(got[2], "*.none");
  EXPECT_EQ(got[3], "two words");
  EXPECT_EQ(got[4], "plain");
}

TEST_F(Wildcard, DirectoryComponentsAndModes) {
  const std::string pattern = kWindows ? "src\\*\\*.java" : "src/*/*.java";
  const ProcessResult result = launch("wildcard ALL\r\n", {pattern});
  EXPECT_EQ(sorted(arguments(result)), kWindows ? (std::vector<std::string>{"src\\x\\A.java", "src\\y\\B.java"})
                                                : (std::vector<std::string>{"src/x/A.java", "src/y/B.java"}))
      << describe(result);
}

TEST_F(Wildcard, OffUnlessAskedFor) {
  for (const char* config : {"", "wildcard false\r\n", "wildcard yes\r\n"}) {
    const ProcessResult result = launch(config, {"*.txt", "x"});
    EXPECT_TRUE(traced(result, "as the process received them")) << describe(result);
    EXPECT_EQ(arguments(result), (std::vector<std::string>{"*.txt", "x"})) << config << describe(result);
  }
}

TEST_F(Wildcard, RelativePatternsFollowTheForcedWorkingDirectory) {
  const ProcessResult result = launch("wildcard auto\r\nforcecwd data\r\n", {"*.txt"});
  EXPECT_EQ(arguments(result), std::vector<std::string>{"only.txt"}) << describe(result);
}

}  // namespace
}  // namespace testing
}  // namespace xoq
