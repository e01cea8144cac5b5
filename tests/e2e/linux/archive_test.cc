// An application carried entirely inside the executable, on every JDK
// installed here: classes from jars nested in the payload, package
// attributes from their manifests, resources and "xoq:" URLs, services,
// arguments, and many threads reading at once.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/jdks.h"
#include "support/packaging.h"

namespace xoq {
namespace testing {
namespace {

std::string archiveApp(const std::string& relative) {
  return std::string(XOQ_BUILD_DIR) + "/test-apps/archive/" + relative;
}

class NestedArchive : public ::testing::TestWithParam<std::string> {
 protected:
  // The probe application: app.jar and three library jars nested in the
  // payload, loose files at its top.
  std::map<std::string, std::string> launch(const std::string& config, const std::vector<std::string>& arguments = {},
                                            const std::string& name = "app") {
    const std::string exe = packageWith(
        Target::kLinux, dir_.file(name), "jre_order e\r\n" + config,
        {"--add", archiveApp("app.jar") + "=app.jar", "--add", archiveApp("lib/util.jar") + "=lib/util.jar", "--add",
         archiveApp("lib/other.jar") + "=lib/other.jar", "--add", archiveApp("lib/outer.jar") + "=lib/outer.jar",
         "--add-tree", std::string(XOQ_SOURCE_DIR) + "/tests/apps/archive/top"});
    EXPECT_FALSE(exe.empty());
    exe_ = exe;
    RunOptions options;
    options.workingDirectory = dir_.path();
    options.setEnv["JAVA_HOME"] = GetParam();
    options.setEnv["XOQ_TRACE"] = trace_ ? "1" : "";
    options.unsetEnv = {"JRE_HOME", "CLASSPATH", "CLASS_PATH"};
    options.timeoutSeconds = 120;
    result_ = runExecutable(Target::kLinux, exe, arguments, options);
    return parseKeyValues(result_.out);
  }

  std::string describe() const {
    return "exit " + std::to_string(result_.exitCode) + "\nstdout:\n" + result_.out + "\nstderr:\n" + result_.err;
  }

  // How many trace lines contain `text`.
  size_t traceCount(const std::string& text) const {
    size_t count = 0;
    for (const std::string& line : traceLines(result_)) count += line.find(text) != std::string::npos;
    return count;
  }

