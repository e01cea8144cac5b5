// The same inputs give the same bytes: a Windows and a Linux program packed
// twice on Linux (other time zone, locale and umask the second time, and
// every input's time changed in between) and once by xoqpack.exe under Wine
// come out identical each time; they still pass their integrity check and
// run, and the Windows one can be signed. SOURCE_DATE_EPOCH moves every
// entry's time to its moment, again the same on both systems.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/packaging.h"
#include "support/process.h"
#include "support/signing.h"
#include "support/windows_runtime.h"

namespace xoq {
namespace testing {
namespace {

constexpr char kHello[] = "Hello from a Java program packaged with xoq.";

class Reproducible : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string classes = std::string(XOQ_BUILD_DIR) + "/examples/hello-classes";
    ASSERT_EQ(runProcess(
                  {"jar", "--create", "--file", dir_.file("app.jar"), "--main-class", "hello.Main", "-C", classes, "."})
                  .exitCode,
              0);
    // Windows-1252 text, a tree with a non-ASCII name, an icon and a splash
    // image: every kind of input xoqpack converts or copies.
    writeFile(dir_.file("app.cfg"),
              "argv --greeting \"gr\xFC\xDF"
              "e\"\n");
    writeFile(dir_.file("res/\xC3\xA4rger/b.txt"), "b");
    writeFile(dir_.file("res/a.txt"), std::string(10000, 'a'));
    ASSERT_EQ(runProcess({"convert", "-size", "32x32", "gradient:red-blue", dir_.file("app.ico")}).exitCode, 0);
    ASSERT_EQ(runProcess({"convert", "-size", "64x48", "gradient:green-blue", dir_.file("splash.png")}).exitCode, 0);
  }

  // The options of one packing, with every path spelt by `spell`.
  std::vector<std::string> options(const std::string& target, const std::string& output,
                                   std::string (*spell)(const std::string&)) const {
    std::vector<std::string> arguments = {"--target",   target,
                                          "--jar",      spell(dir_.file("app.jar")),
                                          "--config",   spell(dir_.file("app.cfg")),
                                          "--add-tree", spell(dir_.file("res")) + "=data",
                                          "--comment",  "packed reproducibly",
                                          "--output",   spell(output)};
    if (target != "linux") {
      arguments.insert(arguments.end(),
                       {"--icon", spell(dir_.file("app.ico")), "--splash-image", spell(dir_.file("splash.png")),
                        "--file-version", "2.1", "--product", "Hello"});
    }
    return arguments;
  }

  static std::string asIs(const std::string& path) { return path; }
  static std::string windows(const std::string& path) { return launcherPath(Target::kWindows, path); }

  // The Linux xoqpack under a umask, in a time zone and a locale.
  ProcessResult packOnLinux(const std::vector<std::string>& arguments, const char* umask,
                            const std::map<std::string, std::string>& environment) const {
    std::vector<std::string> command = {"/bin/sh", "-c", std::string("umask ") + umask + " && exec \"$0\" \"$@\"",
                                        xoqpackPath()};
    command.insert(command.end(), arguments.begin(), arguments.end());
    RunOptions options;
    options.setEnv = environment;
    if (environment.count("SOURCE_DATE_EPOCH") == 0) options.unsetEnv = {"SOURCE_DATE_EPOCH"};
    return runProcess(command, options);
  }

  // Sets every input's time, as a rebuild of the inputs would.
  void touchInputs(const char* when) const {
    std::vector<std::string> command = {"touch", "-d", when};
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir_.path())) {
      if (entry.is_regular_file()) command.push_back(entry.path().string());
    }
    ASSERT_EQ(runProcess(command).exitCode, 0);
  }

  // The date and time python's zipfile reads for the first entry.
  static std::string firstEntryTime(const std::string& file) {
    return runProcess({"python3", "-c",
                       "import sys, zipfile; print(zipfile.ZipFile(sys.argv[1]).infolist()[0].date_time)", file})
        .out;
  }

  TempDir dir_;
};

