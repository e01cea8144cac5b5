// Instances end to end on Linux, with real Java objects, on every JDK: a
// probe application (tests/apps/instances) lists the instances, registers a
// receiver and sends objects of its own classes through
// com.tarvolin.xoq.Instances, several copies at once.
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/instance_block.h"
#include "platform/shared_object.h"
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

class LinuxInstances : public ::testing::TestWithParam<std::string> {
 protected:
  void TearDown() override {
    writeFile(dir_.file("stop"), "");
    for (auto& one : running_) one->waitFor(seconds(20));
    running_.clear();
    for (const std::string& exe : packaged_) {
      unlink(platform::sharedObjectPath(platform::sharedObjectName(exe, ".block")).c_str());
      unlink(platform::sharedObjectPath(platform::sharedObjectName(exe, ".lock")).c_str());
    }
  }

  std::string package(const std::string& name, const std::string& extraConfig = "singleinstance custom\r\n") {
    const std::string exe =
        packageExecutable(Target::kLinux, dir_.file(name), "mainclass instprobe.Main\r\njre_order e\r\n" + extraConfig,
                          {{testAppJar("instances"), "instances.jar"}});
    EXPECT_FALSE(exe.empty());
    packaged_.push_back(exe);
    return exe;
  }

  // Starts `exe` with the commands of the probe (see Main.java); returns once
  // it has started its main class.
  Background& start(const std::string& exe, const std::vector<std::string>& commands,
                    std::map<std::string, std::string> env = {}) {
    std::vector<std::string> command = {exe};
    command.insert(command.end(), commands.begin(), commands.end());
    const std::string name = "run" + std::to_string(running_.size());
    env["JAVA_HOME"] = GetParam();
    running_.push_back(std::make_unique<Background>(command, env, dir_.file(name + ".out"), dir_.file(name + ".err")));
    Background& started = *running_.back();
    EXPECT_TRUE(started.waitForOutput("ready\n", kPatience)) << describe(started);
    return started;
  }

  // Runs `exe` with `commands` to its end.
  Background& run(const std::string& exe, const std::vector<std::string>& commands) {
    Background& ran = start(exe, commands);
    EXPECT_TRUE(ran.waitFor(kPatience)) << describe(ran);
    EXPECT_EQ(ran.exitCode(), 0) << describe(ran);
    return ran;
  }

  std::string describe(const Background& one) const {
    for (size_t i = 0; i < running_.size(); ++i) {
      if (running_[i].get() == &one) {
        return "stdout:\n" + one.output() + "\nstderr:\n" + readFile(dir_.file("run" + std::to_string(i) + ".err"));
      }
    }
    return std::string();
  }

  std::string file(const std::string& name) const { return dir_.file(name); }
  void touch(const std::string& name) { writeFile(dir_.file(name), ""); }
  static std::string id(const Background& one) { return std::to_string(one.pid()); }

  static std::vector<std::string> received(const Background& one) { return one.linesAfter("received "); }

  static bool receives(const Background& one, size_t count) { return one.waitForLines("received ", count, kPatience); }

  TempDir dir_;
  std::vector<std::unique_ptr<Background>> running_;
  std::vector<std::string> packaged_;
};

TEST_P(LinuxInstances, EveryInstanceListsTheFirstThenTheOthersInJoiningOrder) {
  const std::string exe = package("app");
  Background& x = start(exe, {"await:" + file("go"), "ids", "await:" + file("stop")});
  Background& y = start(exe, {"await:" + file("go"), "ids", "await:" + file("stop")});
  Background& z = start(exe, {"await:" + file("go"), "ids", "await:" + file("stop")});
  touch("go");
  for (Background* one : {&x, &y, &z}) {
    ASSERT_TRUE(one->waitForOutput("instances=", kPatience)) << describe(*one);
    const auto values = parseKeyValues(one->output());
    EXPECT_EQ(values.at("instances"), id(x) + "," + id(y) + "," + id(z)) << describe(*one);
    EXPECT_EQ(values.at("first"), id(x));
    EXPECT_EQ(values.at("current"), id(*one));
  }

  // Without `singleinstance custom` there is no transport: no first or
  // current instance, but the list is there.
  const std::string plain = package("plain", "");
  Background& p = start(plain, {"await:" + file("go2"), "ids", "await:" + file("stop")});
  Background& q = start(plain, {"await:" + file("go2"), "ids", "await:" + file("stop")});
  touch("go2");
  for (Background* one : {&p, &q}) {
    ASSERT_TRUE(one->waitForOutput("instances=", kPatience)) << describe(*one);
    const auto values = parseKeyValues(one->output());
    EXPECT_EQ(values.at("first"), "-1");
    EXPECT_EQ(values.at("current"), "-1");
    EXPECT_EQ(values.at("instances"), id(p) + "," + id(q)) << "a copy at another path has a registry of its own";
  }
}

