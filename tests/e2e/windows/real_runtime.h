// The Windows launchers with a real Java runtime under Wine: the OpenJDK
// 11.0.2 image that scripts/windows-runtime.sh fetches (no java.desktop, so
// no AWT and no splashscreen.dll). Each test packages the test applications
// of tests/apps with the GUI or the console template and runs them as a
// user would; the runtime is found through JAVA_HOME unless a test says
// otherwise. A test skips, saying why, when the runtime could not be had.
#ifndef XOQ_TESTS_E2E_WINDOWS_REAL_RUNTIME_H_
#define XOQ_TESTS_E2E_WINDOWS_REAL_RUNTIME_H_

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/jdks.h"
#include "support/packaging.h"
#include "support/process.h"
#include "support/windows_runtime.h"

namespace xoq {
namespace testing {

class RealRuntime : public ::testing::Test {
 public:
  /// How long one run of the runtime may take: Wine on a busy machine
  /// starts a virtual machine in tens of seconds.
  static constexpr int kRunSeconds = 240;

 protected:
  void SetUp() override { XOQ_REQUIRE_WINDOWS_RUNTIME(); }

  /// The runtime's folder as the launcher spells it (Z:\...).
  static std::string javaHome() { return launcherPath(Target::kWindows, windowsRuntimeHome()); }

  /// `relative` below the scratch folder as the launcher spells it.
  std::string win(const std::string& relative) const { return launcherPath(Target::kWindows, dir_.file(relative)); }

  /// Where the build puts test application `name`'s files.
  static std::string testApp(const std::string& relative) {
    return std::string(XOQ_BUILD_DIR) + "/test-apps/" + relative;
  }

  /// Packages `name` in the scratch folder for `target` with `config` and
  /// further xoqpack arguments; empty (and a failure added) when xoqpack
  /// refused.
  std::string package(Target target, const std::string& name, const std::string& config,
                      const std::vector<std::string>& xoqpackArguments) {
    const std::string exe = packageWith(target, dir_.file(name), config, xoqpackArguments);
    EXPECT_FALSE(exe.empty()) << "packaging " << name;
    return exe;
  }

  /// Options for a run: the scratch folder as working directory, the
  /// runtime in JAVA_HOME, no JRE_HOME and no class path from the
  /// environment, the trace off.
  RunOptions options() const {
    RunOptions options;
    options.workingDirectory = dir_.path();
    options.setEnv["JAVA_HOME"] = javaHome();
    options.setEnv["XOQ_TRACE"] = "";
    options.unsetEnv = {"JRE_HOME", "CLASSPATH", "CLASS_PATH"};
    options.timeoutSeconds = kRunSeconds;
    return options;
  }

  /// Runs a packaged executable under Wine.
  ProcessResult run(Target target, const std::string& exe, const std::vector<std::string>& arguments = {}) {
    return run(target, exe, arguments, options());
  }
  ProcessResult run(Target target, const std::string& exe, const std::vector<std::string>& arguments,
                    const RunOptions& runOptions) {
    return runExecutable(target, exe, arguments, runOptions);
  }

  /// Runs the runtime's own java.exe with `arguments`.
  ProcessResult javaExe(const std::vector<std::string>& arguments, RunOptions runOptions = RunOptions()) {
    std::vector<std::string> command = {XOQ_WINE_PROGRAM, windowsRuntimeHome() + "/bin/java.exe"};
    command.insert(command.end(), arguments.begin(), arguments.end());
    if (runOptions.workingDirectory.empty()) runOptions.workingDirectory = dir_.path();
    runOptions.timeoutSeconds = kRunSeconds;
    return runProcess(command, runOptions);
  }

  /// Exit code and output of a run, for failure messages.
  static std::string describe(const ProcessResult& result) {
    return "exit code " + std::to_string(result.exitCode) + ", signal " + std::to_string(result.signal) +
           (result.timedOut ? ", timed out" : "") + "\nstdout:\n" + result.out.substr(0, 8000) + "\nstderr:\n" +
           result.err.substr(0, 8000);
  }

  /// `err` without what Wine itself writes there: its debug channels
  /// ("0024:err:..." lines) and its note on a missing 32-bit part, which a
  /// session's first program may get.
  static std::string withoutWineNotes(const std::string& err) {
    static const char* const kNotes[] = {"it looks like wine32 is missing", "multiarch needs to be enabled",
                                         "execute \"dpkg --add-architecture", "apt-get install wine32"};
    std::string kept;
    size_t start = 0;
    while (start < err.size()) {
      size_t end = err.find('\n', start);
      end = end == std::string::npos ? err.size() : end + 1;
      const std::string line = err.substr(start, end - start);
      bool note = line.size() > 5 && line[4] == ':' && line.find_first_not_of("0123456789abcdef") == 4;
      for (const char* text : kNotes) note = note || line.rfind(text, 0) == 0;
      if (!note) kept += line;
      start = end;
    }
    return kept;
  }

  /// The "key=value" lines of standard output.
  static std::map<std::string, std::string> values(const ProcessResult& result) { return parseKeyValues(result.out); }

  TempDir dir_;
};

}  // namespace testing
}  // namespace xoq

#endif  // XOQ_TESTS_E2E_WINDOWS_REAL_RUNTIME_H_
