// Packaged Windows programs with every resource, under Wine: the Windows API
// finds each resource where Explorer, the taskbar and the launcher look
// (xoq_read_resources, a small Windows program of the tests), on the GUI and
// the console template; the programs still start as before; signing with
// osslsigncode still works; the manifest acts.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <sstream>
#include <string>

#include "e2e/windows/resources_fixture.h"

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
  RunOptions slow;
  slow.timeoutSeconds = 120;
  // A throw-away certificate, made for this test only.
  const ProcessResult made =
      runProcess({"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=xoq test",
                  "-keyout", dir_.file("key.pem"), "-out", dir_.file("cert.pem")},
                 slow);
  ASSERT_EQ(made.exitCode, 0) << made.err;
  const std::string signedExe = dir_.file("signed/Notes.exe");
  writeFile(signedExe, "");
  const ProcessResult signing =
      runProcess({"osslsigncode", "sign", "-certs", dir_.file("cert.pem"), "-key", dir_.file("key.pem"), "-n", "Notes",
                  "-in", exe, "-out", signedExe + ".new"},
                 slow);
  ASSERT_EQ(signing.exitCode, 0) << signing.out << signing.err;
  ASSERT_EQ(std::rename((signedExe + ".new").c_str(), signedExe.c_str()), 0);
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

TEST_F(ResourcesUnderWine, Utf8CodePageKeepsArgumentsTheAnsiCodePageCannotHold) {
  const std::string argument =
      "Gr\xC3\xBC\xC3\x9F"
      "e-\xE6\x97\xA5\xE6\x9C\xAC";  // Grüße-日本
  RunOptions options;
  options.workingDirectory = dir_.path();
  const std::string plain = pack("plain.exe", {}, Target::kWindowsConsole);
  const ProcessResult lost = runExecutable(Target::kWindowsConsole, plain, {argument}, options);
  EXPECT_TRUE(traced(lost, "program argument 1: ")) << lost.err;
  EXPECT_FALSE(traced(lost, "program argument 1: " + argument)) << lost.err;
  const std::string utf8 = pack("utf8.exe", {"--utf8-code-page"}, Target::kWindowsConsole);
  const ProcessResult kept = runExecutable(Target::kWindowsConsole, utf8, {argument}, options);
  EXPECT_TRUE(traced(kept, "program argument 1: " + argument)) << kept.err;
}

}  // namespace
}  // namespace testing
}  // namespace xoq
