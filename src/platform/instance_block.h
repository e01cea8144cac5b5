// The instance block: 3072 bytes that every process running the same
// executable file sees at the same physical pages (the image's shared
// ".SHMMESS" section on Windows, a shared memory object on Linux). It holds
// the list of running instances, the election of the first instance and the
// one chunk buffer through which messages travel.
//
// Every field may be written by another process at any moment, so the code
// reads and writes them only through the atomic helpers below, and checks
// every count, index and length it reads before using it.
#ifndef XOQ_PLATFORM_INSTANCE_BLOCK_H_
#define XOQ_PLATFORM_INSTANCE_BLOCK_H_

#include <cstddef>
#include <cstdint>

namespace xoq {

constexpr size_t kInstanceBlockSize = 3072;
/// Bytes of one chunk, the size of `chunkData`.
constexpr int32_t kChunkCapacity = 1024;
/// Entries of `instanceIds`.
constexpr int32_t kMaxListedInstances = 250;
/// The longest message accepted, kind included: 64 MiB. Declared lengths
/// above it are taken for damage; a sender refuses longer objects.
constexpr int32_t kMaxMessageLength = 64 * 1024 * 1024;

/// Little-endian on both targets; all integers 32-bit signed unless shown.
struct InstanceBlock {
  int32_t firstInstanceId;    // 0 while there is none
  int32_t nextMessageId;      // message numbering counter
  int32_t nextChunkSequence;  // chunk numbering counter
  int32_t reserved0;
  uint64_t firstMutexHandle;  // the transfer mutex as the first instance names it
  uint64_t firstEventHandle;  // the change event as the first instance names it
  int32_t changeCount;        // incremented with every pulse of the change event
  int32_t chunkSender;
  int32_t chunkTarget;  // written last: a chunk is complete once it is set
  int32_t chunkSequence;
  int32_t bufferBusy;     // 1 while the buffer is claimed or full
  int32_t deliveryWaits;  // counted by the first instance while the chunk waits
  int32_t messageId;
  int32_t chunkIndex;
  int32_t lastChunkIndex;
  int32_t chunkCapacity;  // always 1024
  int32_t messageLength;
  int32_t chunkLength;
  uint8_t chunkData[kChunkCapacity];
  int32_t instanceCount;  // valid entries of instanceIds, at most 250
  int32_t instanceIds[kMaxListedInstances];
  // The reserved tail, 964 bytes, which the launcher uses as follows.
  uint8_t reservedTail[920];   // Linux keeps its synchronisation objects here
  int32_t handlesPublishedBy;  // the first instance whose handle values are in the block
  uint64_t chunkStamp;         // the sender's stamp of the chunk in the buffer
  uint8_t chunkTag[32];        // the chunk's tag (instances/chunk_tag.h)
};

static_assert(sizeof(InstanceBlock) == kInstanceBlockSize, "the block is 3072 bytes");
static_assert(offsetof(InstanceBlock, firstMutexHandle) == 16, "layout");
static_assert(offsetof(InstanceBlock, changeCount) == 32, "layout");
static_assert(offsetof(InstanceBlock, chunkTarget) == 40, "layout");
static_assert(offsetof(InstanceBlock, deliveryWaits) == 52, "layout");
static_assert(offsetof(InstanceBlock, chunkLength) == 76, "layout");
static_assert(offsetof(InstanceBlock, chunkData) == 80, "layout");
static_assert(offsetof(InstanceBlock, instanceCount) == 1104, "layout");
static_assert(offsetof(InstanceBlock, instanceIds) == 1108, "layout");
static_assert(offsetof(InstanceBlock, reservedTail) == 2108, "layout");
static_assert(offsetof(InstanceBlock, handlesPublishedBy) == 3028, "layout");
static_assert(offsetof(InstanceBlock, chunkStamp) == 3032, "layout");
static_assert(offsetof(InstanceBlock, chunkTag) == 3040, "layout");

/// Where the reserved tail begins; the platform code may use it from here.
constexpr size_t kReservedTailOffset = offsetof(InstanceBlock, reservedTail);

// Shared fields are read with acquire and written with release order, so
// that a reader who sees `chunkTarget` set also sees the chunk before it.
template <typename T>
inline T readShared(const T& field) {
  return __atomic_load_n(&field, __ATOMIC_ACQUIRE);
}

template <typename T>
inline void writeShared(T& field, T value) {
  __atomic_store_n(&field, value, __ATOMIC_RELEASE);
}

/// Replaces `expected` by `desired` when the field holds `expected`; true
/// when it did.
inline bool compareAndSwapShared(int32_t& field, int32_t expected, int32_t desired) {
  return __atomic_compare_exchange_n(&field, &expected, desired, false, __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE);
}

/// Adds one and returns the value before.
inline int32_t incrementShared(int32_t& field) { return __atomic_fetch_add(&field, 1, __ATOMIC_ACQ_REL); }

}  // namespace xoq

#endif  // XOQ_PLATFORM_INSTANCE_BLOCK_H_
