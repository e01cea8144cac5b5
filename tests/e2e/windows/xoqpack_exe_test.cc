// xoqpack.exe, the packager cross-built for Windows, as a Windows user runs
// it (here under Wine): every target from Windows paths (drive letters,
// backslashes, names in any script, paths longer than MAX_PATH), templates
// found beside itself, the same bytes as the Linux xoqpack writes from the
// same inputs, and the same one line for bad input.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/packaging.h"
#include "support/process.h"
#include "support/windows_runtime.h"

namespace xoq {
namespace testing {
namespace {

constexpr char kHello[] = "Hello from a Java program packaged with xoq.";
// "Bücher 日本": a folder name no Windows code page holds whole.
constexpr char kScriptFolder[] =
    "B\xC3\xBC"
    "cher \xE6\x97\xA5\xE6\x9C\xAC";

class XoqpackExe : public ::testing::Test {
 protected:
  // The hello example as an executable jar whose Class-Path names a
  // library beside it, in a folder with a non-ASCII name.
  void SetUp() override {
    writeFile(dir_.file("build/manifest.txt"), "Class-Path: lib/util.jar\n");
    writeFile(dir_.file("build/util/util.txt"), "a library's resource");
    const std::string classes = std::string(XOQ_BUILD_DIR) + "/examples/hello-classes";
    ASSERT_EQ(runProcess({"jar", "--create", "--file", dir_.file("build/app.jar"), "--manifest",
                          dir_.file("build/manifest.txt"), "--main-class", "hello.Main", "-C", classes, "."})
                  .exitCode,
              0);
    ASSERT_EQ(runProcess({"jar", "--create", "--file", dir_.file("build/util.jar"), "-C", dir_.file("build/util"), "."})
                  .exitCode,
              0);
    // The jar tool itself cannot name such a folder in every locale.
    std::filesystem::create_directories(dir_.file(std::string(kScriptFolder) + "/lib"));
    ASSERT_EQ(std::rename(dir_.file("build/app.jar").c_str(), app().c_str()), 0);
    ASSERT_EQ(std::rename(dir_.file("build/util.jar").c_str(),
                          dir_.file(std::string(kScriptFolder) + "/lib/util.jar").c_str()),
              0);
  }

  std::string app() const { return dir_.file(std::string(kScriptFolder) + "/app.jar"); }
  static std::string windows(const std::string& path) { return launcherPath(Target::kWindows, path); }

