// The release archives as a user gets them: unpacked into a folder of their
// own, away from the build tree, each packs the hello example in the one
// command of its README, and the program runs (the Windows archive's
// xoqpack.exe and its programs under Wine, with the real Windows runtime).
// scripts/release.sh wrote them (ctest's release.build).
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/packaging.h"
#include "support/process.h"
#include "support/windows_runtime.h"
#include "xoq_version.h"

namespace xoq {
namespace testing {
namespace {

constexpr char kHello[] = "Hello from a Java program packaged with xoq.";

uint32_t little32(const std::string& file, size_t at) {
  uint32_t value = 0;
  for (size_t i = 0; i < 4 && at + i < file.size(); ++i)
    value |= static_cast<uint32_t>(static_cast<uint8_t>(file[at + i])) << (8 * i);
  return value;
}

// A PE file as a release ships it: stripped (no COFF symbol table) and
// with no link time in its header, so that two builds give the same bytes.
void expectStrippedAndTimeless(const std::string& path) {
  const std::string file = readFile(path);
  ASSERT_EQ(file.compare(0, 2, "MZ"), 0) << path;
  const size_t header = little32(file, 0x3C);
  EXPECT_EQ(little32(file, header + 8), 0u) << path << ": a time stamp";
  EXPECT_EQ(little32(file, header + 12), 0u) << path << ": a symbol table";
  EXPECT_EQ(little32(file, header + 16), 0u) << path << ": symbols";
}

class ReleaseArchive : public ::testing::Test {
 protected:
  // Unpacks the archive of `system` below a folder with a blank in its
  // name and returns the folder it holds.
  std::string unpack(const std::string& system) {
    const std::string name = "xoq-" XOQ_VERSION "-" + system + "-x86_64";
    const std::string home = dir_.file("unpacked here");
    EXPECT_EQ(runProcess({"mkdir", "-p", home}).exitCode, 0);
    const std::string archive = std::string(XOQ_RELEASE_DIST) + "/" + name;
    const ProcessResult unpacked = system == "linux"
                                       ? runProcess({"tar", "-xzf", archive + ".tar.gz", "-C", home})
                                       : runProcess({"python3", "-m", "zipfile", "-e", archive + ".zip", home});
    EXPECT_EQ(unpacked.exitCode, 0) << unpacked.err;
    return home + "/" + name;
  }

  // What every archive holds, whatever its system.
  void expectContents(const std::string& folder, const std::string& xoqpack) {
    for (const std::string& name :
         {xoqpack, std::string("xoq-launcher"), std::string("xoq-launcher.exe"),
          std::string("xoq-launcher-console.exe"), std::string("xoq-support.jar"), std::string("README.md"),
          std::string("docs/configuration.md"), std::string("docs/windows-resources.md"),
          std::string("examples/hello/hello.jar"), std::string("examples/hello/src/hello/Main.java"),
          std::string("examples/notes/notes.cfg"), std::string("examples/opener/opener.cfg"),
          std::string("licenses/README.txt"), std::string("licenses/linux/zlib.txt"),
          std::string("licenses/linux/libdeflate.txt"), std::string("licenses/linux/gcc-runtime-libraries.txt"),
          std::string("licenses/windows/zlib.txt"),
          std::string("licenses/windows/mingw-w64-runtime-and-winpthreads.txt"),
          std::string("licenses/windows/gcc-runtime-libraries.txt")}) {
      EXPECT_FALSE(readFile(folder + "/" + name).empty()) << name;
    }
    EXPECT_NE(readFile(folder + "/licenses/windows/gcc-runtime-libraries.txt").find("GCC RUNTIME LIBRARY EXCEPTION"),
              std::string::npos);
    const std::string readme = readFile(folder + "/README.md");
    EXPECT_NE(readme.find("xoqpack --jar examples/hello/hello.jar --target linux --output hello"), std::string::npos);
    EXPECT_NE(readme.find("xoq " XOQ_VERSION), std::string::npos);
    // The support classes as a payload carries them.
    const ProcessResult listing = runProcess({"jar", "tf", folder + "/xoq-support.jar"});
    EXPECT_EQ(listing.exitCode, 0) << listing.err;
    EXPECT_NE(listing.out.find("com/tarvolin/xoq/HolvaneClassLoader.class\n"), std::string::npos) << listing.out;
    // The templates are stripped.
    const ProcessResult sections = runProcess({"readelf", "-S", "-W", folder + "/xoq-launcher"});
    EXPECT_EQ(sections.out.find(".symtab"), std::string::npos) << sections.out;
    for (const char* name : {"xoq-launcher.exe", "xoq-launcher-console.exe"})
      expectStrippedAndTimeless(folder + "/" + name);
  }

