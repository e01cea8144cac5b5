// Packaged Windows programs with every resource, under Wine: the Windows API
// finds each resource where Explorer, the taskbar and the launcher look
// (xoq_read_resources, a small Windows program of the tests), on the GUI and
// the console template; the programs still start as before; signing with
// osslsigncode still works; the manifest acts.
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>

#include "e2e/windows/resources_fixture.h"
#include "support/signing.h"

namespace xoq {
namespace testing {
namespace {

// "what: value" lines of xoq_read_resources about `exe`.
std::map<std::string, std::string> readThroughWindows(const std::string& exe) {
  RunOptions options;
  options.timeoutSeconds = 90;
  const ProcessResult result =
      runProcess({XOQ_WINE_PROGRAM, std::string(XOQ_BUILD_DIR) + "/windows/xoq_read_resources.exe", exe}, options);
  EXPECT_EQ(result.exitCode, 0) << result.err;
  std::map<std::string, std::string> found;
  std::istringstream lines(result.out);
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t colon = line.find(": ");
    if (colon != std::string::npos) found[line.substr(0, colon)] = line.substr(colon + 2);
  }
  return found;
}

class ResourcesUnderWine : public Resources {
 protected:
  void expectEveryResource(const std::string& exe, const std::vector<std::string>& options) {
    std::map<std::string, std::string> found = readThroughWindows(exe);
    const std::string copyright = found["acp"] == "1252" ? "\xA9 2024 Example Ltd" : found["version LegalCopyright"];
    const std::map<std::string, std::string> expected = {
        {"icon LoadIconA", "32x32"},
        {"icon LoadImageA 16", "16x16"},
        {"icon LoadImageA 256", "256x256"},
        {"version fixed", "1.4.2.0 1.4.0.0"},
        {"version translation", "0409 1200"},
        {"version CompanyName", "Example Ltd"},
        {"version FileDescription", "Notes for everyone"},
        {"version FileVersion", "1.4.2"},
        {"version InternalName", "notes"},
        {"version LegalCopyright", copyright},
        {"version OriginalFilename", "Notes.exe"},
        {"version ProductName", "Notes"},
        {"version ProductVersion", "1.4"},
        {"bitmap 100", std::to_string(readFile(valueOf(options, "--splash-bitmap")).size() - 14) + " bytes, 120x80"},
        {"rcdata 100", std::to_string(readFile(valueOf(options, "--splash-image")).size()) + " bytes"},
        {"string 1", "Java Runtime Environment not found."},
    };
    for (const auto& entry : expected) EXPECT_EQ(found[entry.first], entry.second) << entry.first;
    EXPECT_NE(found["manifest 1"].find("level highestAvailable"), std::string::npos) << found["manifest 1"];
    EXPECT_NE(copyright.find("2024 Example Ltd"), std::string::npos) << copyright;
  }
};

TEST_P(ResourcesUnderWine, TheWindowsApiFindsEveryResource) {
  const std::vector<std::string> options = everyOption();
  expectEveryResource(pack("Notes.exe", options, GetParam()), options);
}

INSTANTIATE_TEST_SUITE_P(Templates, ResourcesUnderWine, ::testing::Values(Target::kWindows, Target::kWindowsConsole),
                         [](const ::testing::TestParamInfo<Target>& param) {
                           return param.param == Target::kWindows ? "Gui" : "Console";
                         });

TEST_F(ResourcesUnderWine, SignedProgramVerifiesKeepsItsResourcesAndStillStarts) {
  const std::vector<std::string> options = everyOption();
  const std::string exe = pack("Notes.exe", options, Target::kWindowsConsole);
  const std::string signedExe = dir_.file("signed.exe");
  ASSERT_EQ(signWithThrowAwayCertificate(dir_.path(), exe, signedExe), "");
  RunOptions slow;
  slow.timeoutSeconds = 120;
  const ProcessResult verified =
      runProcess({"osslsigncode", "verify", "-CAfile", dir_.file("cert.pem"), "-in", signedExe}, slow);
  EXPECT_EQ(verified.exitCode, 0) << verified.out << verified.err;
  EXPECT_NE(verified.out.find("Signature verification: ok"), std::string::npos) << verified.out;

  expectEveryResource(signedExe, options);
  RunOptions inDir;
  inDir.workingDirectory = dir_.path();
  const ProcessResult result = runExecutable(Target::kWindowsConsole, signedExe, {}, inDir);
  EXPECT_EQ(result.exitCode, 1) << result.err;
  EXPECT_TRUE(traced(result, "integrity: the stored value matches")) << result.err;
  // The message comes from the template's string table, carried over.
  EXPECT_NE(result.err.find("Java Runtime Environment not found."), std::string::npos) << result.err;
}

TEST_F(ResourcesUnderWine, Utf8CodePageMakesTheNarrowFormUtf8) {
  // Grüße-日本: beyond Windows-1252, the ANSI code page of Wine's default
  // locale, and beyond any single legacy code page.
  const std::string text =
      "Gr\xC3\xBC\xC3\x9F"
      "e-\xE6\x97\xA5\xE6\x9C\xAC";
  const std::string config = "jre_order c\r\nmainclass a.Main\r\nmessage 1=" + text + "\r\n";
  writeFile(dir_.file("app.cfg"), config);
  RunOptions options;
  options.workingDirectory = dir_.path();
  const auto run = [&](const std::string& name, const std::vector<std::string>& xoqpackOptions) {
    std::vector<std::string> arguments = {"--target",           "windows-console", "--config",
                                          dir_.file("app.cfg"), "--output",        dir_.file(name)};
    arguments.insert(arguments.end(), xoqpackOptions.begin(), xoqpackOptions.end());
    EXPECT_EQ(runXoqpack(arguments).exitCode, 0);
    return runExecutable(Target::kWindowsConsole, dir_.file(name), {text}, options);
  };
  // The command line reaches the launcher, and the message text (UTF-8 in
  // the configuration) reaches the console, in the narrow form: without the
  // option, Windows-1252 keeps "Grüße" in its own bytes and loses the rest.
  const ProcessResult legacy = run("plain.exe", {});
  EXPECT_TRUE(traced(legacy, "program argument 1: ")) << legacy.err;
  EXPECT_FALSE(traced(legacy, "program argument 1: " + text)) << legacy.err;
  EXPECT_NE(legacy.err.find("Error: Gr\xFC\xDF"
                            "e-"),
            std::string::npos)
      << legacy.err;
  const ProcessResult utf8 = run("utf8.exe", {"--utf8-code-page"});
  EXPECT_TRUE(traced(utf8, "program argument 1: " + text)) << utf8.err;
  EXPECT_NE(utf8.err.find("Error: " + text + "\r\n"), std::string::npos) << utf8.err;
}

}  // namespace
}  // namespace testing
}  // namespace xoq
