// Instances of a packaged Windows program with the real runtime, several real
// processes at once under Wine: the instances probe (tests/apps/instances)
// lists them, registers a receiver and sends objects of its own classes
// through com.tarvolin.xoq.Instances ("singleinstance custom"), and a
// "singleinstance true" program refuses a second launch.
#include <signal.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "e2e/windows/real_runtime.h"
#include "support/background.h"

namespace xoq {
namespace testing {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;
using std::chrono::steady_clock;

const milliseconds kPatience = seconds(RealRuntime::kRunSeconds);

class RealRuntimeInstances : public RealRuntime {
 protected:
  void TearDown() override {
    writeFile(dir_.file("stop"), "");
    for (auto& one : running_) one->waitFor(seconds(30));
    running_.clear();
  }

  std::string packageProbe(const std::string& name, const std::string& mode = "custom") {
    return package(Target::kWindowsConsole, name,
                   "mainclass instprobe.Main\r\njre_order e\r\nsingleinstance " + mode + "\r\n",
                   {"--add", testAppJar("instances") + "=instances.jar"});
  }

  // Starts `exe` with the probe's commands (see its Main.java) in the
  // background, without waiting.
  Background& launch(const std::string& exe, const std::vector<std::string>& commands) {
    std::vector<std::string> command = {XOQ_WINE_PROGRAM, exe};
    command.insert(command.end(), commands.begin(), commands.end());
    const std::string name = "run" + std::to_string(running_.size());
    running_.push_back(std::make_unique<Background>(
        command, std::map<std::string, std::string>{{"JAVA_HOME", javaHome()}, {"XOQ_TRACE", "1"}},
        dir_.file(name + ".out"), dir_.file(name + ".err"), seconds(600)));
    return *running_.back();
  }

  // The same, returning once its main class runs.
  Background& start(const std::string& exe, const std::vector<std::string>& commands) {
    Background& started = launch(exe, commands);
    EXPECT_TRUE(started.waitForOutput("ready\n", kPatience)) << describe(started);
    return started;
  }

  // Waits for the end of `one`, which must end well.
  void finish(Background& one) {
    EXPECT_TRUE(one.waitFor(kPatience)) << describe(one);
    EXPECT_EQ(one.exitCode(), 0) << describe(one);
  }

  using RealRuntime::describe;
  std::string describe(const Background& one) const {
    for (size_t i = 0; i < running_.size(); ++i) {
      if (running_[i].get() == &one) {
        return "stdout:\n" + one.output() + "\nstderr:\n" +
               readFile(dir_.file("run" + std::to_string(i) + ".err")).substr(0, 8000);
      }
    }
    return std::string();
  }

  std::string errors(const Background& one) const {
    for (size_t i = 0; i < running_.size(); ++i) {
      if (running_[i].get() == &one) return readFile(dir_.file("run" + std::to_string(i) + ".err"));
    }
    return std::string();
  }

  // The instance id (the Windows process id) that `one` printed.
  static std::string idOf(const Background& one) { return parseKeyValues(one.output())["current"]; }

  static std::vector<std::string> received(const Background& one) { return one.linesAfter("received "); }
  static bool receives(const Background& one, size_t count) { return one.waitForLines("received ", count, kPatience); }

  std::string stopFile() const { return "await:" + win("stop"); }

