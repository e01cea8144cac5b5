// The Java runtime on Linux, with every JDK installed under /usr/lib/jvm:
// the virtual machine created in the launcher's own process, its options,
// properties and class paths, the version bounds, and the ways creation can
// fail.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/jdks.h"
#include "support/packaging.h"

namespace xoq {
namespace testing {
namespace {

const std::string kProbeMain = "mainclass probe.Probe\r\n";

class Runtime : public ::testing::TestWithParam<std::string> {
 protected:
  const std::string& home() const { return GetParam(); }

  // A probe application, its classes at the top of the archive, configured
  // to take the runtime from JAVA_HOME.
  std::string probe(const std::string& config, const std::string& name = "probe") {
    const std::string exe = packageWith(Target::kLinux, dir_.file(name), "jre_order e\r\n" + kProbeMain + config,
                                        {"--add-tree", testAppClasses("probe")});
    EXPECT_FALSE(exe.empty());
    return exe;
  }

  ProcessResult run(const std::string& exe, const std::vector<std::string>& arguments = {}, bool traceOn = true,
                    std::map<std::string, std::string> environment = {}) {
    RunOptions options;
    options.workingDirectory = dir_.path();
    options.setEnv = environment;
    options.setEnv["JAVA_HOME"] = home();
    if (!traceOn) options.setEnv["XOQ_TRACE"] = "";
    options.unsetEnv = {"JRE_HOME", "CLASSPATH", "CLASS_PATH"};
    options.timeoutSeconds = 120;
    return runExecutable(Target::kLinux, exe, arguments, options);
  }

  static std::string describe(const ProcessResult& result) {
    return "exit " + std::to_string(result.exitCode) + "\nstdout:\n" + result.out + "\nstderr:\n" + result.err;
  }

