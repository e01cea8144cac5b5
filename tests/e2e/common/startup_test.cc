// A packaged executable, started like any program: it finds its payload,
// assembles its configuration from the external file and the block, and runs
// the start-up sequence to the launch thread and back to an exit code.
#include <gtest/gtest.h>

#include <string>

#include "base/byte_order.h"
#include "config/payload.h"
#include "e2e/common/e2e_test.h"

namespace xoq {
namespace testing {
namespace {

// No runtime can be found with this order and no `jvmdll`: every launch here
// ends at the runtime step, whatever the machine has installed.
const std::string kNoRuntime = "jre_order c\r\n";

class Startup : public EndToEnd {};

TEST_F(Startup, ReadsItsBlockAndEndsAtTheRuntimeStep) {
  const std::string config = kNoRuntime + "mainclass com.example.Main\r\n";
  const std::string exe = package(exeName("app"), config, {}, kMessageTarget);
  const ProcessResult result = run(exe);
  ASSERT_FALSE(result.timedOut) << describe(result);
  EXPECT_EQ(result.exitCode, 1) << describe(result);
  EXPECT_TRUE(traced(result, "executable: " + launcherPath(kTarget, exe))) << describe(result);
  EXPECT_TRUE(traced(result, "payload position: ")) << describe(result);
  // The block as stored: the byte-order mark and the text with CR LF ends.
  EXPECT_TRUE(traced(result, "configuration block: " + std::to_string(3 + config.size()) + " bytes"))
      << describe(result);
  EXPECT_TRUE(traced(result, "external configuration: none")) << describe(result);
  EXPECT_TRUE(traced(result, "launch thread started")) << describe(result);
  EXPECT_TRUE(traced(result, "exit code 1")) << describe(result);
  EXPECT_EQ(result.out, "");
}

TEST_F(Startup, TraceIsSilentUnlessAskedFor) {
  const std::string exe = package(exeName("app"), kNoRuntime, {}, kMessageTarget);
  RunOptions quiet;
  quiet.setEnv["XOQ_TRACE"] = "";
  const ProcessResult result = run(exe, {}, quiet);
  EXPECT_EQ(result.exitCode, 1) << describe(result);
  EXPECT_TRUE(traceLines(result).empty()) << describe(result);
}

TEST_F(Startup, ExternalFileNamesAreTriedInOrder) {
  // With an extension, so that the replaced-extension names differ.
  const std::string exe = package(kWindows ? "prog.exe" : "prog.bin", kNoRuntime, {}, kMessageTarget);
  const std::string stem = dir_.file("prog");
  // Each file added comes earlier in the order than those before it.
  const std::string names[] = {stem + ".config", stem + ".cfg", exe + ".config", exe + ".cfg"};
  for (const std::string& name : names) {
    const std::string content = "splashtitle " + name + "\r\n";
    writeFile(name, content);
    const ProcessResult result = run(exe);
    EXPECT_TRUE(traced(result, "external configuration: " + launcherPath(kTarget, name) + " (" +
                                   std::to_string(content.size()) + " bytes)"))
        << describe(result);
  }
}

TEST_F(Startup, DisableExternalInTheBlock) {
  const std::string exe = package(exeName("app"), kNoRuntime + "disableexternal True\r\n", {}, kMessageTarget);
  writeFile(exe + ".cfg", "forcecwd /nowhere\r\n");
  const ProcessResult result = run(exe);
  EXPECT_TRUE(traced(result, "external configuration disabled")) << describe(result);
  EXPECT_TRUE(traced(result, "working directory: kept")) << describe(result);

  // A trailing space makes the value something other than "true".
  const std::string loose = package(exeName("loose"), kNoRuntime + "disableexternal true \r\n", {}, kMessageTarget);
  writeFile(loose + ".cfg", "splashtitle from the file\r\n");
  const ProcessResult looseResult = run(loose);
  EXPECT_FALSE(traced(looseResult, "external configuration disabled")) << describe(looseResult);
}

TEST_F(Startup, BytesAppendedAfterPackagingKeepThePayload) {
  const std::string config = kNoRuntime + "mainclass com.example.Main\r\n";
  const std::string exe = package(exeName("app"), config, {}, kMessageTarget);
  // What a signing tool or an archive tool appends after the archive.
  writeFile(exe, readFile(exe) + std::string(1000, '\x5A'));
  const ProcessResult result = run(exe);
  EXPECT_EQ(result.exitCode, 1) << describe(result);
  EXPECT_TRUE(traced(result, "comment 1000 bytes")) << describe(result);
  EXPECT_TRUE(traced(result, "configuration block: " + std::to_string(3 + config.size()) + " bytes"))
      << describe(result);
}

TEST_F(Startup, TruncatedOrDamagedPayloadNeverCrashes) {
  const std::string exe = package(exeName("app"), kNoRuntime + "mainclass com.example.Main\r\n", {}, kMessageTarget);
  const std::string whole = readFile(exe);
  // The image (the template with the resources xoqpack wrote) ends where the
  // configuration block begins.
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(whole.data());
  const size_t marker = whole.find(std::string(kArchiveLengthMarker, kArchiveLengthMarkerSize));
  ASSERT_NE(marker, std::string::npos);
  const PayloadLayout layout = computePayloadLayout(bytes, whole.size(), readLittle32(bytes + marker - 8));
  ASSERT_TRUE(layout.fits);
  const size_t image = layout.configStart;
  // Cut anywhere in the payload (the image itself must stay loadable), with
  // every byte near the end, where the length fields and records are.
  std::vector<size_t> lengths;
  for (size_t length = image; length < whole.size(); length += (whole.size() - image) / 12 + 1) {
    lengths.push_back(length);
  }
  for (size_t back = 1; back <= 30; ++back) lengths.push_back(whole.size() - back);
  const std::string damaged = dir_.file(exeName("damaged"));
  for (size_t length : lengths) {
    writeFile(damaged, whole.substr(0, length));
    makeExecutable(damaged);
    const ProcessResult result = run(damaged);
    EXPECT_FALSE(result.timedOut) << length;
    EXPECT_EQ(result.signal, 0) << length << ": " << describe(result);
    // A cut file fails its integrity check: refused before anything runs.
    EXPECT_EQ(result.exitCode, 9) << length << ": " << describe(result);
    EXPECT_FALSE(traced(result, "launch thread started")) << length << ": " << describe(result);
  }
}

TEST_F(Startup, ForcedWorkingDirectoryIsTakenAgainstTheApplicationHome) {
  writeFile(dir_.file("data/readme.txt"), "data");
  writeFile(dir_.file("app/placeholder"), "");
  const std::string exe =
      package("app/" + exeName("tool"), kNoRuntime + (kWindows ? "forcecwd ..\\data\r\n" : "forcecwd ../data\r\n"), {},
              kMessageTarget);
  RunOptions elsewhere;
  elsewhere.workingDirectory = dir_.file("app");
  const ProcessResult result = run(exe, {}, elsewhere);
  EXPECT_TRUE(traced(result, "-> " + launcherPath(kTarget, dir_.file("data")))) << describe(result);
  EXPECT_FALSE(traced(result, "could not change")) << describe(result);

  const std::string missing =
      package(exeName("missing"), kNoRuntime + "forcecwd no-such-directory\r\n", {}, kMessageTarget);
  const ProcessResult missingResult = run(missing);
  EXPECT_TRUE(traced(missingResult, "(could not change to it)")) << describe(missingResult);
  EXPECT_EQ(missingResult.exitCode, 1) << describe(missingResult);
}

}  // namespace
}  // namespace testing
}  // namespace xoq
