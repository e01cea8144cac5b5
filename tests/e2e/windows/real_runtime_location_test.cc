// The runtime search of the Windows launcher against the real runtime's
// layout (bin\server\jvm.dll, no client virtual machine): JRE_HOME and
// JAVA_HOME, the registry keys a Windows installer writes, a runtime in a
// folder "jre" beside the executable, the jvmdll key, and the vm preference. The trace
// says which library was chosen; the probe says which runtime then ran.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "e2e/windows/real_runtime.h"
#include "support/registry_lock.h"

namespace xoq {
namespace testing {
namespace {

class RealRuntimeLocation : public RealRuntime {
 protected:
  ProcessResult launch(const std::string& name, const std::string& config,
                       const std::map<std::string, std::string>& environment = {}) {
    const std::string exe = package(Target::kWindowsConsole, name, "mainclass probe.Probe\r\n" + config,
                                    {"--add-tree", testAppClasses("probe")});
    RunOptions runOptions = options();
    runOptions.setEnv["XOQ_TRACE"] = "1";
    runOptions.setEnv.erase("JAVA_HOME");
    runOptions.unsetEnv.push_back("JAVA_HOME");
    for (const auto& variable : environment) {
      runOptions.setEnv[variable.first] = variable.second;
      runOptions.unsetEnv.erase(std::remove(runOptions.unsetEnv.begin(), runOptions.unsetEnv.end(), variable.first),
                                runOptions.unsetEnv.end());
    }
    return run(Target::kWindowsConsole, exe, {}, runOptions);
  }

  // The application's folder as the launcher's paths begin with it.
  std::string home() const { return win(""); }
};

TEST_F(RealRuntimeLocation, JreHomeBeforeJavaHome) {
  writeFile(dir_.file("empty/readme.txt"), "no runtime here");
  const ProcessResult java =
      launch("java.exe", "jre_order e\r\n", {{"JRE_HOME", win("empty")}, {"JAVA_HOME", javaHome()}});
  ASSERT_EQ(java.exitCode, 0) << describe(java);
  EXPECT_TRUE(traced(java, "runtime library chosen (method e): " + javaHome() + "/bin\\server/jvm.dll"))
      << describe(java);
  EXPECT_EQ(values(java)["java.home"], javaHome());

  const ProcessResult jre =
      launch("jre.exe", "jre_order e\r\n", {{"JRE_HOME", javaHome()}, {"JAVA_HOME", win("empty")}});
  ASSERT_EQ(jre.exitCode, 0) << describe(jre);
  EXPECT_TRUE(traced(jre, "runtime method e: JRE_HOME=" + javaHome())) << describe(jre);
  EXPECT_EQ(values(jre)["java.home"], javaHome());
}

TEST_F(RealRuntimeLocation, RuntimeBesideTheExecutableConfiguredLibraryAndThePreferredVirtualMachine) {
  // A runtime shipped in jre\ beside the application, found by the default
  // order; the preferred server virtual machine is looked for first.
  std::filesystem::create_directory_symlink(windowsRuntimeHome(), dir_.file("jre"));
  const ProcessResult beside = launch("beside.exe", "vm server\r\n");
  ASSERT_EQ(beside.exitCode, 0) << describe(beside);
  EXPECT_TRUE(traced(beside, "runtime search order: cbsiejvwf")) << describe(beside);
  EXPECT_TRUE(traced(beside, "runtime library chosen (method b): " + home() + "./jre/bin\\server/jvm.dll"))
      << describe(beside);
  EXPECT_EQ(values(beside)["java.home"], win("jre"));

  const ProcessResult configured =
      launch("configured.exe", "jre_order c\r\njvmdll " + javaHome() + "\\bin\\server\\jvm.dll\r\n");
  ASSERT_EQ(configured.exitCode, 0) << describe(configured);
  EXPECT_TRUE(traced(configured, "runtime library chosen (method c): " + javaHome() + "\\bin\\server\\jvm.dll"))
      << describe(configured);
  EXPECT_EQ(values(configured)["java.home"], javaHome());

  // This runtime has no client virtual machine: asked for one, the search
  // takes the folder that the system lists.
  const ProcessResult client = launch("client.exe", "jre_order b\r\njre " + javaHome() + "\\bin\r\nvm client\r\n");
  ASSERT_EQ(client.exitCode, 0) << describe(client);
  EXPECT_TRUE(traced(client, "runtime candidate " + javaHome() + "\\bin/client/jvm.dll: not there"))
      << describe(client);
  EXPECT_TRUE(traced(client, "runtime library chosen (method b): " + javaHome() + "\\bin/server/jvm.dll"))
      << describe(client);
}

// The keys as a runtime's installer writes them, in the test prefix's
// registry, which the tests that register runtimes take turns with.
class RealRuntimeJavaSoftKey : public RealRuntimeLocation {
 protected:
  void TearDown() override { reg({"delete", "HKLM\\" + kKey, "/f"}); }

  ProcessResult reg(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), {XOQ_WINE_PROGRAM, "reg"});
    RunOptions regOptions;
    regOptions.timeoutSeconds = 90;
    return runProcess(arguments, regOptions);
  }

  void registerValue(const std::string& subkey, const std::string& name, const std::string& value) {
    const ProcessResult added = reg({"add", "HKLM\\" + kKey + subkey, "/v", name, "/d", value, "/f"});
    EXPECT_EQ(added.exitCode, 0) << describe(added);
  }

  const std::string kKey = "SOFTWARE\\JavaSoft\\Java Runtime Environment";
  RegistryLock registry_;
};

TEST_F(RealRuntimeJavaSoftKey, RegisteredAsAnInstallerRegistersIt) {
  const std::string library = javaHome() + "\\bin\\server\\jvm.dll";
  registerValue("", "CurrentVersion", "11");
  for (const char* version : {"\\11", "\\11.0.2"}) {
    registerValue(version, "JavaHome", javaHome());
    registerValue(version, "RuntimeLib", library);
  }
  registerValue("\\11.0.2", "MicroVersion", "0");
  const ProcessResult registered = launch("registered.exe", "jre_order s\r\n");
  ASSERT_EQ(registered.exitCode, 0) << describe(registered);
  EXPECT_TRUE(traced(registered, "runtime library chosen (method s): " + library)) << describe(registered);
  EXPECT_EQ(values(registered)["java.home"], javaHome());

  // With a preferred virtual machine, the runtime's bin folder is searched.
  const ProcessResult preferred = launch("preferred.exe", "jre_order s\r\nvm server\r\n");
  ASSERT_EQ(preferred.exitCode, 0) << describe(preferred);
  EXPECT_TRUE(traced(preferred, "runtime library chosen (method s): " + javaHome() + "\\bin/server/jvm.dll"))
      << describe(preferred);
}

}  // namespace
}  // namespace testing
}  // namespace xoq
