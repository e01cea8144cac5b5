#include "instances/instance_registry.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <thread>
#include <utility>

#include "instances/receiver_holder.h"
#include "launcher/trace.h"

namespace xoq {

namespace {

// A claim of the chunk buffer waits this long for the transfer mutex at
// most; a claim that times out is simply lost and tried again later.
constexpr int kClaimWaitMillis = 1000;
// How long the destructor waits for the transport thread to end.
constexpr uint64_t kTransportEndMillis = 1000;

// The registry whose transport runs, for the wait at exit.
InstanceRegistry* exitingRegistry = nullptr;

void sleepMillis(int millis) { std::this_thread::sleep_for(std::chrono::milliseconds(millis)); }

// Index of the last chunk of a message of `length` bytes; 0 for an empty one.
int32_t lastChunkIndexFor(int32_t length) { return length == 0 ? 0 : (length - 1) / kChunkCapacity; }

// The chunk fields as read once from the block; everything below works on
// this copy, never on the block again.
struct ChunkView {
  int32_t sender;
  int32_t messageId;
  int32_t chunkIndex;
  int32_t lastChunkIndex;
  int32_t capacity;
  int32_t messageLength;
  int32_t chunkLength;
};

// True when the fields describe a chunk that a sender of this protocol could
// have written: a length within the limit, the index of the last chunk that
// length has, an index up to it, and exactly the bytes the index holds.
bool chunkFitsTogether(const ChunkView& chunk) {
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

InstanceRegistry::InstanceRegistry(InstanceBlock* block, int32_t ownId) : block_(block), ownId_(ownId) {}

InstanceRegistry::~InstanceRegistry() {
  if (transportStarted_) waitForOwnChunk();
  if (readShared(exitingRegistry) == this) writeShared(exitingRegistry, static_cast<InstanceRegistry*>(nullptr));
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
      // machine holds for good; it does not come back before the process
      // ends.
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

// An application that calls System.exit ends the process through exit(),
// past the registry's destructor.
void InstanceRegistry::waitForOwnChunkAtExit() {
  InstanceRegistry* registry = readShared(exitingRegistry);
  if (registry != nullptr) registry->waitForOwnChunk();
}

// --- Election and list ----------------------------------------------------------

void InstanceRegistry::joinInstanceBlock() {
  if (block_ == nullptr) return;
  checkFirstInstance();
  pruneInstances();
  // The id goes into the free entry first and is counted after, with a
  // compare-and-swap, so that a launch at the same moment cannot count the
  // same entry twice.
  for (int attempt = 0; attempt < 8; ++attempt) {
    const int32_t count = readShared(block_->instanceCount);
    if (count < 0 || count >= kMaxListedInstances) {
      trace("instances: the list is full; this instance runs unlisted");
      return;
    }
    writeShared(block_->instanceIds[count], ownId_);
    if (compareAndSwapShared(block_->instanceCount, count, count + 1)) {
      trace("instances: joined as %d, listed at %d (first instance %d)", ownId_, count, firstInstanceId());
      return;
    }
  }
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
      if (!firstProcess_.open(first, block_)) continue;  // it ended meanwhile
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
  attachedFirstId_ = ownId_;
  attachedMutexValue_ = transferMutex_.value();
  attachedEventValue_ = changeEvent_.value();
}

// Takes the transport objects that the living first instance published,
// again whenever that instance or the values change.
void InstanceRegistry::attachToFirst() {
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
  if (readShared(block_->firstInstanceId) != knownFirstId_ || readShared(block_->firstMutexHandle) != mutexValue ||
      readShared(block_->firstEventHandle) != eventValue) {
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
  pruneInstances();
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
  receiver_ = holder;
  transportStarted_ = transport_.start(transportMain, this, false);
  if (transportStarted_) {
    writeShared(exitingRegistry, this);
    static std::once_flag registered;
    std::call_once(registered, [] { atexit(waitForOwnChunkAtExit); });
  }
  if (transportStarted_ && holder != nullptr) holder->started = 1;
  trace("instances: transport %s", transportStarted_ ? "started" : "could not be started");
  return transportStarted_;
}

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

void InstanceRegistry::flushQueue() {
  for (int look = 0; look < 100; ++look) {
    if (queueEmpty()) return;
    sleepMillis(50);
  }
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
      const int32_t target = readShared(block_->chunkTarget);
      if (target == ownId_) {
        complete = takeChunk();
        handled = true;
      } else if (chunkMayWait(target, now)) {
        continue;  // left for its addressee: nothing is sent meanwhile
      } else {
        writeShared(block_->bufferBusy, 0);
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

// Claims the free buffer under the transfer mutex and places the next chunk
// of the queue's head message. True when a chunk was placed (and the
// change pulsed).
bool InstanceRegistry::sendNextChunk() {
  OutgoingMessage* head = nullptr;
  {
    std::lock_guard<std::mutex> hold(queueLock_);
    if (!queue_.empty()) head = queue_.front().get();
  }
  if (head == nullptr || readShared(block_->bufferBusy) != 0 || !transferMutex_.isOpen()) return false;
  bool won = false;
  if (transferMutex_.lock(kClaimWaitMillis)) {
    if (readShared(block_->bufferBusy) == 0) {
      writeShared(block_->chunkTarget, 0);
      writeShared(block_->bufferBusy, 1);
      won = true;
    }
    transferMutex_.unlock();
  }
  if (!won) return false;
  placeChunk(*head);
  head->sentOffset += kChunkCapacity;
  if (static_cast<size_t>(head->sentOffset) >= head->bytes.size()) {
    std::lock_guard<std::mutex> hold(queueLock_);
    queue_.pop_front();
  }
  pulseChange();
  return true;
}

// The fields in this order, the data, and the target last: nobody takes the
// chunk before it is complete.
void InstanceRegistry::placeChunk(OutgoingMessage& message) {
  const int32_t length = static_cast<int32_t>(message.bytes.size());
  if (message.sentOffset == 0) message.messageId = incrementShared(block_->nextMessageId);
  const int32_t chunkLength = std::min(length - message.sentOffset, kChunkCapacity);
  writeShared(block_->chunkSender, ownId_);
  writeShared(block_->chunkCapacity, kChunkCapacity);
  writeShared(block_->messageId, message.messageId);
  writeShared(block_->chunkSequence, incrementShared(block_->nextChunkSequence));
  writeShared(block_->messageLength, length);
  writeShared(block_->lastChunkIndex, lastChunkIndexFor(length));
  writeShared(block_->chunkIndex, message.sentOffset / kChunkCapacity);
  writeShared(block_->chunkLength, chunkLength);
  writeShared(block_->bufferBusy, 1);
  writeShared(block_->deliveryWaits, 0);
  if (chunkLength > 0) memcpy(block_->chunkData, message.bytes.data() + message.sentOffset, chunkLength);
  writeShared(block_->chunkTarget, message.target);
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
  ChunkView chunk;
  chunk.sender = readShared(block_->chunkSender);
  chunk.messageId = readShared(block_->messageId);
  chunk.chunkIndex = readShared(block_->chunkIndex);
  chunk.lastChunkIndex = readShared(block_->lastChunkIndex);
  chunk.capacity = readShared(block_->chunkCapacity);
  chunk.messageLength = readShared(block_->messageLength);
  chunk.chunkLength = readShared(block_->chunkLength);
  const bool fits = chunkFitsTogether(chunk);
  uint8_t data[kChunkCapacity];
  if (fits && chunk.chunkLength > 0) memcpy(data, block_->chunkData, chunk.chunkLength);
  // The sender's user is checked with a message's first chunk, while the
  // chunk still holds the buffer: a sender does not end before its chunk
  // has been taken (waitForOwnChunk). Later chunks count only for a message
  // begun that way, by the same sender.
  const bool sameUser = !fits || chunk.chunkIndex != 0 || platform::runsAsSameUser(chunk.sender);
  // Copied out: the buffer is free for the next chunk.
  writeShared(block_->bufferBusy, 0);
  if (!fits || !sameUser) {
    trace("instances: chunk from %d dropped (%s)", chunk.sender, fits ? "another user" : "damaged");
    removePartial(chunk.messageId, chunk.sender);
    return nullptr;
  }
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
