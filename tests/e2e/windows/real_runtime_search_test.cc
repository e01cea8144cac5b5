// The real Windows Java runtime, installed the ways people install Java
// today, found by a program that xoqpack made without any runtime
// configuration, under Wine: registered exactly as each installer registers
// it (no JAVA_HOME, no PATH), found on PATH alone and behind a redirecting
// stub, in a vendor's install folder, and chosen among two registered
// versions by minjre and maxjre. Each run starts the runtime and the probe
// application reports the version that runs.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "e2e/windows/runtime_search_prefix.h"
#include "support/files.h"
#include "support/jdks.h"
#include "support/packaging.h"
#include "support/windows_runtime.h"

namespace xoq {
namespace testing {
namespace {

namespace fs = std::filesystem;

const Target kConsole = Target::kWindowsConsole;

// Every key that a case below writes, removed before each case.
const char* const kWrittenKeys[] = {"HKEY_LOCAL_MACHINE\\SOFTWARE\\JavaSoft",
                                    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Eclipse Adoptium",
                                    "HKEY_CURRENT_USER\\SOFTWARE\\Eclipse Adoptium",
                                    "HKEY_LOCAL_MACHINE\\SOFTWARE\\AdoptOpenJDK",
                                    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Eclipse Foundation",
                                    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\JDK",
                                    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Semeru",
                                    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Azul Systems",
                                    "HKEY_LOCAL_MACHINE\\SOFTWARE\\BellSoft"};

// A string as a .reg file writes it: backslashes and quotes escaped.
std::string regString(const std::string& text) {
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') quoted += '\\';
    quoted += c;
  }
  return quoted + "\"";
}

class RealRuntimeSearch : public ::testing::Test {
 protected:
  void SetUp() override {
    XOQ_REQUIRE_WINDOWS_RUNTIME();
    ASSERT_TRUE(lock_.held()) << "cannot lock " << runtimeSearchPrefix();
    runtime_ = windowsRuntimeHome();
    home_ = launcherPath(kConsole, runtime_);
    env_ = {{"WINEPREFIX", runtimeSearchPrefix()}, {"WINEDEBUG", "-all"}, {"WINEDLLOVERRIDES", "mscoree,mshtml="}};
    if (!fs::exists(runtimeSearchPrefix() + "/system.reg")) {
      RunOptions boot = wineOptions(300);
      const ProcessResult made =
          runProcess({std::string(XOQ_SOURCE_DIR) + "/scripts/wine-prefix.sh", "start", runtimeSearchPrefix()}, boot);
      ASSERT_EQ(made.exitCode, 0) << made.out << made.err;
    }
    // The prefix's server and services, started with streams of their own
    // (they outlive this run, and a test's output would never close).
    runProcess({"sh", "-c", "timeout 120 wine cmd /c exit </dev/null >/dev/null 2>&1"}, wineOptions(150));
    programFilesLink_ = runtimeSearchPrefix() + "/drive_c/Program Files/Eclipse Adoptium";
    std::error_code ignored;
    fs::remove_all(programFilesLink_, ignored);
    registerKeys("");
  }

  // The prefix is left as the next test expects it anyway: without any of
  // the keys or the install folder.
  void TearDown() override {
    if (runtime_.empty()) return;
    std::error_code ignored;
    fs::remove_all(programFilesLink_, ignored);
    registerKeys("");
  }

  RunOptions wineOptions(int timeoutSeconds) const {
    RunOptions options;
    options.setEnv = env_;
    options.unsetEnv = {"JAVA_HOME", "JRE_HOME", "WINEPATH", "CLASSPATH", "CLASS_PATH"};
    options.timeoutSeconds = timeoutSeconds;
    options.workingDirectory = dir_.path();
    return options;
  }

