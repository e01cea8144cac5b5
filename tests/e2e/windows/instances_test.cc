// The instance registry and the single-instance guard of the real packaged
// launchers, GUI and console, under Wine with real processes and kernel
// objects. No Windows Java runtime can exist here, so each launch loads a
// stand-in jvm.dll whose creation call keeps the launcher running: it writes
// the launcher's own instance block (its ".SHMMESS" section) into a status
// file every 20 ms until the test releases it.
#include <signal.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/background.h"
#include "support/files.h"
#include "support/jdks.h"
#include "support/packaging.h"

namespace xoq {
namespace testing {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;
using std::chrono::steady_clock;

const milliseconds kPatience = seconds(90);

uint32_t readLittleEndian(const std::string& bytes, size_t at, int size) {
  uint32_t value = 0;
  for (int i = size - 1; i >= 0; --i) value = value << 8 | static_cast<uint8_t>(bytes[at + i]);
  return value;
}

// The mutex name: the module file name with every ':' and '\' as '.'.
std::string mutexNameOf(const std::string& windowsPath) {
  std::string name = windowsPath;
  for (char& c : name) {
    if (c == ':' || c == '\\') c = '.';
  }
  return name + ".xoq";
}

class WindowsInstances : public ::testing::Test {
 protected:
  void SetUp() override {
    writeFile(dir_.file("rt/jvm.dll"), readFile(std::string(XOQ_BUILD_DIR) + "/windows/standins/hold/jvm.dll"));
  }

  void TearDown() override {
    for (size_t i = 0; i < launches_.size(); ++i) writeFile(release(i), "0");
    for (auto& launch : launches_) launch->waitFor(seconds(20));
  }

  std::string package(Target target, const std::string& name, const std::string& mode) {
    const std::string exe =
        packageExecutable(target, dir_.file(name),
                          "mainclass app.Main\r\njre_order c\r\njvmdll " +
                              launcherPath(target, dir_.file("rt/jvm.dll")) + "\r\nsingleinstance " + mode + "\r\n");
    EXPECT_FALSE(exe.empty());
    return exe;
  }

  std::string statusDir(size_t launch) const { return dir_.file("status" + std::to_string(launch)); }
  std::string release(size_t launch) const { return dir_.file("release" + std::to_string(launch)); }

  // Starts `program` (a path as Wine should be given it) in the background.
  Background& launch(const std::string& program) {
    const size_t n = launches_.size();
    std::filesystem::create_directories(statusDir(n));
    const std::map<std::string, std::string> env = {
        {"XOQ_STANDIN_STATUS", launcherPath(Target::kWindows, statusDir(n))},
        {"XOQ_STANDIN_RELEASE", launcherPath(Target::kWindows, release(n))},
        {"XOQ_TRACE", "1"}};
    launches_.push_back(std::make_unique<Background>(std::vector<std::string>{XOQ_WINE_PROGRAM, program}, env,
                                                     dir_.file("launch" + std::to_string(n) + ".out"),
                                                     dir_.file("launch" + std::to_string(n) + ".err")));
    return *launches_.back();
  }

  // What the stand-in of launch `n` last saw; empty while it has not run.
  std::map<std::string, std::string> status(size_t n) const {
    for (const auto& entry : std::filesystem::directory_iterator(statusDir(n))) {
      if (entry.path().extension() == ".txt") return parseKeyValues(readFile(entry.path().string()));
    }
    return {};
  }

  // Waits until the stand-in of launch `n` reports `key` = `value` (any
  // value when empty); returns the status.
  std::map<std::string, std::string> awaitStatus(size_t n, const std::string& key, const std::string& value = "") {
    const auto deadline = steady_clock::now() + kPatience;
    std::map<std::string, std::string> seen;
    while (steady_clock::now() < deadline) {
      seen = status(n);
      if (seen.count(key) != 0 && (value.empty() || seen[key] == value)) return seen;
      std::this_thread::sleep_for(milliseconds(20));
    }
    ADD_FAILURE() << "launch " << n << " never reported " << key << "=" << value << "\n" << describe(n);
    return seen;
  }

  std::string describe(size_t n) const {
    return "stdout:\n" + readFile(dir_.file("launch" + std::to_string(n) + ".out")) + "\nstderr:\n" +
           readFile(dir_.file("launch" + std::to_string(n) + ".err"));
  }