TEST_P(LinuxInstances, ALaunchWithoutMessagingPaysNothingForIt) {
  const std::string plain = package("plain", "option -verbose:class\r\n");
  Background& x = start(plain, {"pause:" + file("stop")});
  // Not the first instance: there is a first one it could watch.
  Background& y = start(plain, {"pause:" + file("stop")});
  for (const auto& entry : std::filesystem::directory_iterator("/proc/" + id(y) + "/fd")) {
    std::error_code error;
    const std::string target = std::filesystem::read_symlink(entry.path(), error).string();
    EXPECT_EQ(target.find("pidfd"), std::string::npos) << "a descriptor on " << id(x) << "'s process";
  }
  EXPECT_EQ(y.output().find("com.tarvolin.xoq.Instances "), std::string::npos) << "the class was loaded";
  // An application that uses the class finds its natives the first time.
  Background& z = run(plain, {"ids"});
  EXPECT_NE(z.output().find("com.tarvolin.xoq.Instances "), std::string::npos) << describe(z);
  EXPECT_EQ(parseKeyValues(z.output())["instances"], id(x) + "," + id(y) + "," + id(z)) << describe(z);
}

TEST_P(LinuxInstances, ObjectsOfApplicationClassesArriveWholeFromTwoSendersAtOnce) {
  const std::string exe = package("app");
  Background& x = start(exe, {"receive", "await:" + file("stop")});
  ASSERT_TRUE(x.waitForOutput("receiving", kPatience));
  const std::string target = id(x);
  Background& y = start(exe, {"send:" + target + ":1048576:from-y", "send:0:10:small", "flush"});
  Background& z = start(exe, {"send:" + target + ":1048576:from-z", "send:first:1025:one-argument", "flush"});
  ASSERT_TRUE(y.waitFor(kPatience) && z.waitFor(kPatience));
  ASSERT_TRUE(receives(x, 4)) << describe(x);
  const std::vector<std::string> lines = received(x);
  for (const std::string& expected :
       {"from=" + id(y) + " class=instprobe.Note text=from-y size=1048576 intact=true loader=true",
        "from=" + id(y) + " class=instprobe.Note text=small size=10 intact=true loader=true",
        "from=" + id(z) + " class=instprobe.Note text=from-z size=1048576 intact=true loader=true",
        "from=" + id(z) + " class=instprobe.Note text=one-argument size=1025 intact=true loader=true"}) {
    EXPECT_EQ(std::count(lines.begin(), lines.end(), expected), 1) << expected << "\n" << describe(x);
  }
}

TEST_P(LinuxInstances, AReceiverRegisteredLateMissesWhatCameBefore) {
  const std::string exe = package("app");
  Background& x = start(exe, {"await:" + file("go"), "receive", "await:" + file("stop")}, {{"XOQ_TRACE", "1"}});
  Background& early = run(exe, {"send:0:10:early", "flush"});
  // Delivered while nobody listened: the message is gone.
  const std::string dropped = "message from " + id(early) + " dropped (no receiver)";
  const auto deadline = steady_clock::now() + kPatience;
  while (describe(x).find(dropped) == std::string::npos && steady_clock::now() < deadline) {
    std::this_thread::sleep_for(milliseconds(20));
  }
  ASSERT_NE(describe(x).find(dropped), std::string::npos) << describe(x);
  touch("go");
  ASSERT_TRUE(x.waitForOutput("receiving", kPatience));
  Background& late = run(exe, {"send:0:10:late", "flush"});
  ASSERT_TRUE(receives(x, 1)) << describe(x);
  EXPECT_EQ(received(x), std::vector<std::string>{"from=" + id(late) +
                                                  " class=instprobe.Note text=late size=10 intact=true loader=true"});
}

