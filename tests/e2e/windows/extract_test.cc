// The extract key on Windows, under Wine with the real Windows runtime. A
// program with a native library of its own: the key unpacks the .dll and
// the library it needs into the user's cache, System.loadLibrary finds the
// first through java.library.path (its folder first, the rest as the
// runtime has it) and the system's loader the second beside it. And
// Debian's libraries that need their jars as files (Ant, Jython, Spring),
// against the runtime's own java.exe -cp over the same jars.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "e2e/common/extracted_libraries.h"
#include "e2e/windows/real_runtime.h"
#include "support/files.h"
#include "support/jdks.h"
#include "support/packaging.h"
#include "support/windows_runtime.h"

namespace xoq {
namespace testing {
namespace {

const Target kConsole = Target::kWindowsConsole;

TEST(WindowsExtract, NativeLibraryLoadsFromTheCacheWithTheLibraryItNeeds) {
  XOQ_REQUIRE_WINDOWS_RUNTIME();
  TempDir dir;
  const std::string native = std::string(XOQ_BUILD_DIR) + "/windows/test-apps/native/";
  const std::vector<std::string> arguments = {"--add", testAppJar("extract") + "=extract.jar",
                                              "--add", native + "xoq_answer.dll=native/xoq_answer.dll",
                                              "--add", native + "xoq_answer_part.dll=native/xoq_answer_part.dll"};
  std::vector<std::string> extracted = arguments;
  extracted.insert(extracted.end(), {"--extract", "native/*.dll"});
  const std::string config = "mainclass extract.Main\r\njre_order e\r\n";
  RunOptions options;
  options.workingDirectory = dir.path();
  options.setEnv["JAVA_HOME"] = launcherPath(kConsole, windowsRuntimeHome());
  options.unsetEnv = {"JRE_HOME"};
  options.timeoutSeconds = 240;

  const std::string exe = packageWith(kConsole, dir.file("native.exe"), config, extracted);
  ASSERT_FALSE(exe.empty());
  const ProcessResult loaded = runExecutable(kConsole, exe, {"native"}, options);
  std::map<std::string, std::string> values = parseKeyValues(withoutCarriageReturns(loaded.out));
  EXPECT_EQ(loaded.exitCode, 0) << loaded.err;
  EXPECT_EQ(values["answer"], "42") << loaded.out << loaded.err;
  const std::string path = values["library.path"];
  const std::string folder = path.substr(0, path.find(';'));
  EXPECT_NE(folder.find("\\AppData\\Local\\xoq\\files\\"), std::string::npos) << path;
  EXPECT_EQ(folder.substr(folder.size() - 7), "\\native") << path;

  // Without the key the library is not there to load; the path the runtime
  // chose then is the rest of the path above.
  const std::string plainExe = packageWith(kConsole, dir.file("plain.exe"), config, arguments);
  ASSERT_FALSE(plainExe.empty());
  const ProcessResult plain = runExecutable(kConsole, plainExe, {"native"}, options);
  EXPECT_NE(plain.exitCode, 0);
  EXPECT_NE(plain.err.find("UnsatisfiedLinkError"), std::string::npos) << plain.err;
  EXPECT_EQ(path, folder + ";" + parseKeyValues(withoutCarriageReturns(plain.out))["library.path"]);
}

class WindowsExtractLibraries : public RealRuntime {
 protected:
  // Packages a console program that unpacks every jar under lib/.
  std::string packageExtracting(const std::string& name, const std::string& config,
                                std::vector<std::string> arguments) {
    arguments.insert(arguments.end(), {"--extract", "lib/*.jar"});
    return package(kConsole, name, "jre_order e\r\n" + config, arguments);
  }

  // The runtime's java.exe with `jars` (Linux paths) as its class path.
  ProcessResult javaExeCp(const std::vector<std::string>& jars, const std::vector<std::string>& properties,
                          const std::string& mainClass, const std::vector<std::string>& arguments) {
    std::string classPath;
    for (const std::string& jar : jars) classPath += (classPath.empty() ? "" : ";") + launcherPath(kConsole, jar);
    std::vector<std::string> command = properties;
    command.insert(command.end(), {"-cp", classPath, mainClass});
    command.insert(command.end(), arguments.begin(), arguments.end());
    return javaExe(command);
  }

  // Where a path of the Wine prefix's drive C:, which holds the user's
  // cache, lies here; empty for a path of another drive.
  static std::string hostPath(const std::string& windowsPath) {
    const char* prefix = std::getenv("WINEPREFIX");
    if (windowsPath.rfind("C:\\", 0) != 0 || prefix == nullptr) return std::string();
    std::string path = std::string(prefix) + "/drive_c/" + windowsPath.substr(3);
    for (char& c : path) {
      if (c == '\\') c = '/';
    }
    return path;
  }

