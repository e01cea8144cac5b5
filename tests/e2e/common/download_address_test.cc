// Where to get Java, when no runtime is found: the `downloadurl` key. A
// console program (the Windows console launcher, every Linux launcher)
// prints the address below message 1; the GUI launcher's question box has
// a test of its own (windows/download_question_test.cc).
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "e2e/common/e2e_test.h"

namespace xoq {
namespace testing {
namespace {

// No runtime can be found with this order and no `jvmdll`.
const std::string kNoRuntime = "jre_order c\r\n";

class DownloadAddress : public EndToEnd {
 protected:
  // Standard error of a run of a program packaged with `config`, as the
  // user reads it (without the CR of the Windows C runtime's line ends).
  std::string errorsOf(const std::string& name, const std::string& config,
                       const std::map<std::string, std::string>& environment = {}) {
    const std::string exe = package(exeName(name), kNoRuntime + config, {}, kMessageTarget);
    RunOptions quiet;
    quiet.setEnv = environment;
    quiet.setEnv["XOQ_TRACE"] = "";
    const ProcessResult result = run(exe, {}, quiet);
    EXPECT_EQ(result.exitCode, 1) << describe(result);
    return withoutCarriageReturns(result.err);
  }

  // True when `err` ends with `expected` and has nothing of it before: Wine
  // may say something of its own before the program runs.
  static bool endsWithOnly(const std::string& err, const std::string& expected) {
    return err.size() >= expected.size() && err.find(expected) == err.size() - expected.size();
  }
};

TEST_F(DownloadAddress, PrintedBelowMessageOneOnlyWhenItIsAWebAddress) {
  const std::string notFound = "Error: Java Runtime Environment not found.\n";
  // Without the key, message 1 exactly.
  const std::string plain = errorsOf("plain", "");
  EXPECT_TRUE(endsWithOnly(plain, notFound)) << plain;
  EXPECT_EQ(plain.find("download"), std::string::npos) << plain;

  // With it, the address on a line of its own, its references expanded.
  const std::string offered =
      errorsOf("offered", "downloadurl https://example.org/java?app=${XOQ_TEST_APP}\r\n", {{"XOQ_TEST_APP", "notes"}});
  EXPECT_TRUE(endsWithOnly(offered, notFound + "Java can be downloaded from https://example.org/java?app=notes\n"))
      << offered;

  // Its text is a message like the others.
  const std::string own = errorsOf("own", "downloadurl http://example.org/\r\nmessage 15=Get Java: %s (free)\r\n");
  EXPECT_TRUE(endsWithOnly(own, notFound + "Get Java: http://example.org/ (free)\n")) << own;

  // Anything but a web address is not offered at all: handed to the system
  // to open, it could run a program.
  const std::string refused = errorsOf("refused", "downloadurl file:///bin/sh\r\n");
  EXPECT_TRUE(endsWithOnly(refused, notFound)) << refused;
  EXPECT_EQ(refused.find("file:"), std::string::npos) << refused;
  EXPECT_EQ(refused.find("downloaded"), std::string::npos) << refused;
}

}  // namespace
}  // namespace testing
}  // namespace xoq
