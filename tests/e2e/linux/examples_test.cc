// The packaged examples, as a user runs them, with every JDK installed here
// (chosen through an external configuration file beside a copy).
#include <gtest/gtest.h>

#include <string>

#include "support/files.h"
#include "support/jdks.h"
#include "support/packaging.h"

namespace xoq {
namespace testing {
namespace {

class Examples : public ::testing::TestWithParam<std::string> {
 protected:
  ProcessResult runExample(const std::string& name, const std::vector<std::string>& arguments) {
    const std::string copy = dir_.file(name);
    writeFile(copy, readFile(std::string(XOQ_BUILD_DIR) + "/examples/" + name));
    makeExecutable(copy);
    writeFile(copy + ".cfg", "jre_order e\r\n");
    RunOptions options;
    options.setEnv["JAVA_HOME"] = GetParam();
    options.setEnv["XOQ_TRACE"] = "";
    options.timeoutSeconds = 120;
    return runExecutable(Target::kLinux, copy, arguments, options);
  }
  TempDir dir_;
};

TEST_P(Examples, Hello) {
  const ProcessResult result = runExample("hello", {"one", "two words"});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.err, "");
  EXPECT_NE(result.out.find("Hello from a Java program packaged with xoq."), std::string::npos) << result.out;
  EXPECT_NE(result.out.find("Java " + jdkVersion(GetParam()) + " from " + GetParam()), std::string::npos) << result.out;
  EXPECT_NE(result.out.find("Argument 1: from the configuration\nArgument 2: one\nArgument 3: two words"),
            std::string::npos)
      << result.out;
}

TEST_P(Examples, Notes) {
  const ProcessResult result = runExample("notes", {"remember the milk", "call <Ann> & Bob"});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.out,
            "Hello from notes, a Java program that ships as one executable.\n"
            "notes 1.0, text library 2.3\n"
            "--- markdown\n"
            "- remember the milk\n"
            "- call <Ann> & Bob\n"
            "--- html\n"
            "<ul>\n"
            "  <li>remember the milk</li>\n"
            "  <li>call &lt;Ann&gt; &amp; Bob</li>\n"
            "</ul>\n");
}

INSTANTIATE_TEST_SUITE_P(EveryJdk, Examples, ::testing::ValuesIn(installedJdkHomes()),
                         [](const ::testing::TestParamInfo<std::string>& param) {
                           return jdkParameterName(param.param);
                         });

}  // namespace
}  // namespace testing
}  // namespace xoq
