// The Java runtime on Windows, under Wine: the runtime search with its
// layouts, the registry and the environment, the loading of the virtual
// machine library and the option list handed to it. No Windows runtime can
// exist here, so stand-in jvm.dll files built by the tests take its place;
// each records what it was handed and then fails creation.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/jdks.h"
#include "support/packaging.h"
#include "support/registry_lock.h"

namespace xoq {
namespace testing {
namespace {

const Target kConsole = Target::kWindowsConsole;

std::string standin(const std::string& variant) {
  return std::string(XOQ_BUILD_DIR) + "/windows/standins/" + variant + "/jvm.dll";
}

class WindowsRuntime : public ::testing::Test {
 protected:
  // Copies a stand-in library to `relative` below the scratch folder.
  std::string place(const std::string& variant, const std::string& relative) {
    const std::string path = dir_.file(relative);
    writeFile(path, readFile(standin(variant)));
    return path;
  }

  ProcessResult launch(const std::string& config, std::map<std::string, std::string> environment = {},
                       const std::string& name = "app.exe") {
    const std::string exe = packageExecutable(kConsole, dir_.file(name), "mainclass app.Main\r\n" + config);
    EXPECT_FALSE(exe.empty());
    RunOptions options;
    options.workingDirectory = dir_.path();
    options.setEnv = environment;
    options.setEnv["XOQ_STANDIN_RECORD"] = launcherPath(kConsole, dir_.file("record.txt"));
    for (const char* variable : {"JRE_HOME", "JAVA_HOME"}) {
      if (environment.find(variable) == environment.end()) options.unsetEnv.push_back(variable);
    }
    std::remove(dir_.file("record.txt").c_str());
    return runExecutable(kConsole, exe, {}, options);
  }

  // What the stand-in recorded: "key=value" lines.
  std::map<std::string, std::string> recorded() { return parseKeyValues(readFile(dir_.file("record.txt"))); }

  std::string win(const std::string& relative) { return launcherPath(kConsole, dir_.file(relative)); }

  static std::string describe(const ProcessResult& result) {
    return "exit " + std::to_string(result.exitCode) + "\nstderr:\n" + result.err;
  }

