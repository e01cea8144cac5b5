// Packaging straight from an application jar (xoqpack --jar), against
// `java -jar` over the same jar on each JDK: jars that depend on their
// manifest's Class-Path, and Debian's clojure jar, whose Class-Path names
// absolute paths.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/jdks.h"
#include "support/packaging.h"
#include "support/refusal.h"

namespace xoq {
namespace testing {
namespace {

std::string classPathJar(const std::string& name) {
  return std::string(XOQ_BUILD_DIR) + "/test-apps/classpath/" + name;
}

class PackageFromJar : public ::testing::TestWithParam<std::string> {
 protected:
  // Packages with xoqpack's own arguments, then runs the executable with
  // this test's JDK, chosen through an external configuration file.
  ProcessResult packAndRun(const std::vector<std::string>& xoqpackArguments,
                           const std::vector<std::string>& arguments) {
    const std::string exe = dir_.file("app");
    std::vector<std::string> command = {"--target", "linux", "--output", exe};
    command.insert(command.end(), xoqpackArguments.begin(), xoqpackArguments.end());
    const ProcessResult packed = runXoqpack(command);
    EXPECT_EQ(packed.exitCode, 0) << packed.err;
    writeFile(exe + ".cfg", "jre_order e\r\n");
    return runExecutable(Target::kLinux, exe, arguments, options());
  }

  ProcessResult javaJar(const std::string& jar, const std::vector<std::string>& arguments) {
    std::vector<std::string> command = {GetParam() + "/bin/java", "-jar", jar};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return runProcess(command, options());
  }

  RunOptions options() const {
    RunOptions options;
    options.setEnv["JAVA_HOME"] = GetParam();
    options.setEnv["XOQ_TRACE"] = "";
    options.timeoutSeconds = 240;
    return options;
  }

  TempDir dir_;
};

TEST_P(PackageFromJar, FollowsAChainOfRelativeClassPathEntriesAsJavaDoes) {
  const ProcessResult expected = javaJar(classPathJar("app.jar"), {"a", "b c"});
  ASSERT_EQ(expected.exitCode, 0) << expected.err;
  ASSERT_EQ(expected.out, "main one>two+three a,b c\n");
  const ProcessResult packaged = packAndRun({"--jar", classPathJar("app.jar")}, {"a", "b c"});
  EXPECT_EQ(packaged.exitCode, 0) << packaged.err;
  EXPECT_EQ(packaged.out, expected.out);

  // Each jar once, the application jar at the top, the others under lib/.
  const ProcessResult listing = runProcess({"jar", "tf", dir_.file("app")});
  std::vector<std::string> jars;
  std::istringstream lines(listing.out);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.size() > 4 && line.compare(line.size() - 4, 4, ".jar") == 0) jars.push_back(line);
  }
  EXPECT_EQ(jars, std::vector<std::string>({"app.jar", "lib/one.jar", "lib/two.jar", "lib/with space.jar"}));

  // A main class in the configuration wins over the jar's.
  writeFile(dir_.file("other.cfg"), "mainclass cpapp.Other\n");
  const ProcessResult other = packAndRun({"--jar", classPathJar("app.jar"), "--config", dir_.file("other.cfg")}, {});
  EXPECT_EQ(other.out, "other two\n") << other.err;
}

TEST_P(PackageFromJar, DebiansClojureWithItsAbsoluteClassPath) {
  const std::string clojure = "/usr/share/java/clojure.jar";
  // clojure.core.specs.alpha lives in one of the jars the Class-Path names.
  const std::vector<std::string> arguments = {"-e",
                                              "(require 'clojure.core.specs.alpha) (println (+ 1 2) (clojure-version) "
                                              "(ns-name (the-ns 'clojure.core.specs.alpha)))"};
  const ProcessResult expected = javaJar(clojure, arguments);
  ASSERT_EQ(expected.exitCode, 0) << expected.err;
  const ProcessResult packaged = packAndRun({"--jar", clojure}, arguments);
  EXPECT_EQ(packaged.exitCode, 0) << packaged.err;
  EXPECT_EQ(packaged.out, expected.out);
  EXPECT_EQ(packaged.out.rfind("3 1.11", 0), 0u) << packaged.out;
}

INSTANTIATE_TEST_SUITE_P(EveryJdk, PackageFromJar, ::testing::ValuesIn(installedJdkHomes()),
                         [](const ::testing::TestParamInfo<std::string>& param) {
                           return jdkParameterName(param.param);
                         });

TEST(PackageFromJarInput, MissingClassPathEntriesAreNamedAndCanBeLeftOut) {
  TempDir dir;
  const std::string output = dir.file("app");
  expectXoqpackRefuses({"--target", "linux", "--jar", classPathJar("broken.jar"), "--output", output}, output,
                       "broken.jar names lib/absent.jar in its Class-Path");
  expectXoqpackRefuses({"--target", "linux", "--jar", dir.file("none.jar"), "--output", output}, output, "none.jar");
  // Without a Main-Class, the configuration must name one.
  expectXoqpackRefuses({"--target", "linux", "--jar", classPathJar("lib/two.jar"), "--output", output}, output,
                       "has no Main-Class");

  const ProcessResult packed =
      runXoqpack({"--target", "linux", "--jar", classPathJar("broken.jar"), "--no-class-path", "--output", output});
  EXPECT_EQ(packed.exitCode, 0) << packed.err;
  const ProcessResult listing = runProcess({"jar", "tf", output});
  EXPECT_NE(listing.out.find("\nbroken.jar\n"), std::string::npos) << listing.out;
  EXPECT_EQ(listing.out.find("lib/"), std::string::npos) << listing.out;
}

}  // namespace
}  // namespace testing
}  // namespace xoq