  TempDir dir_;
};

TEST_P(Runtime, CreatesTheVirtualMachineInProcess) {
  const std::string exe = probe("");
  const ProcessResult result = run(exe, {"x", "y z"});
  ASSERT_EQ(result.exitCode, 0) << describe(result);
  std::map<std::string, std::string> values = parseKeyValues(result.out);
  EXPECT_EQ(values["java.version"], jdkVersion(home()));
  EXPECT_EQ(values["java.home"], home());
  EXPECT_TRUE(traced(result, "runtime library chosen (method e): " + home() + "/lib/server/libjvm.so"))
      << describe(result);
  EXPECT_TRUE(traced(result, "virtual machine creation: done in ")) << describe(result);
  EXPECT_EQ(values["args"], "2");
  EXPECT_EQ(values["arg1"], "y z");
  EXPECT_EQ(values["main"], "returned");
}

// Every support class reaches its natives in both loader modes, and how
// they are bound makes the runtime print nothing: from JDK 24 on it warns
// about JNI libraries that class path code loads. The support classes are
// the application class loader's in both modes, also where the launcher
// defines them itself.
TEST_P(Runtime, SupportClassesReachTheirNativesSilentlyInBothLoaderModes) {
  for (const std::string mode : {"", "assystemclassloader false\r\n"}) {
    const ProcessResult result = run(probe(mode + "property probe.action=natives\r\n", "natives"), {}, false);
    EXPECT_EQ(result.exitCode, 0) << mode << describe(result);
    EXPECT_EQ(result.err, "") << mode << describe(result);
    std::map<std::string, std::string> values = parseKeyValues(result.out);
    EXPECT_EQ(values["natives.instances"], "called") << mode;
    EXPECT_EQ(values["natives.splash"], "none") << mode;
    EXPECT_EQ(values["natives.entryTime"], "true") << mode;
    EXPECT_EQ(values["natives.eventLog"], "made") << mode;
    EXPECT_EQ(values["natives.loaderDefinedBy"], "jdk.internal.loader.ClassLoaders$AppClassLoader") << mode;
  }
}

TEST_P(Runtime, DefaultLaunchPrintsOnlyWhatTheApplicationPrints) {
  const std::string exe = probe("");
  const ProcessResult result = run(exe, {}, false);
  EXPECT_EQ(result.exitCode, 0) << describe(result);
  EXPECT_EQ(result.err, "") << "the launcher's defaults made the runtime print something";
  EXPECT_EQ(result.out.find("Archived non-system classes"), std::string::npos) << result.out;
  EXPECT_EQ(result.out.rfind("java.version=", 0), 0u) << result.out;
}

TEST_P(Runtime, LauncherPropertiesAndTheSystemClassLoader) {
  const std::string exe = probe("");
  const ProcessResult result = run(exe);
  std::map<std::string, std::string> values = parseKeyValues(result.out);
  EXPECT_EQ(values["xoq.app.path"], exe);
  EXPECT_EQ(values["application.home"], dir_.path() + "/");
  EXPECT_EQ(values["java.class.path"], exe);
  EXPECT_EQ(values["xoq.class.path"], "");
  EXPECT_EQ(values["java.system.class.loader"], "com.tarvolin.xoq.HolvaneClassLoader");
  EXPECT_EQ(values["loader.system"], "com.tarvolin.xoq.HolvaneClassLoader");
  EXPECT_EQ(values["java.protocol.handler.pkgs"], "com.tarvolin");
  // The option list, in order.
  const std::vector<std::string> lines = traceLines(result);
  std::vector<std::string> options;
  for (const std::string& line : lines) {
    const size_t at = line.find("] vm option ");
    if (at != std::string::npos) options.push_back(line.substr(line.find(": ", at) + 2));
  }
  const std::vector<std::string> expected = {"-Djava.class.path=" + exe, "-Dxoq.class.path=", "-Dxoq.app.path=" + exe,
                                             "-Dapplication.home=" + dir_.path() + "/",
                                             "-Djava.system.class.loader=com.tarvolin.xoq.HolvaneClassLoader"};
  ASSERT_GE(options.size(), expected.size()) << describe(result);
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(options[i], expected[i]);
}

TEST_P(Runtime, ElevationFollowsTheEffectiveUser) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to run the same executable as another user";
  const std::string exe = probe("");
  // As root: elevated. As nobody: the property is not set at all.
  EXPECT_EQ(parseKeyValues(run(exe).out)["xoq.is.elevated"], "true");
  RunOptions options;
  options.workingDirectory = "/";
  options.setEnv["JAVA_HOME"] = home();
  options.timeoutSeconds = 120;
  const ProcessResult nobody =
      runProcess({"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", exe}, options);
  ASSERT_EQ(nobody.exitCode, 0) << describe(nobody);
  EXPECT_EQ(parseKeyValues(nobody.out)["xoq.is.elevated"], "null");
}

TEST_P(Runtime, OptionsAndPropertiesReachTheApplication) {
  const std::string exe = probe(
      "option -Dspaced=a b\r\n"
      "option -Dboth=from-option\r\n"
      "property probe.props=spaced,both,a,flag,utf,q,emoji\r\n"
      "property emoji=\xF0\x9F\x98\x80 smile\r\n"
      "property both=from-property\r\n"
      "property a=b=c\r\n"
      "property flag\r\n"
      "property utf=caf\xC3\xA9 \xE2\x82\xAC\r\n"
      "property ==nameless\r\n"
      "property q=%APPLICATION_HOME%x\r\n"
      "splashcloseonwindow true\r\n");
  const ProcessResult result = run(exe);
  ASSERT_EQ(result.exitCode, 0) << describe(result);
  std::map<std::string, std::string> values = parseKeyValues(result.out);
  EXPECT_EQ(values["prop.spaced"], "a b");  // one option, blank and all
  EXPECT_EQ(values["prop.both"], "from-property");
  EXPECT_EQ(values["prop.a"], "b=c");
  EXPECT_EQ(values["prop.flag"], "");
  EXPECT_EQ(values["prop.utf"], "caf\xC3\xA9 \xE2\x82\xAC");
  // Beyond the Basic Multilingual Plane too.
  EXPECT_EQ(values["prop.emoji"], "\xF0\x9F\x98\x80 smile");
  EXPECT_EQ(values["prop.q"], dir_.path() + "/x");
  // The nameless property is refused by the runtime; its exception is shown
  // and cleared, and the launch goes on.
  EXPECT_NE(result.err.find("IllegalArgumentException"), std::string::npos) << describe(result);
  EXPECT_TRUE(traced(result, "property =nameless: not set")) << describe(result);
  // The splash listener is registered, though there is no splash.
  EXPECT_TRUE(traced(result, "splash close on window: listening")) << describe(result);
}

TEST_P(Runtime, ExportsReachTheApplicationButNotTheSearch) {
  const std::string exe = probe(
      "export PROBE_VAR=hello %APPLICATION_HOME%\r\n"
      "export JAVA_HOME=/nowhere\r\n"
      "export NOT_AN_ASSIGNMENT\r\n"
      "property probe.env=PROBE_VAR,JAVA_HOME,NOT_AN_ASSIGNMENT,REMOVED\r\n"
      "export REMOVED=\r\n");
  const ProcessResult result = run(exe, {}, true, {{"REMOVED", "was set"}});
  ASSERT_EQ(result.exitCode, 0) << describe(result);
  std::map<std::string, std::string> values = parseKeyValues(result.out);
  EXPECT_EQ(values["env.PROBE_VAR"], "hello " + dir_.path() + "/");
  EXPECT_EQ(values["env.JAVA_HOME"], "/nowhere");
  EXPECT_EQ(values["java.home"], home());
  EXPECT_EQ(values["env.NOT_AN_ASSIGNMENT"], "null");
  EXPECT_EQ(values["env.REMOVED"], "null");
}

TEST_P(Runtime, VersionBounds) {
  const std::string version = jdkVersion(home());
  const ProcessResult accepted = run(probe("minjre 1.6\r\nmaxjre 99\r\n", "accepted"));
  EXPECT_EQ(accepted.exitCode, 0) << describe(accepted);

  const ProcessResult low = run(probe("minjre 99.1\r\n", "low"));
  EXPECT_EQ(low.exitCode, 6) << describe(low);
  EXPECT_NE(low.err.find("Java virtual machine version " + version + " is too low, require 99.1 or higher."),
            std::string::npos)
      << describe(low);
  EXPECT_EQ(low.out.find("main="), std::string::npos) << "main must not run";

  const ProcessResult high = run(probe("maxjre 1.8\r\n", "high"));
  EXPECT_EQ(high.exitCode, 12) << describe(high);
  // An empty minjre leaves two blanks after "between".
  EXPECT_NE(high.err.find("Java virtual machine version " + version +
                          " is too high, version between  and 1.8 is "
                          "required."),
            std::string::npos)
      << describe(high);
}

TEST_P(Runtime, CreationFailureAndUnloadableLibrary) {
  // An impossible heap size is refused by the creation itself. (Some other
  // refusals, such as a heap too small to start with, end the process from
  // inside the runtime before creation returns.)
  const ProcessResult refused = run(probe("option -Xmx=lots\r\n", "refused"));
  EXPECT_EQ(refused.exitCode, 4) << describe(refused);
  EXPECT_NE(refused.err.find("Java Virtual Machine starts failed."), std::string::npos) << describe(refused);

  // A refusal that ends the process from inside the runtime: its reason
  // still reaches the user.
  const ProcessResult tooSmall = run(probe("option -Xmx1k\r\n", "toosmall"));
  EXPECT_EQ(tooSmall.exitCode, 1) << describe(tooSmall);
  EXPECT_NE((tooSmall.out + tooSmall.err).find("Too small maximum heap"), std::string::npos) << describe(tooSmall);

  writeFile(dir_.file("notalibrary.so"), "this is text, not a shared object");
  const std::string exe =
      packageWith(Target::kLinux, dir_.file("broken"), "jre_order c\r\njvmdll notalibrary.so\r\n" + kProbeMain,
                  {"--add-tree", testAppClasses("probe")});
  const ProcessResult broken = run(exe);
  EXPECT_EQ(broken.exitCode, 2) << describe(broken);
  // The loader's own reason, then the message.
  EXPECT_NE(broken.err.find(dir_.file("notalibrary.so") + ": "), std::string::npos) << describe(broken);
  EXPECT_NE(broken.err.find("Java Runtime Environment not valid."), std::string::npos) << describe(broken);
}

TEST_P(Runtime, SystemClassLoaderWorksWhileTheRuntimeIsBeingCreated) {
  // A flight recording started from the options looks resources up through
  // the system class loader before creation has returned.
  const std::string exe =
      probe("option -XX:StartFlightRecording=filename=" + dir_.file("recording.jfr") + ",settings=default\r\n");
  const ProcessResult result = run(exe);
  EXPECT_EQ(result.exitCode, 0) << describe(result);
  EXPECT_EQ(parseKeyValues(result.out)["main"], "returned") << describe(result);
  // The natives were there while the runtime was being created.
  const std::string& err = result.err;
  const size_t bound = err.find("natives: the runtime loaded the executable's built-in library");
  EXPECT_NE(bound, std::string::npos) << describe(result);
  EXPECT_LT(bound, err.find("virtual machine creation: done")) << describe(result);
}

TEST_P(Runtime, SeparateLoaderWhenNotTheSystemClassLoader) {
  const std::string exe = probe("assystemclassloader FALSE\r\n");
  const ProcessResult result = run(exe);
  ASSERT_EQ(result.exitCode, 0) << describe(result);
  std::map<std::string, std::string> values = parseKeyValues(result.out);
  EXPECT_EQ(values["java.system.class.loader"], "null");
  EXPECT_NE(values["loader.system"], "com.tarvolin.xoq.HolvaneClassLoader");
  EXPECT_EQ(values["loader.context"], "com.tarvolin.xoq.HolvaneClassLoader");
  EXPECT_EQ(values["loader.contextIsSystem"], "false");
}

TEST_P(Runtime, WaitsForTheApplicationsThreadsAndKeepsItsExitStatus) {
  const ProcessResult threaded = run(probe("property probe.action=thread\r\n", "threaded"));
  EXPECT_EQ(threaded.exitCode, 0) << describe(threaded);
  EXPECT_LT(threaded.out.find("main=returned"), threaded.out.find("thread=done")) << describe(threaded);

  const ProcessResult exited = run(probe("property probe.action=exit:3\r\n", "exited"));
  EXPECT_EQ(exited.exitCode, 3) << describe(exited);

  // An exception that escapes main ends the program as java ends it: the
  // stack trace printed, the other threads run to their end, then exit code
  // 1, so that a script sees the failure.
  const ProcessResult thrown = run(probe("property probe.action=thread-throw\r\n", "thrown"));
  EXPECT_EQ(thrown.exitCode, 1) << describe(thrown);
  EXPECT_NE(thrown.err.find("Exception in thread \"main\" java.lang.IllegalStateException: thrown by the probe"),
            std::string::npos)
      << describe(thrown);
  EXPECT_NE(thrown.out.find("thread=done"), std::string::npos) << describe(thrown);
  EXPECT_EQ(thrown.out.find("main=returned"), std::string::npos) << describe(thrown);

  // The application's uncaught-exception handler gets it instead, as under
  // java -cp, which prints nothing then.
  const ProcessResult handled = run(probe("property probe.action=handled-throw\r\n", "handled"));
  RunOptions options;
  options.timeoutSeconds = 120;
  const ProcessResult java = runProcess(
      {home() + "/bin/java", "-Dprobe.action=handled-throw", "-cp", testAppClasses("probe"), "probe.Probe"}, options);
  EXPECT_EQ(java.exitCode, 1) << describe(java);
  EXPECT_EQ(parseKeyValues(java.out)["handler"], "main thrown by the probe") << describe(java);
  EXPECT_EQ(handled.exitCode, 1) << describe(handled);
  EXPECT_EQ(parseKeyValues(handled.out)["handler"], "main thrown by the probe") << describe(handled);
  EXPECT_EQ(handled.err.find("Exception in thread"), java.err.find("Exception in thread")) << describe(handled);
}

TEST_P(Runtime, InterruptEndsTheApplicationThroughSystemExit) {
  const std::string exe = probe("property probe.action=wait\r\n");
  RunOptions options;
  options.setEnv["JAVA_HOME"] = home();
  options.signalWhenOutput = "waiting=yes";
  options.signalNumber = SIGINT;
  options.timeoutSeconds = 50;
  const ProcessResult result = runExecutable(Target::kLinux, exe, {}, options);
  // The launcher's handler calls System.exit(0); left to the runtime, an
  // interrupt would end the process with 130.
  EXPECT_FALSE(result.timedOut) << describe(result);
  EXPECT_EQ(result.exitCode, 0) << describe(result);
  EXPECT_EQ(result.out.find("main=returned"), std::string::npos) << describe(result);
  EXPECT_TRUE(traced(result, "console signal handlers installed")) << describe(result);
}

TEST_P(Runtime, InterruptIgnoredAtStartStaysIgnored) {
  // A background job starts with SIGINT ignored; an interrupt must not end
  // it then, as the runtime itself would not.
  const std::string exe = probe("property probe.action=sleep:1500\r\n");
  RunOptions options;
  options.setEnv["JAVA_HOME"] = home();
  options.signalWhenOutput = "waiting=yes";
  options.signalNumber = SIGINT;
  options.timeoutSeconds = 60;
  const ProcessResult result = runProcess({"/bin/sh", "-c", "trap '' INT; exec \"$0\"", exe}, options);
  EXPECT_EQ(result.exitCode, 0) << describe(result);
  EXPECT_NE(result.out.find("main=returned"), std::string::npos) << describe(result);
}

TEST_P(Runtime, JavaAgentsAreAccepted) {
  // The runtime puts an agent's jar on the system class loader's path, which
  // the launcher's loader must allow.
  const ProcessResult result = run(probe("option -javaagent:" + testAppJar("agent") + "\r\n"));
  EXPECT_EQ(result.exitCode, 0) << describe(result);
  EXPECT_NE(result.out.find("agent=premain com.tarvolin.xoq.HolvaneClassLoader"), std::string::npos)
      << describe(result);
  EXPECT_EQ(parseKeyValues(result.out)["main"], "returned") << describe(result);
}

TEST_P(Runtime, HelperProcessOfAnAgentDoesNotHoldUpTheStart) {
  // The agent's helper inherits the streams while the runtime is created
  // and keeps them for 29.5 s; waiting for it would run into the 15 s limit.
  const std::string agent = std::string(XOQ_BUILD_DIR) + "/test-apps/libxoq_spawning_agent.so";
  const std::string exe = probe("option -agentpath:" + agent + "=29.5\r\n");
  RunOptions options;
  options.setEnv["JAVA_HOME"] = home();
  options.timeoutSeconds = 15;
  const ProcessResult result = runExecutable(Target::kLinux, exe, {}, options);
  runProcess({"pkill", "-f", "^sleep 29.5$"});
  EXPECT_FALSE(result.timedOut) << describe(result);
  EXPECT_EQ(result.exitCode, 0) << describe(result);
  EXPECT_EQ(parseKeyValues(result.out)["main"], "returned") << describe(result);
}

TEST_P(Runtime, MainClassFailures) {
  const std::string misspelt =
      packageWith(Target::kLinux, dir_.file("misspelt"), "jre_order e\r\nmainclass probe.Prob\r\n",
                  {"--add-tree", testAppClasses("probe")});
  const ProcessResult notFound = run(misspelt);
  EXPECT_EQ(notFound.exitCode, 7) << describe(notFound);
  EXPECT_NE(notFound.err.find("ClassNotFoundException: probe.Prob"), std::string::npos) << describe(notFound);
  EXPECT_NE(notFound.err.find("The main startup class could not be found."), std::string::npos);

  const std::string notStatic =
      packageWith(Target::kLinux, dir_.file("notstatic"), "jre_order e\r\nmainclass probe.NotStatic\r\n",
                  {"--add-tree", testAppClasses("probe")});
  const ProcessResult noMain = run(notStatic);
  EXPECT_EQ(noMain.exitCode, 8) << describe(noMain);
  EXPECT_NE(noMain.err.find("The main startup class is not valid, main method missing."), std::string::npos)
      << describe(noMain);
}

INSTANTIATE_TEST_SUITE_P(EveryJdk, Runtime, ::testing::ValuesIn(installedJdkHomes()),
                         [](const ::testing::TestParamInfo<std::string>& param) {
                           return jdkParameterName(param.param);
                         });

// The search methods, with the first installed JDK.
class RuntimeSearch : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::vector<std::string> homes = installedJdkHomes();
    ASSERT_FALSE(homes.empty()) << "no JDK under /usr/lib/jvm";
    home_ = homes[0];
  }

