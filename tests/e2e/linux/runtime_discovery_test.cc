// Finding the Java that people install on Linux, without configuring it:
// the order xoqpack writes, the java on PATH through its chain of links,
// SDKMAN's candidates, and the JDKs under /usr/lib/jvm chosen by the
// version bounds. Real runtimes throughout: the JDK 17 and the Temurin 25
// installed here.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/jdks.h"
#include "support/packaging.h"

namespace xoq {
namespace testing {
namespace {

namespace fs = std::filesystem;

const std::string kProbeMain = "mainclass probe.Probe\r\n";

class RuntimeDiscovery : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const std::string& home : installedJdkHomes()) {
      const std::string version = jdkVersion(home);
      if (version.rfind("17.", 0) == 0) jdk17_ = home;
      if (version.rfind("25", 0) == 0) jdk25_ = home;
    }
    ASSERT_FALSE(jdk17_.empty()) << "no JDK 17 under /usr/lib/jvm";
    ASSERT_FALSE(jdk25_.empty()) << "no JDK 25 under /usr/lib/jvm";
    // A home of its own, so that no SDKMAN folder of the machine's user
    // takes part unless a test makes one.
    fs::create_directories(dir_.file("home"));
  }

  std::string probe(const std::string& config, const std::string& name) {
    const std::string exe =
        packageWith(Target::kLinux, dir_.file(name), kProbeMain + config, {"--add-tree", testAppClasses("probe")});
    EXPECT_FALSE(exe.empty());
    return exe;
  }

  // Runs with no JAVA_HOME or JRE_HOME, HOME in the scratch folder, and
  // `environment` on top.
  ProcessResult run(const std::string& exe, const std::map<std::string, std::string>& environment = {}) {
    RunOptions options;
    options.workingDirectory = dir_.path();
    options.setEnv = {{"HOME", dir_.file("home")}};
    for (const auto& entry : environment) options.setEnv[entry.first] = entry.second;
    options.unsetEnv = {"JAVA_HOME", "JRE_HOME", "SDKMAN_DIR", "CLASSPATH", "CLASS_PATH"};
    options.timeoutSeconds = 120;
    return runExecutable(Target::kLinux, exe, {}, options);
  }

  static std::string javaVersion(const ProcessResult& result) { return parseKeyValues(result.out)["java.version"]; }

  static std::string describe(const ProcessResult& result) {
    return "exit " + std::to_string(result.exitCode) + "\nstdout:\n" + result.out + "\nstderr:\n" + result.err;
  }

  // `link` made a symbolic link to `target`, replacing what was there.
  static void link(const std::string& target, const std::string& link) {
    fs::create_directories(fs::path(link).parent_path());
    std::error_code ignored;
    fs::remove(link, ignored);
    fs::create_symlink(target, link);
  }

  std::string jdk17_;
  std::string jdk25_;
  TempDir dir_;
};

TEST_F(RuntimeDiscovery, XoqpackWritesTheOrderUnlessTheConfigurationHasOne) {
  // No jre_order: the launcher's default and the methods added since.
  const ProcessResult plain = run(probe("", "plain"));
  EXPECT_EQ(plain.exitCode, 0) << describe(plain);
  EXPECT_TRUE(traced(plain, "runtime search order: cbsiejvwf")) << describe(plain);
  // An order of the configuration's own stands, and so does an empty one,
  // which the launcher reads as its default.
  const ProcessResult own = run(probe("jre_order be\r\n", "own"), {{"JAVA_HOME", jdk17_}});
  EXPECT_TRUE(traced(own, "runtime search order: be")) << describe(own);
  const ProcessResult empty = run(probe("jre_order\r\n", "empty"));
  EXPECT_TRUE(traced(empty, "runtime search order: cbsie")) << describe(empty);
  // xoqpack says so in its help.
  const ProcessResult help = runXoqpack({"--help"});
  EXPECT_NE(help.out.find("jre_order cbsiejvwf"), std::string::npos) << help.out;
}