  // Removes every key a case writes, then imports `keys` (.reg sections).
  void registerKeys(const std::string& keys) {
    std::string reg = "Windows Registry Editor Version 5.00\r\n\r\n";
    for (const char* key : kWrittenKeys) reg += "[-" + std::string(key) + "]\r\n\r\n";
    reg += keys;
    writeFile(dir_.file("keys.reg"), reg);
    const ProcessResult imported = runProcess(
        {XOQ_WINE_PROGRAM, "regedit", "/S", launcherPath(kConsole, dir_.file("keys.reg"))}, wineOptions(120));
    ASSERT_EQ(imported.exitCode, 0) << imported.err;
  }

  std::string probe(const std::string& config, const std::string& name) {
    const std::string exe = packageWith(kConsole, dir_.file(name), "mainclass probe.Probe\r\n" + config,
                                        {"--add-tree", testAppClasses("probe")});
    EXPECT_FALSE(exe.empty());
    return exe;
  }

  ProcessResult run(const std::string& exe, const std::map<std::string, std::string>& environment = {}) {
    RunOptions options = wineOptions(240);
    for (const auto& entry : environment) options.setEnv[entry.first] = entry.second;
    return runExecutable(kConsole, exe, {}, options);
  }

  static std::string javaVersion(const ProcessResult& result) {
    return parseKeyValues(withoutCarriageReturns(result.out))["java.version"];
  }

  static std::string describe(const ProcessResult& result) {
    return "exit " + std::to_string(result.exitCode) + "\nstdout:\n" + result.out + "\nstderr:\n" + result.err;
  }

  // A runtime folder made of links to the real runtime's files, with a
  // release file of its own that names `version`: another version of Java
  // to the search (the virtual machine that runs is still the 11.0.2).
  std::string relabelledRuntime(const std::string& name, const std::string& version) {
    const std::string folder = dir_.file(name);
    fs::create_directories(folder);
    for (const fs::directory_entry& entry : fs::directory_iterator(runtime_)) {
      const std::string file = entry.path().filename().string();
      if (file != "release") fs::create_symlink(entry.path(), folder + "/" + file);
    }
    writeFile(folder + "/release", "JAVA_VERSION=\"" + version + "\"\n");
    return folder;
  }