TEST_P(LinuxInstances, FlushReturnsOnceTheLastChunkIsInTheBlock) {
  const std::string exe = package("app");
  Background& x = start(exe, {"receive", "await:" + file("stop")});
  ASSERT_TRUE(x.waitForOutput("receiving", kPatience));
  // The receiver stays in its first object until the test releases it; the
  // second object still leaves the sender, and waits in the block.
  const std::string release = file("release");
  Background& y = start(exe, {"send:0:10:hold:" + release, "flush", "send:0:100:second", "flush", "await:" + release,
                              "send:0:10240:ten-chunks", "flush"});
  ASSERT_TRUE(y.waitForLines("flushed", 2, kPatience)) << describe(y);
  for (const std::string& line : received(x)) EXPECT_EQ(line.find("text=second"), std::string::npos) << line;
  touch("release");
  ASSERT_TRUE(y.waitFor(kPatience)) << describe(y);
  EXPECT_EQ(y.exitCode(), 0) << describe(y);
  ASSERT_TRUE(receives(x, 3)) << describe(x);
  const std::vector<std::string> lines = received(x);
  EXPECT_NE(lines[1].find("text=second size=100 intact=true"), std::string::npos) << describe(x);
  EXPECT_NE(lines[2].find("text=ten-chunks size=10240 intact=true"), std::string::npos) << describe(x);
}

TEST_P(LinuxInstances, AProgramThatEndsThroughSystemExitRightAfterFlushStillDelivers) {
  const std::string exe = package("app");
  Background& x = start(exe, {"receive", "await:" + file("stop")});
  ASSERT_TRUE(x.waitForOutput("receiving", kPatience));
  // The last object waits in the block while the receiver is busy, and the
  // sender ends through System.exit right after flush: it still waits until
  // the receiver has taken it (the receiver could not tell its sender's
  // user once the sender is gone).
  Background& y = start(exe, {"send:0:10:hold:" + file("release"), "flush", "send:0:100:last", "flush", "exit"});
  ASSERT_TRUE(y.waitForLines("flushed", 2, kPatience)) << describe(y);
  touch("release");
  ASSERT_TRUE(y.waitFor(kPatience)) << describe(y);
  EXPECT_EQ(y.exitCode(), 0) << describe(y);
  EXPECT_EQ(y.output().find("done"), std::string::npos) << "it ended through System.exit";
  ASSERT_TRUE(receives(x, 2)) << describe(x);
  EXPECT_EQ(received(x)[1], "from=" + id(y) + " class=instprobe.Note text=last size=100 intact=true loader=true");
}

// A queue that drains slower than five seconds in all, with a chunk leaving
// every three seconds (the receiver is held that long by each of five
// objects): flush waits for as long as chunks keep leaving, so that the
// last object is not lost when the program ends right after flush. With a
// limit of five seconds in all, flush returned with three objects queued,
// the ending program waited for one chunk of them, and the last object
// never arrived.
TEST_P(LinuxInstances, FlushWaitsWhileChunksKeepLeavingAndTheLastObjectArrives) {
  const std::string exe = package("app");
  Background& x = start(exe, {"receive", "await:" + file("stop")});
  ASSERT_TRUE(x.waitForOutput("receiving", kPatience));
  const std::vector<std::string> releases = {"r1", "r2", "r3", "r4", "r5"};
  std::vector<std::string> commands;
  for (const std::string& release : releases) commands.push_back("send:0:10:hold:" + file(release));
  commands.insert(commands.end(), {"send:0:100:last", "flush", "exit"});
  Background& y = start(exe, commands);
  ASSERT_TRUE(receives(x, 1)) << describe(x);
  for (const std::string& release : releases) {
    std::this_thread::sleep_for(seconds(3));
    // The last object leaves once the fourth hold is released.
    if (release != "r5") {
      EXPECT_EQ(y.output().find("flushed"), std::string::npos) << "flush returned before " << release;
    }
    touch(release);
  }
  ASSERT_TRUE(y.waitFor(kPatience)) << describe(y);
  EXPECT_EQ(y.exitCode(), 0) << describe(y);
  ASSERT_TRUE(receives(x, 6)) << describe(x);
  EXPECT_EQ(received(x)[5], "from=" + id(y) + " class=instprobe.Note text=last size=100 intact=true loader=true");
}