  // Expects `windowsPath` to be the jar `entry` (lib\...) of a folder in the
  // user's cache, the same bytes as `original`.
  static void expectUnpacked(const std::string& windowsPath, const std::string& entry, const std::string& original) {
    EXPECT_NE(windowsPath.find("\\AppData\\Local\\xoq\\files\\"), std::string::npos) << windowsPath;
    EXPECT_EQ(windowsPath.size() > entry.size() ? windowsPath.substr(windowsPath.size() - entry.size()) : "", entry)
        << windowsPath;
    const std::string file = hostPath(windowsPath);
    EXPECT_TRUE(std::filesystem::is_regular_file(file)) << windowsPath;
    EXPECT_TRUE(readFile(file) == readFile(original)) << windowsPath << " differs from " << original;
  }
};

// Ant's launcher finds its jar, and the folder above it as Ant's home, in
// the cache; its version as java.exe -cp prints it. Ant's diagnostics with
// -Dant.home name the unpacked ant.jar as the jar of its core classes, and
// Ant's version and home and the jars there as java.exe's do.
TEST_F(WindowsExtractLibraries, AntFindsItsOwnJarsAsUnderJavaExe) {
  const std::vector<std::string> jars = copyLibraryJars(kAntJars, dir_.file("jars"));
  const std::string launcher = packageExtracting("ant.exe", "mainclass org.apache.tools.ant.launch.Launcher\r\n", jars);
  ASSERT_FALSE(launcher.empty());
  const ProcessResult version = run(kConsole, launcher, {"-version"});
  const ProcessResult javaVersion =
      javaExeCp({dir_.file("jars/lib/ant-launcher.jar")}, {}, "org.apache.tools.ant.launch.Launcher", {"-version"});
  ASSERT_EQ(javaVersion.exitCode, 0) << describe(javaVersion);
  EXPECT_EQ(version.exitCode, 0) << describe(version);
  EXPECT_NE(version.out.find("Apache Ant(TM) version"), std::string::npos) << describe(version);
  EXPECT_EQ(version.out, javaVersion.out);

  const std::string home = "ant.home=" + win("jars");
  const std::string main =
      packageExtracting("ant-main.exe", "mainclass org.apache.tools.ant.Main\r\nproperty " + home + "\r\n", jars);
  ASSERT_FALSE(main.empty());
  const ProcessResult diagnostics = run(kConsole, main, {"-diagnostics"});
  const ProcessResult javaDiagnostics =
      javaExeCp({dir_.file("jars/lib/ant-launcher.jar"), dir_.file("jars/lib/ant.jar")}, {"-D" + home},
                "org.apache.tools.ant.Main", {"-diagnostics"});
  ASSERT_EQ(javaDiagnostics.exitCode, 0) << describe(javaDiagnostics);
  EXPECT_EQ(diagnostics.exitCode, 0) << describe(diagnostics);
  EXPECT_EQ(lineWith(javaDiagnostics.out, "ant.core.lib: "), "ant.core.lib: " + win("jars/lib/ant.jar"));
  const std::string core = lineWith(diagnostics.out, "ant.core.lib: ");
  ASSERT_NE(core, "") << describe(diagnostics);
  expectUnpacked(core.substr(14), "\\lib\\ant.jar", kDebianJava + "ant.jar");
  for (const char* start : {"Apache Ant(TM) version", "ant.home: ", "ant-launcher.jar (", "ant.jar ("}) {
    EXPECT_NE(lineWith(javaDiagnostics.out, start), "") << start << describe(javaDiagnostics);
    EXPECT_EQ(lineWith(diagnostics.out, start), lineWith(javaDiagnostics.out, start)) << start;
  }
}

// Jython with Debian's launcher arguments imports os from the standard
// library in its jar, as under java.exe -cp.
TEST_F(WindowsExtractLibraries, JythonFindsItsStandardLibraryAsUnderJavaExe) {
  const std::vector<std::string> jars = jythonJars();
  const std::string exe =
      packageExtracting("jython.exe", "mainclass " + kJythonMainClass + "\r\n", addedUnderLib(jars));
  ASSERT_FALSE(exe.empty());
  const ProcessResult packaged = run(kConsole, exe, kJythonArguments);
  const ProcessResult java = javaExeCp(jars, {}, kJythonMainClass, kJythonArguments);
  EXPECT_EQ(java.exitCode, 0) << describe(java);
  EXPECT_EQ(withoutCarriageReturns(java.out), "True\n") << describe(java);
  EXPECT_EQ(packaged.exitCode, java.exitCode) << describe(packaged);
  EXPECT_EQ(packaged.out, java.out) << describe(packaged);
}

// Spring's classpath*: scanning finds as many resources as under java.exe
// -cp, a class resource reads through its URL as the class file, and the
// code source of Spring's classes is the jar unpacked in the cache.
TEST_F(WindowsExtractLibraries, SpringScansTheClassPathAsUnderJavaExe) {
  std::vector<std::string> arguments = copyLibraryJars(kSpringJars, dir_.file("jars"));
  arguments.insert(arguments.end(), {"--add", testAppJar("extract") + "=extract.jar"});
  const std::string exe = packageExtracting("spring.exe", "mainclass extract.Main\r\n", arguments);
  ASSERT_FALSE(exe.empty());
  const ProcessResult packaged = run(kConsole, exe, {"spring"});
  const ProcessResult java = javaExeCp(
      {testAppJar("extract"), dir_.file("jars/lib/spring-core.jar"), dir_.file("jars/lib/commons-logging.jar")}, {},
      "extract.Main", {"spring"});
  ASSERT_EQ(java.exitCode, 0) << describe(java);
  EXPECT_EQ(packaged.exitCode, 0) << describe(packaged);
  std::map<std::string, std::string> found = parseKeyValues(withoutCarriageReturns(packaged.out));
  std::map<std::string, std::string> expected = parseKeyValues(withoutCarriageReturns(java.out));
  EXPECT_NE(expected["resources"], "0") << describe(java);
  for (const std::string& key : kSpringComparedKeys) {
    EXPECT_EQ(found[key], expected[key]) << key << "\n" << describe(packaged);
  }
  expectUnpacked(found["codesource.path"], "\\lib\\spring-core.jar", kDebianJava + "spring3-core.jar");
}

}  // namespace
}  // namespace testing
}  // namespace xoq