  RuntimeSearchPrefixLock lock_;
  TempDir dir_;
  std::string runtime_;  // the runtime's folder here
  std::string home_;     // the same, as the launcher under Wine names it
  std::string programFilesLink_;
  std::map<std::string, std::string> env_;
};

// One installer's registration: the .reg sections it writes, with HOME
// standing for the install folder, and the search method that finds it.
struct Registration {
  const char* name;
  const char* keys;
  char method;
};

const Registration kRegistrations[] = {
    // Eclipse Adoptium's MSI with its "JavaSoft (Oracle) registry keys"
    // option, as Oracle's own installers of Java 9 and later write them: the
    // major version and the full one, each with JavaHome.
    {"JavaSoftJdk",
     "[HKEY_LOCAL_MACHINE\\SOFTWARE\\JavaSoft\\JDK]\r\n\"CurrentVersion\"=\"11\"\r\n\r\n"
     "[HKEY_LOCAL_MACHINE\\SOFTWARE\\JavaSoft\\JDK\\11]\r\n\"JavaHome\"=HOME\r\n\r\n"
     "[HKEY_LOCAL_MACHINE\\SOFTWARE\\JavaSoft\\JDK\\11.0.2.9]\r\n\"JavaHome\"=HOME\r\n\r\n",
     'j'},
    // The same for a runtime (JRE): RuntimeLib as well.
    {"JavaSoftJre",
     "[HKEY_LOCAL_MACHINE\\SOFTWARE\\JavaSoft\\JRE]\r\n\"CurrentVersion\"=\"11\"\r\n\r\n"
     "[HKEY_LOCAL_MACHINE\\SOFTWARE\\JavaSoft\\JRE\\11]\r\n\"JavaHome\"=HOME\r\n\"RuntimeLib\"=LIB\r\n\r\n"
     "[HKEY_LOCAL_MACHINE\\SOFTWARE\\JavaSoft\\JRE\\11.0.2.9]\r\n\"JavaHome\"=HOME\r\n\"RuntimeLib\"=LIB\r\n\r\n",
     'j'},
    // After an update of Adoptium's MSI the JRE key lost its CurrentVersion
    // (adoptium-support issue 1290); the version keys remain.
    {"JavaSoftJreWithoutCurrentVersion",
     "[HKEY_LOCAL_MACHINE\\SOFTWARE\\JavaSoft\\JRE\\11]\r\n\"JavaHome\"=HOME\r\n\"RuntimeLib\"=LIB\r\n\r\n"
     "[HKEY_LOCAL_MACHINE\\SOFTWARE\\JavaSoft\\JRE\\11.0.2.9]\r\n\"JavaHome\"=HOME\r\n\"RuntimeLib\"=LIB\r\n\r\n",
     'j'},
    // A development kit up to Java 8 (Oracle's, Corretto 8's, Adoptium 8's).
    {"JavaSoftDevelopmentKit",
     "[HKEY_LOCAL_MACHINE\\SOFTWARE\\JavaSoft\\Java Development Kit]\r\n\"CurrentVersion\"=\"1.8\"\r\n\r\n"
     "[HKEY_LOCAL_MACHINE\\SOFTWARE\\JavaSoft\\Java Development Kit\\1.8]\r\n\"JavaHome\"=HOME\r\n\r\n"
     "[HKEY_LOCAL_MACHINE\\SOFTWARE\\JavaSoft\\Java Development Kit\\1.8.0_392]\r\n\"JavaHome\"=HOME\r\n\r\n",
     'j'},
    // Eclipse Adoptium's MSI, machine-wide: its own key, whatever options.
    {"EclipseAdoptiumMachineWide",
     "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Eclipse Adoptium\\JDK\\11.0.2.9\\hotspot\\MSI]\r\n\"Path\"=HOMESLASH\r\n"
     "\"Main\"=dword:00000001\r\n\"EnvironmentPath\"=dword:00000001\r\n\r\n",
     'v'},
    // The same MSI installed for the user alone (HKMU is HKCU then).
    {"EclipseAdoptiumPerUser",
     "[HKEY_CURRENT_USER\\SOFTWARE\\Eclipse Adoptium\\JRE\\11.0.2.9\\hotspot\\MSI]\r\n\"Path\"=HOMESLASH\r\n"
     "\"Main\"=dword:00000001\r\n\"EnvironmentPathSetForUser\"=dword:00000001\r\n\r\n",
     'v'},
    // AdoptOpenJDK's first MSI installers, without the virtual machine level.
    {"AdoptOpenJdkFirstInstallers",
     "[HKEY_LOCAL_MACHINE\\SOFTWARE\\AdoptOpenJDK\\JDK\\11.0.2.9\\MSI]\r\n\"Path\"=HOMESLASH\r\n"
     "\"Main\"=dword:00000001\r\n\r\n",
     'v'},
    {"AdoptOpenJdk",
     "[HKEY_LOCAL_MACHINE\\SOFTWARE\\AdoptOpenJDK\\JDK\\11.0.2.9\\hotspot\\MSI]\r\n\"Path\"=HOMESLASH\r\n\r\n", 'v'},
    {"EclipseFoundation",
     "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Eclipse Foundation\\JDK\\11.0.2.9\\hotspot\\MSI]\r\n\"Path\"=HOMESLASH\r\n\r\n",
     'v'},
    {"MicrosoftBuildOfOpenJdk",
     "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\JDK\\11.0.2.9\\hotspot\\MSI]\r\n\"Path\"=HOMESLASH\r\n\r\n", 'v'},
    {"IbmSemeru", "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Semeru\\JDK\\11.0.2.9\\openj9\\MSI]\r\n\"Path\"=HOMESLASH\r\n\r\n",
     'v'},
    {"AzulZulu",
     "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Azul Systems\\Zulu\\zulu-11]\r\n\"InstallationPath\"=HOMESLASH\r\n\r\n", 'v'},
    {"BellSoftLiberica",
     "[HKEY_LOCAL_MACHINE\\SOFTWARE\\BellSoft\\Liberica\\Liberica JDK 11]\r\n\"InstallationPath\"=HOMESLASH\r\n\r\n",
     'v'},
};

// Test names and failure messages name the installer.
void PrintTo(const Registration& registration, std::ostream* out) { *out << registration.name; }

class RealRuntimeRegistration : public RealRuntimeSearch, public ::testing::WithParamInterface<Registration> {
 protected:
  // The keys of the registration with the install folder filled in.
  std::string keys() const {
    std::string keys = GetParam().keys;
    const std::vector<std::pair<std::string, std::string>> values = {
        {"HOMESLASH", regString(home_ + "\\")},
        {"HOME", regString(home_)},
        {"LIB", regString(home_ + "\\bin\\server\\jvm.dll")}};
    for (const auto& value : values) {
      for (size_t at = keys.find(value.first); at != std::string::npos;
           at = keys.find(value.first, at + value.second.size())) {
        keys.replace(at, value.first.size(), value.second);
      }
    }
    return keys;
  }
};

TEST_P(RealRuntimeRegistration, ProgramRunsAndTheTraceNamesTheMethod) {
  registerKeys(keys());
  const ProcessResult result = run(probe("", "app.exe"));
  ASSERT_EQ(result.exitCode, 0) << describe(result);
  EXPECT_EQ(javaVersion(result), kWindowsRuntimeVersion) << describe(result);
  EXPECT_TRUE(traced(result, "runtime search order: cbsiejvwf")) << describe(result);
  EXPECT_TRUE(traced(result, std::string("runtime library chosen (method ") + GetParam().method + "): " + home_))
      << describe(result);
}

INSTANTIATE_TEST_SUITE_P(EachInstaller, RealRuntimeRegistration, ::testing::ValuesIn(kRegistrations),
                         [](const ::testing::TestParamInfo<Registration>& param) { return param.param.name; });

TEST_F(RealRuntimeSearch, RealRuntimeOnPathAlone) {
  const ProcessResult result = run(probe("", "app.exe"), {{"WINEPATH", home_ + "\\bin"}});
  ASSERT_EQ(result.exitCode, 0) << describe(result);
  EXPECT_EQ(javaVersion(result), kWindowsRuntimeVersion) << describe(result);
  EXPECT_TRUE(traced(result, "runtime method j: found no runtime")) << describe(result);
  EXPECT_TRUE(traced(result, "runtime library chosen (method w): ")) << describe(result);
}

TEST_F(RealRuntimeSearch, RealRuntimeOnPathAfterARedirectingStub) {
  // Oracle's installers put a java.exe that only hands on to the registered
  // runtime first on PATH, in a folder of no runtime.
  const std::string stub = dir_.file("Common Files/Oracle/Java/javapath");
  writeFile(stub + "/java.exe", readFile(runtime_ + "/bin/java.exe"));
  writeFile(stub + "/javaw.exe", readFile(runtime_ + "/bin/javaw.exe"));
  const std::string path = launcherPath(kConsole, stub) + ";" + home_ + "\\bin";
  const ProcessResult result = run(probe("", "app.exe"), {{"WINEPATH", path}});
  ASSERT_EQ(result.exitCode, 0) << describe(result);
  EXPECT_EQ(javaVersion(result), kWindowsRuntimeVersion) << describe(result);
  EXPECT_TRUE(traced(result, "javapath\\java.exe (")) << describe(result);
  EXPECT_TRUE(traced(result, ") is not inside a runtime, passed over")) << describe(result);
  EXPECT_TRUE(traced(result, "runtime library chosen (method w): ")) << describe(result);

  // The stub alone: no runtime, message 1.
  const ProcessResult alone = run(probe("jre_order w\r\n", "alone.exe"), {{"WINEPATH", launcherPath(kConsole, stub)}});
  EXPECT_EQ(alone.exitCode, 1) << describe(alone);
  EXPECT_NE(alone.err.find("Java Runtime Environment not found."), std::string::npos) << describe(alone);
}

TEST_F(RealRuntimeSearch, RealRuntimeInAVendorsInstallFolder) {
  // Where Adoptium's MSI puts it, without any of its keys (a copy, or keys
  // removed by hand).
  fs::create_directories(programFilesLink_);
  fs::create_directory_symlink(runtime_, programFilesLink_ + "/jdk-11.0.2.9-hotspot");
  const ProcessResult result = run(probe("", "app.exe"));
  ASSERT_EQ(result.exitCode, 0) << describe(result);
  EXPECT_EQ(javaVersion(result), kWindowsRuntimeVersion) << describe(result);
  EXPECT_TRUE(traced(result,
                     "runtime library chosen (method f): C:\\Program Files\\Eclipse Adoptium\\"
                     "jdk-11.0.2.9-hotspot"))
      << describe(result);
}

TEST_F(RealRuntimeSearch, RealRuntimeVersionsChosenByTheBounds) {
  // Two versions registered by Adoptium's MSI: the 11.0.2 and, to the
  // search, a 17.0.9 (the same files with a release file of its own).
  const std::string seventeen = launcherPath(kConsole, relabelledRuntime("jdk-17.0.9.9-hotspot", "17.0.9"));
  registerKeys("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Eclipse Adoptium\\JDK\\11.0.2.9\\hotspot\\MSI]\r\n\"Path\"=" +
               regString(home_ + "\\") +
               "\r\n\r\n"
               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Eclipse Adoptium\\JDK\\17.0.9.9\\hotspot\\MSI]\r\n\"Path\"=" +
               regString(seventeen + "\\") + "\r\n\r\n");