  TempDir dir_;
};

TEST_F(WindowsRuntime, LibraryWithoutCreationEntryPoint) {
  place("no-entry", "rt/jvm.dll");
  const ProcessResult result = launch("jre_order c\r\njvmdll rt\\jvm.dll\r\n");
  EXPECT_EQ(result.exitCode, 2) << describe(result);
  EXPECT_NE(result.err.find("Java Runtime Environment not valid."), std::string::npos) << describe(result);
  EXPECT_TRUE(traced(result, "no JNI_CreateJavaVM")) << describe(result);
}

TEST_F(WindowsRuntime, CreationEntryPointThatFails) {
  place("create", "rt/jvm.dll");
  const ProcessResult result = launch("jre_order c\r\njvmdll rt\\jvm.dll\r\n");
  EXPECT_EQ(result.exitCode, 4) << describe(result);
  EXPECT_NE(result.err.find("Java Virtual Machine starts failed."), std::string::npos) << describe(result);
  EXPECT_EQ(recorded()["entry"], "JNI_CreateJavaVM");
}

TEST_F(WindowsRuntime, OnlyTheImplEntryPointIsUsed) {
  place("impl-only", "rt/jvm.dll");
  const ProcessResult result = launch("jre_order c\r\njvmdll rt\\jvm.dll\r\n");
  EXPECT_EQ(result.exitCode, 4) << describe(result);
  EXPECT_EQ(recorded()["entry"], "JNI_CreateJavaVM_Impl") << describe(result);
}

TEST_F(WindowsRuntime, DependencyInTheParentFolderLoadsOnTheSecondAttempt) {
  place("needs-parent", "rt/bin/client/jvm.dll");
  writeFile(dir_.file("rt/bin/xoqdep.dll"), readFile(std::string(XOQ_BUILD_DIR) + "/windows/standins/dependency/"
                                                                                  "xoqdep.dll"));
  const ProcessResult result = launch("jre_order b\r\njre rt\r\n");
  EXPECT_EQ(result.exitCode, 4) << describe(result);
  EXPECT_TRUE(traced(result, "retrying with")) << describe(result);
  std::map<std::string, std::string> values = recorded();
  EXPECT_EQ(values["dependency"], "42") << describe(result);
  // PATH ends with the library's folder followed by "..".
  const std::string path = values["PATH"];
  const std::string tail = "client/..";
  ASSERT_GE(path.size(), tail.size()) << path;
  EXPECT_EQ(path.substr(path.size() - tail.size()), tail) << path;
  EXPECT_NE(path.find(";" + win("rt") + "/bin\\client/.."), std::string::npos) << path;
}

TEST_F(WindowsRuntime, UnloadableLibraryReportsTheSystemReason) {
  writeFile(dir_.file("rt/jvm.dll"), "not a library");
  const ProcessResult result = launch("jre_order c\r\njvmdll rt\\jvm.dll\r\n");
  EXPECT_EQ(result.exitCode, 2) << describe(result);
  EXPECT_NE(result.err.find("Java Runtime Environment not valid."), std::string::npos) << describe(result);
  // The system's text comes first, on a line of its own.
  EXPECT_GT(result.err.find("Java Runtime Environment not valid."), 2u) << describe(result);
}

TEST_F(WindowsRuntime, OptionListExactly) {
  place("create", "rt/jvm.dll");
  writeFile(dir_.file("lib/a.jar"), "a");
  const ProcessResult result = launch(
      "jre_order c\r\njvmdll rt\\jvm.dll\r\n"
      "option -Xmx512m -Xms64m\r\n"
      "option -Dsecond=2\r\n"
      "java_classpath lib\\a.jar\r\n"
      "classpath lib\\a.jar;more.jar\r\n");
  ASSERT_EQ(result.exitCode, 4) << describe(result);
  std::map<std::string, std::string> values = recorded();
  EXPECT_EQ(values["version"], "00010002");
  EXPECT_EQ(values["ignoreUnrecognized"], "1");
  const std::string exe = win("app.exe");
  const std::string home = win("");
  std::vector<std::string> expected = {"-Xmx512m -Xms64m",
                                       "-Dsecond=2",
                                       "-Djava.class.path=" + exe + ";" + home + "lib\\a.jar",
                                       "-Dxoq.class.path=;" + home + "lib\\a.jar;" + home + "more.jar",
                                       "-Dxoq.app.path=" + exe,
                                       "-Dapplication.home=" + home,
                                       "-Djava.system.class.loader=com.tarvolin.xoq.HolvaneClassLoader"};
  // Wine's token says whether the process is elevated; the option follows it.
  if (traced(result, "-Dxoq.is.elevated=true")) expected.push_back("-Dxoq.is.elevated=true");
  ASSERT_EQ(values["options"], std::to_string(expected.size())) << readFile(dir_.file("record.txt"));
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(values["option" + std::to_string(i)], expected[i]) << i;

  // Without the system class loader option when the key says FALSE.
  const ProcessResult separate =
      launch("jre_order c\r\njvmdll rt\\jvm.dll\r\nassystemclassloader false\r\n", {}, "separate.exe");
  EXPECT_EQ(readFile(dir_.file("record.txt")).find("java.system.class.loader"), std::string::npos);
}

TEST_F(WindowsRuntime, VirtualMachineSubdirectoriesAndThePreferredOne) {
  place("create", "rt/bin/client/jvm.dll");
  place("create", "rt/bin/server/jvm.dll");
  const ProcessResult preferred = launch("jre_order b\r\njre rt\\\r\nvm server\r\n");
  EXPECT_TRUE(traced(preferred, "runtime library chosen (method b): " + win("rt") + "\\bin\\server/jvm.dll"))
      << describe(preferred);
  // Without a preference, the first folder the system lists wins.
  const ProcessResult any = launch("jre_order b\r\njre rt\r\nvm x\r\n", {}, "any.exe");
  EXPECT_TRUE(traced(any, "runtime library chosen (method b): " + win("rt") + "/bin\\")) << describe(any);
}

TEST_F(WindowsRuntime, DevelopmentKitLayoutsAndBinGivenDirectly) {
  place("create", "jdk/jre/bin/server/jvm.dll");
  writeFile(dir_.file("jdk/bin/java.exe"), "");
  const ProcessResult kit = launch("jre_order b\r\njre jdk\r\n");
  EXPECT_TRUE(traced(kit, "runtime library chosen (method b): " + win("jdk") + "/jre\\bin\\server/jvm.dll"))
      << describe(kit);
  // The kit's bin folder reaches the kit's runtime through "..\jre\bin\".
  const ProcessResult bin = launch("jre_order b\r\njre jdk\\bin\r\n", {}, "bin.exe");
  EXPECT_TRUE(traced(bin, "runtime library chosen (method b): " + win("jdk") + "\\bin/..\\jre\\bin\\server/jvm.dll"))
      << describe(bin);
  // A runtime's bin folder given directly: its virtual machine folders.
  place("create", "rt/bin/client/jvm.dll");
  const ProcessResult direct = launch("jre_order b\r\njre rt\\bin\r\n", {}, "direct.exe");
  EXPECT_TRUE(traced(direct, "runtime library chosen (method b): " + win("rt") + "\\bin/client/jvm.dll"))
      << describe(direct);
}

TEST_F(WindowsRuntime, EnvironmentMethodAndSearchOrders) {
  place("create", "java/bin/server/jvm.dll");
  writeFile(dir_.file("nojava/readme.txt"), "");
  const ProcessResult env = launch("jre_order e\r\n", {{"JRE_HOME", win("nojava")}, {"JAVA_HOME", win("java")}});
  EXPECT_TRUE(traced(env, "runtime library chosen (method e): " + win("java") + "/bin\\server/jvm.dll"))
      << describe(env);

  for (const char* order : {"", "xyz"}) {
    const ProcessResult result = launch(std::string("jre_order ") + order + "\r\n", {}, "order.exe");
    EXPECT_TRUE(traced(result, "runtime search order: cbsie")) << order << describe(result);
  }
  const ProcessResult be = launch("jre_order BE\r\n", {{"JAVA_HOME", win("java")}}, "be.exe");
  EXPECT_TRUE(traced(be, "runtime search order: be")) << describe(be);
  EXPECT_TRUE(traced(be, "runtime method b: ")) << describe(be);
  EXPECT_TRUE(traced(be, "runtime library chosen (method e)")) << describe(be);
}

// Registered runtimes, written into the Wine registry of the test prefix,
// which the tests that register runtimes take turns with.
class RegisteredRuntime : public WindowsRuntime {
 protected:
  RegistryLock registry_;

