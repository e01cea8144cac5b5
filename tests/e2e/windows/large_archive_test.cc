// The Windows launcher's reader on a payload of 70,000 files and a nested
// jar of 70,000 entries, under Wine: both written with ZIP64 end records
// (xoqpack and the JDK's jar tool). No runtime can start here; the launcher
// still checks the file and opens the whole payload while it looks for one.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "support/files.h"
#include "support/jdks.h"
#include "support/many_files.h"
#include "support/packaging.h"

namespace xoq {
namespace testing {
namespace {

TEST(WindowsLargeArchive, SeventyThousandFilesAndAJarOfSeventyThousandEntries) {
  const ManyFiles& many = manyFiles(installedJdkHomes().front());
  ASSERT_FALSE(many.jar.empty());
  TempDir dir;
  const std::string exe =
      packageWith(Target::kWindowsConsole, dir.file("large.exe"), "mainclass app.Main\r\njre_order e\r\n",
                  {"--add", many.jar + "=lib/big.jar", "--add-tree", many.folder + "=many"});
  ASSERT_FALSE(exe.empty());
  RunOptions options;
  options.unsetEnv = {"JRE_HOME", "JAVA_HOME"};
  options.timeoutSeconds = 240;
  const ProcessResult result = runExecutable(Target::kWindowsConsole, exe, {}, options);
  const std::string all = "exit " + std::to_string(result.exitCode) + "\n" + result.err;
  EXPECT_EQ(result.exitCode, 1) << all;  // no runtime found, and not a damaged file (9)
  EXPECT_TRUE(traced(result, "integrity: the stored value matches")) << all;
  long entries = 0;
  for (const std::string& line : traceLines(result)) {
    const size_t at = line.find(" entries, 1 nested archives");
    if (at == std::string::npos) continue;
    const size_t start = line.rfind(' ', at - 1);
    entries = std::strtol(line.c_str() + start + 1, nullptr, 10);
  }
  EXPECT_GT(entries, kManyFiles) << all;
  EXPECT_FALSE(traced(result, "not a readable archive")) << all;
}

}  // namespace
}  // namespace testing
}  // namespace xoq
