// What the instance registry and its message transport need from the system:
// the shared instance block, process ids and liveness, a handle on the first
// instance's process, and the two transport objects, the transfer mutex and
// the change event. The protocol above this header is the same on both
// systems.
//
// Windows: the block is the image's shared ".SHMMESS" section; the objects
// are an unnamed mutex and a manual-reset event that the first instance
// creates and the others duplicate out of its process; the first instance's
// process handle wakes a waiter when the process ends.
// Linux: the block is a file of 3072 bytes named after the user and the
// executable's path (mode 0600), in the user's private runtime directory or
// else in /dev/shm (platform/shared_object.h); the transfer mutex is a robust
// process-shared mutex in the block's reserved tail and the change event a
// futex on `changeCount`; a process file descriptor tells whether the
// first instance still runs.
#ifndef XOQ_PLATFORM_INSTANCE_IPC_H_
#define XOQ_PLATFORM_INSTANCE_IPC_H_

#include <cstdint>
#include <string>
#include <utility>

namespace xoq {

struct InstanceBlock;

namespace platform {

/// The mapping of the instance block of the executable at `executablePath`.
/// Unmapped when the object goes away (the Windows section stays: it is
/// part of the image). On Linux the shared memory object outlives its
/// processes unless removed: each process holds a shared lock on it, and
/// the last one to leave (when the object goes away, or at exit after
/// System.exit) removes it, as Windows drops the section of an image that
/// nobody runs any more.
class SharedInstanceBlock {
 public:
  SharedInstanceBlock() = default;
  ~SharedInstanceBlock();
  SharedInstanceBlock(const SharedInstanceBlock&) = delete;
  SharedInstanceBlock& operator=(const SharedInstanceBlock&) = delete;

  /// Maps the block; false (with the reason in `error`) when it cannot be
  /// mapped, or on Linux when the object belongs to another user or others
  /// may open it. `executablePath` is ignored on Windows: the section is
  /// the running image's own.
  bool open(const std::string& executablePath, std::string& error);
  InstanceBlock* block() const { return block_; }

 private:
  InstanceBlock* block_ = nullptr;
#ifndef _WIN32
  int fd_ = -1;
  std::string name_;
#endif
};

/// The process id of the running process: its instance id.
int32_t currentProcessId();

/// True when process `id` runs. Windows: OpenProcess with query-information
/// and duplicate-handle access succeeds and GetExitCodeProcess gives
/// STILL_ACTIVE. Linux: the process exists, belongs to this user and runs
/// the same executable file as this one (the block outlives its processes,
/// so an id left in it may name an unrelated process by now).
bool isInstanceProcessAlive(int32_t id);

/// True when process `id` runs as the user of this process (Windows: the
/// token users are equal). False when it cannot be told.
bool runsAsSameUser(int32_t id);

/// An open handle on another instance's process, for as long as it is
/// watched.
class InstanceProcess {
 public:
  InstanceProcess() = default;
  ~InstanceProcess();
  InstanceProcess(const InstanceProcess&) = delete;
  InstanceProcess& operator=(const InstanceProcess&) = delete;

  /// Opens process `id` (Windows: synchronize, query-information and
  /// duplicate-handle access; Linux: the process runs, and a process file
  /// descriptor is opened with the first isRunning). False when it cannot
  /// be opened.
  bool open(int32_t id, InstanceBlock* block);
  void close();
  bool isOpen() const;
  /// True while the process runs (GetExitCodeProcess gives STILL_ACTIVE).
  bool isRunning() const;
  /// The native handle (Windows), for duplicating and waiting.
  void* handle() const { return handle_; }

 private:
  void* handle_ = nullptr;
#ifndef _WIN32
  int32_t id_ = 0;
  mutable int processFd_ = -1;
  mutable bool processFdTried_ = false;
#endif
};

/// What the transfer mutex and the change event share: the object as this
/// process holds it, and the value that names it as published in the block.
class TransportObject {
 public:
  TransportObject(const TransportObject&) = delete;
  TransportObject& operator=(const TransportObject&) = delete;

  /// Takes the object that the first instance published as `published`.
  /// Windows: duplicated out of `owner`'s process, same access, not
  /// inheritable. Linux: the object in `block` at the offset published,
  /// which must be this kind's own.
  bool attach(const InstanceProcess& owner, InstanceBlock* block, uint64_t published);
  void close();
  bool isOpen() const { return handle_ != nullptr; }
  /// The value that names the object in this process, as published.
  uint64_t value() const { return value_; }
  void swap(TransportObject& other) {
    std::swap(handle_, other.handle_);
    std::swap(value_, other.value_);
  }

 protected:
  /// `blockOffset`: where this kind of object lives in the block on Linux.
  explicit TransportObject(uint64_t blockOffset) : blockOffset_(blockOffset) {}
  ~TransportObject() { close(); }

  void* handle_ = nullptr;
  uint64_t value_ = 0;
  const uint64_t blockOffset_;
};

/// The transfer mutex: claims the chunk buffer exclusively between
/// instances.
class TransferMutex : public TransportObject {
 public:
  TransferMutex();

  /// Creates the mutex, not owned, with default security; `published`
  /// receives the value to publish in `firstMutexHandle`. On Linux the
  /// mutex in the block's tail is set up only when none was published yet;
  /// the published value stays the same for the block's lifetime.
  bool create(InstanceBlock* block, uint64_t& published);
  /// Waits at most `timeoutMillis`; true when this thread now holds it (a
  /// mutex left by an ended owner counts).
  bool lock(int timeoutMillis);
  void unlock();
};

/// The change event: wakes every transport thread waiting at that moment.
class ChangeEvent : public TransportObject {
 public:
  ChangeEvent();

  /// As TransferMutex::create: a manual-reset event created non-signalled.
  bool create(InstanceBlock* block, uint64_t& published);
  /// Wakes the threads that wait right now (PulseEvent; FUTEX_WAKE of all).
  /// The caller has incremented `changeCount` first.
  void pulse();
  /// Waits until pulsed, `changeCount` differs from `seen` (Linux), `first`
  /// (when open) has ended (Windows), or `timeoutMillis` have passed.
  void wait(int32_t seen, const InstanceProcess* first, int timeoutMillis);
};

}  // namespace platform
}  // namespace xoq

#endif  // XOQ_PLATFORM_INSTANCE_IPC_H_
