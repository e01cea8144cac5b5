// The message transport between instances, with real processes: several
// copies of a test program that links the launcher's instance code (on
// Windows with an instance block section of its own, under Wine) send byte
// messages to each other through enqueueMessage and report what the
// delivery path hands them. Each test copies the program into a scratch
// folder of its own, so that it has a block of its own.
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "e2e/common/e2e_test.h"
#include "support/background.h"
#include "support/files.h"
#include "support/jdks.h"

#if !XOQ_E2E_WINDOWS
#include "platform/shared_object.h"
#endif

namespace xoq {
namespace testing {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;
using std::chrono::steady_clock;

const milliseconds kPatience = seconds(60);

class InstanceTransport : public EndToEnd {
 protected:
  void SetUp() override {
    const std::string built =
        std::string(XOQ_BUILD_DIR) + (kWindows ? "/windows/xoq_instance_peer.exe" : "/test-tools/xoq_instance_peer");
    peer_ = dir_.file(exeName("peer"));
    writeFile(peer_, readFile(built));
    makeExecutable(peer_);
  }

  void TearDown() override {
    writeFile(dir_.file("stop"), "");
    for (auto& peer : peers_) {
      peer->signal(SIGCONT);
      peer->waitFor(seconds(10));
    }
    peers_.clear();
#if !XOQ_E2E_WINDOWS
    unlink(platform::sharedObjectPath(platform::sharedObjectName(peer_, ".block")).c_str());
#endif
  }

  // Starts a peer that stays until the test ends (or is killed), and waits
  // until it has joined.
  Background& start(const std::vector<std::string>& arguments, bool stay = true) {
    Background& peer = launch(arguments, stay);
    EXPECT_TRUE(peer.waitForOutput("id=", kPatience)) << describe(peer);
    return peer;
  }

  // Starts a peer without waiting for it.
  Background& launch(std::vector<std::string> arguments, bool stay = true) {
    if (stay) {
      arguments.push_back("--stay-until");
      arguments.push_back(launcherPath(kTarget, dir_.file("stop")));
    }
    std::vector<std::string> command;
    if (kWindows) command.push_back(XOQ_WINE_PROGRAM);
    command.push_back(peer_);
    command.insert(command.end(), arguments.begin(), arguments.end());
    const std::string name = "peer" + std::to_string(peers_.size());
    peers_.push_back(std::make_unique<Background>(command, std::map<std::string, std::string>{{"XOQ_TRACE", "1"}},
                                                  dir_.file(name + ".out"), dir_.file(name + ".err")));
    return *peers_.back();
  }

  // Runs a peer that sends and ends once everything has left it.
  Background& send(const std::vector<std::string>& sends) {
    std::vector<std::string> arguments;
    for (const std::string& one : sends) {
      arguments.push_back("--send");
      arguments.push_back(one);
    }
    Background& peer = start(arguments, false);
    EXPECT_TRUE(peer.waitFor(kPatience)) << describe(peer);
    EXPECT_EQ(peer.exitCode(), 0) << describe(peer);
    return peer;
  }

  static std::string idOf(const Background& peer) { return parseKeyValues(peer.output())["id"]; }

  static std::vector<std::string> received(const Background& peer) { return peer.linesAfter("received "); }

  static bool receives(const Background& peer, size_t count) {
    return peer.waitForLines("received ", count, kPatience);
  }

  std::string describe(const Background& peer) {
    for (size_t i = 0; i < peers_.size(); ++i) {
      if (peers_[i].get() == &peer) {
        return "output:\n" + peer.output() + "\nerrors:\n" + readFile(dir_.file("peer" + std::to_string(i) + ".err"));
      }
    }
    return std::string();
  }

  // True once a trace line holding `text` is on some peer's standard error,
  // waiting at most kPatience.
  bool tracedAnywhere(const std::string& text) {
    const auto deadline = steady_clock::now() + kPatience;
    do {
      for (size_t i = 0; i < peers_.size(); ++i) {
        if (readFile(dir_.file("peer" + std::to_string(i) + ".err")).find(text) != std::string::npos) return true;
      }
      std::this_thread::sleep_for(milliseconds(20));
    } while (steady_clock::now() < deadline);
    return false;
  }

