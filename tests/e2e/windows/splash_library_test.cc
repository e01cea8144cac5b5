// The runtime's splash library on Windows, under Wine: found beside the
// runtime's virtual machine library, loaded (with the PATH retry), and fed
// the splash file or the built-in image. No Windows runtime can exist here,
// so stand-in splashscreen.dll files record what the launcher called; a
// stand-in jvm.dll beside them then fails creation, and the console launcher
// says so on standard error.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/jdks.h"
#include "support/packaging.h"

namespace xoq {
namespace testing {
namespace {

const Target kConsole = Target::kWindowsConsole;

std::string standinFile(const std::string& folder, const std::string& name) {
  return std::string(XOQ_BUILD_DIR) + "/windows/standins/" + folder + "/" + name;
}

class WindowsRuntimeSplash : public ::testing::Test {
 protected:
  // A runtime in rt\: bin\server\jvm.dll and, unless `variant` is empty,
  // bin\splashscreen.dll of that stand-in variant.
  void makeRuntime(const std::string& variant) {
    writeFile(dir_.file("rt/bin/server/jvm.dll"), readFile(standinFile("create", "jvm.dll")));
    if (!variant.empty()) {
      writeFile(dir_.file("rt/bin/splashscreen.dll"), readFile(standinFile("splash-" + variant, "splashscreen.dll")));
    }
  }

  ProcessResult launch(const std::string& config, const std::vector<std::string>& xoqpackArguments = {}) {
    const std::string exe = packageWith(
        kConsole, dir_.file("app.exe"),
        "mainclass app.Main\r\njre_order c\r\njvmdll rt\\bin\\server\\jvm.dll\r\n" + config, xoqpackArguments);
    EXPECT_FALSE(exe.empty());
    RunOptions options;
    options.workingDirectory = dir_.path();
    options.setEnv["XOQ_STANDIN_SPLASH_RECORD"] = launcherPath(kConsole, dir_.file("splash.txt"));
    options.setEnv["XOQ_STANDIN_RECORD"] = launcherPath(kConsole, dir_.file("jvm.txt"));
    options.unsetEnv = {"JRE_HOME", "JAVA_HOME"};
    std::remove(dir_.file("splash.txt").c_str());
    std::remove(dir_.file("jvm.txt").c_str());
    return runExecutable(kConsole, exe, {}, options);
  }

  std::map<std::string, std::string> splashRecord() { return parseKeyValues(readFile(dir_.file("splash.txt"))); }

  static std::string describe(const ProcessResult& result) {
    return "exit " + std::to_string(result.exitCode) + "\nstderr:\n" + result.err;
  }

  // The console launcher's fatal messages ("caption: text" lines): only the
  // stand-in runtime's failure, nothing about the splash.
  static void expectOnlyTheRuntimeMessage(const ProcessResult& result) {
    std::string messages;
    std::istringstream lines(result.err);
    for (std::string line; std::getline(lines, line);) {
      if (line.rfind("Error: ", 0) == 0) messages += line + "\n";
    }
    EXPECT_EQ(messages, "Error: Java Virtual Machine starts failed.\r\n") << describe(result);
  }

