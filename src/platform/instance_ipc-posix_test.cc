#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "instances/instance_block.h"
#include "instances/instance_registry.h"
#include "platform/instance_ipc.h"
#include "platform/shared_object.h"
#include "support/files.h"

namespace xoq {
namespace platform {
namespace {

// A child process that waits until killed; with `user` it runs as that
// user first.
pid_t startSleeper(uid_t user) {
  const pid_t pid = fork();
  if (pid == 0) {
    if (user != 0 && setuid(user) != 0) _exit(1);
    for (;;) pause();
  }
  return pid;
}

void stop(pid_t pid) {
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}

TEST(SharedObjectName, DifferentPathsNeverShareAName) {
  const std::string uid = std::to_string(geteuid());
  EXPECT_EQ(sharedObjectName("/opt/app/tool", ".block"), "/xoq-" + uid + "-%2Fopt%2Fapp%2Ftool.block");
  EXPECT_NE(sharedObjectName("/a.b", ".block"), sharedObjectName("/a/b", ".block"));
  EXPECT_NE(sharedObjectName("/a%2Fb", ".block"), sharedObjectName("/a/b", ".block"));
  EXPECT_NE(sharedObjectName("/Tool", ".lock"), sharedObjectName("/tool", ".lock"));
  const std::string deep = "/" + std::string(300, 'd');
  const std::string longName = sharedObjectName(deep + "/a", ".block");
  EXPECT_LE(longName.size(), 256u);
  EXPECT_EQ(longName.find('/', 1), std::string::npos);
  EXPECT_NE(longName, sharedObjectName(deep + "/b", ".block"));
}

TEST(SharedInstanceBlock, IsOneBlockPerPathThatOnlyItsUserMayOpen) {
  testing::TempDir dir;
  const std::string path = dir.file("tool");
  SharedInstanceBlock one, two, other;
  std::string error;
  ASSERT_TRUE(one.open(path, error)) << error;
  ASSERT_TRUE(two.open(path, error)) << error;
  ASSERT_TRUE(other.open(dir.file("other"), error)) << error;
  one.block()->nextMessageId = 41;
  EXPECT_EQ(two.block()->nextMessageId, 41);
  EXPECT_EQ(other.block()->nextMessageId, 0);
  struct stat info;
  const std::string name = sharedObjectName(path, ".block");
  ASSERT_EQ(stat(("/dev/shm" + name).c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_EQ(info.st_size, static_cast<off_t>(kInstanceBlockSize));

  {
    SharedInstanceBlock last;
    ASSERT_TRUE(last.open(dir.file("last"), error));
  }
  EXPECT_NE(stat(("/dev/shm" + sharedObjectName(dir.file("last"), ".block")).c_str(), &info), 0)
      << "the last process to leave removes the block";

  // Made by someone else, or open to others: refused.
  const std::string foreign = sharedObjectName(dir.file("foreign"), ".block");
  const int fd = shm_open(foreign.c_str(), O_RDWR | O_CREAT, 0644);
  ASSERT_GE(fd, 0);
  SharedInstanceBlock refused;
  EXPECT_FALSE(refused.open(dir.file("foreign"), error));
  EXPECT_NE(error.find("another user"), std::string::npos) << error;
  if (geteuid() == 0) {
    ASSERT_EQ(fchmod(fd, 0600), 0);
    ASSERT_EQ(fchown(fd, 65534, 65534), 0);
    EXPECT_FALSE(refused.open(dir.file("foreign"), error));
  }
  close(fd);
  for (const std::string& object : {name, sharedObjectName(dir.file("other"), ".block"), foreign}) {
    shm_unlink(object.c_str());
  }
}

TEST(InstanceProcesses, OnlyProcessesOfThisUserRunningThisExecutableCount) {
  EXPECT_TRUE(isInstanceProcessAlive(currentProcessId()));
  EXPECT_TRUE(runsAsSameUser(currentProcessId()));
  const pid_t sameFile = startSleeper(0);
  EXPECT_TRUE(isInstanceProcessAlive(sameFile)) << "a fork runs the same file";
  stop(sameFile);
  EXPECT_FALSE(isInstanceProcessAlive(sameFile));
  EXPECT_FALSE(isInstanceProcessAlive(1)) << "another program";
  EXPECT_FALSE(isInstanceProcessAlive(0));
  EXPECT_FALSE(isInstanceProcessAlive(-1));
  if (geteuid() != 0) return;
  const pid_t other = startSleeper(65534);
  usleep(100000);
  EXPECT_FALSE(runsAsSameUser(other));
  EXPECT_FALSE(isInstanceProcessAlive(other));

  // A chunk that claims to come from that user's process is dropped.
  InstanceBlock block;
  memset(&block, 0, sizeof block);
  InstanceRegistry registry(&block, currentProcessId());
  for (const pid_t sender : {other, static_cast<pid_t>(currentProcessId())}) {
    block.chunkSender = sender;
    block.chunkCapacity = kChunkCapacity;
    block.messageLength = 3;
    block.chunkLength = 3;
    block.bufferBusy = 1;
    block.chunkTarget = currentProcessId();
    const std::unique_ptr<PartialMessage> complete = registry.takeChunk();
    EXPECT_EQ(complete != nullptr, sender != other) << sender;
  }
  stop(other);
}

}  // namespace
}  // namespace platform
}  // namespace xoq