  // No bounds: the newest.
  const ProcessResult newest = run(probe("", "newest.exe"));
  ASSERT_EQ(newest.exitCode, 0) << describe(newest);
  EXPECT_TRUE(traced(newest, "runtime library chosen (method v): " + seventeen + "\\")) << describe(newest);
  EXPECT_TRUE(traced(newest, "the newest of 2 runtimes found")) << describe(newest);

  // maxjre 11: the 11.
  const ProcessResult eleven = run(probe("maxjre 11\r\n", "eleven.exe"));
  ASSERT_EQ(eleven.exitCode, 0) << describe(eleven);
  EXPECT_EQ(javaVersion(eleven), kWindowsRuntimeVersion) << describe(eleven);
  EXPECT_TRUE(traced(eleven, "runtime library chosen (method v): " + home_ + "\\")) << describe(eleven);
  EXPECT_TRUE(traced(eleven, "(17.0.9) is outside minjre \"\" and maxjre \"11\"")) << describe(eleven);

  // minjre 17: the "17", which the version check after the start then
  // finds to be the 11 it really is (message 6): the choice went by the
  // release file, as it should.
  const ProcessResult floor = run(probe("minjre 17\r\n", "floor.exe"));
  EXPECT_TRUE(traced(floor, "runtime library chosen (method v): " + seventeen + "\\")) << describe(floor);
  EXPECT_EQ(floor.exitCode, 6) << describe(floor);

  // Nothing in the bounds: no runtime, message 1.
  const ProcessResult none = run(probe("jre_order v\r\nminjre 18\r\n", "none.exe"));
  EXPECT_EQ(none.exitCode, 1) << describe(none);
  EXPECT_TRUE(traced(none, "none of the 2 runtimes found fits the bounds")) << describe(none);
}

}  // namespace
}  // namespace testing
}  // namespace xoq
