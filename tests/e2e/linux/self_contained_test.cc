// Programs that bring their own Java: examples/hello packaged with a runtime
// that xoqpack --jlink makes from each JDK that can link one (JDK 17 from
// its jmods, JDK 24 and later from their own image), beside the executable
// as jre/ and inside it, run where no Java is installed.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/hidden_java.h"
#include "support/jdks.h"
#include "support/packaging.h"

namespace xoq {
namespace testing {
namespace {

namespace fs = std::filesystem;

const char kHelloLine[] = "Hello from a Java program packaged with xoq.\n";

// The JDKs here whose jlink can make a runtime: with jmods, or from JDK 24
// on linked from their own image.
std::vector<std::string> linkingJdks() {
  std::vector<std::string> homes;
  for (const std::string& home : installedJdkHomes()) {
    if (!fs::exists(home + "/bin/jlink")) continue;
    if (fs::exists(home + "/jmods") || std::stoi(jdkVersion(home)) >= 24) homes.push_back(home);
  }
  return homes;
}

class SelfContained : public ::testing::TestWithParam<std::string> {
 protected:
  // xoqpack of examples/hello with a runtime linked by this JDK.
  ProcessResult pack(const std::string& output, const std::vector<std::string>& more) {
    std::vector<std::string> arguments = {"--target", "linux",
                                          "--config", std::string(XOQ_SOURCE_DIR) + "/examples/hello/hello.cfg",
                                          "--add",    std::string(XOQ_BUILD_DIR) + "/examples/hello.jar=hello.jar",
                                          "--jlink",  "--jdk",
                                          GetParam(), "--output",
                                          output};
    arguments.insert(arguments.end(), more.begin(), more.end());
    return runXoqpack(arguments, {}, 900);
  }

  // Runs `program` with no Java installed, its cache in `cache`.
  ProcessResult runWithoutJava(const std::string& program, const std::string& cache,
                               const std::vector<std::string>& environment = {}) {
    RunOptions options = withoutJavaEnvironment(RunOptions());
    options.setEnv["XOQ_TRACE"] = "1";
    options.setEnv["XDG_CACHE_HOME"] = cache;
    for (size_t i = 0; i + 1 < environment.size(); i += 2) options.setEnv[environment[i]] = environment[i + 1];
    options.timeoutSeconds = 240;
    return runProcess(withoutJava({program}), options);
  }

  TempDir dir_;
};

TEST_P(SelfContained, RunsWhereNoJavaIsInstalledBesideAndInside) {
  if (!canHideJava()) GTEST_SKIP() << "no mount namespaces here to hide the installed JDKs";
  const std::string version = jdkVersion(GetParam());

  // Beside: the program and jre/, found by the default search.
  const std::string beside = dir_.file("beside/hello");
  fs::create_directories(dir_.file("beside"));
  ProcessResult packed = pack(beside, {});
  ASSERT_EQ(packed.exitCode, 0) << packed.err;
  EXPECT_EQ(packed.err, "");
  EXPECT_NE(packed.out.find("xoqpack: runtime Java " + version + " (java.base): "), std::string::npos) << packed.out;
  EXPECT_NE(packed.out.find(", in " + dir_.file("beside/jre")), std::string::npos) << packed.out;
  // No commands, a class data archive of its own, and the mark that lets
  // the next run replace the folder.
  EXPECT_FALSE(fs::exists(dir_.file("beside/jre/bin")));
  EXPECT_TRUE(fs::exists(dir_.file("beside/jre/lib/server/classes.jsa")));
  EXPECT_TRUE(fs::exists(dir_.file("beside/jre/.xoqpack-runtime")));

  // Inside: one file.
  const std::string inside = dir_.file("inside/hello");
  fs::create_directories(dir_.file("inside"));
  packed = pack(inside, {"--embed-runtime"});
  ASSERT_EQ(packed.exitCode, 0) << packed.err;
  EXPECT_NE(packed.out.find(", carried inside the executable compressed to "), std::string::npos) << packed.out;
  EXPECT_FALSE(fs::exists(dir_.file("inside/jre")));
  EXPECT_LT(fs::file_size(inside), fs::file_size(beside) + 40000000);

  // Java is truly gone in there.
  RunOptions plain = withoutJavaEnvironment(RunOptions());
  EXPECT_NE(runProcess(withoutJava({"java", "-version"}), plain).exitCode, 0);

  ProcessResult run = runWithoutJava(beside, dir_.file("cache"));
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out.rfind(kHelloLine, 0), 0u) << run.out;
  EXPECT_NE(run.out.find("Java " + version + " from " + dir_.file("beside/jre") + "\n"), std::string::npos) << run.out;
  EXPECT_TRUE(traced(run, "runtime library chosen (method b)"));

  // The one file, copied alone into an empty folder elsewhere: the first
  // start unpacks its runtime into the user's cache, the next finds it.
  TempDir elsewhere;
  const std::string copy = elsewhere.file("hello");
  fs::copy_file(inside, copy);
  makeExecutable(copy);
  for (int start = 0; start < 2; ++start) {
    run = runWithoutJava(copy, dir_.file("cache"));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out.rfind(kHelloLine, 0), 0u) << run.out;
    EXPECT_NE(run.out.find("Java " + version + " from " + dir_.file("cache/xoq/runtimes/")), std::string::npos)
        << run.out;
    EXPECT_TRUE(traced(run, "runtime library chosen (method p)"));
    EXPECT_EQ(traced(run, "marker written"), start == 0);
  }
  // Nothing was unpacked beside it.
  EXPECT_EQ(std::distance(fs::directory_iterator(elsewhere.path()), fs::directory_iterator()), 1);

  // The class data archive maps from where the runtime was unpacked:
  // -Xshare:on makes a runtime that cannot use it refuse to start.
  for (const std::string& program : {beside, copy}) {
    run = runWithoutJava(program, dir_.file("cache"), {"JAVA_TOOL_OPTIONS", "-Xshare:on"});
    EXPECT_EQ(run.exitCode, 0) << program << run.err;
    EXPECT_EQ(run.out.rfind(kHelloLine, 0), 0u) << run.out;
  }
}

std::string jdkName(const ::testing::TestParamInfo<std::string>& info) { return jdkParameterName(info.param); }

INSTANTIATE_TEST_SUITE_P(LinkingJdks, SelfContained, ::testing::ValuesIn(linkingJdks()), jdkName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(SelfContained);

}  // namespace
}  // namespace testing
}  // namespace xoq