  std::string peer_;
  std::vector<std::unique_ptr<Background>> peers_;
};

TEST_F(InstanceTransport, MessagesOfEverySizeArriveWholeAndInOrder) {
  Background& first = start({});
  const std::string a = idOf(first);
  Background& sender = send(
      {a + ":0", a + ":1", a + ":1023", a + ":1024", a + ":1025", a + ":10240", a + ":1048576", "self:5000", "0:77"});
  const std::string b = idOf(sender);
  ASSERT_TRUE(receives(first, 8)) << describe(first);
  EXPECT_EQ(received(first),
            (std::vector<std::string>{"from=" + b + " length=0 intact=1", "from=" + b + " length=1 intact=1",
                                      "from=" + b + " length=1023 intact=1", "from=" + b + " length=1024 intact=1",
                                      "from=" + b + " length=1025 intact=1", "from=" + b + " length=10240 intact=1",
                                      "from=" + b + " length=1048576 intact=1", "from=" + b + " length=77 intact=1"}))
      << describe(first);
  // Sent to itself, it came back through its own transport thread.
  EXPECT_EQ(received(sender), std::vector<std::string>{"from=" + b + " length=5000 intact=1"}) << describe(sender);
}

TEST_F(InstanceTransport, TwoSendersToAThirdAtOnceBothArriveWhole) {
  Background& target = start({});
  const std::string t = idOf(target);
  Background& one = start({"--send", t + ":1048576", "--send", t + ":3000"}, false);
  Background& two = start({"--send", t + ":1048576", "--send", t + ":3000"}, false);
  ASSERT_TRUE(one.waitFor(kPatience) && two.waitFor(kPatience));
  ASSERT_TRUE(receives(target, 4)) << describe(target);
  const std::vector<std::string> lines = received(target);
  for (const Background* sender : {&one, &two}) {
    const std::string from = "from=" + idOf(*sender);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), from + " length=1048576 intact=1"), 1) << describe(target);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), from + " length=3000 intact=1"), 1) << describe(target);
  }
}

TEST_F(InstanceTransport, ChunksForEndedOrSilentAddresseesDoNotBlockTheBuffer) {
  Background& first = start({});
  const std::string a = idOf(first);
  Background& ended = start({}, false);
  ASSERT_TRUE(ended.waitFor(kPatience));
  // Addressed to an instance that has ended: dropped by the first transport
  // thread that sees it, without waiting.
  Background& toEnded = send({idOf(ended) + ":2000", a + ":10"});
  EXPECT_TRUE(tracedAnywhere("chunk for " + idOf(ended) + " dropped (its addressee has ended)"));
  // Addressed to an instance that runs but takes nothing: dropped once the
  // first instance has counted more than ten waits for it.
  Background& silent = start({"--no-transport"});
  Background& toSilent = send({idOf(silent) + ":10", a + ":20"});
  EXPECT_TRUE(tracedAnywhere("chunk for " + idOf(silent) + " dropped (not taken after 11 waits)"));
  ASSERT_TRUE(receives(first, 2)) << describe(first);
  EXPECT_EQ(received(first), (std::vector<std::string>{"from=" + idOf(toEnded) + " length=10 intact=1",
                                                       "from=" + idOf(toSilent) + " length=20 intact=1"}));
  EXPECT_TRUE(received(silent).empty());
}

