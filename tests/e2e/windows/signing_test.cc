// A packaged executable signed with Authenticode: the signature lands after
// the archive and the signing rewrites the PE checksum and certificate
// entry, none of which the integrity value covers, so the signed file still
// passes its check and still finds its payload.
#include <gtest/gtest.h>

#include <string>

#include "support/files.h"
#include "support/packaging.h"
#include "support/signing.h"

namespace xoq {
namespace testing {
namespace {

TEST(Signing, SignedExecutableStillRuns) {
  TempDir dir;
  const std::string config = "jre_order c\r\nmainclass com.example.Main\r\n";
  const std::string exe = packageExecutable(Target::kWindowsConsole, dir.file("app.exe"), config);
  ASSERT_FALSE(exe.empty());

  ASSERT_EQ(signWithThrowAwayCertificate(dir.path(), exe, dir.file("signed.exe")), "");
  RunOptions options;
  options.timeoutSeconds = 120;
  const std::string original = readFile(exe);
  const std::string signedFile = readFile(dir.file("signed.exe"));
  ASSERT_GT(signedFile.size(), original.size());
  // The signature really is there: osslsigncode reads it back.
  const ProcessResult extracted = runProcess(
      {"osslsigncode", "extract-signature", "-in", dir.file("signed.exe"), "-out", dir.file("signature.der")}, options);
  EXPECT_EQ(extracted.exitCode, 0) << extracted.out << extracted.err;
  EXPECT_GT(readFile(dir.file("signature.der")).size(), 100u);

  RunOptions inDir;
  inDir.workingDirectory = dir.path();
  const ProcessResult result = runExecutable(Target::kWindowsConsole, dir.file("signed.exe"), {}, inDir);
  EXPECT_EQ(result.exitCode, 1) << result.err;
  EXPECT_TRUE(traced(result, "integrity: the stored value matches")) << result.err;
  EXPECT_TRUE(traced(result, "configuration block: " + std::to_string(3 + config.size()) + " bytes")) << result.err;
  EXPECT_TRUE(traced(result, "launch thread started")) << result.err;
}

}  // namespace
}  // namespace testing
}  // namespace xoq