TEST_P(LinuxInstances, WhenTheFirstInstanceIsKilledAnotherTakesOver) {
  const std::string exe = package("app");
  Background& x = start(exe, {"await:" + file("stop")});
  Background& y = start(exe, {"receive", "await:" + file("stop")});
  Background& z = start(exe, {"receive", "await:" + file("stop")});
  ASSERT_TRUE(z.waitForOutput("first=" + id(x), kPatience));
  x.signal(SIGKILL);
  const auto deadline = steady_clock::now() + seconds(20);
  Background* successor = nullptr;
  while (successor == nullptr && steady_clock::now() < deadline) {
    for (Background* one : {&y, &z}) {
      if (one->output().find("first=" + id(*one) + "\n") != std::string::npos) successor = one;
    }
    std::this_thread::sleep_for(milliseconds(20));
  }
  ASSERT_NE(successor, nullptr) << describe(y) << describe(z);
  Background& other = successor == &y ? z : y;
  EXPECT_TRUE(other.waitForOutput("first=" + id(*successor) + "\n", seconds(20))) << describe(other);
  Background& sender = run(exe, {"send:first:2000:to-the-new-first", "flush"});
  ASSERT_TRUE(receives(*successor, 1)) << describe(*successor);
  EXPECT_EQ(received(*successor)[0],
            "from=" + id(sender) + " class=instprobe.Note text=to-the-new-first size=2000 intact=true loader=true");
}

TEST_P(LinuxInstances, AnInstanceBeyondTheTwoHundredFiftyListedIsNotListed) {
  const std::string exe = package("app");
  Background& x = start(exe, {"threads:260", "await:" + file("stop")});
  ASSERT_TRUE(x.waitForOutput("threads started", kPatience));
  // 250 living entries, simulated with the threads of the first instance:
  // each is a live task of this user running this executable.
  std::vector<int32_t> tasks;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/" + id(x) + "/task")) {
    const int32_t task = std::stoi(entry.path().filename().string());
    if (task != x.pid() && tasks.size() < 250) tasks.push_back(task);
  }
  ASSERT_EQ(tasks.size(), 250u);
  const int fd = open(platform::sharedObjectPath(platform::sharedObjectName(exe, ".block")).c_str(), O_RDWR);
  ASSERT_GE(fd, 0);
  void* mapped = mmap(nullptr, kInstanceBlockSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  close(fd);
  ASSERT_NE(mapped, MAP_FAILED);
  InstanceBlock* block = static_cast<InstanceBlock*>(mapped);
  for (size_t i = 0; i < tasks.size(); ++i) block->instanceIds[i] = tasks[i];
  writeShared(block->instanceCount, 250);
  munmap(mapped, kInstanceBlockSize);

  Background& late = run(exe, {"ids"});
  const auto values = parseKeyValues(late.output());
  std::string expected = id(x);
  for (int32_t task : tasks) expected += "," + std::to_string(task);
  EXPECT_EQ(values.at("instances"), expected);
  EXPECT_EQ(values.at("current"), id(late)) << "it runs, unlisted";
}