TEST_F(InstanceTransport, AfterADroppedChunkSeveralSendersStillFillTheBufferOneAtATime) {
  Background& first = start({});
  Background& silent = start({"--no-transport"});
  // The chunk for an instance that takes nothing waits its waits out and is
  // dropped; the block keeps the count of waits.
  send({idOf(silent) + ":10"});
  ASSERT_TRUE(tracedAnywhere("chunk for " + idOf(silent) + " dropped")) << describe(first);
  // Then four senders at once, each with messages of several chunks: the
  // buffer is claimed by one of them at a time, so that every message
  // arrives whole.
  std::vector<Background*> senders;
  for (int i = 0; i < 4; ++i) {
    senders.push_back(&start({"--send", "0:5000", "--send", "0:3000", "--send", "0:1"}, false));
  }
  for (Background* sender : senders) EXPECT_TRUE(sender->waitFor(kPatience)) << describe(*sender);
  ASSERT_TRUE(receives(first, 12)) << describe(first);
  const std::vector<std::string> lines = received(first);
  for (Background* sender : senders) {
    for (const char* length : {"5000", "3000", "1"}) {
      const std::string expected = "from=" + idOf(*sender) + " length=" + length + " intact=1";
      EXPECT_EQ(std::count(lines.begin(), lines.end(), expected), 1) << expected << "\n" << describe(first);
    }
  }
}

TEST_F(InstanceTransport, AMessageWhoseSenderEndsMidwayIsDropped) {
  Background& receiver = start({});
  const std::string r = idOf(receiver);
  // Ends abruptly once ten chunks of its 32 MB message are in the block,
  // long before the message could be whole, however slow the machine.
  Background& dying = start({"--send", r + ":33554432", "--exit-after-bytes", "10240"}, false);
  ASSERT_TRUE(dying.waitFor(kPatience));
  EXPECT_EQ(dying.exitCode(), 3) << describe(dying);
  EXPECT_TRUE(tracedAnywhere("incomplete message from " + idOf(dying) + " dropped")) << describe(receiver);
  Background& after = send({r + ":100"});
  ASSERT_TRUE(receives(receiver, 1)) << describe(receiver);
  EXPECT_EQ(received(receiver), std::vector<std::string>{"from=" + idOf(after) + " length=100 intact=1"});
}

TEST_F(InstanceTransport, AnotherInstanceTakesOverWhenTheFirstEnds) {
  Background& first = start({});
  Background& second = start({});
  Background& third = start({});
  const std::string a = idOf(first);
  ASSERT_TRUE(second.waitForOutput("first=" + a, kPatience));
  first.signal(SIGKILL);
  ASSERT_TRUE(first.waitFor(kPatience));
  // One of the others takes the role, promptly, and both see the same one.
  const auto deadline = steady_clock::now() + seconds(20);
  std::string successor;
  while (successor.empty() && steady_clock::now() < deadline) {
    for (Background* peer : {&second, &third}) {
      if (peer->output().find("first=" + idOf(*peer) + "\n") != std::string::npos) successor = idOf(*peer);
    }
    std::this_thread::sleep_for(milliseconds(20));
  }
  ASSERT_FALSE(successor.empty()) << describe(second) << describe(third);
  Background& other = successor == idOf(second) ? third : second;
  EXPECT_TRUE(other.waitForOutput("first=" + successor + "\n", seconds(20))) << describe(other);
  // Messages flow again: to the new first instance (target 0), and to the other.
  Background& sender = send({"0:3000", idOf(other) + ":4000"});
  Background& newFirst = successor == idOf(second) ? second : third;
  ASSERT_TRUE(receives(newFirst, 1) && receives(other, 1)) << describe(newFirst) << describe(other);
  EXPECT_EQ(received(newFirst), std::vector<std::string>{"from=" + idOf(sender) + " length=3000 intact=1"});
  EXPECT_EQ(received(other), std::vector<std::string>{"from=" + idOf(sender) + " length=4000 intact=1"});
}