  ProcessResult launch(const std::string& config, std::map<std::string, std::string> environment,
                       const std::string& name = "app") {
    const std::string exe =
        packageWith(Target::kLinux, dir_.file(name), kProbeMain + config, {"--add-tree", testAppClasses("probe")});
    RunOptions options;
    options.workingDirectory = dir_.path();
    options.setEnv = environment;
    options.unsetEnv = {"JRE_HOME", "JAVA_HOME"};
    for (const auto& entry : environment) {
      options.unsetEnv.erase(std::remove(options.unsetEnv.begin(), options.unsetEnv.end(), entry.first),
                             options.unsetEnv.end());
    }
    options.timeoutSeconds = 120;
    return runExecutable(Target::kLinux, exe, {}, options);
  }

  std::string home_;
  TempDir dir_;
};

TEST_F(RuntimeSearch, DefaultOrderFindsTheSystemRuntimeOnce) {
  // An empty jre_order is the launcher's own default; xoqpack leaves a
  // configuration that names the key alone (runtime_discovery_test.cc has
  // the order it writes otherwise).
  const ProcessResult result = launch("jre_order\r\n", {});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_TRUE(traced(result, "runtime search order: cbsie")) << result.err;
  EXPECT_TRUE(traced(result, "runtime method c: no jvmdll configured")) << result.err;
  EXPECT_TRUE(traced(result, "runtime method system default: ")) << result.err;
  EXPECT_TRUE(traced(result, "runtime library chosen (method s): ")) << result.err;
  // Searched once, although the splash step and the launch both ask.
  size_t searches = 0;
  for (const std::string& line : traceLines(result)) searches += line.find("runtime search order") != std::string::npos;
  EXPECT_EQ(searches, 1u);
}

