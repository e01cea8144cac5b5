// The registry of running instances of the same executable, and the message
// transport between them. Every process joins the shared instance block at
// start, whatever its configuration: it lists itself, and the first launch
// (or the one that outlives it) becomes the first instance, which owns the
// transport objects the others attach to. With `singleinstance custom` a
// transport thread moves messages through the block's one chunk buffer,
// 1024 bytes per hand-over.
//
// The block is shared with processes that may be damaged, hostile or simply
// racing this one, so every value read from it is checked before use, the
// first-instance role is claimed with a compare-and-swap, the list is
// written under the transfer mutex (a launch that lists itself while
// another process prunes would otherwise vanish from the list), and every
// wait is bounded: a lost wake-up delays a message, it never stops the
// transport.
#ifndef XOQ_INSTANCES_INSTANCE_REGISTRY_H_
#define XOQ_INSTANCES_INSTANCE_REGISTRY_H_

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "instances/chunk_tag.h"
#include "platform/instance_block.h"
#include "platform/instance_ipc.h"
#include "platform/platform.h"

namespace xoq {

class ReceiverHolder;

/// One message in this instance's outgoing queue.
struct OutgoingMessage {
  int32_t target = 0;      // the addressee's instance id
  std::string bytes;       // the message
  int32_t sentOffset = 0;  // bytes placed in the block so far, a multiple of 1024
  int32_t messageId = 0;   // taken from nextMessageId with the first chunk
};

/// An incoming message being put together from its chunks.
struct PartialMessage {
  int32_t messageId = 0;
  int32_t sender = 0;
  int32_t nextChunk = 0;         // index of the chunk expected next
  uint32_t creationTime = 0;     // seconds since 1970
  std::string bytes;             // never longer than messageLength
  int32_t messageLength = 0;     // as the first chunk declared it
  uint64_t lastChunkMillis = 0;  // monotonic time of the last chunk taken
};

class InstanceRegistry {
 public:
  /// How long (milliseconds) the transport thread waits for a change before
  /// it looks at the block again on its own.
  static constexpr int kWaitSliceMillis = 100;
  /// A chunk that waits for a living addressee is dropped once the first
  /// instance has counted more than this many waits for it...
  static constexpr int32_t kMaxDeliveryWaits = 10;
  /// ...counting at most one wait per this many milliseconds, so that an
  /// addressee busy in its receiver has about five seconds to take it.
  static constexpr uint64_t kDeliveryWaitMillis = 500;
  /// A message whose chunks stop coming for this long is dropped (and at
  /// once when its sender has ended).
  static constexpr uint64_t kPartialIdleMillis = 60000;
  /// flushQueue gives up after this long without a chunk leaving the queue.
  static constexpr uint64_t kFlushIdleMillis = 5000;
  /// At most this many messages are put together at once; the oldest goes.
  static constexpr size_t kMaxPartials = 64;
  /// The stamps of at most this many senders are remembered; the oldest
  /// goes.
  static constexpr size_t kMaxKnownSenders = 256;
  /// A process that ends waits this long at most for its last chunk to be
  /// taken (longer than a chunk may wait for a busy addressee), so that the
  /// addressee can still tell which user sent it.
  static constexpr uint64_t kOwnChunkWaitMillis = kDeliveryWaitMillis * (kMaxDeliveryWaits + 2);

  /// A registry without a block (it could not be mapped): it lists nothing
  /// and sends nothing.
  InstanceRegistry();
  /// A registry on `block` for the instance `ownId`, not joined yet.
  InstanceRegistry(InstanceBlock* block, int32_t ownId);
  /// Waits (waitForOwnChunk) until this instance's chunk in the buffer has
  /// been taken, then stops the transport thread. The id stays listed
  /// until the next prune.
  virtual ~InstanceRegistry();
  InstanceRegistry(const InstanceRegistry&) = delete;
  InstanceRegistry& operator=(const InstanceRegistry&) = delete;

  /// Joins the block: elects or attaches to the first instance, prunes the
  /// list and adds this instance to it while it has room, both under the
  /// transfer mutex.
  void joinInstanceBlock();

  /// Claims the empty block or takes over from an ended first instance
  /// (both with a compare-and-swap), or attaches to the living one, again
  /// whenever it or its published transport objects change.
  void checkFirstInstance();

  /// Removes ended instances, duplicates and the first instance from the
  /// list, keeping the others in their order, under the transfer mutex.
  void pruneInstances();

  /// True when instance `id` runs (see platform::isInstanceProcessAlive).
  bool isInstanceAlive(int32_t id) const;

  /// The first instance's id (0 when none) followed by the listed ones,
  /// after a prune, read under the transfer mutex. Empty without a block.
  std::vector<int32_t> getInstances();

  /// Starts the transport thread with `holder` as receiver, once; later
  /// calls do nothing. Chunks are tagged with the user's secret
  /// (platform/user_secret.h) unless useChunkKey gave a key. False when the
  /// thread could not be started or there is no key.
  bool startInstanceTransport(ReceiverHolder* holder);

  /// Tags the chunks this instance writes, and checks those it takes, with
  /// `key`.
  void useChunkKey(const ChunkKey& key);

  /// Queues `bytes` for instance `target` (0: the first instance) and wakes
  /// the transport. False when there is no block, no addressee or the
  /// message is longer than kMaxMessageLength.
  bool enqueueMessage(int32_t target, std::string bytes);

  /// Waits until the queue has drained, looking every 50 ms, for as long
  /// as chunks keep leaving: it gives up once no chunk has left for
  /// kFlushIdleMillis (no addressee takes them, or nobody can send).
  void flushQueue();