TEST_F(InstanceTransport, AnInstanceThatSleptThroughATakeoverAttachesToTheNewFirstInstance) {
  Background& first = start({});
  Background& sleeper = start({});
  ASSERT_TRUE(sleeper.waitForOutput("first=" + idOf(first), kPatience));
  // The sleeper cannot take over: a new launch finds the first instance
  // ended, has never attached to it, and makes transport objects of its own.
  sleeper.signal(SIGSTOP);
  first.signal(SIGKILL);
  ASSERT_TRUE(first.waitFor(kPatience));
  Background& fresh = start({});
  EXPECT_TRUE(fresh.waitForOutput("first=" + idOf(fresh), kPatience)) << describe(fresh);
  sleeper.signal(SIGCONT);
  ASSERT_TRUE(sleeper.waitForOutput("first=" + idOf(fresh), kPatience)) << describe(sleeper);
  const auto deadline = steady_clock::now() + kPatience;
  while (describe(sleeper).find("attached to the transport objects of first instance " + idOf(fresh)) ==
             std::string::npos &&
         steady_clock::now() < deadline) {
    std::this_thread::sleep_for(milliseconds(20));
  }
  EXPECT_NE(describe(sleeper).find("attached to the transport objects of first instance " + idOf(fresh)),
            std::string::npos)
      << describe(sleeper);
  Background& sender = send({idOf(sleeper) + ":1500", "0:2500"});
  ASSERT_TRUE(receives(sleeper, 1) && receives(fresh, 1)) << describe(sleeper) << describe(fresh);
  EXPECT_EQ(received(sleeper), std::vector<std::string>{"from=" + idOf(sender) + " length=1500 intact=1"});
  EXPECT_EQ(received(fresh), std::vector<std::string>{"from=" + idOf(sender) + " length=2500 intact=1"});
}

// Twenty launches at once, each listing the instances again and again while
// the others join, as an application asking for them would: every launch
// is in every list. Each list is written back by whoever prunes it, so
// without the transfer mutex around the writes a launch that listed itself
// in between would vanish.
TEST_F(InstanceTransport, TwentyLaunchesStartedTogetherAreEachInEveryList) {
  constexpr size_t kLaunches = 20;
  std::vector<Background*> launched;
  for (size_t i = 0; i < kLaunches; ++i) launched.push_back(&launch({"--no-transport", "--list-until", "20"}));
  std::vector<std::string> ids;
  for (Background* peer : launched) {
    ASSERT_TRUE(peer->waitForOutput("id=", kPatience)) << describe(*peer);
    ids.push_back(idOf(*peer));
  }
  std::sort(ids.begin(), ids.end());
  for (Background* peer : launched) {
    ASSERT_TRUE(peer->waitForOutput("instances=", seconds(90))) << describe(*peer);
    std::vector<std::string> listed;
    std::string list = parseKeyValues(peer->output())["instances"];
    for (size_t start = 0; start <= list.size();) {
      size_t end = list.find(',', start);
      if (end == std::string::npos) end = list.size();
      listed.push_back(list.substr(start, end - start));
      start = end + 1;
    }
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, ids) << "the list of " << idOf(*peer) << ": " << list;
  }
}

#if !XOQ_E2E_WINDOWS
TEST_F(InstanceTransport, CopiesStartedBeforeAndAfterTheFileWasReplacedFindEachOther) {
  Background& before = start({});
  // The file is written anew while a copy runs (as xoqpack or an update
  // does it): that copy now runs a file whose name has gone to another.
  const std::string replacement = peer_ + ".new";
  writeFile(replacement, readFile(peer_));
  makeExecutable(replacement);
  ASSERT_EQ(rename(replacement.c_str(), peer_.c_str()), 0);
  Background& after = start({});
  EXPECT_EQ(after.linesAfter("first="), std::vector<std::string>{idOf(before)}) << describe(after);
  Background& sender = send({idOf(before) + ":2000"});
  ASSERT_TRUE(receives(before, 1)) << describe(before);
  EXPECT_EQ(received(before), std::vector<std::string>{"from=" + idOf(sender) + " length=2000 intact=1"});
  EXPECT_EQ(after.linesAfter("first="), std::vector<std::string>{idOf(before)}) << "nobody took the role";
}
#endif

}  // namespace
}  // namespace testing
}  // namespace xoq