TEST_F(RuntimeSearch, OrderBeWithAMissingLocalRuntime) {
  const ProcessResult result = launch("jre_order BE\r\n", {{"JAVA_HOME", home_}});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_TRUE(traced(result, "runtime search order: be")) << result.err;
  EXPECT_TRUE(traced(result, "runtime method b: " + dir_.path() + "/./jre/")) << result.err;
  EXPECT_TRUE(traced(result, "runtime library chosen (method e): ")) << result.err;
}

TEST_F(RuntimeSearch, JreHomeWithoutRuntimeThenJavaHome) {
  writeFile(dir_.file("empty-jre/README"), "no runtime here");
  const ProcessResult result = launch("jre_order e\r\n", {{"JRE_HOME", dir_.file("empty-jre")}, {"JAVA_HOME", home_}});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_TRUE(traced(result, "runtime method e: JRE_HOME=" + dir_.file("empty-jre"))) << result.err;
  EXPECT_TRUE(traced(result, "runtime library chosen (method e): " + home_ + "/lib/server/libjvm.so")) << result.err;
}

TEST_F(RuntimeSearch, LocalRuntimeBesideTheApplicationAndItsLibDirectory) {
  // A runtime placed beside the application, as "jre".
  std::filesystem::create_directory_symlink(home_, dir_.file("jre"));
  const ProcessResult beside = launch("jre_order bc\r\njvmdll missing/libjvm.so\r\n", {}, "beside");
  EXPECT_EQ(beside.exitCode, 0) << beside.err;
  EXPECT_TRUE(traced(beside, "runtime library chosen (method b): " + dir_.path() + "/./jre/lib/server/libjvm.so"))
      << beside.err;
  // A lib directory given directly.
  const ProcessResult lib = launch("jre_order b\r\njre " + home_ + "/lib\r\n", {}, "lib");
  EXPECT_EQ(lib.exitCode, 0) << lib.err;
  EXPECT_TRUE(traced(lib, "runtime library chosen (method b): " + home_ + "/lib/server/libjvm.so")) << lib.err;
}

