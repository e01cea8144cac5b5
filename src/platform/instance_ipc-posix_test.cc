#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "instances/instance_registry.h"
#include "platform/instance_block.h"
#include "platform/instance_ipc.h"
#include "platform/shared_object.h"
#include "support/files.h"

namespace xoq {
namespace platform {
namespace {

// A child process that waits until killed; with `user` it runs as that
// user first. Returns once it does (-1 when it could not).
pid_t startSleeper(uid_t user) {
  int ready[2];
  if (pipe(ready) != 0) return -1;
  const pid_t pid = fork();
  if (pid == 0) {
    close(ready[0]);
    const char byte = 1;
    if ((user != 0 && setuid(user) != 0) || write(ready[1], &byte, 1) != 1) _exit(1);
    close(ready[1]);
    for (;;) pause();
  }
  close(ready[1]);
  char byte = 0;
  const bool started = pid > 0 && read(ready[0], &byte, 1) == 1;
  close(ready[0]);
  return started ? pid : -1;
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
  ASSERT_EQ(stat(sharedObjectPath(name).c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_EQ(info.st_size, static_cast<off_t>(kInstanceBlockSize));

  {
    SharedInstanceBlock last;
    ASSERT_TRUE(last.open(dir.file("last"), error));
  }
  EXPECT_NE(stat(sharedObjectPath(sharedObjectName(dir.file("last"), ".block")).c_str(), &info), 0)
      << "the last process to leave removes the block";

  // Made by someone else, or open to others: refused.
  const std::string foreign = sharedObjectName(dir.file("foreign"), ".block");
  const int fd = open(sharedObjectPath(foreign).c_str(), O_RDWR | O_CREAT, 0644);
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
    unlink(sharedObjectPath(object).c_str());
  }
}

TEST(UserObjectDirectory, IsThePrivateRuntimeDirectoryOnlyWhenNobodyElseMayEnterIt) {
  testing::TempDir dir;
  const std::string runtime = dir.file("runtime");
  ASSERT_EQ(mkdir(runtime.c_str(), 0700), 0);
  UserObjectDirectory chosen = openUserObjectDirectory(runtime);
  EXPECT_TRUE(chosen.isPrivate);
  EXPECT_EQ(chosen.path, runtime + "/xoq");
  struct stat info;
  ASSERT_EQ(stat(chosen.path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  close(chosen.fd);

  // Otherwise /dev/shm: a directory others may enter, one reached through
  // a link, a relative path, none at all.
  const std::string wide = dir.file("wide");
  ASSERT_EQ(mkdir(wide.c_str(), 0755), 0);
  const std::string linked = dir.file("linked");
  ASSERT_EQ(symlink(runtime.c_str(), linked.c_str()), 0);
  const std::string loose = dir.file("loose");
  ASSERT_EQ(mkdir(loose.c_str(), 0700), 0);
  ASSERT_EQ(mkdir((loose + "/xoq").c_str(), 0777), 0);
  ASSERT_EQ(chmod((loose + "/xoq").c_str(), 0777), 0);
  for (const std::string& refused : {wide, linked, loose, std::string("relative"), std::string()}) {
    chosen = openUserObjectDirectory(refused);
    EXPECT_FALSE(chosen.isPrivate) << refused;
    EXPECT_EQ(chosen.path, "/dev/shm") << refused;
    EXPECT_GE(chosen.fd, 0);
    close(chosen.fd);
  }
  if (geteuid() == 0) {
    const std::string foreign = dir.file("foreign");
    ASSERT_EQ(mkdir(foreign.c_str(), 0700), 0);
    ASSERT_EQ(chown(foreign.c_str(), 65534, 65534), 0);
    chosen = openUserObjectDirectory(foreign);
    EXPECT_FALSE(chosen.isPrivate) << "another user's directory";
    close(chosen.fd);
  }
}

TEST(InstanceProcesses, OnlyProcessesOfThisUserRunningThisExecutableCount) {
  EXPECT_TRUE(isInstanceProcessAlive(currentProcessId()));
  EXPECT_TRUE(runsAsSameUser(currentProcessId()));
  const pid_t sameFile = startSleeper(0);
  ASSERT_GT(sameFile, 0);
  EXPECT_TRUE(isInstanceProcessAlive(sameFile)) << "a fork runs the same file";
  stop(sameFile);
  EXPECT_FALSE(isInstanceProcessAlive(sameFile));
  EXPECT_FALSE(isInstanceProcessAlive(1)) << "another program";
  EXPECT_FALSE(isInstanceProcessAlive(0));
  EXPECT_FALSE(isInstanceProcessAlive(-1));
  if (geteuid() != 0) return;
  const pid_t other = startSleeper(65534);
  ASSERT_GT(other, 0);
  EXPECT_FALSE(runsAsSameUser(other));
  EXPECT_FALSE(isInstanceProcessAlive(other));

  // A chunk from that user's process is dropped, even when its tag verifies.
  InstanceBlock block;
  memset(&block, 0, sizeof block);
  InstanceRegistry registry(&block, currentProcessId());
  ChunkKey key;
  key.fill(9);
  registry.useChunkKey(key);
  for (const pid_t sender : {other, static_cast<pid_t>(currentProcessId())}) {
    ChunkHeader header;
    header.sender = sender;
    header.target = currentProcessId();
    header.capacity = kChunkCapacity;
    header.messageLength = 3;
    header.chunkLength = 3;
    header.stamp = monotonicMillis() * 1000 + 1;
    const ChunkTag tag = ChunkSigner(key).tag(header, block.chunkData);
    block.chunkSender = sender;
    block.chunkCapacity = kChunkCapacity;
    block.messageLength = 3;
    block.chunkLength = 3;
    block.chunkStamp = header.stamp;
    memcpy(block.chunkTag, tag.data(), tag.size());
    block.bufferBusy = 1;
    block.chunkTarget = currentProcessId();
    const std::unique_ptr<PartialMessage> complete = registry.takeChunk();
    EXPECT_EQ(complete != nullptr, sender != other) << sender;
  }
  stop(other);
}

TEST(InstanceRegistryAttach, TakesTheTransportObjectsOnlyOnceTheFirstInstanceHasPublishedThem) {
  InstanceBlock block;
  memset(&block, 0, sizeof block);
  // A living first instance that has just taken the role: the values in the
  // block are still those of the one before it.
  const pid_t first = startSleeper(0);
  ASSERT_GT(first, 0);
  TransferMutex mutex;
  ChangeEvent event;
  uint64_t mutexValue = 0;
  uint64_t eventValue = 0;
  ASSERT_TRUE(mutex.create(&block, mutexValue));
  ASSERT_TRUE(event.create(&block, eventValue));
  block.firstInstanceId = first;
  block.firstMutexHandle = mutexValue;
  block.firstEventHandle = eventValue;
  block.handlesPublishedBy = 0x7ffffff0;  // the ended one
  InstanceRegistry registry(&block, currentProcessId());
  registry.joinInstanceBlock();
  EXPECT_EQ(block.firstInstanceId, first) << "it runs: nobody takes over";
  EXPECT_EQ(registry.claimBuffer(), -1) << "no transfer mutex taken yet";
  block.handlesPublishedBy = first;
  registry.checkFirstInstance();
  const int32_t claim = registry.claimBuffer();
  EXPECT_GE(claim, 0) << "attached once published";
  EXPECT_TRUE(registry.releaseBuffer(claim, 0));
  stop(first);
}

TEST(SharedInstanceBlock, AProcessThatHoldsTheBlockWhileItEndsStopsNoLaunch) {
  testing::TempDir dir;
  const std::string path = dir.file("tool");
  const std::string name = sharedObjectName(path, ".block");
  std::string error;
  // What a last process does while it removes the block: it holds it
  // exclusively. One that hangs there does not hang the next launch, which
  // runs without a block.
  const int held = openUserSharedObject(name, error);
  ASSERT_GE(held, 0) << error;
  ASSERT_EQ(flock(held, LOCK_EX), 0);
  {
    SharedInstanceBlock blocked;
    EXPECT_FALSE(blocked.open(path, error));
    EXPECT_NE(error.find("does not let go"), std::string::npos) << error;
  }
  // Once it has removed the name, the next launch makes a new block at once.
  removeSharedObject(name);
  {
    SharedInstanceBlock fresh;
    EXPECT_TRUE(fresh.open(path, error)) << error;
  }
  close(held);
}

}  // namespace
}  // namespace platform
}  // namespace xoq
