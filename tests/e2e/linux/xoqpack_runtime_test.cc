// xoqpack with a runtime: what it writes beside and inside the program, and
// the one line it gives bad input (a folder that is not a runtime of the
// target, a jlink that fails, jmods of another version or system).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/jdks.h"
#include "support/packaging.h"
#include "support/refusal.h"
#include "support/windows_runtime.h"

namespace xoq {
namespace testing {
namespace {

namespace fs = std::filesystem;

std::string testRuntime() { return std::string(XOQ_BUILD_DIR) + "/test-runtime"; }
std::string helloJar() { return std::string(XOQ_BUILD_DIR) + "/examples/hello.jar"; }

// A JDK here with jmods, and one of another feature version, for the
// version check; empty when there is none.
std::string jdkWithJmods() {
  for (const std::string& home : installedJdkHomes()) {
    if (fs::exists(home + "/jmods/java.base.jmod") && fs::exists(home + "/bin/jlink")) return home;
  }
  return std::string();
}

std::string jdkOfAnotherVersion(const std::string& than) {
  for (const std::string& home : installedJdkHomes()) {
    if (fs::exists(home + "/bin/jlink") && std::stoi(jdkVersion(home)) != std::stoi(jdkVersion(than))) return home;
  }
  return std::string();
}

class XoqpackRuntime : public ::testing::Test {
 protected:
  std::vector<std::string> hello(const std::string& output, const std::string& target,
                                 const std::vector<std::string>& more) {
    std::vector<std::string> arguments = {"--target", target, "--add", helloJar() + "=hello.jar", "--output", output};
    arguments.insert(arguments.end(), more.begin(), more.end());
    return arguments;
  }
  TempDir dir_;
};

TEST_F(XoqpackRuntime, RefusesWhatCannotBeTheTargetsRuntime) {
  const std::string output = dir_.file("out/hello");
  fs::create_directories(dir_.file("out"));
  writeFile(dir_.file("plain/readme.txt"), "no runtime here");
  expectXoqpackRefuses(hello(output, "linux", {"--runtime", dir_.file("plain")}), output,
                       "is not a Java runtime image: a Linux target needs lib/server/libjvm.so in it");
  expectXoqpackRefuses(hello(output, "windows", {"--runtime", testRuntime()}), output,
                       "is a runtime of the other system: a Windows target needs bin/server/jvm.dll in it");
  if (!windowsRuntimeHome().empty()) {
    expectXoqpackRefuses(hello(output, "linux", {"--runtime", windowsRuntimeHome(), "--embed-runtime"}), output,
                         "is a runtime of the other system: a Linux target needs lib/server/libjvm.so in it");
  }
  expectXoqpackRefuses(hello(output, "linux", {"--embed-runtime"}), output,
                       "--embed-runtime needs a runtime: give --runtime DIR or --jlink");
  expectXoqpackRefuses(hello(output, "linux", {"--jlink", "--runtime", testRuntime()}), output,
                       "give either --runtime or --jlink, not both");
  expectXoqpackRefuses(hello(output, "linux", {"--jdk", testRuntime()}), output,
                       "--jdk, --jmods and --add-modules go with --jlink");
  expectXoqpackRefuses(hello(output, "linux", {"--jlink", "--jdk", testRuntime()}), output,
                       "has no bin/jlink: --jlink needs a JDK");

  // A jre/ that xoqpack did not write is left alone.
  writeFile(dir_.file("out/jre/mine.txt"), "the user's own");
  expectXoqpackRefuses(hello(output, "linux", {"--runtime", testRuntime()}), output,
                       dir_.file("out/jre") + " exists and was not written by xoqpack");
  EXPECT_EQ(readFile(dir_.file("out/jre/mine.txt")), "the user's own");
}

TEST_F(XoqpackRuntime, RefusesJmodsOfAnotherSystemOrVersionAndAFailedLink) {
  const std::string jdk = jdkWithJmods();
  if (jdk.empty()) GTEST_SKIP() << "no JDK with jmods here";
  const std::string output = dir_.file("hello");
  const std::string jmods = jdk + "/jmods";
  expectXoqpackRefuses(hello(output, "windows", {"--jlink", "--jdk", jdk}), output,
                       "a Windows runtime made with jlink needs the jmods of a Windows JDK", false);
  expectXoqpackRefuses(hello(output, "windows", {"--jlink", "--jdk", jdk, "--jmods", jmods}), output,
                       "the jmods in " + jmods + " are for linux-amd64, not for a Windows target", false);
  expectXoqpackRefuses(hello(output, "linux", {"--jlink", "--jdk", jdk, "--jmods", dir_.path()}), output,
                       "holds no java.base.jmod", false);
  const std::string other = jdkOfAnotherVersion(jdk);
  if (!other.empty()) {
    expectXoqpackRefuses(hello(output, "linux", {"--jlink", "--jdk", other, "--jmods", jmods}), output,
                         "the jmods in " + jmods + " are of Java " + jdkVersion(jdk) + " and the JDK's jlink of Java " +
                             jdkVersion(other) + ": jlink links only jmods of its own feature version",
                         false);
  }
  // jlink itself refuses a module that does not exist.
  expectXoqpackRefuses(hello(output, "linux", {"--jlink", "--jdk", jdk, "--add-modules", "no.such.module"}), output,
                       "jlink failed: Error: Module no.such.module not found", false);
  expectXoqpackRefuses(hello(output, "linux", {"--jlink", "--jdk", jdk, "--add-modules", "java.base,-x"}), output,
                       "--add-modules: \"-x\" is not a module name", false);
}

TEST_F(XoqpackRuntime, TheFolderFormReplacesItsOwnJreAndTheOneFileSearchesItsRuntimeFirst) {
  const std::string output = dir_.file("hello");
  ProcessResult result = runXoqpack(hello(output, "linux", {"--runtime", testRuntime()}), {}, 600);
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_TRUE(fs::exists(dir_.file("jre/lib/server/libjvm.so")));
  writeFile(dir_.file("jre/stale.txt"), "from the first run");
  // The second run puts a new jre/ in the place of its own, and nothing is
  // left beside it.
  result = runXoqpack(hello(output, "linux", {"--runtime", testRuntime()}), {}, 600);
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_FALSE(fs::exists(dir_.file("jre/stale.txt")));
  EXPECT_TRUE(fs::exists(dir_.file("jre/lib/server/libjvm.so")));
  std::vector<std::string> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(dir_.path())) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"hello", "jre"}));
  // The runtime beside the program is found by b: the usual order.
  EXPECT_NE(readFile(output).find("jre_order cbsiejvwf\r\n"), std::string::npos);

  // Carried: p comes first unless the configuration orders otherwise, and
  // then xoqpack says when the order leaves the carried runtime out.
  const std::string inside = dir_.file("inside");
  result = runXoqpack(hello(inside, "linux", {"--runtime", testRuntime(), "--embed-runtime"}), {}, 600);
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_NE(readFile(inside).find("jre_order pcbsiejvwf\r\n"), std::string::npos);
  writeFile(dir_.file("order.cfg"), "mainclass hello.Main\njre_order be\n");
  result = runXoqpack(
      hello(inside, "linux", {"--runtime", testRuntime(), "--embed-runtime", "--config", dir_.file("order.cfg")}), {},
      600);
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.err,
            "xoqpack: warning: the configuration's jre_order \"be\" leaves out p, so the program never uses the "
            "runtime it carries; add p where it should be tried\n");
  EXPECT_EQ(readFile(inside).find("jre_order pcbsie"), std::string::npos);
  EXPECT_NE(readFile(inside).find("jre_order be\r\n"), std::string::npos);
}

}  // namespace
}  // namespace testing
}  // namespace xoq
