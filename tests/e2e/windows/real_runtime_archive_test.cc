// Classes and resources out of the payload with the real Windows runtime:
// the archive probe (tests/apps/archive) with app.jar and three library
// jars nested in the payload and loose files at its top, in both loader
// modes and both templates, and the class path keys with their wildcards.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "e2e/windows/real_runtime.h"

namespace xoq {
namespace testing {
namespace {

class RealRuntimeArchive : public RealRuntime {
 protected:
  std::string packageProbe(Target target, const std::string& name, const std::string& config) {
    return package(
        target, name, "jre_order e\r\nmainclass aprobe.Main\r\n" + config,
        {"--add", testApp("archive/app.jar") + "=app.jar", "--add", testApp("archive/lib/util.jar") + "=lib/util.jar",
         "--add", testApp("archive/lib/other.jar") + "=lib/other.jar", "--add",
         testApp("archive/lib/outer.jar") + "=lib/outer.jar", "--add-tree",
         std::string(XOQ_SOURCE_DIR) + "/tests/apps/archive/top"});
  }

  // How the runtime writes the URL of the file `relative` in the scratch
  // folder: file:/Z:/... with forward slashes.
  std::string fileUrl(const std::string& relative) const {
    std::string path = win(relative);
    for (char& c : path) {
      if (c == '\\') c = '/';
    }
    return "file:/" + path;
  }
};

TEST_F(RealRuntimeArchive, ClassesPackagesResourcesAndUrlsFromNestedJars) {
  const std::string exe = packageProbe(Target::kWindowsConsole, "app.exe", "argv a \"b c\"\r\n");
  const ProcessResult result = run(Target::kWindowsConsole, exe, {"x y"});
  ASSERT_EQ(result.exitCode, 0) << describe(result);
  EXPECT_EQ(withoutWineNotes(result.err), "") << describe(result);
  std::map<std::string, std::string> seen = values(result);
  EXPECT_EQ(seen["loader"], "com.tarvolin.xoq.HolvaneClassLoader");
  EXPECT_EQ(seen["loader.isSystem"], "true");
  // Classes from the nested jars, their packages from the jars' manifests.
  EXPECT_EQ(seen["util.greet"], "util greets you");
  EXPECT_EQ(seen["util.loader"], "same");
  EXPECT_EQ(seen["package.aprobe.version"], "1.2.3");
  EXPECT_EQ(seen["package.aprobe.title"], "archive probe");
  EXPECT_EQ(seen["package.util.version"], "4.5.6");
  EXPECT_EQ(seen["package.other.version"], "null");
  EXPECT_EQ(seen["deep"], "not found") << "a jar two levels deep is not on the class path";
  EXPECT_EQ(seen["services"], "[util.UtilGreeter, other.OtherGreeter]");
  // Resources: the runtime's own loader reads the executable's top level
  // first; then the payload's top, then the nested jars, over several jars.
  const std::string top = "jar:" + fileUrl("app.exe") + "!/";
  EXPECT_EQ(seen["resource.top"], top + "probe/top.txt");
  EXPECT_EQ(seen["resource.top.content"], "top-level resource");
  EXPECT_EQ(seen["resources.shared"], "[" + top + "shared.txt, xoq:shared.txt, xoq:lib/util.jar!shared.txt]");
  EXPECT_EQ(seen["resource.backslash"], "xoq:probe/top.txt");
  EXPECT_EQ(seen["resource.missing"], "null");
  EXPECT_EQ(seen["resource.manifest"], "xoq:app.jar!META-INF/MANIFEST.MF");
  // "xoq:" URLs made from text: a name with blanks, two jars deep, a class
  // file (read as empty unless compatible says otherwise).
  EXPECT_EQ(seen["url.space"], "a name with blanks");
  EXPECT_EQ(seen["url.space.again"], "a name with blanks");
  EXPECT_EQ(seen["url.upper"], "top-level resource");
  EXPECT_EQ(seen["url.twoLevels"], "inside the inner jar");
  EXPECT_EQ(seen["url.missing"], "null");
  EXPECT_EQ(seen["url.contentType"], "text/plain");
  EXPECT_EQ(seen["url.class"], "xoq:app.jar!aprobe/Main.class");
  EXPECT_EQ(seen["url.class.length"], "0");
  // The configured arguments, then the command line's.
  EXPECT_EQ(seen["args"], "3");
  EXPECT_EQ(seen["arg0"], "a");
  EXPECT_EQ(seen["arg1"], "b c");
  EXPECT_EQ(seen["arg2"], "x y");
  EXPECT_EQ(seen["main"], "returned");
}

TEST_F(RealRuntimeArchive, GuiTemplateWithASeparateLoaderAndManyThreads) {
  const std::string exe = packageProbe(Target::kWindows, "app.exe",
                                       "assystemclassloader False\r\nproperty probe.action=threads\r\n"
                                       "compatible true\r\n");
  const ProcessResult result = run(Target::kWindows, exe);
  ASSERT_EQ(result.exitCode, 0) << describe(result);
  std::map<std::string, std::string> seen = values(result);
  EXPECT_EQ(seen["loader"], "com.tarvolin.xoq.HolvaneClassLoader");
  EXPECT_EQ(seen["loader.isSystem"], "false");
  EXPECT_EQ(seen["loader.isContext"], "true");
  EXPECT_EQ(seen["package.util.version"], "4.5.6");
  EXPECT_EQ(seen["services"], "[util.UtilGreeter, other.OtherGreeter]");
  // With compatible, class files read through "xoq:" URLs are whole.
  EXPECT_GT(std::stoi(seen["url.class.length"]), 1000) << describe(result);
  // Sixteen threads loading classes and reading resources at once.
  EXPECT_EQ(seen["threads.failures"], "0") << describe(result);
  EXPECT_EQ(seen["threads.reads"], "3200") << describe(result);
}

TEST_F(RealRuntimeArchive, ClassPathKeysWithWildcards) {
  writeFile(dir_.file("cp/inner.jar"), readFile(testApp("archive/deep/inner.jar")));
  writeFile(dir_.file("cp/notes.txt"), "not an archive");
  // Jars of their own for the runtime's class path: what it finds there
  // comes before the payload.
  writeFile(dir_.file("jcp/one.jar"), readFile(testApp("compat/mr.jar")));
  writeFile(dir_.file("jcp/two.jar"), readFile(testApp("compat/signed.jar")));
  const std::string exe =
      packageProbe(Target::kWindowsConsole, "app.exe",
                   "classpath cp\\*.jar;%APPLICATION_HOME%missing.jar\r\njava_classpath jcp\\*.jar\r\n");
  const ProcessResult result = run(Target::kWindowsConsole, exe);
  ASSERT_EQ(result.exitCode, 0) << describe(result);
  std::map<std::string, std::string> seen = values(result);
  // A pattern is expanded as written, against the working directory; other
  // entries are made absolute against the application's folder.
  EXPECT_EQ(seen["xoq.class.path"], ";cp\\inner.jar;" + win("missing.jar")) << describe(result);
  const std::string javaPath = seen["java.class.path"];
  EXPECT_EQ(javaPath.find(win("app.exe") + ";"), 0u) << javaPath;
  EXPECT_NE(javaPath.find(";jcp\\one.jar"), std::string::npos) << javaPath;
  EXPECT_NE(javaPath.find(";jcp\\two.jar"), std::string::npos) << javaPath;
  // The class two jars deep comes from the loader's class path now.
  EXPECT_EQ(seen["deep"], "deep from " + fileUrl("cp/inner.jar")) << describe(result);
}

}  // namespace
}  // namespace testing
}  // namespace xoq