  TempDir dir_;
};

TEST_F(XoqpackExe, PacksEveryTargetFromWindowsPathsAsTheLinuxXoqpackDoes) {
  // A folder whose files' paths are longer than MAX_PATH.
  std::string deep = dir_.file("deep");
  while (deep.size() < 280) deep += "/a folder with a long name 0123456789";
  std::filesystem::create_directories(deep);
  std::filesystem::create_directories(dir_.file("out"));
  std::filesystem::create_directories(dir_.file("linux"));
  RunOptions inDir;
  inDir.workingDirectory = dir_.path();

  struct Case {
    const char* target;
    std::string name;     // the output's file name
    std::string written;  // where xoqpack.exe writes it, in its spelling
    std::string path;     // the same file here
  };
  const std::string gui = "Programm \xC3\xA9t\xC3\xA9.exe";
  const std::vector<Case> cases = {
      {"windows", gui, "out\\" + gui, dir_.file("out/" + gui)},  // relative, with a backslash
      {"windows-console", "console.exe", windows(deep + "/console.exe"), deep + "/console.exe"},
      {"linux", "hello", windows(deep + "/hello"), deep + "/hello"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> options = {"--target", c.target};
    if (c.target[0] == 'w') options.insert(options.end(), {"--file-version", "1.2.3", "--product", kScriptFolder});
    std::vector<std::string> onWindows = {"--jar", windows(app()), "--output", c.written};
    onWindows.insert(onWindows.end(), options.begin(), options.end());
    const ProcessResult packed = runXoqpackExe(onWindows, inDir);
    ASSERT_EQ(packed.exitCode, 0) << c.target << ": " << packed.err;
    EXPECT_EQ(packed.err, "") << c.target;

    std::vector<std::string> onLinux = {"--jar", app(), "--output", dir_.file("linux/" + c.name)};
    onLinux.insert(onLinux.end(), options.begin(), options.end());
    const ProcessResult reference = runXoqpack(onLinux);
    ASSERT_EQ(reference.exitCode, 0) << c.target << ": " << reference.err;
    const std::string file = readFile(c.path);
    EXPECT_GT(file.size(), 100000u) << c.path;
    EXPECT_TRUE(file == readFile(dir_.file("linux/" + c.name))) << c.target << ": the two xoqpacks differ";
  }
  ASSERT_GT(cases[2].path.size(), 260u);

  // The Class-Path library went in, and the Linux program runs here.
  const ProcessResult listing = runProcess({"jar", "tf", cases[2].path});
  EXPECT_NE(listing.out.find("\nlib/util.jar\n"), std::string::npos) << listing.out;
  makeExecutable(cases[2].path);
  const ProcessResult hello = runProcess({cases[2].path, "eins"});
  EXPECT_EQ(hello.exitCode, 0) << hello.err;
  EXPECT_NE(hello.out.find(kHello), std::string::npos) << hello.out << hello.err;
  EXPECT_NE(hello.out.find("Argument 0: eins"), std::string::npos) << hello.out;

  // The console program runs under Wine (from a short path: the launcher
  // names itself with the narrow functions, within MAX_PATH).
  XOQ_REQUIRE_WINDOWS_RUNTIME();
  std::filesystem::copy_file(cases[1].path, dir_.file("console.exe"));
  RunOptions withRuntime;
  withRuntime.setEnv["JAVA_HOME"] = windows(windowsRuntimeHome());
  withRuntime.timeoutSeconds = 120;
  const ProcessResult console = runExecutable(Target::kWindowsConsole, dir_.file("console.exe"), {"zwei"}, withRuntime);
  EXPECT_EQ(console.exitCode, 0) << console.err;
  EXPECT_NE(console.out.find(kHello), std::string::npos) << console.out << console.err;
  EXPECT_NE(console.out.find("Argument 0: zwei"), std::string::npos) << console.out;
}

TEST_F(XoqpackExe, GivesARuntimeAsTheLinuxXoqpackDoes) {
  // A Windows program with the real Windows runtime, and a Linux one with a
  // runtime linked here (whose helpers need their executable bit, which
  // Windows does not keep: the carried form records it by name), in both
  // forms: the same bytes from either xoqpack, and the same jre/ folder
  // beside the program.
  XOQ_REQUIRE_WINDOWS_RUNTIME();
  const std::string linuxRuntime = std::string(XOQ_BUILD_DIR) + "/test-runtime";
  ASSERT_TRUE(std::filesystem::exists(linuxRuntime + "/lib/server/libjvm.so")) << linuxRuntime;
  RunOptions inDir;
  inDir.workingDirectory = dir_.path();
  inDir.timeoutSeconds = 600;
  struct Case {
    const char* target;
    std::string runtime;
    const char* name;
  };
  const std::vector<Case> cases = {{"windows-console", windowsRuntimeHome(), "app.exe"},
                                   {"linux", linuxRuntime, "app"}};
  for (const Case& c : cases) {
    for (const bool embed : {true, false}) {
      const std::string form = std::string(c.target) + (embed ? " carried" : " beside");
      const std::string folder = std::string(embed ? "carried-" : "beside-") + c.target;
      std::filesystem::create_directories(dir_.file("win/" + folder));
      std::filesystem::create_directories(dir_.file("linux/" + folder));
      std::vector<std::string> options = {"--target", c.target, "--jar"};
      std::vector<std::string> onWindows = options;
      onWindows.insert(onWindows.end(),
                       {windows(app()), "--runtime", windows(c.runtime), "--output", "win\\" + folder + "\\" + c.name});
      std::vector<std::string> onLinux = options;
      onLinux.insert(onLinux.end(),
                     {app(), "--runtime", c.runtime, "--output", dir_.file("linux/" + folder + "/" + c.name)});
      if (embed) {
        onWindows.push_back("--embed-runtime");
        onLinux.push_back("--embed-runtime");
      }
      const ProcessResult packed = runXoqpackExe(onWindows, inDir);
      ASSERT_EQ(packed.exitCode, 0) << form << ": " << packed.err;
      EXPECT_NE(packed.out.find("xoqpack: runtime Java "), std::string::npos) << form << ": " << packed.out;
      const ProcessResult reference = runProcess(
          [&] {
            std::vector<std::string> command = {xoqpackPath()};
            command.insert(command.end(), onLinux.begin(), onLinux.end());
            return command;
          }(),
          inDir);
      ASSERT_EQ(reference.exitCode, 0) << form << ": " << reference.err;
      EXPECT_TRUE(readFile(dir_.file("win/" + folder + "/" + c.name)) ==
                  readFile(dir_.file("linux/" + folder + "/" + c.name)))
          << form << ": the two xoqpacks differ";
      if (embed) {
        EXPECT_FALSE(std::filesystem::exists(dir_.file("win/" + folder + "/jre"))) << form;
        continue;
      }
      // The folder form: the same files, the Linux helpers executable.
      std::vector<std::string> written, expected;
      for (const auto& entry : std::filesystem::recursive_directory_iterator(dir_.file("win/" + folder + "/jre"))) {
        if (!entry.is_regular_file()) continue;
        const std::string name = entry.path().lexically_relative(dir_.file("win/" + folder + "/jre")).string();
        written.push_back(name);
        EXPECT_TRUE(readFile(entry.path().string()) == readFile(dir_.file("linux/" + folder + "/jre/" + name)))
            << form << ": " << name;
      }
      for (const auto& entry : std::filesystem::recursive_directory_iterator(dir_.file("linux/" + folder + "/jre"))) {
        if (entry.is_regular_file())
          expected.push_back(entry.path().lexically_relative(dir_.file("linux/" + folder + "/jre")).string());
      }
      std::sort(written.begin(), written.end());
      std::sort(expected.begin(), expected.end());
      EXPECT_EQ(written, expected) << form;
      // Windows keeps no executable bit, which the user is told; the
      // carried form above keeps it in its archive.
      EXPECT_EQ(packed.err.find("has no executable bits here") != std::string::npos, c.target[0] == 'l')
          << form << ": " << packed.err;
    }
  }
  // The Linux program that xoqpack.exe wrote with its runtime inside runs
  // here, from its own runtime.
  const std::string program = dir_.file("win/carried-linux/app");
  makeExecutable(program);
  RunOptions noJava;
  noJava.unsetEnv = {"JAVA_HOME"};
  noJava.setEnv["XDG_CACHE_HOME"] = dir_.file("cache");
  noJava.timeoutSeconds = 120;
  const ProcessResult hello = runProcess({program, "drei"}, noJava);
  EXPECT_EQ(hello.exitCode, 0) << hello.err;
  EXPECT_NE(hello.out.find(kHello), std::string::npos) << hello.out << hello.err;
  ASSERT_TRUE(std::filesystem::is_directory(dir_.file("cache/xoq/runtimes"))) << hello.err;
  // Its helper came out of the cache executable, as from the Linux xoqpack.
  if (std::filesystem::exists(linuxRuntime + "/lib/jspawnhelper")) {
    int helpers = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.file("cache/xoq/runtimes"))) {
      const std::filesystem::path helper = entry.path() / "lib/jspawnhelper";
      if (!std::filesystem::exists(helper)) continue;
      ++helpers;
      EXPECT_NE(std::filesystem::status(helper).permissions() & std::filesystem::perms::owner_exec,
                std::filesystem::perms::none);
    }
    EXPECT_EQ(helpers, 1);
  }
}

TEST_F(XoqpackExe, RefusesBadInputWithTheLinuxLine) {
  std::filesystem::copy_file(app(), dir_.file("a.jar"));
  std::filesystem::create_directories(dir_.file("lib"));
  std::filesystem::copy_file(dir_.file(std::string(kScriptFolder) + "/lib/util.jar"), dir_.file("lib/util.jar"));
  std::filesystem::copy_file(app(), dir_.file("b.jar"));
  std::filesystem::copy_file(dir_.file(std::string(kScriptFolder) + "/lib/util.jar"), dir_.file("nomain.jar"));
  writeFile(dir_.file("plain.txt"), "no marker here");
  writeFile(dir_.file("app.ico"), "not looked at");
  std::filesystem::create_directories(dir_.file("folder"));
  const std::vector<std::vector<std::string>> inputs = {
      {"--bogus"},
      {"--output"},
      {"--jar", "a.jar"},
      {"--jar", "missing.jar", "--output", "out.exe"},
      {"--jar", "nomain.jar", "--output", "out.exe"},
      {"--jar", "folder", "--output", "out.exe"},
      {"--config", "missing.cfg", "--output", "out.exe"},
      {"--template", "plain.txt", "--output", "out.exe"},
      {"--add", "a.jar=x.jar", "--add", "b.jar=x.jar", "--output", "out.exe"},
      {"--add", "a.jar=../up.jar", "--output", "out.exe"},
      {"--add", "missing.txt", "--output", "out.exe"},
      {"--add-tree", "missing", "--output", "out.exe"},
      {"--jar", "a.jar", "--output", "no/such/folder/out.exe"},
      {"--target", "mac", "--output", "out.exe"},
      {"--target", "linux", "--icon", "app.ico", "--output", "out.exe"},
      {"--jar", "a.jar", "--file-version", "70000", "--output", "out.exe"},
      {"--jar", "a.jar", "--execution-level", "root", "--output", "out.exe"},
      {"--output", "out.exe", "--write-support-jar", "support.jar"},
  };
  RunOptions inDir;
  inDir.workingDirectory = dir_.path();
  const auto compare = [&](const std::vector<std::string>& arguments, const RunOptions& options) {
    std::vector<std::string> command = {xoqpackPath()};
    command.insert(command.end(), arguments.begin(), arguments.end());
    const ProcessResult onLinux = runProcess(command, options);
    const ProcessResult onWindows = runXoqpackExe(arguments, options);
    std::string shown;
    for (const std::string& argument : arguments) shown += " " + argument;
    EXPECT_EQ(onLinux.exitCode, 1) << shown;
    EXPECT_EQ(onWindows.exitCode, 1) << shown;
    EXPECT_EQ(onLinux.err.rfind("xoqpack: ", 0), 0u) << shown << ": " << onLinux.err;
    EXPECT_EQ(std::count(onLinux.err.begin(), onLinux.err.end(), '\n'), 1) << shown << ": " << onLinux.err;
    EXPECT_EQ(onWindows.err, onLinux.err) << shown;
    EXPECT_EQ(readFile(dir_.file("out.exe")), "") << shown;
  };
  for (const std::vector<std::string>& arguments : inputs) compare(arguments, inDir);
  RunOptions badEpoch = inDir;
  badEpoch.setEnv["SOURCE_DATE_EPOCH"] = "yesterday";
  compare({"--jar", "a.jar", "--output", "out.exe"}, badEpoch);

  // Nothing half-written is left behind either.
  for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
    EXPECT_EQ(entry.path().filename().string().find(".xoqpack-"), std::string::npos) << entry.path();
  }
}

TEST(XoqVersion, OneNumberForXoqpackTheTemplatesAndTheLauncher) {
  std::string version = readFile(std::string(XOQ_SOURCE_DIR) + "/VERSION");
  version = version.substr(0, version.find('\n'));
  ASSERT_FALSE(version.empty());
  EXPECT_EQ(runXoqpack({"--version"}).out, "xoqpack " + version + "\n");
  EXPECT_EQ(runXoqpackExe({"--version"}).out, "xoqpack " + version + "\n");
  for (const Target target : {Target::kWindows, Target::kWindowsConsole}) {
    const ProcessResult read =
        runProcess({"/usr/bin/python3", std::string(XOQ_SOURCE_DIR) + "/tests/e2e/windows/tools/pe_resources.py",
                    templatePath(target)});
    ASSERT_EQ(read.exitCode, 0) << read.err;
    EXPECT_NE(read.out.find("version FileVersion " + version + "\n"), std::string::npos) << read.out;
    EXPECT_NE(read.out.find("version ProductName xoq\n"), std::string::npos) << read.out;
    EXPECT_NE(read.out.find("fixed " + version + ".0 " + version + ".0\n"), std::string::npos) << read.out;
  }
  // A packaged program says which launcher it is when asked why.
  TempDir dir;
  const std::string exe = packageExecutable(Target::kLinux, dir.file("app"), "mainclass a.Main\r\n");
  ASSERT_FALSE(exe.empty());
  EXPECT_TRUE(traced(runExecutable(Target::kLinux, exe, {}), "xoq launcher " + version));
}

}  // namespace
}  // namespace testing
}  // namespace xoq
