#include <linux/futex.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
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

#include "instances/instance_block.h"
#include "platform/instance_ipc.h"
#include "platform/shared_object.h"

namespace xoq {
namespace platform {

namespace {

// The transfer mutex lives in the block's reserved tail, 8-byte aligned; its
// offset is what the first instance publishes as `firstMutexHandle`. The
// change event is the futex word `changeCount`, published by its offset.
constexpr uint64_t kMutexOffset = (kReservedTailOffset + 7) / 8 * 8;
constexpr uint64_t kEventOffset = offsetof(InstanceBlock, changeCount);
static_assert(kMutexOffset + sizeof(pthread_mutex_t) <= kInstanceBlockSize, "the mutex fits in the tail");

pthread_mutex_t* mutexIn(InstanceBlock* block) {
  return reinterpret_cast<pthread_mutex_t*>(reinterpret_cast<unsigned char*>(block) + kMutexOffset);
}

long futex(int32_t* word, int operation, int32_t value, const struct timespec* timeout) {
  return syscall(SYS_futex, word, operation, value, timeout, nullptr, 0);
}

void wakeEveryWaiter(int32_t* word) { futex(word, FUTEX_WAKE, INT_MAX, nullptr); }

std::string linkTarget(const std::string& link) {
  char buffer[4096];
  const ssize_t length = readlink(link.c_str(), buffer, sizeof buffer);
  return length <= 0 || static_cast<size_t>(length) >= sizeof buffer ? std::string()
                                                                     : std::string(buffer, static_cast<size_t>(length));
}

// True when process `id` runs the file this process runs.
bool runsOwnExecutable(int32_t id) {
  static const std::string own = linkTarget("/proc/self/exe");
  if (own.empty()) return false;
  return linkTarget("/proc/" + std::to_string(id) + "/exe") == own;
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
  if (flock(fd, LOCK_EX | LOCK_NB) == 0) shm_unlink(name.c_str());
}

void removeBlocksAtExit() {
  std::lock_guard<std::mutex> hold(openBlocksLock);
  for (const auto& block : openBlocks()) removeIfLast(block.first, block.second);
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
    struct stat held, named;
    if (flock(fd, LOCK_SH) != 0 || fstat(fd, &held) != 0 || stat(("/dev/shm" + name).c_str(), &named) != 0 ||
        held.st_ino != named.st_ino) {
      close(fd);
      fd = -1;
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

// A thread that waits for the process's end on its process file descriptor
// and then pulses the change event, as the process handle in the wait of a
// Windows transport thread would wake it.
struct InstanceProcess::Watcher {
  int32_t id = 0;
  int processFd = -1;  // -1 where the kernel has no process descriptors
  int stopFd = -1;
  int32_t* changeCount = nullptr;
  int32_t ended = 0;  // set by the thread when the process has ended
  pthread_t thread;
  bool threadStarted = false;

  static void* run(void* raw) {
    Watcher& watcher = *static_cast<Watcher*>(raw);
    struct pollfd fds[2] = {{watcher.processFd, POLLIN, 0}, {watcher.stopFd, POLLIN, 0}};
    for (;;) {
      const int ready = poll(fds, 2, -1);
      if (ready < 0 && errno == EINTR) continue;
      if (ready > 0 && fds[0].revents != 0 && fds[1].revents == 0) {
        writeShared(watcher.ended, 1);
        incrementShared(*watcher.changeCount);
        wakeEveryWaiter(watcher.changeCount);
      }
      return nullptr;
    }
  }
};

InstanceProcess::~InstanceProcess() { close(); }

bool InstanceProcess::open(int32_t id, InstanceBlock* block) {
  close();
  if (id <= 0 || block == nullptr) return false;
  Watcher* watcher = new Watcher();
  watcher->id = id;
  watcher->changeCount = &block->changeCount;
  watcher->processFd = static_cast<int>(syscall(SYS_pidfd_open, id, 0));
  // Checked once the descriptor is open: it holds on to this process, so
  // the id cannot have passed to another one since.
  if (!isInstanceProcessAlive(id)) {
    if (watcher->processFd >= 0) ::close(watcher->processFd);
    delete watcher;
    return false;
  }
  if (watcher->processFd >= 0) {
    watcher->stopFd = eventfd(0, EFD_CLOEXEC);
    watcher->threadStarted =
        watcher->stopFd >= 0 && pthread_create(&watcher->thread, nullptr, Watcher::run, watcher) == 0;
  }
  watcher_ = watcher;
  handle_ = watcher;
  return true;
}

void InstanceProcess::close() {
  if (watcher_ == nullptr) return;
  if (watcher_->threadStarted) {
    const uint64_t one = 1;
    if (write(watcher_->stopFd, &one, sizeof one) == static_cast<ssize_t>(sizeof one)) {
      pthread_join(watcher_->thread, nullptr);
    } else {
      pthread_detach(watcher_->thread);  // cannot be told to stop; it ends with the process it watches
      watcher_ = nullptr;
      handle_ = nullptr;
      return;
    }
  }
  if (watcher_->stopFd >= 0) ::close(watcher_->stopFd);
  if (watcher_->processFd >= 0) ::close(watcher_->processFd);
  delete watcher_;
  watcher_ = nullptr;
  handle_ = nullptr;
}

bool InstanceProcess::isOpen() const { return watcher_ != nullptr; }

bool InstanceProcess::isRunning() const {
  if (watcher_ == nullptr) return false;
  // Asked after every wake-up of the transport: the watching thread's word
  // answers without a system call.
  if (watcher_->threadStarted) return readShared(watcher_->ended) == 0;
  if (watcher_->processFd < 0) return isInstanceProcessAlive(watcher_->id);
  struct pollfd fd = {watcher_->processFd, POLLIN, 0};
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
