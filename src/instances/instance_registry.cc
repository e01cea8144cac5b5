#include "instances/instance_registry.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <thread>
#include <utility>

#include "base/trace.h"
#include "instances/receiver_holder.h"
#include "platform/user_secret.h"

namespace xoq {

InstanceRegistry* theInstances = nullptr;

namespace {

// A claim of the chunk buffer waits this long for the transfer mutex at
// most; a claim that times out is simply lost and tried again later.
constexpr int kClaimWaitMillis = 1000;
// How long a launch waits at most for a first instance that has just taken
// the role to publish its transport objects.
constexpr uint64_t kAttachWaitMillis = 2000;
// How long the destructor waits for the transport thread to end: longer
// than one round of it can take outside the application's receiver (a wait,
// then freeing a chunk and claiming the buffer, each under the mutex), so
// that a thread that is not back by then never comes back to the block.
constexpr uint64_t kTransportEndMillis = 2 * kClaimWaitMillis + InstanceRegistry::kWaitSliceMillis + 500;

void sleepMillis(int millis) { std::this_thread::sleep_for(std::chrono::milliseconds(millis)); }

// Microseconds of the system's monotonic clock, the same for every process:
// a stamp taken now is newer than any taken before, whichever process took
// it.
uint64_t stampNow() { return platform::monotonicMillis() * 1000; }

// Index of the last chunk of a message of `length` bytes; 0 for an empty one.
int32_t lastChunkIndexFor(int32_t length) { return length == 0 ? 0 : (length - 1) / kChunkCapacity; }

// True when the fields describe a chunk that a sender of this protocol could
// have written: a length within the limit, the index of the last chunk that
// length has, an index up to it, and exactly the bytes the index holds.
bool chunkFitsTogether(const ChunkHeader& chunk) {
  if (chunk.capacity != kChunkCapacity) return false;
  if (chunk.messageLength < 0 || chunk.messageLength > kMaxMessageLength) return false;
  if (chunk.lastChunkIndex != lastChunkIndexFor(chunk.messageLength)) return false;
  if (chunk.chunkIndex < 0 || chunk.chunkIndex > chunk.lastChunkIndex) return false;
  const int32_t remaining = chunk.messageLength - chunk.chunkIndex * kChunkCapacity;
  return chunk.chunkLength == std::min(remaining, kChunkCapacity);
}

}  // namespace

InstanceBlock* mapInstanceBlock(platform::SharedInstanceBlock& mapping, const std::string& path) {
  std::string error;
  if (mapping.open(path, error)) return mapping.block();
  trace("instances: no instance block (%s)", error.c_str());
  return nullptr;
}

InstanceRegistry::InstanceRegistry() = default;

InstanceRegistry::InstanceRegistry(InstanceBlock* block, int32_t ownId)
    : block_(block), ownId_(ownId), startStamp_(stampNow()) {}

InstanceRegistry::~InstanceRegistry() {
  if (transportStarted_) waitForOwnChunk();
  writeShared(running_, 0);
  if (transportStarted_) {
    // Wakes the transport thread (and, once, every other one) so that it
    // sees the end at once instead of after its wait.
    {
      std::lock_guard<std::mutex> hold(queueLock_);
      pulseChange();
    }
    const uint64_t deadline = platform::monotonicMillis() + kTransportEndMillis;
    while (readShared(transportEnded_) == 0 && platform::monotonicMillis() < deadline) sleepMillis(5);
    if (readShared(transportEnded_) != 0) {
      transport_.join();
    } else {
      // Still inside the application's receiver, which the ended virtual
      // machine holds for good: it does not come back to the block or to
      // this object before the process ends.
      trace("instances: the transport thread did not end");
    }
  }
  // The id stays in the block: the next prune anywhere drops it.
}

void InstanceRegistry::waitForOwnChunk() {
  const uint64_t deadline = platform::monotonicMillis() + kOwnChunkWaitMillis;
  while (readShared(block_->bufferBusy) == 1 && readShared(block_->chunkSender) == ownId_ &&
         platform::monotonicMillis() < deadline) {
    sleepMillis(1);
  }
}

// --- Election and list ----------------------------------------------------------

void InstanceRegistry::joinInstanceBlock() {
  if (block_ == nullptr) return;
  checkFirstInstance();
  awaitTransportObjects();
  ListLock list(*this);
  pruneLocked();
  const int32_t count = std::clamp(readShared(block_->instanceCount), 0, kMaxListedInstances);
  if (count >= kMaxListedInstances) {
    trace("instances: the list is full; this instance runs unlisted");
    return;
  }
  // The id goes into the free entry first and is counted after, so that a
  // reader never counts an entry that holds no id yet.
  writeShared(block_->instanceIds[count], ownId_);
  writeShared(block_->instanceCount, count + 1);
  trace("instances: joined as %d, listed at %d (first instance %d)%s", ownId_, count, firstInstanceId(),
        list.held() ? "" : " without the transfer mutex");
}

// A launch that finds a living first instance which has not published its
// transport objects yet (it took the role a moment ago) waits for them a
// little: the list is written under the transfer mutex. A first instance
// that cannot be opened (another user's) publishes nothing for this one,
// which then does not wait.
void InstanceRegistry::awaitTransportObjects() {
  const uint64_t deadline = platform::monotonicMillis() + kAttachWaitMillis;
  while (!transferMutex_.isOpen() && firstProcess_.isOpen() && platform::monotonicMillis() < deadline) {
    sleepMillis(1);
    checkFirstInstance();
  }
}

InstanceRegistry::ListLock::ListLock(InstanceRegistry& registry) : registry_(registry), objects_(registry.queueLock_) {
  held_ = registry_.transferMutex_.isOpen() && registry_.transferMutex_.lock(kClaimWaitMillis);
}

InstanceRegistry::ListLock::~ListLock() {
  if (held_) registry_.transferMutex_.unlock();
}

void InstanceRegistry::checkFirstInstance() {
  if (block_ == nullptr) return;
  // A few rounds at most: each lost compare-and-swap means another process
  // changed the role meanwhile, and the next round looks at its result.
  for (int round = 0; round < 4; ++round) {
    const int32_t first = readShared(block_->firstInstanceId);
    if (first == 0) {
      if (compareAndSwapShared(block_->firstInstanceId, 0, ownId_)) {
        becomeFirst();
        return;
      }
      continue;
    }
    if (first == ownId_) {
      becomeFirst();  // publishes again whatever another process overwrote
      return;
    }
    if (first == knownFirstId_ && firstProcess_.isRunning()) {
      attachToFirst();
      return;
    }
    if (!isInstanceAlive(first)) {
      if (compareAndSwapShared(block_->firstInstanceId, first, ownId_)) {
        trace("instances: first instance %d has ended; %d takes over", first, ownId_);
        becomeFirst();
        return;
      }
      continue;
    }
    if (first != knownFirstId_ || !firstProcess_.isOpen()) {
      knownFirstId_ = first;
      if (!firstProcess_.open(first, block_)) {
        // It ended meanwhile, or it runs as another user (Windows): then it
        // keeps the role, and this instance has no transport until it ends.
        if (first != unopenedFirstId_) trace("instances: first instance %d cannot be opened", first);
        unopenedFirstId_ = first;
        continue;
      }
    }
    attachToFirst();
    return;
  }
}

// This instance holds the first-instance role: it needs transport objects
// and publishes their values. Objects it attached to earlier are the same
// ones the others hold, so they stay; an instance that never attached (a
// new launch that found the first instance ended) makes its own, and the
// others attach again when they see the published values change.
void InstanceRegistry::becomeFirst() {
  knownFirstId_ = ownId_;
  firstProcess_.close();
  if (!transferMutex_.isOpen() || !changeEvent_.isOpen()) {
    platform::TransferMutex mutex;
    platform::ChangeEvent event;
    uint64_t mutexValue = 0;
    uint64_t eventValue = 0;
    if (!mutex.create(block_, mutexValue) || !event.create(block_, eventValue)) {
      trace("instances: the transport objects cannot be created");
      return;
    }
    std::lock_guard<std::mutex> hold(queueLock_);
    transferMutex_.swap(mutex);
    changeEvent_.swap(event);
  }
  if (readShared(block_->firstMutexHandle) != transferMutex_.value()) {
    writeShared(block_->firstMutexHandle, transferMutex_.value());
  }
  if (readShared(block_->firstEventHandle) != changeEvent_.value()) {
    writeShared(block_->firstEventHandle, changeEvent_.value());
  }
  // After the values: until this instance says it published them, the
  // others leave the values alone (they may still be an ended instance's,
  // which would name something else in this process).
  if (readShared(block_->handlesPublishedBy) != ownId_) writeShared(block_->handlesPublishedBy, ownId_);
  attachedFirstId_ = ownId_;
  attachedMutexValue_ = transferMutex_.value();
  attachedEventValue_ = changeEvent_.value();
}

// Takes the transport objects that the living first instance published,
// again whenever that instance or the values change.
void InstanceRegistry::attachToFirst() {
  // A first instance that has just taken the role publishes its values a
  // moment later; until it says so, the values are not its own.
  if (readShared(block_->handlesPublishedBy) != knownFirstId_) return;
  const uint64_t mutexValue = readShared(block_->firstMutexHandle);
  const uint64_t eventValue = readShared(block_->firstEventHandle);
  if (attachedFirstId_ == knownFirstId_ && mutexValue == attachedMutexValue_ && eventValue == attachedEventValue_ &&
      transferMutex_.isOpen() && changeEvent_.isOpen()) {
    return;
  }
  // Not published yet (the first instance is still making them): what this
  // process holds stays until they are.
  if (mutexValue == 0 || eventValue == 0) return;
  platform::TransferMutex mutex;
  platform::ChangeEvent event;
  if (!mutex.attach(firstProcess_, block_, mutexValue) || !event.attach(firstProcess_, block_, eventValue)) return;
  // Values read while a new first instance was still publishing would name
  // something else in its process: they count only if nothing moved.
  if (readShared(block_->firstInstanceId) != knownFirstId_ || readShared(block_->handlesPublishedBy) != knownFirstId_ ||
      readShared(block_->firstMutexHandle) != mutexValue || readShared(block_->firstEventHandle) != eventValue) {
    return;
  }
  {
    std::lock_guard<std::mutex> hold(queueLock_);
    transferMutex_.swap(mutex);
    changeEvent_.swap(event);
  }
  attachedFirstId_ = knownFirstId_;
  attachedMutexValue_ = mutexValue;
  attachedEventValue_ = eventValue;
  trace("instances: attached to the transport objects of first instance %d", knownFirstId_);
}

void InstanceRegistry::pruneInstances() {
  if (block_ == nullptr) return;
  ListLock list(*this);
  pruneLocked();
}

void InstanceRegistry::pruneLocked() {
  const int32_t count = std::clamp(readShared(block_->instanceCount), 0, kMaxListedInstances);
  const int32_t first = readShared(block_->firstInstanceId);
  int32_t kept = 0;
  for (int32_t i = 0; i < count; ++i) {
    const int32_t id = readShared(block_->instanceIds[i]);
    if (id == first) continue;
    bool duplicate = false;
    for (int32_t j = 0; j < kept && !duplicate; ++j) duplicate = readShared(block_->instanceIds[j]) == id;
    if (duplicate || !isInstanceAlive(id)) continue;
    writeShared(block_->instanceIds[kept++], id);
  }
  writeShared(block_->instanceCount, kept);
}

bool InstanceRegistry::isInstanceAlive(int32_t id) const { return platform::isInstanceProcessAlive(id); }

std::vector<int32_t> InstanceRegistry::getInstances() {
  std::vector<int32_t> instances;
  if (block_ == nullptr) return instances;
  ListLock list(*this);
  pruneLocked();
  instances.push_back(readShared(block_->firstInstanceId));
  const int32_t count = std::clamp(readShared(block_->instanceCount), 0, kMaxListedInstances);
  for (int32_t i = 0; i < count; ++i) instances.push_back(readShared(block_->instanceIds[i]));
  return instances;
}

int32_t InstanceRegistry::firstInstanceId() const {
  return block_ == nullptr ? 0 : readShared(block_->firstInstanceId);
}

// --- Queue -------------------------------------------------------------------------

bool InstanceRegistry::startInstanceTransport(ReceiverHolder* holder) {
  if (transportStarted_ || block_ == nullptr) return transportStarted_;
  if (!signer_) {
    platform::UserSecret secret;
    std::string error;
    if (!platform::loadUserSecret(secret, error)) {
      trace("instances: transport not started: no key for the messages (%s)", error.c_str());
      fprintf(stderr, "xoq: no messages between instances: %s\n", error.c_str());
      fflush(stderr);
      return false;
    }
    useChunkKey(secret);
  }
  receiver_ = holder;
  transportStarted_ = transport_.start(transportMain, this, false);
  if (transportStarted_ && holder != nullptr) holder->started = 1;
  trace("instances: transport %s", transportStarted_ ? "started" : "could not be started");
  return transportStarted_;
}

void InstanceRegistry::useChunkKey(const ChunkKey& key) { signer_ = std::make_unique<ChunkSigner>(key); }

bool InstanceRegistry::enqueueMessage(int32_t target, std::string bytes) {
  if (block_ == nullptr || bytes.size() > static_cast<size_t>(kMaxMessageLength)) return false;
  if (target == 0) target = readShared(block_->firstInstanceId);
  if (target == 0) return false;
  auto message = std::make_unique<OutgoingMessage>();
  message->target = target;
  message->bytes = std::move(bytes);
  std::lock_guard<std::mutex> hold(queueLock_);
  queue_.push_back(std::move(message));
  pulseChange();
  return true;
}

// A fixed limit (100 looks, 5 seconds) would return while a large message
// is still leaving at the pace of a busy receiver, and a program that ends
// right after flush, as it may, would lose it: the receiver drops a message
// whose sender has ended. So the limit counts from the last chunk that
// left, and only a queue that has stopped moving ends the wait early.
void InstanceRegistry::flushQueue() {
  uint64_t placed = placedChunks();
  uint64_t movedAt = platform::monotonicMillis();
  while (!queueEmpty()) {
    sleepMillis(50);
    const uint64_t now = platform::monotonicMillis();
    const uint64_t placedNow = placedChunks();
    if (placedNow != placed) {
      placed = placedNow;
      movedAt = now;
    } else if (now - movedAt >= kFlushIdleMillis) {
      return;
    }
  }
}

uint64_t InstanceRegistry::placedChunks() {
  std::lock_guard<std::mutex> hold(queueLock_);
  return placedChunks_;
}

bool InstanceRegistry::queueEmpty() {
  std::lock_guard<std::mutex> hold(queueLock_);
  return queue_.empty();
}

int32_t InstanceRegistry::headSentOffset() {
  std::lock_guard<std::mutex> hold(queueLock_);
  return queue_.empty() ? 0 : queue_.front()->sentOffset;
}

// --- Transport thread ------------------------------------------------------------

unsigned InstanceRegistry::transportMain(void* registry) {
  InstanceRegistry& self = *static_cast<InstanceRegistry*>(registry);
  self.runTransport();
  writeShared(self.transportEnded_, 1);
  return 0;
}

void InstanceRegistry::runTransport() {
  // A pulse that comes between the look at changeCount and the wait is lost
  // (PulseEvent wakes only the threads already waiting). Right after some
  // traffic, when the next pulse is most likely, the thread therefore looks
  // again after 1 ms, then after twice as long each quiet round, up to the
  // full slice.
  int waitMillis = kWaitSliceMillis;
  while (readShared(running_) == 1) {
    if (readShared(block_->changeCount) == lastSeenChange_) {
      changeEvent_.wait(lastSeenChange_, &firstProcess_, waitMillis);
    }
    if (readShared(running_) != 1) break;
    const int32_t seen = readShared(block_->changeCount);
    waitMillis = seen != lastSeenChange_ ? 1 : std::min(waitMillis * 2, kWaitSliceMillis);
    lastSeenChange_ = seen;
    checkFirstInstance();
    const uint64_t now = platform::monotonicMillis();

    bool handled = false;
    std::unique_ptr<PartialMessage> complete;
    if (readShared(block_->bufferBusy) == 1) {
      // The sequence first: every claim gives the buffer a new one, so what
      // is read after it belongs to this claim or a later one.
      const int32_t sequence = readShared(block_->chunkSequence);
      const int32_t target = readShared(block_->chunkTarget);
      if (target == ownId_) {
        complete = takeChunk();
        handled = true;
      } else if (chunkMayWait(target, now)) {
        continue;  // left for its addressee: nothing is sent meanwhile
      } else {
        const int32_t waits = readShared(block_->deliveryWaits);
        if (!releaseBuffer(sequence, target)) {
          // Taken, dropped or claimed since the look: nothing to drop.
        } else if (waits < 0 || waits > kMaxDeliveryWaits) {
          trace("instances: chunk for %d dropped (not taken after %d waits)", target, waits);
        } else {
          trace("instances: chunk for %d dropped (its addressee has ended)", target);
        }
        handled = true;
      }
    }
    if (!sendNextChunk() && handled) pulseChange();
    // After the chunk of this round is taken: a sender that placed its
    // last chunk and ended has then delivered it.
    if (now - lastStaleCheckMillis_ >= 1000) {
      lastStaleCheckMillis_ = now;
      dropStalePartials(now);
    }
    if (complete && receiver_ != nullptr) receiver_->deliverMessage(complete->sender, complete->bytes);
  }
}

// A full buffer for another instance (or one that a sender has claimed and
// is still filling, target 0) waits while its addressee lives, until the
// first instance has counted more than kMaxDeliveryWaits waits for it.
bool InstanceRegistry::chunkMayWait(int32_t target, uint64_t nowMillis) {
  const int32_t waits = readShared(block_->deliveryWaits);
  if (waits < 0 || waits > kMaxDeliveryWaits) return false;
  if (target != 0 && !isInstanceAlive(target)) return false;
  if (readShared(block_->firstInstanceId) == ownId_ && nowMillis - lastCountedWaitMillis_ >= kDeliveryWaitMillis) {
    lastCountedWaitMillis_ = nowMillis;
    incrementShared(block_->deliveryWaits);
  }
  return true;
}

int32_t InstanceRegistry::claimBuffer() {
  if (readShared(block_->bufferBusy) != 0 || !transferMutex_.lock(kClaimWaitMillis)) return -1;
  int32_t sequence = -1;
  if (readShared(block_->bufferBusy) == 0) {
    // The waits counted for the chunk before, and its target, go before the
    // buffer counts as busy: nobody may take this claim for a chunk that has
    // waited too long, or for one whose addressee has ended.
    writeShared(block_->deliveryWaits, 0);
    writeShared(block_->chunkTarget, 0);
    sequence = incrementShared(block_->nextChunkSequence) & 0x7fffffff;
    writeShared(block_->chunkSequence, sequence);
    writeShared(block_->bufferBusy, 1);
  }
  transferMutex_.unlock();
  return sequence;
}

bool InstanceRegistry::releaseBuffer(int32_t sequence, int32_t target) {
  const auto stillThere = [&] {
    return readShared(block_->bufferBusy) == 1 && readShared(block_->chunkSequence) == sequence &&
           readShared(block_->chunkTarget) == target;
  };
  // Under the transfer mutex no claim comes between the look and the write.
  // Without it (it could not be had within the claim's wait) the look is
  // still made, so that only a claim at that very moment can be lost.
  const bool locked = transferMutex_.isOpen() && transferMutex_.lock(kClaimWaitMillis);
  const bool released = stillThere();
  if (released) writeShared(block_->bufferBusy, 0);
  if (locked) transferMutex_.unlock();
  return released;
}

// Claims the free buffer and places the next chunk of the queue's head
// message. True when a chunk was placed (and the change pulsed).
bool InstanceRegistry::sendNextChunk() {
  OutgoingMessage* head = nullptr;
  {
    std::lock_guard<std::mutex> hold(queueLock_);
    if (!queue_.empty()) head = queue_.front().get();
  }
  if (head == nullptr || !transferMutex_.isOpen() || !signer_) return false;
  const int32_t sequence = claimBuffer();
  if (sequence < 0) return false;
  if (placeChunk(*head, sequence)) {
    std::lock_guard<std::mutex> hold(queueLock_);  // headSentOffset reads it on other threads
    head->sentOffset += kChunkCapacity;
    ++placedChunks_;
    if (static_cast<size_t>(head->sentOffset) >= head->bytes.size()) queue_.pop_front();
  } else {
    trace("instances: a claim of the buffer was lost while its chunk was written; it is sent again");
  }
  pulseChange();
  return true;
}

// The fields in this order, the data, its stamp and tag, and the target
// last: nobody takes the chunk before it is complete. False, with the
// target left unset, when the claim was taken away meanwhile (this process
// stalled so long that the claim counted as abandoned): the chunk is then
// sent again.
bool InstanceRegistry::placeChunk(OutgoingMessage& message, int32_t sequence) {
  const int32_t length = static_cast<int32_t>(message.bytes.size());
  if (message.sentOffset == 0) message.messageId = incrementShared(block_->nextMessageId);
  ChunkHeader header;
  header.sender = ownId_;
  header.target = message.target;
  header.messageId = message.messageId;
  header.chunkIndex = message.sentOffset / kChunkCapacity;
  header.lastChunkIndex = lastChunkIndexFor(length);
  header.capacity = kChunkCapacity;
  header.messageLength = length;
  header.chunkLength = std::min(length - message.sentOffset, kChunkCapacity);
  header.stamp = lastStamp_ = std::max(lastStamp_ + 1, stampNow());
  const uint8_t* data = reinterpret_cast<const uint8_t*>(message.bytes.data()) + message.sentOffset;
  const ChunkTag tag = signer_->tag(header, data);
  writeShared(block_->chunkSender, header.sender);
  writeShared(block_->chunkCapacity, header.capacity);
  writeShared(block_->messageId, header.messageId);
  writeShared(block_->chunkSequence, sequence);
  writeShared(block_->messageLength, header.messageLength);
  writeShared(block_->lastChunkIndex, header.lastChunkIndex);
  writeShared(block_->chunkIndex, header.chunkIndex);
  writeShared(block_->chunkLength, header.chunkLength);
  writeShared(block_->bufferBusy, 1);
  writeShared(block_->deliveryWaits, 0);
  if (header.chunkLength > 0) memcpy(block_->chunkData, data, header.chunkLength);
  writeShared(block_->chunkStamp, header.stamp);
  memcpy(block_->chunkTag, tag.data(), tag.size());
  if (readShared(block_->chunkSequence) != sequence || readShared(block_->bufferBusy) != 1) return false;
  writeShared(block_->chunkTarget, message.target);
  return true;
}

// changeCount first, then the pulse: a transport thread that looks at
// changeCount between the two sees the change and does not wait for it.
void InstanceRegistry::pulseChange() {
  if (block_ == nullptr) return;
  incrementShared(block_->changeCount);
  changeEvent_.pulse();
}

// --- Receiving ---------------------------------------------------------------------

std::unique_ptr<PartialMessage> InstanceRegistry::takeChunk() {
  const int32_t sequence = readShared(block_->chunkSequence);
  ChunkHeader chunk;
  chunk.sender = readShared(block_->chunkSender);
  chunk.target = ownId_;  // the tag must say so
  chunk.messageId = readShared(block_->messageId);
  chunk.chunkIndex = readShared(block_->chunkIndex);
  chunk.lastChunkIndex = readShared(block_->lastChunkIndex);
  chunk.capacity = readShared(block_->chunkCapacity);
  chunk.messageLength = readShared(block_->messageLength);
  chunk.chunkLength = readShared(block_->chunkLength);
  chunk.stamp = readShared(block_->chunkStamp);
  ChunkTag tag;
  memcpy(tag.data(), block_->chunkTag, tag.size());
  const bool fits = chunkFitsTogether(chunk);
  uint8_t data[kChunkCapacity];
  if (fits && chunk.chunkLength > 0) memcpy(data, block_->chunkData, chunk.chunkLength);
  // Checked on the copies: the block may change under this reader.
  const bool authentic = fits && signer_ && signer_->verify(chunk, data, tag);
  const bool fresh = authentic && isFresh(chunk.sender, chunk.stamp);
  // The sender's user is checked with a message's first chunk, while the
  // chunk still holds the buffer: a sender does not end before its chunk
  // has been taken (waitForOwnChunk). Later chunks count only for a message
  // begun that way, by the same sender.
  const bool sameUser = !fresh || chunk.chunkIndex != 0 || platform::runsAsSameUser(chunk.sender);
  // Copied out: the buffer is free for the next chunk, unless it was taken
  // away meanwhile (this instance was slow beyond the waits allowed).
  releaseBuffer(sequence, ownId_);
  if (!fits || !authentic || !fresh || !sameUser) {
    trace("instances: chunk from %d dropped (%s)", chunk.sender,
          !fits        ? "damaged"
          : !authentic ? "not authentic"
          : !fresh     ? "given again"
                       : "another user");
    // What an unauthentic chunk names cannot be trusted, not even to end a
    // message, and one given again says nothing about the message now.
    if (fresh) removePartial(chunk.messageId, chunk.sender);
    return nullptr;
  }
  rememberStamp(chunk.sender, chunk.stamp);
  const uint64_t now = platform::monotonicMillis();
  if (chunk.chunkIndex == 0) {
    removePartial(chunk.messageId, chunk.sender);
    if (partials_.size() >= kMaxPartials) partials_.erase(partials_.begin());
    auto partial = std::make_unique<PartialMessage>();
    partial->messageId = chunk.messageId;
    partial->sender = chunk.sender;
    partial->creationTime = static_cast<uint32_t>(time(nullptr));
    partial->messageLength = chunk.messageLength;
    partial->lastChunkMillis = now;
    partials_.push_back(std::move(partial));
    writeShared(partialCount_, static_cast<int32_t>(partials_.size()));
  }
  auto found = std::find_if(partials_.begin(), partials_.end(), [&chunk](const std::unique_ptr<PartialMessage>& p) {
    return p->messageId == chunk.messageId && p->sender == chunk.sender;
  });
  if (found == partials_.end()) return nullptr;
  PartialMessage& partial = **found;
  const bool next = partial.nextChunk == chunk.chunkIndex && partial.messageLength == chunk.messageLength &&
                    partial.bytes.size() + chunk.chunkLength <= static_cast<size_t>(partial.messageLength);
  if (!next) {
    partials_.erase(found);  // a chunk was lost: the message cannot be whole
    writeShared(partialCount_, static_cast<int32_t>(partials_.size()));
    return nullptr;
  }
  partial.bytes.append(reinterpret_cast<const char*>(data), chunk.chunkLength);
  partial.nextChunk++;
  partial.lastChunkMillis = now;
  if (chunk.chunkIndex != chunk.lastChunkIndex) return nullptr;
  std::unique_ptr<PartialMessage> complete = std::move(*found);
  partials_.erase(found);
  writeShared(partialCount_, static_cast<int32_t>(partials_.size()));
  return complete;
}

// A chunk is newer than this instance, and than every chunk taken from its
// sender before: one recorded from the block and given again is not.
bool InstanceRegistry::isFresh(int32_t sender, uint64_t stamp) const {
  if (stamp < startStamp_) return false;
  const auto known = senderStamps_.find(sender);
  return known == senderStamps_.end() || stamp > known->second;
}

void InstanceRegistry::rememberStamp(int32_t sender, uint64_t stamp) {
  senderStamps_[sender] = stamp;
  if (senderStamps_.size() <= kMaxKnownSenders) return;
  auto oldest = senderStamps_.begin();
  for (auto it = senderStamps_.begin(); it != senderStamps_.end(); ++it) {
    if (it->second < oldest->second) oldest = it;
  }
  senderStamps_.erase(oldest);
}

void InstanceRegistry::removePartial(int32_t messageId, int32_t sender) {
  partials_.erase(std::remove_if(partials_.begin(), partials_.end(),
                                 [messageId, sender](const std::unique_ptr<PartialMessage>& p) {
                                   return p->messageId == messageId && p->sender == sender;
                                 }),
                  partials_.end());
  writeShared(partialCount_, static_cast<int32_t>(partials_.size()));
}

void InstanceRegistry::dropStalePartials(uint64_t nowMillis) {
  partials_.erase(std::remove_if(partials_.begin(), partials_.end(),
                                 [this, nowMillis](const std::unique_ptr<PartialMessage>& p) {
                                   const bool stale = (nowMillis > p->lastChunkMillis &&
                                                       nowMillis - p->lastChunkMillis > kPartialIdleMillis) ||
                                                      !isInstanceAlive(p->sender);
                                   if (stale) trace("instances: incomplete message from %d dropped", p->sender);
                                   return stale;
                                 }),
                  partials_.end());
  writeShared(partialCount_, static_cast<int32_t>(partials_.size()));
}

}  // namespace xoq
