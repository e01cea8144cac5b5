// Windows programs that bring their own Java, under a Wine prefix made for
// the test (no JAVA_HOME, no registry keys): the real Windows runtime
// beside the program as jre/ and carried inside it, GUI and console, and
// examples/notes with its jars.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/packaging.h"
#include "support/windows_runtime.h"

namespace xoq {
namespace testing {
namespace {

namespace fs = std::filesystem;

const char kHelloLine[] = "Hello from a Java program packaged with xoq.";
const char kNotesLine[] = "Hello from notes, a Java program that ships as one executable.";

class WindowsSelfContained : public ::testing::Test {
 protected:
  void SetUp() override {
    XOQ_REQUIRE_WINDOWS_RUNTIME();
    prefix_ = dir_.file("prefix");
    RunOptions boot = wine();
    boot.timeoutSeconds = 600;
    const ProcessResult booted = runProcess({"wineboot", "-i"}, boot);
    ASSERT_EQ(booted.exitCode, 0) << booted.err;
    booted_ = true;
  }

  void TearDown() override {
    if (booted_) runProcess({"wineserver", "-k"}, wine());
  }

  // The environment of every Wine process of the test: its own prefix,
  // and no Java named anywhere.
  RunOptions wine() const {
    RunOptions options;
    options.setEnv["WINEPREFIX"] = prefix_;
    options.setEnv["WINEDEBUG"] = "-all";
    options.setEnv["WINEDLLOVERRIDES"] = "mscoree,mshtml=";
    options.setEnv["XOQ_TRACE"] = "1";
    options.unsetEnv = {"JAVA_HOME", "JRE_HOME"};
    options.timeoutSeconds = 300;
    return options;
  }

  std::string pack(Target target, const std::string& output, const std::vector<std::string>& more) {
    std::vector<std::string> arguments = {"--template",         templatePath(target), "--runtime",
                                          windowsRuntimeHome(), "--output",           output};
    arguments.insert(arguments.end(), more.begin(), more.end());
    fs::create_directories(fs::path(output).parent_path());
    const ProcessResult result = runXoqpack(arguments, {}, 600);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    return output;
  }

  std::vector<std::string> hello() const {
    return {"--config", std::string(XOQ_SOURCE_DIR) + "/examples/hello/hello.cfg", "--add",
            std::string(XOQ_BUILD_DIR) + "/examples/hello.jar=hello.jar"};
  }

  // The runtimes folder of the prefix's user.
  std::string runtimes() const {
    std::error_code code;
    for (const fs::directory_entry& user : fs::directory_iterator(prefix_ + "/drive_c/users", code)) {
      const fs::path folder = user.path() / "AppData/Local/xoq/runtimes";
      if (fs::is_directory(folder)) return folder.string();
    }
    return std::string();
  }

  TempDir dir_;
  std::string prefix_;
  bool booted_ = false;
};

TEST_F(WindowsSelfContained, GuiAndConsoleProgramsRunBesideAndInsideTheirRuntime) {
  // Nothing of Java in the new prefix.
  EXPECT_NE(runProcess({"wine", "reg", "query", "HKLM\\SOFTWARE\\JavaSoft"}, wine()).exitCode, 0);

  for (Target target : {Target::kWindows, Target::kWindowsConsole}) {
    const std::string kind = target == Target::kWindows ? "gui" : "console";
    SCOPED_TRACE(kind);
    // Beside: found by the default search, no configuration.
    const std::string beside = pack(target, dir_.file(kind + "-beside/hello.exe"), hello());
    ProcessResult result = runExecutable(target, beside, {}, wine());
    std::string out = withoutCarriageReturns(result.out);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(out.rfind(kHelloLine, 0), 0u) << out << result.err;
    EXPECT_NE(out.find("Java 11.0.2 from " + launcherPath(target, dir_.file(kind + "-beside/jre"))), std::string::npos)
        << out;
    EXPECT_TRUE(traced(result, "runtime library chosen (method b)"));

    // Inside: unpacked into the user's cache on the first start only.
    std::vector<std::string> carried = hello();
    carried.push_back("--embed-runtime");
    const std::string inside = pack(target, dir_.file(kind + "-inside/hello.exe"), carried);
    for (int start = 0; start < 2; ++start) {
      result = runExecutable(target, inside, {}, wine());
      out = withoutCarriageReturns(result.out);
      EXPECT_EQ(result.exitCode, 0) << result.err;
      EXPECT_EQ(out.rfind(kHelloLine, 0), 0u) << out << result.err;
      EXPECT_NE(out.find("Java 11.0.2 from C:\\users\\"), std::string::npos) << out;
      EXPECT_NE(out.find("\\AppData\\Local\\xoq\\runtimes\\"), std::string::npos) << out;
      EXPECT_TRUE(traced(result, "runtime library chosen (method p)"));
      EXPECT_EQ(traced(result, "marker written"), target == Target::kWindows && start == 0);
    }
  }
  // Both programs carry the same runtime and share its one folder.
  const std::string folder = runtimes();
  ASSERT_FALSE(folder.empty());
  std::vector<std::string> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  ASSERT_EQ(names.size(), 2u);
  EXPECT_TRUE(names[0] == ".lock" || names[1] == ".lock");

  // examples/notes, an application jar and two library jars, carrying the
  // runtime: its modules are all in this runtime.
  const std::string notesBuild = std::string(XOQ_BUILD_DIR) + "/examples/notes-build";
  const std::string notes =
      pack(Target::kWindowsConsole, dir_.file("notes/notes.exe"),
           {"--embed-runtime", "--config", std::string(XOQ_SOURCE_DIR) + "/examples/notes/notes.cfg", "--add",
            notesBuild + "/notes.jar=notes.jar", "--add", notesBuild + "/lib/text.jar=lib/text.jar", "--add",
            notesBuild + "/lib/exporters.jar=lib/exporters.jar", "--add-tree",
            std::string(XOQ_SOURCE_DIR) + "/examples/notes/top"});
  const ProcessResult result = runExecutable(Target::kWindowsConsole, notes, {"milk"}, wine());
  const std::string out = withoutCarriageReturns(result.out);
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(out.rfind(kNotesLine, 0), 0u) << out << result.err;
  EXPECT_NE(out.find("<li>milk</li>"), std::string::npos) << out;
}

}  // namespace
}  // namespace testing
}  // namespace xoq
