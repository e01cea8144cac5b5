// What libraries do with the class loader, its URLs and the "xoq:" file
// system, with the real Windows runtime, against this runtime's own
// java.exe -cp over the same jars: the compatibility probe
// (tests/apps/compat), a multi-release jar, entry times and sizes, Files.walk,
// URL round trips on every kind of thread, escaped names and code sources.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "e2e/windows/real_runtime.h"

namespace xoq {
namespace testing {
namespace {

class RealRuntimeLibraries : public RealRuntime {
 protected:
  // Packages the probe with `jars` (file=entry pairs) and runs it.
  std::map<std::string, std::string> launch(const std::string& config, const std::vector<std::string>& jars,
                                            const std::string& name = "app.exe") {
    std::vector<std::string> arguments;
    for (const std::string& jar : jars) {
      arguments.push_back("--add");
      arguments.push_back(jar);
    }
    exe_ = package(Target::kWindowsConsole, name, "jre_order e\r\nmainclass compat.Main\r\n" + config, arguments);
    result_ = run(Target::kWindowsConsole, exe_);
    return values(result_);
  }

  // The same checks under this runtime's java.exe -cp.
  std::map<std::string, std::string> javaCp(const std::vector<std::string>& jars,
                                            const std::vector<std::string>& options) {
    std::string classPath;
    for (const std::string& jar : jars)
      classPath += (classPath.empty() ? "" : ";") + launcherPath(Target::kWindows, jar);
    std::vector<std::string> arguments = options;
    arguments.insert(arguments.end(), {"-cp", classPath, "compat.Main"});
    const ProcessResult java = javaExe(arguments);
    EXPECT_EQ(java.exitCode, 0) << describe(java);
    return values(java);
  }

  static std::string compat(const std::string& file) { return testApp("compat/" + file); }
  static std::string windowsPath(const std::string& file) { return launcherPath(Target::kWindows, file); }

