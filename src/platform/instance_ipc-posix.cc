#include <linux/futex.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdlib>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/instance_block.h"
#include "platform/instance_ipc.h"
#include "platform/platform.h"
#include "platform/shared_object.h"

namespace xoq {
namespace platform {

namespace {

// The transfer mutex lives in the block's reserved tail, 8-byte aligned; its
// offset is what the first instance publishes as `firstMutexHandle`. The
// change event is the futex word `changeCount`, published by its offset.
constexpr uint64_t kMutexOffset = (kReservedTailOffset + 7) / 8 * 8;
constexpr uint64_t kEventOffset = offsetof(InstanceBlock, changeCount);
static_assert(kMutexOffset + sizeof(pthread_mutex_t) <= offsetof(InstanceBlock, handlesPublishedBy),
              "the mutex fits in the part of the tail that is the platform's");

pthread_mutex_t* mutexIn(InstanceBlock* block) {
  return reinterpret_cast<pthread_mutex_t*>(reinterpret_cast<unsigned char*>(block) + kMutexOffset);
}

long futex(int32_t* word, int operation, int32_t value, const struct timespec* timeout) {
  return syscall(SYS_futex, word, operation, value, timeout, nullptr, 0);
}

void wakeEveryWaiter(int32_t* word) { futex(word, FUTEX_WAKE, INT_MAX, nullptr); }

// The path of the file a process runs, as /proc shows it. A file that was
// replaced on disk while the process runs (xoqpack writes a new one, an
// update lands) shows as "<path> (deleted)": it is still the program at
// that path, so that copies started before and after find each other.
std::string runningFilePath(const std::string& link) {
  char buffer[4096];
  const ssize_t length = readlink(link.c_str(), buffer, sizeof buffer);
  if (length <= 0 || static_cast<size_t>(length) >= sizeof buffer) return std::string();
  std::string path(buffer, static_cast<size_t>(length));
  static const char kDeleted[] = " (deleted)";
  const size_t suffix = sizeof kDeleted - 1;
  if (path.size() > suffix && path.compare(path.size() - suffix, suffix, kDeleted) == 0) {
    path.resize(path.size() - suffix);
  }
  return path;
}

// True when process `id` runs the file this process runs.
bool runsOwnExecutable(int32_t id) {
  // Never freed: transport threads may still ask while the process ends.
  static const std::string* own = new std::string(runningFilePath("/proc/self/exe"));
  if (own->empty()) return false;
  return runningFilePath("/proc/" + std::to_string(id) + "/exe") == *own;
}

// The blocks this process holds, for removal at exit: an application that
// calls System.exit ends the process without unwinding the launcher.
std::mutex openBlocksLock;
std::vector<std::pair<std::string, int>>& openBlocks() {
  static auto* blocks = new std::vector<std::pair<std::string, int>>();
  return *blocks;
}

// Removes the object when no other process holds its shared lock.
void removeIfLast(const std::string& name, int fd) {
  if (flock(fd, LOCK_EX | LOCK_NB) == 0) removeSharedObject(name);
}

void removeBlocksAtExit() {
  std::lock_guard<std::mutex> hold(openBlocksLock);
  for (const auto& block : openBlocks()) removeIfLast(block.first, block.second);
}

// How the shared lock on a block went.
enum class SharedHold { kHeld, kRemoved, kStuck };

// Takes the shared lock on the block `fd`, named `name`. A last process that
// removes the block holds the exclusive lock for a moment only; one that
// hangs while it ends must not stop every later launch, so the wait is
// bounded, and ends at once when the name has gone to another object.
SharedHold holdShared(int fd, const std::string& name) {
  const uint64_t deadline = monotonicMillis() + 2000;
  for (;;) {
    if (flock(fd, LOCK_SH | LOCK_NB) == 0) {
      return isSharedObjectNamed(fd, name) ? SharedHold::kHeld : SharedHold::kRemoved;
    }
    if (errno != EWOULDBLOCK && errno != EINTR) return SharedHold::kStuck;
    if (!isSharedObjectNamed(fd, name)) return SharedHold::kRemoved;
    if (monotonicMillis() >= deadline) return SharedHold::kStuck;
    usleep(1000);
  }
}

}  // namespace

SharedInstanceBlock::~SharedInstanceBlock() {
  if (block_ == nullptr) return;
  munmap(block_, kInstanceBlockSize);
  std::lock_guard<std::mutex> hold(openBlocksLock);
  auto& blocks = openBlocks();
  blocks.erase(std::remove(blocks.begin(), blocks.end(), std::make_pair(name_, fd_)), blocks.end());
  removeIfLast(name_, fd_);
  close(fd_);
}

bool SharedInstanceBlock::open(const std::string& executablePath, std::string& error) {
  const std::string name = sharedObjectName(executablePath, ".block");
  int fd = -1;
  // The shared lock waits while a last process removes the object; one
  // removed meanwhile is opened again under its name.
  for (int attempt = 0; attempt < 8 && fd < 0; ++attempt) {
    fd = openUserSharedObject(name, error);
    if (fd < 0) return false;
    const SharedHold hold = holdShared(fd, name);
    if (hold != SharedHold::kHeld) {
      close(fd);
      fd = -1;
    }
    if (hold == SharedHold::kStuck) {
      error = sharedObjectPath(name) + ": a process that ends does not let go of it";
      return false;
    }
  }
  if (fd < 0) {
    error = name + ": removed again and again while opening";
    return false;
  }
  // Every process grows a new object before mapping it, so that none maps
  // it while it is still empty (touching that would fault).
  struct stat info;
  if (fstat(fd, &info) != 0 ||
      (info.st_size < static_cast<off_t>(kInstanceBlockSize) && ftruncate(fd, kInstanceBlockSize) != 0)) {
    error = "the instance block cannot be sized";
    close(fd);
    return false;
  }
  void* mapped = mmap(nullptr, kInstanceBlockSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (mapped == MAP_FAILED) {
    error = "the instance block cannot be mapped";
    close(fd);
    return false;
  }
  block_ = static_cast<InstanceBlock*>(mapped);
  fd_ = fd;
  name_ = name;
  static std::once_flag registered;
  std::call_once(registered, [] { atexit(removeBlocksAtExit); });
  std::lock_guard<std::mutex> hold(openBlocksLock);
  openBlocks().emplace_back(name_, fd_);
  return true;
}

int32_t currentProcessId() { return static_cast<int32_t>(getpid()); }

bool isInstanceProcessAlive(int32_t id) {
  if (id <= 0 || kill(id, 0) != 0) return false;
  return runsAsSameUser(id) && runsOwnExecutable(id);
}

bool runsAsSameUser(int32_t id) {
  if (id <= 0) return false;
  struct stat info;
  return stat(("/proc/" + std::to_string(id)).c_str(), &info) == 0 && info.st_uid == geteuid();
}

// --- InstanceProcess ---------------------------------------------------------

// No thread watches the process: the transport thread's waits are bounded,
// and it asks isRunning after each of them, so that an ended first instance
// is noticed within one wait. A launch that runs no transport pays nothing
// beyond the check that the process runs.

InstanceProcess::~InstanceProcess() { close(); }

bool InstanceProcess::open(int32_t id, InstanceBlock* /*block*/) {
  close();
  if (id <= 0 || !isInstanceProcessAlive(id)) return false;
  id_ = id;
  return true;
}

void InstanceProcess::close() {
  if (processFd_ >= 0) ::close(processFd_);
  processFd_ = -1;
  processFdTried_ = false;
  id_ = 0;
}

bool InstanceProcess::isOpen() const { return id_ > 0; }

bool InstanceProcess::isRunning() const {
  if (id_ <= 0) return false;
  if (!processFdTried_) {
    // Opened with the first question, by the transport thread only. The
    // descriptor holds on to the process it names; checked once it is open,
    // the id cannot have passed to another process since.
    processFdTried_ = true;
    processFd_ = static_cast<int>(syscall(SYS_pidfd_open, id_, 0));
    if (processFd_ >= 0 && !isInstanceProcessAlive(id_)) return false;
  }
  if (processFd_ < 0) return isInstanceProcessAlive(id_);  // a kernel without process descriptors
  struct pollfd fd = {processFd_, POLLIN, 0};
  return poll(&fd, 1, 0) == 0;
}

// --- Transport objects -------------------------------------------------------

bool TransportObject::attach(const InstanceProcess& /*owner*/, InstanceBlock* block, uint64_t published) {
  close();
  if (block == nullptr || published != blockOffset_) return false;
  handle_ = reinterpret_cast<unsigned char*>(block) + blockOffset_;
  value_ = blockOffset_;
  return true;
}

void TransportObject::close() {
  handle_ = nullptr;
  value_ = 0;
}

TransferMutex::TransferMutex() : TransportObject(kMutexOffset) {}

bool TransferMutex::create(InstanceBlock* block, uint64_t& published) {
  close();
  if (block == nullptr) return false;
  pthread_mutex_t* mutex = mutexIn(block);
  // The mutex lives as long as the block, beyond any one process: it is set
  // up only when no instance has published it yet.
  if (readShared(block->firstMutexHandle) != kMutexOffset) {
    pthread_mutexattr_t attributes;
    if (pthread_mutexattr_init(&attributes) != 0) return false;
    const bool made = pthread_mutexattr_setpshared(&attributes, PTHREAD_PROCESS_SHARED) == 0 &&
                      pthread_mutexattr_setrobust(&attributes, PTHREAD_MUTEX_ROBUST) == 0 &&
                      pthread_mutex_init(mutex, &attributes) == 0;
    pthread_mutexattr_destroy(&attributes);
    if (!made) return false;
  }
  handle_ = mutex;
  value_ = kMutexOffset;
  published = value_;
  return true;
}

bool TransferMutex::lock(int timeoutMillis) {
  if (handle_ == nullptr) return false;
  pthread_mutex_t* mutex = static_cast<pthread_mutex_t*>(handle_);
  struct timespec deadline;
  clock_gettime(CLOCK_MONOTONIC, &deadline);
  deadline.tv_sec += timeoutMillis / 1000;
  deadline.tv_nsec += static_cast<long>(timeoutMillis % 1000) * 1000000L;
  if (deadline.tv_nsec >= 1000000000L) {
    deadline.tv_sec += 1;
    deadline.tv_nsec -= 1000000000L;
  }
  const int result = pthread_mutex_clocklock(mutex, CLOCK_MONOTONIC, &deadline);
  if (result == EOWNERDEAD) {
    // Its owner ended while it held the buffer claim, which is only a flag
    // in the block: nothing to repair.
    pthread_mutex_consistent(mutex);
    return true;
  }
  return result == 0;
}

void TransferMutex::unlock() {
  if (handle_ != nullptr) pthread_mutex_unlock(static_cast<pthread_mutex_t*>(handle_));
}

ChangeEvent::ChangeEvent() : TransportObject(kEventOffset) {}

bool ChangeEvent::create(InstanceBlock* block, uint64_t& published) {
  close();
  if (block == nullptr) return false;
  handle_ = &block->changeCount;
  value_ = kEventOffset;
  published = value_;
  return true;
}

void ChangeEvent::pulse() {
  if (handle_ != nullptr) wakeEveryWaiter(static_cast<int32_t*>(handle_));
}

void ChangeEvent::wait(int32_t seen, const InstanceProcess* /*first*/, int timeoutMillis) {
  const struct timespec timeout = {timeoutMillis / 1000, static_cast<long>(timeoutMillis % 1000) * 1000000L};
  if (handle_ == nullptr) {
    nanosleep(&timeout, nullptr);
    return;
  }
  // Returns at once when `changeCount` no longer holds `seen`: no pulse
  // between the caller's look and this wait is lost.
  futex(static_cast<int32_t*>(handle_), FUTEX_WAIT, seen, &timeout);
}

}  // namespace platform
}  // namespace xoq