  TempDir dir_;
};

TEST_F(WindowsRuntimeSplash, SplashFileIsShownThroughTheLibraryBesideTheRuntime) {
  makeRuntime("complete");
  writeFile(dir_.file("images/logo.png"), "\x89PNG not really");
  const ProcessResult result = launch("splash images\\logo.png\r\n");
  // The launch goes on after the splash: the stand-in runtime then fails.
  EXPECT_EQ(result.exitCode, 4) << describe(result);
  EXPECT_TRUE(traced(result, "splash library " + launcherPath(kConsole, dir_.path()) +
                                 "\\rt\\bin\\server\\../splashscreen.dll: found"))
      << describe(result);
  std::map<std::string, std::string> record = splashRecord();
  // Then the file's name, for java.awt.SplashScreen.getImageURL().
  EXPECT_EQ(record["calls"], "SplashInit,SplashLoadFile,SplashSetFileJarName");
  EXPECT_EQ(record["file"], launcherPath(kConsole, dir_.file("images")) + "\\logo.png");
  EXPECT_EQ(record["fileName"], record["file"]);
  EXPECT_EQ(record["jarName"], "(null)");
}

TEST_F(WindowsRuntimeSplash, BuiltInImageIsShownWhenTheSplashKeyNamesNoFile) {
  makeRuntime("complete");
  std::string jpeg = "\xFF\xD8\xFF\xE0";
  for (int i = 0; i < 1000; ++i) jpeg += static_cast<char>(i * 7);
  writeFile(dir_.file("logo.jpg"), jpeg);
  const ProcessResult result = launch("splash missing.png\r\n", {"--splash-image", dir_.file("logo.jpg")});
  EXPECT_EQ(result.exitCode, 4) << describe(result);
  std::map<std::string, std::string> record = splashRecord();
  EXPECT_EQ(record["calls"], "SplashInit,SplashLoadMemory");
  EXPECT_EQ(record["memory.size"], "1004");
  EXPECT_EQ(record["memory.first"], "ffd8ffe000070e15");

  // Both: the file wins.
  writeFile(dir_.file("logo.png"), "image");
  launch("splash logo.png\r\n", {"--splash-image", dir_.file("logo.jpg")});
  EXPECT_EQ(splashRecord()["calls"], "SplashInit,SplashLoadFile,SplashSetFileJarName");
}

TEST_F(WindowsRuntimeSplash, NoImageOrNoEntryPointMeansNoSplash) {
  {
    SCOPED_TRACE("splash names no file, no built-in image");
    makeRuntime("complete");
    const ProcessResult result = launch("splash missing.png\r\n");
    EXPECT_EQ(result.exitCode, 4) << describe(result);
    std::map<std::string, std::string> record = splashRecord();
    EXPECT_EQ(record["loaded"], "yes");
    EXPECT_EQ(record.count("calls"), 0u) << readFile(dir_.file("splash.txt"));
  }
  {
    SCOPED_TRACE("a directory is no image");
    writeFile(dir_.file("images/inside.txt"), "x");
    const ProcessResult result = launch("splash images\r\n");
    EXPECT_EQ(splashRecord().count("calls"), 0u) << readFile(dir_.file("splash.txt"));
  }
  {
    SCOPED_TRACE("library without SplashLoadFile");
    makeRuntime("without-load-file");
    writeFile(dir_.file("logo.png"), "image");
    const ProcessResult result = launch("splash logo.png\r\n");
    EXPECT_EQ(result.exitCode, 4) << describe(result);
    EXPECT_EQ(splashRecord()["loaded"], "yes");
    EXPECT_EQ(splashRecord().count("calls"), 0u) << readFile(dir_.file("splash.txt"));
    EXPECT_TRUE(traced(result, "an entry point is missing; no splash")) << describe(result);
    expectOnlyTheRuntimeMessage(result);
  }
}

// A runtime's libraries import others that lie beside them (its C
// runtime). The launcher loads a library so that its own folder is
// searched first, before the system folders and PATH, and never the
// executable's folder: such a library loads at once, and PATH is left as
// it was (the retry that adds the library's folder to PATH has nothing to
// add).
TEST_F(WindowsRuntimeSplash, LibraryWhoseImportsLieBesideItLoadsAtOnce) {
  makeRuntime("needs-path");
  writeFile(dir_.file("rt/bin/xoqdep.dll"), readFile(standinFile("dependency", "xoqdep.dll")));
  writeFile(dir_.file("logo.png"), "image");
  const ProcessResult result = launch("splash logo.png\r\n");
  EXPECT_EQ(result.exitCode, 4) << describe(result);
  const std::string bin = launcherPath(kConsole, dir_.path()) + "\\rt\\bin\\server\\../";
  EXPECT_FALSE(traced(result, "splash library did not load")) << describe(result);
  std::map<std::string, std::string> record = splashRecord();
  EXPECT_EQ(record["dependency"], "42");
  // This library has no SplashSetFileJarName (as an older runtime's): the
  // splash shows all the same.
  EXPECT_EQ(record["calls"], "SplashInit,SplashLoadFile");
  EXPECT_EQ(record["PATH"].find(bin), std::string::npos) << record["PATH"];
  EXPECT_EQ(parseKeyValues(readFile(dir_.file("jvm.txt")))["PATH"].find(bin), std::string::npos);

  // Without its dependency anywhere: no splash, no message about it, after
  // the retry too.
  std::remove(dir_.file("rt/bin/xoqdep.dll").c_str());
  const ProcessResult without = launch("splash logo.png\r\n");
  EXPECT_EQ(without.exitCode, 4) << describe(without);
  EXPECT_EQ(splashRecord().count("calls"), 0u);
  EXPECT_TRUE(traced(without, "splash library did not load; retrying with " + bin + " on the search path"))
      << describe(without);
  EXPECT_TRUE(traced(without, "cannot be loaded")) << describe(without);
  expectOnlyTheRuntimeMessage(without);
}

TEST_F(WindowsRuntimeSplash, RuntimeWithoutSplashLibraryFallsBackToTheBitmap) {
  makeRuntime("");
  writeFile(dir_.file("logo.png"), "image");
  const ProcessResult result = launch("splash logo.png\r\n");
  EXPECT_EQ(result.exitCode, 4) << describe(result);
  EXPECT_TRUE(traced(result, "splashscreen.dll: not there")) << describe(result);
  EXPECT_TRUE(traced(result, "no splash bitmap; no splash")) << describe(result);
  EXPECT_EQ(readFile(dir_.file("splash.txt")), "");
}

}  // namespace
}  // namespace testing
}  // namespace xoq
