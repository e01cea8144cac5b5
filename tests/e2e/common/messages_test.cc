// The messages a user sees when the launch fails, and the exit code that
// goes with each: read from standard error, where the Linux launcher and the
// Windows console launcher put what the GUI launcher shows in its box.
#include <gtest/gtest.h>

#include <string>

#include "e2e/common/e2e_test.h"

namespace xoq {
namespace testing {
namespace {

// No runtime can be found with this order and no `jvmdll`.
const std::string kNoRuntime = "jre_order c\r\n";

class Messages : public EndToEnd {
 protected:
  ProcessResult launch(const std::string& config, RunOptions options = RunOptions()) {
    const std::string exe = package(exeName("app"), kNoRuntime + config, {}, kMessageTarget);
    return run(exe, {}, options);
  }

  // Standard error as the user reads it: the Windows C runtime writes each
  // line feed as CR LF.
  static std::string errorText(const ProcessResult& result) {
    std::string text;
    for (char c : result.err) {
      if (c != '\r') text += c;
    }
    return text;
  }
};

TEST_F(Messages, NoRuntimeFound) {
  RunOptions quiet;
  quiet.setEnv["XOQ_TRACE"] = "";
  const ProcessResult result = launch("mainclass com.example.Main\r\n", quiet);
  EXPECT_EQ(result.exitCode, 1) << describe(result);
  const std::string expected = "Error: Java Runtime Environment not found.\n";
  const std::string err = errorText(result);
  if (kWindows) {
    // Wine may say something of its own before the program runs.
    ASSERT_GE(err.size(), expected.size()) << describe(result);
    EXPECT_EQ(err.substr(err.size() - expected.size()), expected) << describe(result);
    EXPECT_EQ(err.find(expected), err.size() - expected.size()) << describe(result);
  } else {
    EXPECT_EQ(err, expected);
  }
  EXPECT_EQ(result.out, "");
}

TEST_F(Messages, MessageLinesOverrideTheTableAndTheCaption) {
  // The first line for an identifier wins; escapes are resolved; malformed
  // identifiers are ignored.
  const ProcessResult result = launch(
      "message 0=zero\r\nmessage abc=x\r\nmessage 1=No Java here.\\nInstall one first.\r\n"
      "message 1=Second\r\nmessage 10=Problem\r\n");
  EXPECT_EQ(result.exitCode, 1) << describe(result);
  EXPECT_NE(errorText(result).find("Problem: No Java here.\nInstall one first.\n"), std::string::npos)
      << describe(result);
  EXPECT_EQ(errorText(result).find("Problem: Second"), std::string::npos) << describe(result);
}

TEST_F(Messages, OverridesFromTheExternalFileComeFirst) {
  const std::string exe = package(exeName("app"), kNoRuntime + "message 1=From the block\r\n", {}, kMessageTarget);
  writeFile(exe + ".cfg", "message 1=From the file\r\n");
  const ProcessResult result = run(exe);
  EXPECT_EQ(result.exitCode, 1) << describe(result);
  EXPECT_NE(errorText(result).find("Error: From the file\n"), std::string::npos) << describe(result);
}

}  // namespace
}  // namespace testing
}  // namespace xoq
