// Packaged Windows programs with every resource, run under Wine: they still
// start as before, and the manifest acts.
#include <gtest/gtest.h>

#include <string>

#include "e2e/windows/resources_fixture.h"

namespace xoq {
namespace testing {
namespace {

class ResourcesUnderWine : public Resources {};

TEST_F(ResourcesUnderWine, PackagedProgramStillStartsAndShowsItsMessages) {
  const std::string exe = pack("Notes.exe", everyOption(), Target::kWindowsConsole);
  RunOptions options;
  options.workingDirectory = dir_.path();
  const ProcessResult result = runExecutable(Target::kWindowsConsole, exe, {}, options);
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
  EXPECT_FALSE(traced(lost, "program argument 1: " + argument)) << lost.err;
  const std::string utf8 = pack("utf8.exe", {"--utf8-code-page"}, Target::kWindowsConsole);
  const ProcessResult kept = runExecutable(Target::kWindowsConsole, utf8, {argument}, options);
  EXPECT_TRUE(traced(kept, "program argument 1: " + argument)) << kept.err;
}

}  // namespace
}  // namespace testing
}  // namespace xoq
