#include "instances/instance_registry.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/instance_lock.h"

namespace xoq {
namespace {

// No process runs with this id on either system.
constexpr int32_t kEndedId = 0x7ffffff0;

std::string pattern(size_t length, int seed) {
  std::string bytes(length, '\0');
  for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<char>((i * 13 + seed) & 0xff);
  return bytes;
}

ChunkKey keyOf(uint8_t seed) {
  ChunkKey key;
  for (size_t i = 0; i < key.size(); ++i) key[i] = static_cast<uint8_t>(seed + 7 * i);
  return key;
}

class InstanceRegistryTest : public ::testing::Test {
 protected:
  InstanceRegistryTest() : block_(new InstanceBlock()), own_(platform::currentProcessId()), key_(keyOf(1)) {
    memset(block_.get(), 0, sizeof *block_);
  }

  // A registry on the block that takes chunks tagged with key_.
  std::unique_ptr<InstanceRegistry> receiver() {
    auto registry = std::make_unique<InstanceRegistry>(block_.get(), own_);
    registry->useChunkKey(key_);
    return registry;
  }

  // Writes chunk `index` of `message` into the buffer as a sender would,
  // tagged with `key` for `target`, with a stamp newer than any before.
  void writeChunk(const std::string& message, int32_t index, int32_t messageId, int32_t sender,
                  const ChunkKey* key = nullptr, int32_t target = 0) {
    const int32_t length = static_cast<int32_t>(message.size());
    ChunkHeader header;
    header.sender = sender;
    header.target = target != 0 ? target : own_;
    header.messageId = messageId;
    header.chunkIndex = index;
    header.lastChunkIndex = length == 0 ? 0 : (length - 1) / kChunkCapacity;
    header.capacity = kChunkCapacity;
    header.messageLength = length;
    header.chunkLength = std::min(length - index * kChunkCapacity, kChunkCapacity);
    header.stamp = stamp_ = std::max(stamp_ + 1, platform::monotonicMillis() * 1000);
    const uint8_t* data = reinterpret_cast<const uint8_t*>(message.data()) + index * kChunkCapacity;
    const ChunkTag tag = ChunkSigner(key != nullptr ? *key : key_).tag(header, data);
    block_->chunkSender = sender;
    block_->chunkCapacity = kChunkCapacity;
    block_->messageId = messageId;
    block_->chunkSequence++;
    block_->messageLength = length;
    block_->lastChunkIndex = header.lastChunkIndex;
    block_->chunkIndex = index;
    block_->chunkLength = header.chunkLength;
    block_->bufferBusy = 1;
    memcpy(block_->chunkData, data, block_->chunkLength);
    block_->chunkStamp = header.stamp;
    memcpy(block_->chunkTag, tag.data(), tag.size());
    block_->chunkTarget = own_;
  }

