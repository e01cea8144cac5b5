// Which class the launcher's loader gives where the jars nested in the
// payload disagree with one another or with the runtime, on every JDK
// installed here and in both loader modes, against java -cp over the same
// jars in the same order: of a class that two jars hold, the one in the jar
// searched first; a class in a package that a module of the runtime owns is
// not served from the payload, as java -cp does not serve it from the class
// path.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "support/files.h"
#include "support/jdks.h"
#include "support/packaging.h"

namespace xoq {
namespace testing {
namespace {

std::string orderApp(const std::string& relative) {
  return std::string(XOQ_BUILD_DIR) + "/test-apps/order/" + relative;
}

class ClassOrder : public ::testing::TestWithParam<std::string> {
 protected:
  std::map<std::string, std::string> launch(const std::string& mode) {
    // lib/zz.jar is searched before lib/aaa.jar: shorter names first.
    const std::string exe = packageWith(
        Target::kLinux, dir_.file(mode.empty() ? "app" : "separate"), "jre_order e\r\nmainclass order.Main\r\n" + mode,
        {"--add", orderApp("app.jar") + "=app.jar", "--add", orderApp("lib/aaa.jar") + "=lib/aaa.jar", "--add",
         orderApp("lib/xml.jar") + "=lib/xml.jar", "--add", orderApp("lib/zz.jar") + "=lib/zz.jar"});
    EXPECT_FALSE(exe.empty());
    RunOptions options;
    options.setEnv["JAVA_HOME"] = GetParam();
    options.setEnv["XOQ_TRACE"] = "";
    options.unsetEnv = {"JRE_HOME", "CLASSPATH", "CLASS_PATH"};
    options.timeoutSeconds = 120;
    result_ = runExecutable(Target::kLinux, exe, {}, options);
    return parseKeyValues(result_.out);
  }

  std::string describe() const {
    return "exit " + std::to_string(result_.exitCode) + "\nstdout:\n" + result_.out + "\nstderr:\n" + result_.err;
  }

  TempDir dir_;
  ProcessResult result_;
};

TEST_P(ClassOrder, FirstJarWinsAndModulePackagesStayTheRuntimes) {
  RunOptions options;
  options.timeoutSeconds = 120;
  const ProcessResult java = runProcess({GetParam() + "/bin/java", "-cp",
                                         orderApp("app.jar") + ":" + orderApp("lib/zz.jar") + ":" +
                                             orderApp("lib/aaa.jar") + ":" + orderApp("lib/xml.jar"),
                                         "order.Main"},
                                        options);
  ASSERT_EQ(java.exitCode, 0) << java.err;
  const std::map<std::string, std::string> expected = parseKeyValues(java.out);
  ASSERT_EQ(expected.at("twin"), "first");
  ASSERT_EQ(expected.at("shadow"), "ClassNotFoundException");

  for (const std::string mode : {"", "assystemclassloader false\r\n"}) {
    const std::map<std::string, std::string> values = launch(mode);
    ASSERT_EQ(result_.exitCode, 0) << mode << describe();
    EXPECT_EQ(values.at("twin"), "first") << mode;
    EXPECT_EQ(values.at("twin.loader"), "same") << mode;
    // The module's own classes of that package are the runtime's.
    EXPECT_EQ(values.at("module.class"), expected.at("module.class")) << mode;
    EXPECT_EQ(values.at("shadow"), "ClassNotFoundException") << mode << describe();
    EXPECT_EQ(values.at("missing"), "ClassNotFoundException") << mode;
  }
}

INSTANTIATE_TEST_SUITE_P(EveryJdk, ClassOrder, ::testing::ValuesIn(installedJdkHomes()),
                         [](const ::testing::TestParamInfo<std::string>& param) {
                           return jdkParameterName(param.param);
                         });

}  // namespace
}  // namespace testing
}  // namespace xoq