  /// Waits, at most kOwnChunkWaitMillis, until this instance's chunk in the
  /// buffer has been taken. Run when the instance ends: by the destructor,
  /// and by the shutdown hook of the Java class when the application ends
  /// the process through System.exit, past the destructor.
  void waitForOwnChunk();

  /// Takes the chunk addressed to this instance out of the buffer and frees
  /// the buffer. Returns the message it completes, or null. Dropped: a chunk
  /// whose fields do not fit together or whose tag does not verify (so that
  /// it was not written, unchanged, for this instance by a process that
  /// holds the user's secret), one whose stamp is not newer than the last
  /// taken from its sender nor than this instance (a chunk given again),
  /// and the first chunk of a message whose sender runs as another user.
  /// Only the last drops a message that the sender had begun before.
  std::unique_ptr<PartialMessage> takeChunk();

  /// Claims the free chunk buffer under the transfer mutex: the waits
  /// counted before are reset, the target set to 0 and the buffer given a
  /// new chunkSequence, which is returned; -1 when the buffer is busy or the
  /// mutex could not be had.
  int32_t claimBuffer();

  /// Frees the buffer, under the transfer mutex, when it still holds chunk
  /// `sequence` for `target`; true when it did. Whoever drops or takes a
  /// chunk frees it this way, so that a late look never frees a buffer that
  /// someone has claimed since.
  bool releaseBuffer(int32_t sequence, int32_t target);

  /// True when the full buffer for `target` (0 while claimed and being
  /// filled) should wait: its addressee lives and the first instance has
  /// counted at most kMaxDeliveryWaits waits for it. The first instance
  /// counts one more when kDeliveryWaitMillis have passed since the last.
  bool chunkMayWait(int32_t target, uint64_t nowMillis);

  /// Drops the messages whose sender has ended or whose chunks stopped
  /// coming kPartialIdleMillis before `nowMillis`.
  void dropStalePartials(uint64_t nowMillis);

  InstanceBlock* block() const { return block_; }
  int32_t ownId() const { return ownId_; }
  /// The block's first instance, 0 without a block.
  int32_t firstInstanceId() const;
  bool queueEmpty();
  /// Chunks this instance has placed in the block so far.
  uint64_t placedChunks();
  /// Bytes of the queue's head message already placed in the block.
  int32_t headSentOffset();
  /// Messages being put together; any thread may ask.
  size_t partialCount() const { return static_cast<size_t>(readShared(partialCount_)); }

 private:
  /// Holds, for its lifetime, the transfer mutex (when this process has it
  /// and gets it within a claim's wait) for a write of the list. The
  /// transport objects stay the same meanwhile (queueLock_), whichever
  /// thread writes.
  class ListLock {
   public:
    explicit ListLock(InstanceRegistry& registry);
    ~ListLock();
    ListLock(const ListLock&) = delete;
    ListLock& operator=(const ListLock&) = delete;
    bool held() const { return held_; }

   private:
    InstanceRegistry& registry_;
    std::unique_lock<std::mutex> objects_;
    bool held_ = false;
  };

  void pruneLocked();
  void awaitTransportObjects();
  static unsigned transportMain(void* registry);
  void runTransport();
  void becomeFirst();
  void attachToFirst();
  bool sendNextChunk();
  bool placeChunk(OutgoingMessage& message, int32_t sequence);
  bool isFresh(int32_t sender, uint64_t stamp) const;
  void rememberStamp(int32_t sender, uint64_t stamp);
  void pulseChange();
  void removePartial(int32_t messageId, int32_t sender);

  InstanceBlock* block_ = nullptr;
  int32_t ownId_ = 0;
  int32_t knownFirstId_ = 0;
  int32_t unopenedFirstId_ = 0;  // the first instance that could not be opened, traced once
  platform::InstanceProcess firstProcess_;
  platform::TransferMutex transferMutex_;
  platform::ChangeEvent changeEvent_;
  int32_t lastSeenChange_ = 0;
  std::mutex queueLock_;  // the queue, and the transport objects while they are replaced
  ReceiverHolder* receiver_ = nullptr;
  int32_t running_ = 1;
  std::deque<std::unique_ptr<OutgoingMessage>> queue_;
  uint64_t placedChunks_ = 0;  // chunks placed in the block so far, under queueLock_
  std::vector<std::unique_ptr<PartialMessage>> partials_;
  int32_t partialCount_ = 0;  // partials_.size(), for other threads

  // What this process attached to: the first instance and the handle values
  // it had published, to notice when they change.
  int32_t attachedFirstId_ = 0;
  uint64_t attachedMutexValue_ = 0;
  uint64_t attachedEventValue_ = 0;

  std::unique_ptr<ChunkSigner> signer_;
  // Stamps: this instance's last one, its start (no chunk written before
  // it can be meant for it), and the last taken from each sender.
  uint64_t lastStamp_ = 0;
  uint64_t startStamp_ = 0;
  std::map<int32_t, uint64_t> senderStamps_;

  platform::Thread transport_;
  bool transportStarted_ = false;
  int32_t transportEnded_ = 0;
  uint64_t lastCountedWaitMillis_ = 0;
  uint64_t lastStaleCheckMillis_ = 0;
};

/// Maps the instance block of the executable at `path` into `mapping`;
/// null (the reason traced) when it cannot be mapped, and the launch then
/// runs without a registry.
InstanceBlock* mapInstanceBlock(platform::SharedInstanceBlock& mapping, const std::string& path);

/// The process's instance registry, for the instance natives. Set on the
/// main thread before any other thread starts.
extern InstanceRegistry* theInstances;

}  // namespace xoq

#endif  // XOQ_INSTANCES_INSTANCE_REGISTRY_H_
