// Shared fixture of the end-to-end tests that run against both targets: the
// same source is built into the Linux and the Windows test binaries, and
// kTarget says which launcher this binary tests.
#ifndef XOQ_TESTS_E2E_COMMON_E2E_TEST_H_
#define XOQ_TESTS_E2E_COMMON_E2E_TEST_H_

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "support/files.h"
#include "support/packaging.h"

namespace xoq {
namespace testing {

constexpr Target kTarget = XOQ_E2E_WINDOWS ? Target::kWindows : Target::kLinux;
constexpr bool kWindows = XOQ_E2E_WINDOWS;
/// For runs that end in a fatal message: the console launcher on Windows,
/// which writes the message to standard error instead of showing a box that
/// nobody would close.
constexpr Target kMessageTarget = XOQ_E2E_WINDOWS ? Target::kWindowsConsole : Target::kLinux;

class EndToEnd : public ::testing::Test {
 protected:
  /// `base` with the executable extension of the target (".exe" on
  /// Windows; none on Linux).
  std::string exeName(const std::string& base) const { return kWindows ? base + ".exe" : base; }

  /// Packages `name` in the scratch directory.
  std::string package(const std::string& name, const std::string& config,
                      const std::vector<std::pair<std::string, std::string>>& files = {}, Target target = kTarget) {
    const std::string path = packageExecutable(target, dir_.file(name), config, files);
    EXPECT_FALSE(path.empty()) << "packaging " << name;
    return path;
  }

  ProcessResult run(const std::string& executable, const std::vector<std::string>& arguments = {},
                    RunOptions options = RunOptions()) {
    if (options.workingDirectory.empty()) options.workingDirectory = dir_.path();
    return runExecutable(kTarget, executable, arguments, options);
  }

  /// Exit code, trace and errors of a run, for failure messages.
  static std::string describe(const ProcessResult& result) {
    return "exit code " + std::to_string(result.exitCode) + ", signal " + std::to_string(result.signal) +
           (result.timedOut ? ", timed out" : "") + "\nstderr:\n" + result.err + "\nstdout:\n" + result.out;
  }

  TempDir dir_;
};

}  // namespace testing
}  // namespace xoq

#endif  // XOQ_TESTS_E2E_COMMON_E2E_TEST_H_