  // Asks Wine whether a mutex of this exact name exists.
  std::string probeMutex(const std::string& name) {
    RunOptions options;
    options.timeoutSeconds = 90;
    const ProcessResult probe = runProcess(
        {XOQ_WINE_PROGRAM, std::string(XOQ_BUILD_DIR) + "/windows/xoq_instance_peer.exe", "--probe-mutex", name},
        options);
    return parseKeyValues(probe.out)["mutex"];
  }

  TempDir dir_;
  std::vector<std::unique_ptr<Background>> launches_;
};

TEST_F(WindowsInstances, TheInstanceBlockIsASharedSectionOfTheImage) {
  for (const std::string& file : {templatePath(Target::kWindows), templatePath(Target::kWindowsConsole),
                                  package(Target::kWindows, "app.exe", "custom")}) {
    const std::string image = readFile(file);
    ASSERT_GT(image.size(), 0x200u) << file;
    const size_t header = readLittleEndian(image, 0x3C, 4);
    const size_t sections = readLittleEndian(image, header + 6, 2);
    const size_t table = header + 24 + readLittleEndian(image, header + 20, 2);
    bool found = false;
    for (size_t i = 0; i < sections; ++i) {
      const size_t at = table + 40 * i;
      if (image.compare(at, 8, ".SHMMESS") != 0) continue;
      found = true;
      EXPECT_EQ(readLittleEndian(image, at + 8, 4), 3072u) << "virtual size, " << file;
      EXPECT_EQ(readLittleEndian(image, at + 16, 4), 3072u) << "size in the file, " << file;
      // IMAGE_SCN_MEM_SHARED | MEM_READ | MEM_WRITE | CNT_INITIALIZED_DATA
      EXPECT_EQ(readLittleEndian(image, at + 36, 4), 0xD0000040u) << file;
      const size_t raw = readLittleEndian(image, at + 20, 4);
      EXPECT_EQ(image.substr(raw, 3072), std::string(3072, '\0')) << file;
    }
    EXPECT_TRUE(found) << file;
  }
  RunOptions options;
  const ProcessResult dump = runProcess({"x86_64-w64-mingw32-objdump", "-p", templatePath(Target::kWindows)}, options);
  for (const char* name : {"getFirstInstance", "getCurrentInstance", "getInstances", "sendObject", "flush",
                           "setReceiver", "awaitLastChunk"}) {
    EXPECT_NE(dump.out.find(std::string("] Java_com_tarvolin_xoq_Instances_") + name + "\n"), std::string::npos)
        << name;
  }
}

TEST_F(WindowsInstances, GuiLaunchesListThemselvesInJoiningOrderAndTheNextTakesOver) {
  const std::string exe = package(Target::kWindows, "app.exe", "custom");
  launch(exe);
  const std::string x = awaitStatus(0, "pid")["pid"];
  awaitStatus(0, "first", x);
  launch(exe);
  const std::string y = awaitStatus(1, "pid")["pid"];
  launch(exe);
  const std::string z = awaitStatus(2, "pid")["pid"];
  // The first instance lives in firstInstanceId; the others follow in the
  // order they joined, as every one of them sees it.
  for (size_t n = 0; n < 3; ++n) {
    const auto seen = awaitStatus(n, "ids", y + "," + z);
    EXPECT_EQ(seen.at("first"), x) << n;
    EXPECT_EQ(seen.at("count"), "2") << n;
  }
  EXPECT_EQ(probeMutex(mutexNameOf(launcherPath(Target::kWindows, exe))), "missing")
      << "custom creates no instance mutex";

  // The first instance ends abruptly; a transport thread of the others takes
  // over at once, woken by the process's end.
  launches_[0]->signal(SIGKILL);
  const auto deadline = steady_clock::now() + seconds(30);
  std::string successor;
  while (successor.empty() && steady_clock::now() < deadline) {
    const std::string first = status(1)["first"];
    if (first == y || first == z) successor = first;
    std::this_thread::sleep_for(milliseconds(20));
  }
  ASSERT_FALSE(successor.empty()) << describe(1);
  EXPECT_EQ(awaitStatus(2, "first", successor)["first"], successor);
}

TEST_F(WindowsInstances, TheGuardRefusesASecondLaunchOfTheSamePathUntilTheFirstEnds) {
  const std::string exe = package(Target::kWindowsConsole, "app.exe", "TRUE");
  launch(exe);
  awaitStatus(0, "pid");
  EXPECT_EQ(probeMutex(mutexNameOf(launcherPath(Target::kWindows, exe))), "exists");

  const auto start = steady_clock::now();
  RunOptions options;
  std::filesystem::create_directories(dir_.file("second"));
  options.setEnv["XOQ_STANDIN_STATUS"] = launcherPath(Target::kWindows, dir_.file("second"));
  options.setEnv["XOQ_STANDIN_RELEASE"] = launcherPath(Target::kWindows, dir_.file("never"));
  options.timeoutSeconds = 90;
  const ProcessResult second = runExecutable(Target::kWindowsConsole, exe, {}, options);
  EXPECT_EQ(second.exitCode, 11) << second.err;
  EXPECT_NE(second.err.find("There is already an instance of this program running."), std::string::npos) << second.err;
  EXPECT_GE(steady_clock::now() - start, milliseconds(100)) << "the mutex is waited for 100 ms";
  EXPECT_TRUE(std::filesystem::is_empty(dir_.file("second"))) << "refused before any runtime is created";

  // Killed, the first instance leaves its mutex abandoned: the next runs.
  launches_[0]->signal(SIGKILL);
  ASSERT_TRUE(launches_[0]->waitFor(kPatience));
  launch(exe);
  awaitStatus(1, "pid");
  EXPECT_TRUE(launches_[1]->running()) << describe(1);
}

TEST_F(WindowsInstances, PathsThatDifferOnlyInCaseDoNotExcludeEachOther) {
  const std::string exe = package(Target::kWindowsConsole, "app.exe", "true");
  launch(launcherPath(Target::kWindows, exe));
  std::string upper = launcherPath(Target::kWindows, dir_.file("APP.EXE"));
  launch(upper);
  awaitStatus(0, "pid");
  awaitStatus(1, "pid");
  EXPECT_TRUE(launches_[0]->running() && launches_[1]->running()) << describe(0) << describe(1);
  EXPECT_EQ(probeMutex(mutexNameOf(upper)), "exists");
}

TEST_F(WindowsInstances, AMutexThatCannotBeCreatedIsPrintedAndRefused) {
  const std::string exe = package(Target::kWindowsConsole, "app.exe", "true");
  // An event already holds the name.
  const std::string peer = std::string(XOQ_BUILD_DIR) + "/windows/xoq_instance_peer.exe";
  Background holder({XOQ_WINE_PROGRAM, peer, "--hold-event", mutexNameOf(launcherPath(Target::kWindows, exe)),
                     "--stay-until", launcherPath(Target::kWindows, dir_.file("stop"))},
                    {}, dir_.file("holder.out"));
  ASSERT_TRUE(holder.waitForOutput("event=held", kPatience)) << holder.output();
  RunOptions options;
  options.timeoutSeconds = 90;
  const ProcessResult refused = runExecutable(Target::kWindowsConsole, exe, {}, options);
  writeFile(dir_.file("stop"), "");
  EXPECT_EQ(refused.exitCode, 11) << refused.err;
  EXPECT_NE(refused.out.find("CreateMutex error: 6\r\n"), std::string::npos) << refused.out;  // ERROR_INVALID_HANDLE
  EXPECT_NE(refused.err.find("There is already an instance of this program running."), std::string::npos);
  EXPECT_TRUE(holder.waitFor(seconds(30)));
}

TEST_F(WindowsInstances, OfTwentySimultaneousLaunchesExactlyOneRuns) {
  const std::string exe = package(Target::kWindowsConsole, "app.exe", "true");
  for (int i = 0; i < 20; ++i) launch(exe);
  // The one that runs stays (its stand-in waits for the test); the others
  // end, refused.
  const auto deadline = steady_clock::now() + seconds(180);
  int running = 20;
  while (running > 1 && steady_clock::now() < deadline) {
    running = 0;
    for (auto& one : launches_) running += one->running() ? 1 : 0;
    std::this_thread::sleep_for(milliseconds(50));
  }
  ASSERT_EQ(running, 1);
  int refused = 0;
  for (size_t n = 0; n < launches_.size(); ++n) {
    if (launches_[n]->running()) {
      awaitStatus(n, "pid");
    } else {
      refused += launches_[n]->exitCode() == 11 ? 1 : 0;
    }
  }
  EXPECT_EQ(refused, 19);
}

}  // namespace
}  // namespace testing
}  // namespace xoq