  bool trace_ = false;
  TempDir dir_;
  std::string exe_;
  ProcessResult result_;
};

const std::string kMain = "mainclass aprobe.Main\r\n";

TEST_P(NestedArchive, ClassesAndPackagesFromNestedJars) {
  std::map<std::string, std::string> values = launch(kMain);
  ASSERT_EQ(result_.exitCode, 0) << describe();
  EXPECT_EQ(result_.err, "") << describe();
  EXPECT_EQ(values["loader"], "com.tarvolin.xoq.HolvaneClassLoader");
  EXPECT_EQ(values["loader.isSystem"], "true");
  EXPECT_EQ(values["util.greet"], "util greets you");
  EXPECT_EQ(values["util.loader"], "same");
  EXPECT_EQ(values["package.aprobe.version"], "1.2.3");
  EXPECT_EQ(values["package.aprobe.title"], "archive probe");
  EXPECT_EQ(values["package.util.version"], "4.5.6");
  EXPECT_EQ(values["package.other.version"], "null");
  // Two jars deep: not served from the payload.
  EXPECT_EQ(values["deep"], "not found");
  EXPECT_EQ(values["services"], "[util.UtilGreeter, other.OtherGreeter]");
}

TEST_P(NestedArchive, ClassTwoJarsDeepComesFromTheClassPath) {
  writeFile(dir_.file("deep/inner.jar"), readFile(archiveApp("deep/inner.jar")));
  std::map<std::string, std::string> values = launch(kMain + "classpath deep/inner.jar\r\n");
  ASSERT_EQ(result_.exitCode, 0) << describe();
  EXPECT_EQ(values["deep"], "deep from file:" + dir_.file("deep/inner.jar")) << describe();
}

TEST_P(NestedArchive, ResourcesInTheirOrder) {
  std::map<std::string, std::string> values = launch(kMain);
  ASSERT_EQ(result_.exitCode, 0) << describe();
  const std::string top = "jar:file:" + exe_ + "!/";
  // The runtime's own loader has the executable on its class path and is
  // asked first; the launcher's loader then adds the payload's entries, top
  // level first, then the nested jars in their order.
  EXPECT_EQ(values["resource.top"], top + "probe/top.txt");
  EXPECT_EQ(values["resource.top.content"], "top-level resource");
  EXPECT_EQ(values["resources.shared"], "[" + top + "shared.txt, xoq:shared.txt, xoq:lib/util.jar!shared.txt]");
  EXPECT_EQ(values["resource.backslash"], "xoq:probe/top.txt");
  EXPECT_EQ(values["resource.missing"], "null");
  EXPECT_EQ(values["resource.missingStream"], "null");
  EXPECT_EQ(values["resource.manifest"], "xoq:app.jar!META-INF/MANIFEST.MF");
}

TEST_P(NestedArchive, XoqUrls) {
  std::map<std::string, std::string> values = launch(kMain);
  ASSERT_EQ(result_.exitCode, 0) << describe();
  EXPECT_EQ(values["url.space"], "a name with blanks");
  EXPECT_EQ(values["url.upper"], "top-level resource");
  EXPECT_EQ(values["url.twoLevels"], "inside the inner jar");
  EXPECT_EQ(values["url.missing"], "null");
  EXPECT_EQ(values["url.contentType"], "text/plain");
  // Class files read through "xoq:" URLs are empty unless compatible says
  // otherwise.
  EXPECT_EQ(values["url.class"], "xoq:app.jar!aprobe/Main.class");
  EXPECT_EQ(values["url.class.length"], "0");
  std::map<std::string, std::string> compatible = launch(kMain + "compatible TRUE\r\n", {}, "compatible");
  EXPECT_GT(std::stoi(compatible["url.class.length"]), 1000) << describe();
}

TEST_P(NestedArchive, ManifestsAndUrlsAreReadOnce) {
  trace_ = true;
  std::map<std::string, std::string> values = launch(kMain);
  ASSERT_EQ(result_.exitCode, 0) << describe();
  // Every class of package aprobe comes from app.jar; its manifest is read
  // for the first one only.
  EXPECT_GE(traceCount("class aprobe\\"), 3u) << describe();
  EXPECT_EQ(traceCount("resource xoq:app.jar!META-INF\\MANIFEST.MF: served"), 1u) << describe();
  EXPECT_EQ(traceCount("resource xoq:lib\\util.jar!META-INF\\MANIFEST.MF: served"), 1u) << describe();
  // The same URL opened twice is read from the entry once.
  EXPECT_EQ(values["url.space.again"], "a name with blanks");
  EXPECT_EQ(traceCount("resource xoq:dir%20with%20space\\file.txt"), 1u) << describe();
}

TEST_P(NestedArchive, LoaderClassPathSkipsEmptyPieces) {
  std::map<std::string, std::string> values = launch(kMain);
  ASSERT_EQ(result_.exitCode, 0) << describe();
  EXPECT_EQ(values["xoqClassPath.count"], "2");
  EXPECT_EQ(values["xoqClassPath"], "[file:" + dir_.path() + "/a, file:" + dir_.path() + "/b]");
}

TEST_P(NestedArchive, ConfiguredArgumentsThenTheCommandLine) {
  std::map<std::string, std::string> values = launch(kMain + "argv a \"b c\"\r\nargv d\r\n", {"x", "y"});
  ASSERT_EQ(result_.exitCode, 0) << describe();
  EXPECT_EQ(values["args"], "5");
  EXPECT_EQ(values["arg0"], "a");
  EXPECT_EQ(values["arg1"], "b c");
  EXPECT_EQ(values["arg2"], "d");
  EXPECT_EQ(values["arg3"], "x");
  EXPECT_EQ(values["arg4"], "y");
}

TEST_P(NestedArchive, SeparateLoaderWhenNotTheSystemClassLoader) {
  std::map<std::string, std::string> values = launch(kMain + "assystemclassloader False\r\n");
  ASSERT_EQ(result_.exitCode, 0) << describe();
  EXPECT_EQ(values["loader"], "com.tarvolin.xoq.HolvaneClassLoader");
  EXPECT_EQ(values["loader.isSystem"], "false");
  EXPECT_EQ(values["loader.isContext"], "true");
  EXPECT_EQ(values["package.util.version"], "4.5.6");
}

TEST_P(NestedArchive, ExitStatusExceptionsAndMisspeltMainClass) {
  launch(kMain + "property probe.action=exit:3\r\n", {}, "exits");
  EXPECT_EQ(result_.exitCode, 3) << describe();
  launch(kMain + "property probe.action=throw\r\n", {}, "throws");
  EXPECT_EQ(result_.exitCode, 1) << describe();
  EXPECT_NE(result_.err.find("IllegalStateException: thrown by the archive probe"), std::string::npos) << describe();
  launch("mainclass aprobe.Mian\r\n", {}, "misspelt");
  EXPECT_EQ(result_.exitCode, 7) << describe();
  EXPECT_NE(result_.err.find("java.lang.ClassNotFoundException: aprobe.Mian"), std::string::npos) << describe();
}

TEST_P(NestedArchive, ManyThreadsAtOnce) {
  std::map<std::string, std::string> values = launch(kMain + "property probe.action=threads\r\n");
  ASSERT_EQ(result_.exitCode, 0) << describe();
  EXPECT_EQ(values["threads.failures"], "0") << describe();
  EXPECT_EQ(values["threads.reads"], "3200") << describe();
}

INSTANTIATE_TEST_SUITE_P(EveryJdk, NestedArchive, ::testing::ValuesIn(installedJdkHomes()),
                         [](const ::testing::TestParamInfo<std::string>& param) {
                           return jdkParameterName(param.param);
                         });

}  // namespace
}  // namespace testing
}  // namespace xoq