TEST_F(RuntimeSearch, ConfiguredLibraryMissingThenNextMethodAndNothingFound) {
  const ProcessResult next = launch("jre_order ce\r\njvmdll /nowhere/libjvm.so\r\n", {{"JAVA_HOME", home_}});
  EXPECT_EQ(next.exitCode, 0) << next.err;
  EXPECT_TRUE(traced(next, "runtime candidate /nowhere/libjvm.so: not there")) << next.err;

  // Method i has nothing to read on Linux.
  const ProcessResult none = launch("jre_order i\r\n", {}, "none");
  EXPECT_EQ(none.exitCode, 1) << none.err;
  EXPECT_NE(none.err.find("Java Runtime Environment not found."), std::string::npos) << none.err;
}

TEST_F(RuntimeSearch, ClassPathsFromKeysDirectoriesAndEnvironment) {
  writeFile(dir_.file("lib/a.jar"), "a");
  writeFile(dir_.file("libs/b.JAR"), "b");
  writeFile(dir_.file("libs/notes.txt"), "not an archive");
  writeFile(dir_.file("libs/sub/c.zip"), "c");
  const ProcessResult result = launch(
      "jre_order e\r\n"
      "java_classpath lib/a.jar;;%APPLICATION_HOME%ext.jar\r\n"
      "classpath lib/a.jar\r\n"
      "libs libs\r\n",
      {{"JAVA_HOME", home_}, {"CLASSPATH", "/x.jar"}});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  std::map<std::string, std::string> values = parseKeyValues(result.out);
  const std::string exe = dir_.file("app");
  EXPECT_EQ(values["java.class.path"], exe + ":" + dir_.file("lib/a.jar") + ":" + dir_.path() + "/ext.jar");
  const std::string loaderPath = values["xoq.class.path"];
  EXPECT_EQ(loaderPath.rfind(":" + dir_.file("lib/a.jar"), 0), 0u) << loaderPath;
  EXPECT_NE(loaderPath.find(":" + dir_.file("libs") + "/b.JAR"), std::string::npos) << loaderPath;
  EXPECT_NE(loaderPath.find(":" + dir_.file("libs") + "/sub/c.zip"), std::string::npos) << loaderPath;
  EXPECT_EQ(loaderPath.find("notes.txt"), std::string::npos) << loaderPath;
  EXPECT_EQ(loaderPath.substr(loaderPath.size() - 7), ":/x.jar") << loaderPath;
}

}  // namespace
}  // namespace testing
}  // namespace xoq