  void TearDown() override {
    for (const char* key :
         {"SOFTWARE\\JavaSoft\\Java Runtime Environment", "SOFTWARE\\IBM\\Java2 Runtime Environment"}) {
      reg({"delete", std::string("HKLM\\") + key, "/f"});
    }
  }
  void reg(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), {XOQ_WINE_PROGRAM, "reg"});
    RunOptions options;
    options.timeoutSeconds = 60;
    runProcess(arguments, options);
  }
  void registerValue(const std::string& key, const std::string& name, const std::string& value) {
    reg({"add", "HKLM\\" + key, "/v", name, "/d", value, "/f"});
  }
};

TEST_F(RegisteredRuntime, RuntimeLibJavaHomeAndThePreferredVirtualMachine) {
  // Nothing registered yet: method s finds nothing, message 1. (Here, not in
  // a test of its own: tests run side by side and share the registry.)
  const ProcessResult none = launch("jre_order s\r\n", {}, "none.exe");
  EXPECT_EQ(none.exitCode, 1) << describe(none);
  EXPECT_NE(none.err.find("Java Runtime Environment not found."), std::string::npos) << describe(none);

  const std::string key = "SOFTWARE\\JavaSoft\\Java Runtime Environment";
  place("create", "jre8/bin/client/jvm.dll");
  place("create", "jre8/bin/server/jvm.dll");
  registerValue(key, "CurrentVersion", "1.8");
  registerValue(key + "\\1.8", "RuntimeLib", win("jre8") + "\\bin\\client\\jvm.dll");
  const ProcessResult verbatim = launch("jre_order s\r\n");
  EXPECT_EQ(verbatim.exitCode, 4) << describe(verbatim);
  EXPECT_TRUE(traced(verbatim, "runtime library chosen (method s): " + win("jre8") + "\\bin\\client\\jvm.dll"))
      << describe(verbatim);

  // With a preferred virtual machine, the runtime's bin folder is searched.
  const ProcessResult server = launch("jre_order s\r\nvm server\r\n", {}, "server.exe");
  EXPECT_TRUE(traced(server, "runtime library chosen (method s): " + win("jre8") + "\\bin/server/jvm.dll"))
      << describe(server);

  // JavaHome instead of RuntimeLib, under the second vendor's key.
  const std::string ibm = "SOFTWARE\\IBM\\Java2 Runtime Environment";
  registerValue(ibm, "CurrentVersion", "8.0");
  registerValue(ibm + "\\8.0", "JavaHome", win("jre8"));
  const ProcessResult home = launch("jre_order i\r\nvm server\r\n", {}, "home.exe");
  EXPECT_TRUE(traced(home, "runtime method registry " + ibm + "\\8.0: JavaHome")) << describe(home);
  EXPECT_TRUE(traced(home, "runtime library chosen (method i): " + win("jre8") + "/bin\\server/jvm.dll"))
      << describe(home);

  // A version key that is missing: the method fails.
  registerValue(key, "CurrentVersion", "9.9");
  const ProcessResult missing = launch("jre_order s\r\n", {}, "missing.exe");
  EXPECT_EQ(missing.exitCode, 1) << describe(missing);
}

}  // namespace
}  // namespace testing
}  // namespace xoq