TEST_F(Reproducible, TwoPacksOnLinuxAndOneOnWindowsGiveOneFile) {
  for (const std::string target : {"windows-console", "linux"}) {
    // One output name (the version information holds it), three folders.
    const std::string base = dir_.file("out/" + target);
    for (const char* folder : {"/first", "/second", "/third"}) std::filesystem::create_directories(base + folder);
    const std::string name = target == "linux" ? "/app" : "/app.exe";
    const ProcessResult first =
        packOnLinux(options(target, base + "/first" + name, asIs), "022", {{"TZ", "UTC"}, {"LC_ALL", "C"}});
    ASSERT_EQ(first.exitCode, 0) << first.err;
    touchInputs("2001-02-03 04:05:06");
    const ProcessResult second = packOnLinux(options(target, base + "/second" + name, asIs), "077",
                                             {{"TZ", "Pacific/Kiritimati"}, {"LC_ALL", "C.UTF-8"}});
    ASSERT_EQ(second.exitCode, 0) << second.err;
    touchInputs("2030-01-01 00:00:00");
    RunOptions elsewhere;
    elsewhere.setEnv["TZ"] = "America/Los_Angeles";
    elsewhere.unsetEnv = {"SOURCE_DATE_EPOCH"};
    const ProcessResult third = runXoqpackExe(options(target, base + "/third" + name, windows), elsewhere);
    ASSERT_EQ(third.exitCode, 0) << third.err;

    const std::string bytes = readFile(base + "/first" + name);
    ASSERT_GT(bytes.size(), 100000u);
    EXPECT_TRUE(bytes == readFile(base + "/second" + name)) << target << ": the second Linux packing differs";
    EXPECT_TRUE(bytes == readFile(base + "/third" + name)) << target << ": xoqpack.exe's packing differs";
    EXPECT_EQ(firstEntryTime(base + "/third" + name), "(1980, 1, 1, 0, 0, 0)\n");
  }

  // The Linux program runs, its integrity check passed.
  const std::string linux = dir_.file("out/linux/third/app");
  makeExecutable(linux);
  const ProcessResult hello = runExecutable(Target::kLinux, linux, {});
  EXPECT_EQ(hello.exitCode, 0) << hello.err;
  EXPECT_TRUE(traced(hello, "integrity: the stored value matches")) << hello.err;
  EXPECT_NE(hello.out.find(kHello), std::string::npos) << hello.out;
  EXPECT_NE(hello.out.find("Argument 1: gr\xC3\xBC\xC3\x9F"
                           "e"),
            std::string::npos)
      << hello.out;

  // The Windows program can be signed, and signed or not it passes its
  // check under Wine.
  const std::string exe = dir_.file("out/windows-console/third/app.exe");
  ASSERT_EQ(signWithThrowAwayCertificate(dir_.path(), exe, dir_.file("signed.exe")), "");
  RunOptions noRuntime;
  noRuntime.unsetEnv = {"JAVA_HOME", "JRE_HOME"};
  noRuntime.timeoutSeconds = 120;
  for (const std::string& file : {exe, dir_.file("signed.exe")}) {
    const ProcessResult run = runExecutable(Target::kWindowsConsole, file, {}, noRuntime);
    EXPECT_TRUE(traced(run, "integrity: the stored value matches")) << file << "\n" << run.err;
  }
  XOQ_REQUIRE_WINDOWS_RUNTIME();
  RunOptions withRuntime;
  withRuntime.setEnv["JAVA_HOME"] = windows(windowsRuntimeHome());
  withRuntime.timeoutSeconds = 120;
  const ProcessResult signedRun = runExecutable(Target::kWindowsConsole, dir_.file("signed.exe"), {}, withRuntime);
  EXPECT_EQ(signedRun.exitCode, 0) << signedRun.err;
  EXPECT_NE(signedRun.out.find(kHello), std::string::npos) << signedRun.out << signedRun.err;
}

TEST_F(Reproducible, SourceDateEpochIsEveryEntrysTimeOnBothSystems) {
  const std::string linux = dir_.file("linux.exe");
  const std::string onWindows = dir_.file("windows.exe");
  const ProcessResult packed = packOnLinux({"--target", "windows", "--jar", dir_.file("app.jar"), "--output", linux},
                                           "022", {{"TZ", "Europe/Berlin"}, {"SOURCE_DATE_EPOCH", "1700000001"}});
  ASSERT_EQ(packed.exitCode, 0) << packed.err;
  RunOptions epoch;
  epoch.setEnv["SOURCE_DATE_EPOCH"] = "1700000001";
  const ProcessResult exe = runXoqpackExe(
      {"--target", "windows", "--jar", windows(dir_.file("app.jar")), "--output", windows(onWindows)}, epoch);
  ASSERT_EQ(exe.exitCode, 0) << exe.err;
  EXPECT_TRUE(readFile(linux) == readFile(onWindows));
  // The moment in UTC, to the even second below.
  EXPECT_EQ(firstEntryTime(linux), "(2023, 11, 14, 22, 13, 20)\n");
  const ProcessResult plain = packOnLinux(
      {"--target", "windows", "--jar", dir_.file("app.jar"), "--output", dir_.file("plain.exe")}, "022", {});
  ASSERT_EQ(plain.exitCode, 0) << plain.err;
  EXPECT_FALSE(readFile(linux) == readFile(dir_.file("plain.exe")));
}

}  // namespace
}  // namespace testing
}  // namespace xoq