  std::vector<std::unique_ptr<Background>> running_;
};

TEST_F(RealRuntimeInstances, ObjectsOfApplicationClassesArriveWholeFromTwoSendersAtOnce) {
  const std::string exe = packageProbe("app.exe");
  Background& x = start(exe, {"ids", "receive", stopFile()});
  ASSERT_TRUE(x.waitForOutput("receiving", kPatience)) << describe(x);
  const std::string target = idOf(x);
  ASSERT_FALSE(target.empty()) << describe(x);
  // Two senders at once, a megabyte each; the second ends through
  // System.exit right after flush and still delivers.
  Background& y = launch(exe, {"ids", "send:" + target + ":1048576:from-y", "send:0:10:small", "flush"});
  Background& z =
      launch(exe, {"ids", "send:" + target + ":1048576:from-z", "send:first:1025:one-argument", "flush", "exit"});
  finish(y);
  finish(z);
  EXPECT_NE(y.output().find("flushed"), std::string::npos) << describe(y);
  ASSERT_TRUE(receives(x, 4)) << describe(x);
  const std::vector<std::string> lines = received(x);
  // Objects of the application's own class, resolved through the
  // receiver's loader.
  for (const std::string& expected :
       {"from=" + idOf(y) + " class=instprobe.Note text=from-y size=1048576 intact=true loader=true",
        "from=" + idOf(y) + " class=instprobe.Note text=small size=10 intact=true loader=true",
        "from=" + idOf(z) + " class=instprobe.Note text=from-z size=1048576 intact=true loader=true",
        "from=" + idOf(z) + " class=instprobe.Note text=one-argument size=1025 intact=true loader=true"}) {
    EXPECT_EQ(std::count(lines.begin(), lines.end(), expected), 1) << expected << "\n" << describe(x);
  }
}

TEST_F(RealRuntimeInstances, AChunkForAnEndedAddresseeIsDroppedAndTheTrafficGoesOn) {
  const std::string exe = packageProbe("app.exe");
  Background& x = start(exe, {"ids", "receive", stopFile()});
  ASSERT_TRUE(x.waitForOutput("receiving", kPatience)) << describe(x);
  Background& ended = start(exe, {"ids"});
  finish(ended);
  const std::string gone = idOf(ended);
  ASSERT_FALSE(gone.empty()) << describe(ended);
  Background& sender = start(exe, {"ids", "send:" + gone + ":2000:lost", "send:" + idOf(x) + ":100:after", "flush"});
  finish(sender);
  ASSERT_TRUE(receives(x, 1)) << describe(x);
  std::this_thread::sleep_for(seconds(2));
  const std::string dropped = "chunk for " + gone + " dropped (its addressee has ended)";
  EXPECT_TRUE(errors(x).find(dropped) != std::string::npos || errors(sender).find(dropped) != std::string::npos)
      << describe(x) << describe(sender);
  EXPECT_EQ(received(x), std::vector<std::string>{"from=" + idOf(sender) +
                                                  " class=instprobe.Note text=after size=100 intact=true loader=true"})
      << describe(x);
}

TEST_F(RealRuntimeInstances, WhenTheFirstInstanceEndsAnotherTakesOver) {
  const std::string exe = packageProbe("app.exe");
  Background& x = start(exe, {"ids", stopFile()});
  Background& y = start(exe, {"ids", "receive", stopFile()});
  Background& z = start(exe, {"ids", "receive", stopFile()});
  const std::string first = idOf(x);
  for (Background* one : {&y, &z}) {
    ASSERT_TRUE(one->waitForOutput("receiving", kPatience)) << describe(*one);
    EXPECT_EQ(parseKeyValues(one->output())["first"], first) << describe(*one);
    // Every instance lists the first, then the others in joining order.
    EXPECT_EQ(parseKeyValues(one->output())["instances"].find(first + ","), 0u) << describe(*one);
  }
  EXPECT_EQ(parseKeyValues(z.output())["instances"], first + "," + idOf(y) + "," + idOf(z)) << describe(z);

  // The first instance ends abruptly; a transport thread of the others
  // takes over, woken by the process's end.
  x.signal(SIGKILL);
  const auto deadline = steady_clock::now() + seconds(60);
  Background* successor = nullptr;
  while (successor == nullptr && steady_clock::now() < deadline) {
    for (Background* one : {&y, &z}) {
      if (one->output().find("first=" + idOf(*one) + "\n") != std::string::npos) successor = one;
    }
    std::this_thread::sleep_for(milliseconds(50));
  }
  ASSERT_NE(successor, nullptr) << describe(y) << describe(z);
  Background& other = successor == &y ? z : y;
  EXPECT_TRUE(other.waitForOutput("first=" + idOf(*successor) + "\n", seconds(60))) << describe(other);
  Background& sender = start(exe, {"ids", "send:first:2000:to-the-new-first", "flush"});
  finish(sender);
  EXPECT_EQ(parseKeyValues(sender.output())["first"], idOf(*successor)) << describe(sender);
  ASSERT_TRUE(receives(*successor, 1)) << describe(*successor);
  EXPECT_EQ(received(*successor)[0],
            "from=" + idOf(sender) + " class=instprobe.Note text=to-the-new-first size=2000 intact=true loader=true");
}

TEST_F(RealRuntimeInstances, SingleInstanceTrueRefusesASecondLaunchWithExitCode11) {
  const std::string exe = packageProbe("guarded.exe", "TRUE");
  Background& first = start(exe, {stopFile()});
  const ProcessResult second = run(Target::kWindowsConsole, exe);
  EXPECT_EQ(second.exitCode, 11) << describe(second);
  EXPECT_NE(second.err.find("There is already an instance of this program running."), std::string::npos)
      << describe(second);
  EXPECT_EQ(second.out.find("ready"), std::string::npos) << "refused before the application runs";

  // Once the first has ended, the next one runs.
  writeFile(dir_.file("stop"), "");
  finish(first);
  const ProcessResult third = run(Target::kWindowsConsole, exe);
  EXPECT_EQ(third.exitCode, 0) << describe(third);
  EXPECT_NE(third.out.find("ready"), std::string::npos) << describe(third);
}

}  // namespace
}  // namespace testing
}  // namespace xoq