  TempDir dir_;
};

TEST_F(ReleaseArchive, LinuxArchivePacksAndRunsHello) {
  const std::string folder = unpack("linux");
  expectContents(folder, "xoqpack");
  const ProcessResult sections = runProcess({"readelf", "-S", "-W", folder + "/xoqpack"});
  EXPECT_EQ(sections.out.find(".symtab"), std::string::npos) << sections.out;

  RunOptions inFolder;
  inFolder.workingDirectory = folder;
  const ProcessResult version = runProcess({"./xoqpack", "--version"}, inFolder);
  EXPECT_EQ(version.out, "xoqpack " XOQ_VERSION "\n");

  // The README's one command, then the program.
  const ProcessResult packed = runProcess(
      {"./xoqpack", "--jar", "examples/hello/hello.jar", "--target", "linux", "--output", "hello"}, inFolder);
  ASSERT_EQ(packed.exitCode, 0) << packed.err;
  const ProcessResult hello = runProcess({"./hello", "from the command line"}, inFolder);
  EXPECT_EQ(hello.exitCode, 0) << hello.err;
  EXPECT_NE(hello.out.find(kHello), std::string::npos) << hello.out << hello.err;
  EXPECT_NE(hello.out.find("Argument 0: from the command line"), std::string::npos) << hello.out;

  // A Windows program from the same archive.
  const ProcessResult windows = runProcess(
      {"./xoqpack", "--jar", "examples/hello/hello.jar", "--target", "windows-console", "--output", "hello.exe"},
      inFolder);
  EXPECT_EQ(windows.exitCode, 0) << windows.err;

  // xoqpack takes the templates beside itself, nowhere else.
  ASSERT_EQ(std::remove((folder + "/xoq-launcher").c_str()), 0);
  const ProcessResult missing =
      runProcess({"./xoqpack", "--jar", "examples/hello/hello.jar", "--target", "linux", "--output", "x"}, inFolder);
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_EQ(missing.err, "xoqpack: the linux launcher template is missing: " + folder + "/xoq-launcher\n");

  XOQ_REQUIRE_WINDOWS_RUNTIME();
  RunOptions withRuntime = inFolder;
  withRuntime.setEnv["JAVA_HOME"] = launcherPath(Target::kWindows, windowsRuntimeHome());
  withRuntime.setEnv["WINEDEBUG"] = "-all";
  withRuntime.timeoutSeconds = 120;
  const ProcessResult run = runProcess({XOQ_WINE_PROGRAM, "hello.exe"}, withRuntime);
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find(kHello), std::string::npos) << run.out << run.err;
}

TEST_F(ReleaseArchive, WindowsArchivePacksAndRunsHelloUnderWine) {
  const std::string folder = unpack("windows");
  expectContents(folder, "xoqpack.exe");
  expectStrippedAndTimeless(folder + "/xoqpack.exe");

  RunOptions inFolder;
  inFolder.workingDirectory = folder;
  inFolder.setEnv["WINEDEBUG"] = "-all";
  inFolder.timeoutSeconds = 120;
  const ProcessResult version = runProcess({XOQ_WINE_PROGRAM, "xoqpack.exe", "--version"}, inFolder);
  EXPECT_EQ(version.out, "xoqpack " XOQ_VERSION "\n") << version.err;

  // The README's commands, in Windows' spelling.
  for (const std::vector<std::string>& target :
       {std::vector<std::string>{"--output", "Hello.exe"},
        std::vector<std::string>{"--target", "windows-console", "--output", "hello-console.exe"},
        std::vector<std::string>{"--target", "linux", "--output", "hello"}}) {
    std::vector<std::string> command = {XOQ_WINE_PROGRAM, "xoqpack.exe", "--jar", "examples\\hello\\hello.jar"};
    command.insert(command.end(), target.begin(), target.end());
    const ProcessResult packed = runProcess(command, inFolder);
    EXPECT_EQ(packed.exitCode, 0) << target.back() << ": " << packed.err;
  }
  // The Linux program written on Windows runs on Linux once it may.
  makeExecutable(folder + "/hello");
  const ProcessResult linux = runProcess({"./hello"}, inFolder);
  EXPECT_EQ(linux.exitCode, 0) << linux.err;
  EXPECT_NE(linux.out.find(kHello), std::string::npos) << linux.out << linux.err;

  XOQ_REQUIRE_WINDOWS_RUNTIME();
  RunOptions withRuntime = inFolder;
  withRuntime.setEnv["JAVA_HOME"] = launcherPath(Target::kWindows, windowsRuntimeHome());
  const ProcessResult run = runProcess({XOQ_WINE_PROGRAM, "hello-console.exe", "an argument"}, withRuntime);
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find(kHello), std::string::npos) << run.out << run.err;
  EXPECT_NE(run.out.find("Argument 0: an argument"), std::string::npos) << run.out;
}

}  // namespace
}  // namespace testing
}  // namespace xoq