TEST_P(LinuxInstances, SingleInstanceTrueRefusesASecondLaunchOfTwenty) {
  const std::string exe = package("guarded", "singleinstance True\r\n");
  Background& first = start(exe, {"await:" + file("stop")});
  RunOptions options;
  options.setEnv["JAVA_HOME"] = GetParam();
  const ProcessResult second = runExecutable(Target::kLinux, exe, {}, options);
  EXPECT_EQ(second.exitCode, 11) << second.err;
  EXPECT_NE(second.err.find("There is already an instance of this program running."), std::string::npos);
  EXPECT_EQ(second.out.find("ready"), std::string::npos) << "refused before the application runs";
  first.signal(SIGKILL);
  ASSERT_TRUE(first.waitFor(kPatience));

  if (geteuid() == 0) {
    // A lock object that another user made: it cannot serve, and the start
    // is refused as on Windows when the mutex cannot be created.
    const std::string taken = package("taken", "singleinstance true\r\n");
    const std::string lock = "/dev/shm" + platform::sharedObjectName(taken, ".lock");
    const int fd = open(lock.c_str(), O_RDWR | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(fchown(fd, 65534, 65534), 0);
    close(fd);
    RunOptions withoutRuntimeDirectory = options;
    withoutRuntimeDirectory.unsetEnv.push_back("XDG_RUNTIME_DIR");
    const ProcessResult refused = runExecutable(Target::kLinux, taken, {}, withoutRuntimeDirectory);
    EXPECT_EQ(refused.exitCode, 11) << refused.err;
    EXPECT_EQ(refused.out, "CreateMutex error: 1\n");
    // A user with a private runtime directory keeps the objects there, out
    // of the other user's reach: the same object in /dev/shm is no matter.
    const std::string runtime = file("runtime");
    ASSERT_EQ(mkdir(runtime.c_str(), 0700), 0);
    RunOptions withRuntimeDirectory = options;
    withRuntimeDirectory.setEnv["XDG_RUNTIME_DIR"] = runtime;
    const ProcessResult ran = runExecutable(Target::kLinux, taken, {}, withRuntimeDirectory);
    EXPECT_EQ(ran.exitCode, 0) << ran.err;
    EXPECT_EQ(ran.out, "ready\ndone\n");
    struct stat info;
    EXPECT_EQ(stat((runtime + "/xoq" + platform::sharedObjectName(taken, ".lock")).c_str(), &info), 0);
    unlink(lock.c_str());
  }

  // Twenty at once: exactly one runs.
  std::vector<std::unique_ptr<Background>> launches;
  for (int i = 0; i < 20; ++i) {
    launches.push_back(std::make_unique<Background>(std::vector<std::string>{exe, "await:" + file("stop")},
                                                    std::map<std::string, std::string>{{"JAVA_HOME", GetParam()}},
                                                    file("many" + std::to_string(i) + ".out"),
                                                    file("many" + std::to_string(i) + ".err")));
  }
  const auto deadline = steady_clock::now() + seconds(120);
  int running = 20;
  while (running > 1 && steady_clock::now() < deadline) {
    running = 0;
    for (auto& one : launches) running += one->running() ? 1 : 0;
    std::this_thread::sleep_for(milliseconds(50));
  }
  int refused = 0;
  for (auto& one : launches) {
    if (one->running()) {
      EXPECT_TRUE(one->waitForOutput("ready", kPatience)) << "the one that runs reaches main";
    } else {
      refused += one->exitCode() == 11 ? 1 : 0;
    }
  }
  EXPECT_EQ(running, 1);
  EXPECT_EQ(refused, 19);
  touch("stop");
  for (auto& one : launches) one->waitFor(seconds(30));
}

TEST_P(LinuxInstances, TheSerialFilterDecidesWhatAReceiverAccepts) {
  const std::string exe = package("filtered", "singleinstance custom\r\noption -Djdk.serialFilter=!instprobe.*\r\n");
  Background& x = start(exe, {"receive", "await:" + file("stop")});
  ASSERT_TRUE(x.waitForOutput("receiving", kPatience));
  Background& y = run(exe, {"send:0:10:refused", "send:text:0:accepted", "flush"});
  // The refused object came first, from the same sender: it was dealt with
  // by the time the accepted one arrived.
  ASSERT_TRUE(receives(x, 1)) << describe(x);
  EXPECT_EQ(received(x), std::vector<std::string>{"from=" + id(y) + " class=java.lang.String value=accepted"});
  EXPECT_NE(describe(x).find("InvalidClassException"), std::string::npos) << describe(x);
}

INSTANTIATE_TEST_SUITE_P(EveryJdk, LinuxInstances, ::testing::ValuesIn(installedJdkHomes()),
                         [](const ::testing::TestParamInfo<std::string>& param) {
                           return jdkParameterName(param.param);
                         });

}  // namespace
}  // namespace testing
}  // namespace xoq