  std::string exe_;
  ProcessResult result_;
};

TEST_F(RealRuntimeLibraries, MultiReleaseJarServesTheRuntimesVersionAsJavaExeDoes) {
  const std::vector<std::string> jars = {compat("compat.jar") + "=lib/compat.jar", compat("mr.jar") + "=lib/mr.jar"};
  std::map<std::string, std::string> seen = launch("property compat.checks=multirelease\r\n", jars);
  ASSERT_EQ(result_.exitCode, 0) << describe(result_);
  // Versions 9 and 11 in the jar: this runtime takes 11.
  EXPECT_EQ(seen["mr.class"], "11") << describe(result_);
  EXPECT_EQ(seen["mr.resource"], "resource for 11");
  EXPECT_EQ(seen["mr.resourceEntry"], "META-INF/versions/11/mr/which.txt");
  EXPECT_EQ(seen["mr.directory"], "mr/");
  const std::map<std::string, std::string> java =
      javaCp({compat("compat.jar"), compat("mr.jar")}, {"-Dcompat.checks=multirelease"});
  for (const char* key : {"mr.class", "mr.resource", "mr.resourceEntry", "mr.classEntry", "mr.resources"}) {
    EXPECT_EQ(seen[key], java.at(key)) << key;
  }

  // The runtime's jdk.util.jar.version lowers the version served, in the
  // other loader mode too.
  seen =
      launch("property compat.checks=multirelease\r\noption -Djdk.util.jar.version=10\r\nassystemclassloader false\r\n",
             jars, "lowered.exe");
  ASSERT_EQ(result_.exitCode, 0) << describe(result_);
  EXPECT_EQ(seen["mr.class"], "9") << describe(result_);
  EXPECT_EQ(seen["mr.resource"], "resource for 9");
  EXPECT_EQ(seen["mr.resourceEntry"], "META-INF/versions/9/mr/which.txt");
}

TEST_F(RealRuntimeLibraries, EntryTimesSizesAndTheFileSystemAsJarFileTellsThem) {
  // Two entries written an hour apart.
  writeFile(dir_.file("times/older.txt"), "older");
  writeFile(dir_.file("times/newer.txt"), "newer");
  const auto base = std::filesystem::last_write_time(dir_.file("times/older.txt")) - std::chrono::hours(48);
  std::filesystem::last_write_time(dir_.file("times/older.txt"), base);
  std::filesystem::last_write_time(dir_.file("times/newer.txt"), base + std::chrono::hours(1));
  ASSERT_EQ(runProcess({"jar", "--create", "--file", dir_.file("times.jar"), "-C", dir_.file("times"), "."}).exitCode,
            0);
  std::map<std::string, std::string> seen = launch(
      "property compat.checks=times,walk\r\nproperty compat.jars=lib/compat.jar=" + windowsPath(compat("compat.jar")) +
          ";lib/mr.jar=" + windowsPath(compat("mr.jar")) + "\r\n",
      {compat("compat.jar") + "=lib/compat.jar", compat("mr.jar") + "=lib/mr.jar",
       dir_.file("times.jar") + "=lib/times.jar"});
  ASSERT_EQ(result_.exitCode, 0) << describe(result_);
  for (const std::string jar : {"lib/compat.jar", "lib/mr.jar"}) {
    // Times and sizes through "xoq:" connections.
    EXPECT_GT(std::stoi(seen["times." + jar + ".entries"]), 5) << jar << describe(result_);
    EXPECT_EQ(seen["times." + jar + ".mismatches"], "[]") << jar;
    // Files.walk lists what JarFile lists, with the same times and sizes.
    EXPECT_EQ(seen["walk." + jar + ".same"], "true") << jar;
    EXPECT_EQ(seen["walk." + jar + ".attributeMismatches"], "[]") << jar;
  }
  EXPECT_EQ(seen["times.newerMinusOlder"], "3600000");
  EXPECT_EQ(seen["times.missing"], "0 -1");
  EXPECT_EQ(seen["times.classBytes"], "0");
  // A package's directory as a path, as scanners use it.
  EXPECT_EQ(seen["walk.directory"],
            "xoq:lib/compat.jar!compat/ [100% + more.txt, Attached.class, FileSystemChecks$1.class, "
            "FileSystemChecks.class, Libraries.class, Main.class, UrlChecks$1.class, UrlChecks.class, a%41.txt, "
            "data.txt, name with space.txt, x#y.txt]");
  EXPECT_EQ(seen["walk.read"], "data from the compat jar true");
  EXPECT_EQ(seen["walk.classFile"], "refused");
  EXPECT_EQ(seen["walk.write"], "read-only");
  EXPECT_EQ(seen["walk.missing"], "false");
  EXPECT_EQ(seen["walk.newFileSystem"], "true");
  EXPECT_EQ(seen["walk.top"], "true true");
  EXPECT_EQ(seen["walk.stream"], "opened, refused, ends when closed, no iterator after close") << describe(result_);
}

TEST_F(RealRuntimeLibraries, UrlsRoundTripOnEveryKindOfThreadAndEscapeAsJavaExe) {
  // An attached thread: a native library's own thread, attached to the
  // runtime, as callbacks from native code come.
  const std::string native = windowsPath(std::string(XOQ_BUILD_DIR) + "/windows/test-apps/xoq_attached_thread.dll");
  std::map<std::string, std::string> seen =
      launch("property compat.checks=roundtrip,escapes\r\nproperty compat.native=" + native + "\r\n",
             {compat("compat.jar") + "=lib/compat.jar", compat("mr.jar") + "=lib/mr.jar"});
  ASSERT_EQ(result_.exitCode, 0) << describe(result_);
  for (const char* thread : {"roundtrip.main", "roundtrip.thread", "roundtrip.attached"}) {
    EXPECT_EQ(seen[thread], "10 urls, failed: []") << thread << describe(result_);
  }
  // Names with blanks, '%' and '#' are escaped as java -cp escapes them in
  // its jar: URLs.
  EXPECT_EQ(seen["escapes.compat/name with space.txt"], "compat/name%20with%20space.txt");
  EXPECT_EQ(seen["escapes.compat/a%41.txt"], "compat/a%2541.txt");
  EXPECT_EQ(seen["escapes.compat/x#y.txt"], "compat/x%23y.txt");
  const std::map<std::string, std::string> java = javaCp({compat("compat.jar")}, {"-Dcompat.checks=escapes"});
  for (const char* name : {"name with space.txt", "100% + more.txt", "a%41.txt", "x#y.txt"}) {
    const std::string key = std::string("escapes.compat/") + name;
    EXPECT_EQ(seen[key], java.at(key)) << key;
  }
}

TEST_F(RealRuntimeLibraries, CodeSourceNamesTheExecutableWhenAsked) {
  const std::vector<std::string> jars = {compat("compat.jar") + "=lib/compat.jar",
                                         compat("signed.jar") + "=lib/signed.jar"};
  std::map<std::string, std::string> seen = launch("property compat.checks=codesource\r\n", jars);
  EXPECT_EQ(seen["codesource.location"], "null") << describe(result_);
  EXPECT_EQ(seen["codesource.signer"], "none") << describe(result_);
  seen = launch("property compat.checks=codesource\r\ncodesource true\r\n", jars, "sourced.exe");
  ASSERT_EQ(result_.exitCode, 0) << describe(result_);
  std::string url = windowsPath(exe_);
  for (char& c : url) {
    if (c == '\\') c = '/';
  }
  EXPECT_EQ(seen["codesource.location"], "file:/" + url) << describe(result_);
  EXPECT_EQ(seen["codesource.file"], windowsPath(exe_));
  // Signers per class, as java -cp gives them: the class added to the
  // signed jar after signing is refused beside the signed ones.
  EXPECT_EQ(seen["codesource.signer"], "CN=xoq test signer");
  const std::map<std::string, std::string> java =
      javaCp({compat("compat.jar"), compat("signed.jar")}, {"-Dcompat.checks=codesource"});
  for (const char* key : {"codesource.domains", "codesource.signer", "codesource.added"}) {
    EXPECT_EQ(seen[key], java.at(key)) << key;
  }
}

}  // namespace
}  // namespace testing
}  // namespace xoq