TEST_F(RuntimeDiscovery, JavaOnPathThroughItsLinksPastALauncherOutsideARuntime) {
  // /usr/bin/java -> /etc/alternatives/java -> <jdk>/bin/java, built in the
  // scratch folder; before it on PATH a java that sits in no runtime.
  writeFile(dir_.file("stub/java"), "#!/bin/sh\nexit 1\n");
  makeExecutable(dir_.file("stub/java"));
  link(dir_.file("alternatives/java"), dir_.file("usr-bin/java"));
  link(jdk25_ + "/bin/java", dir_.file("alternatives/java"));
  const std::string path = dir_.file("stub") + ":" + dir_.file("nothing-here") + ":" + dir_.file("usr-bin");
  const std::string exe = probe("jre_order w\r\n", "app");

  const ProcessResult newest = run(exe, {{"PATH", path}});
  ASSERT_EQ(newest.exitCode, 0) << describe(newest);
  EXPECT_EQ(javaVersion(newest), jdkVersion(jdk25_));
  EXPECT_TRUE(
      traced(newest, dir_.file("stub/java") + " (" + dir_.file("stub/java") + ") is not inside a runtime, passed over"))
      << describe(newest);
  EXPECT_TRUE(traced(newest, "runtime library chosen (method w): " + jdk25_ + "/lib/server/libjvm.so"))
      << describe(newest);

  // The alternative switched to the other JDK: that one runs.
  link(jdk17_ + "/bin/java", dir_.file("alternatives/java"));
  const ProcessResult switched = run(exe, {{"PATH", path}});
  ASSERT_EQ(switched.exitCode, 0) << describe(switched);
  EXPECT_EQ(javaVersion(switched), jdkVersion(jdk17_));

  // Only the stub: nothing found, message 1.
  const ProcessResult none = run(exe, {{"PATH", dir_.file("stub")}});
  EXPECT_EQ(none.exitCode, 1) << describe(none);
  EXPECT_NE(none.err.find("Java Runtime Environment not found."), std::string::npos) << describe(none);
}

TEST_F(RuntimeDiscovery, SdkmanCandidates) {
  // SDKMAN's layout: one folder per installed version, and "current".
  const std::string candidates = dir_.file("home/.sdkman/candidates/java");
  link(jdk17_, candidates + "/17.0.15-tem");
  link(jdk25_, candidates + "/25.0.3-tem");
  link(candidates + "/25.0.3-tem", candidates + "/current");
  // And a runtime that only SDKMAN's folder holds: the 25's files under a
  // version of its own (its own release file), so that the choice below can
  // come from nowhere else.
  const std::string relabelled = candidates + "/26.0.1-relabelled";
  fs::create_directories(relabelled);
  for (const fs::directory_entry& entry : fs::directory_iterator(jdk25_)) {
    if (entry.path().filename() != "release")
      link(entry.path().string(), relabelled + "/" + entry.path().filename().string());
  }
  writeFile(relabelled + "/release", "JAVA_VERSION=\"26.0.1\"\n");

  const ProcessResult newest = run(probe("jre_order f\r\n", "newest"));
  ASSERT_EQ(newest.exitCode, 0) << describe(newest);
  EXPECT_TRUE(traced(newest, "runtime method f: " + candidates + ": 4 folders")) << describe(newest);
  EXPECT_TRUE(traced(newest, "runtime library chosen (method f): " + relabelled + "/lib/server/libjvm.so"))
      << describe(newest);
  // The same runtime through /usr/lib/jvm and SDKMAN's link counts once.
  EXPECT_TRUE(
      traced(newest, "runtime method f: " + candidates + "/17.0.15-tem/lib/server/libjvm.so (" + candidates + ") is "))
      << describe(newest);

  // SDKMAN_DIR names SDKMAN's folder when it is set.
  fs::rename(dir_.file("home/.sdkman"), dir_.file("sdkman"));
  const ProcessResult moved = run(probe("jre_order f\r\n", "moved"), {{"SDKMAN_DIR", dir_.file("sdkman")}});
  ASSERT_EQ(moved.exitCode, 0) << describe(moved);
  EXPECT_TRUE(traced(moved, "runtime library chosen (method f): " + dir_.file("sdkman") +
                                "/candidates/java/26.0.1-relabelled/lib/server/libjvm.so"))
      << describe(moved);
}

TEST_F(RuntimeDiscovery, SeveralJdksChosenByTheBounds) {
  const ProcessResult newest = run(probe("jre_order f\r\n", "newest"));
  ASSERT_EQ(newest.exitCode, 0) << describe(newest);
  EXPECT_EQ(javaVersion(newest), jdkVersion(jdk25_));
  EXPECT_TRUE(traced(newest, "runtime method f: chose ")) << describe(newest);

  const ProcessResult capped = run(probe("jre_order f\r\nmaxjre 17\r\n", "capped"));
  ASSERT_EQ(capped.exitCode, 0) << describe(capped);
  EXPECT_EQ(javaVersion(capped), jdkVersion(jdk17_));
  EXPECT_TRUE(traced(capped, "(" + jdkVersion(jdk25_) + ") is outside minjre \"\" and maxjre \"17\""))
      << describe(capped);

  const ProcessResult floor = run(probe("jre_order f\r\nminjre 21\r\n", "floor"));
  ASSERT_EQ(floor.exitCode, 0) << describe(floor);
  EXPECT_EQ(javaVersion(floor), jdkVersion(jdk25_));

  // Between the two: none fits, and nothing else is searched.
  const ProcessResult between = run(probe("jre_order f\r\nminjre 18\r\nmaxjre 24\r\n", "between"));
  EXPECT_EQ(between.exitCode, 1) << describe(between);
  EXPECT_TRUE(traced(between, "runtimes found fits the bounds")) << describe(between);
  EXPECT_NE(between.err.find("Java Runtime Environment not found."), std::string::npos) << describe(between);
}

}  // namespace
}  // namespace testing
}  // namespace xoq