  std::unique_ptr<InstanceBlock> block_;
  const int32_t own_;
  const ChunkKey key_;
  uint64_t stamp_ = 0;
};

TEST_F(InstanceRegistryTest, FirstLaunchClaimsTheEmptyBlockAndPublishesItsTransportObjects) {
  InstanceRegistry registry(block_.get(), own_);
  registry.joinInstanceBlock();
  EXPECT_EQ(block_->firstInstanceId, own_);
  EXPECT_NE(block_->firstMutexHandle, 0u);
  EXPECT_NE(block_->firstEventHandle, 0u);
  // The first instance lives in firstInstanceId; its list entry goes with
  // the next prune.
  EXPECT_EQ(registry.getInstances(), std::vector<int32_t>{own_});
  EXPECT_EQ(block_->instanceCount, 0);
}

TEST_F(InstanceRegistryTest, ANewLaunchTakesOverFromAnEndedFirstInstanceWithObjectsOfItsOwn) {
  block_->firstInstanceId = kEndedId;
  block_->firstMutexHandle = 0x1234;  // values that meant something in the ended process only
  block_->firstEventHandle = 0x5678;
  block_->instanceCount = 3;
  block_->instanceIds[0] = kEndedId - 1;
  block_->instanceIds[1] = kEndedId - 2;
  block_->instanceIds[2] = kEndedId - 1;
  InstanceRegistry registry(block_.get(), own_);
  registry.joinInstanceBlock();
  EXPECT_EQ(block_->firstInstanceId, own_);
  EXPECT_NE(block_->firstMutexHandle, 0x1234u);
  EXPECT_NE(block_->firstEventHandle, 0x5678u);
  EXPECT_NE(block_->firstMutexHandle, 0u);
  EXPECT_EQ(block_->instanceCount, 1) << "ended instances are pruned before joining";
  EXPECT_EQ(block_->instanceIds[0], own_);
}

TEST_F(InstanceRegistryTest, ChunksAreReassembledInOrderAndABrokenMessageIsDropped) {
  std::unique_ptr<InstanceRegistry> taker = receiver();
  InstanceRegistry& registry = *taker;
  const std::string message = pattern(2500, 1);
  // Chunk 1 never comes: the message cannot be whole.
  writeChunk(message, 0, 7, own_);
  EXPECT_EQ(registry.takeChunk(), nullptr);
  EXPECT_EQ(registry.partialCount(), 1u);
  writeChunk(message, 2, 7, own_);
  EXPECT_EQ(registry.takeChunk(), nullptr);
  EXPECT_EQ(registry.partialCount(), 0u);

  std::unique_ptr<PartialMessage> complete;
  for (int32_t index = 0; index < 3; ++index) {
    EXPECT_EQ(complete, nullptr);
    writeChunk(message, index, 8, own_);
    complete = registry.takeChunk();
    EXPECT_EQ(block_->bufferBusy, 0);
  }
  ASSERT_NE(complete, nullptr);
  EXPECT_EQ(complete->bytes, message);
  EXPECT_EQ(complete->sender, own_);
  EXPECT_EQ(registry.partialCount(), 0u);

  // An empty message is one chunk of length 0.
  writeChunk(std::string(), 0, 9, own_);
  complete = registry.takeChunk();
  ASSERT_NE(complete, nullptr);
  EXPECT_EQ(complete->bytes, "");
}

TEST_F(InstanceRegistryTest, ChunksWhoseFieldsDoNotFitTogetherAreDropped) {
  std::unique_ptr<InstanceRegistry> taker = receiver();
  InstanceRegistry& registry = *taker;
  const std::string message = pattern(3000, 2);
  struct Damage {
    const char* what;
    void (*apply)(InstanceBlock&);
  };
  const Damage damages[] = {
      {"chunkLength beyond the buffer", [](InstanceBlock& b) { b.chunkLength = 1025; }},
      {"chunkLength not what the index holds", [](InstanceBlock& b) { b.chunkLength = 100; }},
      {"negative chunkLength", [](InstanceBlock& b) { b.chunkLength = -1; }},
      {"chunkIndex beyond lastChunkIndex", [](InstanceBlock& b) { b.chunkIndex = 3; }},
      {"lastChunkIndex that the length does not have", [](InstanceBlock& b) { b.lastChunkIndex = 5; }},
      {"negative messageLength", [](InstanceBlock& b) { b.messageLength = -3000; }},
      {"messageLength beyond the limit", [](InstanceBlock& b) { b.messageLength = kMaxMessageLength + 1; }},
      {"another chunk capacity", [](InstanceBlock& b) { b.chunkCapacity = 2048; }},
  };
  for (const Damage& damage : damages) {
    writeChunk(message, 0, 11, own_);
    damage.apply(*block_);
    EXPECT_EQ(registry.takeChunk(), nullptr) << damage.what;
    EXPECT_EQ(block_->bufferBusy, 0) << damage.what;
    EXPECT_EQ(registry.partialCount(), 0u) << damage.what;
  }
  // From a process whose user cannot be told (it has ended): dropped.
  writeChunk(message, 0, 13, kEndedId);
  EXPECT_EQ(registry.takeChunk(), nullptr);
  EXPECT_EQ(registry.partialCount(), 0u);
  // A later chunk whose length differs from the one the message began with.
  writeChunk(message, 0, 12, own_);
  EXPECT_EQ(registry.takeChunk(), nullptr);
  writeChunk(pattern(5000, 2), 1, 12, own_);
  EXPECT_EQ(registry.takeChunk(), nullptr);
  EXPECT_EQ(registry.partialCount(), 0u);
}

TEST_F(InstanceRegistryTest, OnlyChunksTaggedWithTheUsersKeyForThisInstanceAreTaken) {
  std::unique_ptr<InstanceRegistry> registry = receiver();
  const std::string message = pattern(2500, 5);
  const ChunkKey otherKey = keyOf(2);
  // A process without the key names this instance as the sender: dropped,
  // and nothing begun.
  writeChunk(message, 0, 30, own_, &otherKey);
  EXPECT_EQ(registry->takeChunk(), nullptr);
  EXPECT_EQ(registry->partialCount(), 0u);
  EXPECT_EQ(block_->bufferBusy, 0);
  // A real message begins; a chunk that would continue it, from a process
  // without the key, is dropped without harm to it.
  writeChunk(message, 0, 31, own_);
  EXPECT_EQ(registry->takeChunk(), nullptr);
  ASSERT_EQ(registry->partialCount(), 1u);
  writeChunk(pattern(2500, 6), 1, 31, own_, &otherKey);
  EXPECT_EQ(registry->takeChunk(), nullptr);
  // The same with the right key, but data changed after the tag was made.
  writeChunk(message, 1, 31, own_);
  block_->chunkData[100] ^= 1;
  EXPECT_EQ(registry->takeChunk(), nullptr);
  // Tagged for another instance, and put in the buffer for this one.
  writeChunk(message, 1, 31, own_, nullptr, own_ + 1);
  EXPECT_EQ(registry->takeChunk(), nullptr);
  EXPECT_EQ(registry->partialCount(), 1u);
  // The real chunks go on with the message, which arrives whole.
  writeChunk(message, 1, 31, own_);
  EXPECT_EQ(registry->takeChunk(), nullptr);
  // The chunk taken just now, given again from a copy of the block: dropped.
  InstanceBlock copy = *block_;
  writeChunk(message, 2, 31, own_);
  InstanceBlock last = *block_;
  *block_ = copy;
  block_->bufferBusy = 1;
  EXPECT_EQ(registry->takeChunk(), nullptr);
  *block_ = last;
  std::unique_ptr<PartialMessage> complete = registry->takeChunk();
  ASSERT_NE(complete, nullptr);
  EXPECT_EQ(complete->bytes, message);
  // A whole message recorded before this instance began is not for it.
  writeChunk(pattern(10, 7), 0, 32, own_);
  copy = *block_;
  while (platform::monotonicMillis() * 1000 <= copy.chunkStamp)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  std::unique_ptr<InstanceRegistry> later = receiver();
  EXPECT_EQ(later->takeChunk(), nullptr);
  *block_ = copy;
  EXPECT_NE(registry->takeChunk(), nullptr) << "the instance that was there takes it";
}

TEST_F(InstanceRegistryTest, IncompleteMessagesAreDroppedWhenTheirSenderEndsOrTheyStall) {
  std::unique_ptr<InstanceRegistry> taker = receiver();
  InstanceRegistry& registry = *taker;
  writeChunk(pattern(2000, 3), 0, 20, own_);
  EXPECT_EQ(registry.takeChunk(), nullptr);
  ASSERT_EQ(registry.partialCount(), 1u);
  const uint64_t now = platform::monotonicMillis();
  registry.dropStalePartials(now);
  EXPECT_EQ(registry.partialCount(), 1u) << "its sender runs and its last chunk is recent";
  registry.dropStalePartials(now + InstanceRegistry::kPartialIdleMillis + 1000);
  EXPECT_EQ(registry.partialCount(), 0u) << "no chunk for a minute";
}

TEST_F(InstanceRegistryTest, ALateLookNeitherFreesNorDropsABufferClaimedSince) {
  InstanceRegistry sender(block_.get(), own_);
  sender.joinInstanceBlock();  // the first instance: it holds the transfer mutex
  InstanceRegistry other(block_.get(), kEndedId - 5);
  // A chunk for an addressee that has ended, after more than ten waits.
  block_->bufferBusy = 1;
  block_->chunkSequence = 5;
  block_->chunkTarget = kEndedId;
  block_->deliveryWaits = InstanceRegistry::kMaxDeliveryWaits + 1;
  // Two instances look at it, and each goes to drop it. The first one does,
  // and a sender claims the free buffer at once.
  EXPECT_FALSE(other.chunkMayWait(kEndedId, 0));
  EXPECT_TRUE(sender.releaseBuffer(5, kEndedId));
  const int32_t claim = sender.claimBuffer();
  ASSERT_GE(claim, 0);
  EXPECT_NE(claim, 5);
  EXPECT_EQ(block_->deliveryWaits, 0) << "the waits of the dropped chunk go with it";
  // The second one's drop comes too late: the claim stays, and no other
  // sender can claim the buffer while the first one fills it.
  EXPECT_FALSE(other.releaseBuffer(5, kEndedId));
  EXPECT_EQ(block_->bufferBusy, 1);
  EXPECT_TRUE(other.chunkMayWait(0, 0)) << "a fresh claim is not taken for a chunk that waited too long";
  EXPECT_EQ(sender.claimBuffer(), -1);
  EXPECT_TRUE(sender.releaseBuffer(claim, 0));
  EXPECT_EQ(block_->bufferBusy, 0);
}

TEST(InstanceMutexName, IsThePathWithColonsAndBackslashesAsDots) {
  EXPECT_EQ(platform::instanceMutexName("C:\\Apps\\tool.exe"), "C..Apps.tool.exe.xoq");
  EXPECT_EQ(platform::instanceMutexName("C:\\Apps\\TOOL.exe"), "C..Apps.TOOL.exe.xoq");
  EXPECT_EQ(platform::instanceMutexName("Z:\\tmp/x y\\a.exe"), "Z..tmp/x y.a.exe.xoq");
}

}  // namespace
}  // namespace xoq
