#include "instances/instance_registry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
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

class InstanceRegistryTest : public ::testing::Test {
 protected:
  InstanceRegistryTest() : block_(new InstanceBlock()), own_(platform::currentProcessId()) {
    memset(block_.get(), 0, sizeof *block_);
  }

  // Writes chunk `index` of `message` into the buffer as a sender would.
  void writeChunk(const std::string& message, int32_t index, int32_t messageId, int32_t sender) {
    const int32_t length = static_cast<int32_t>(message.size());
    block_->chunkSender = sender;
    block_->chunkCapacity = kChunkCapacity;
    block_->messageId = messageId;
    block_->messageLength = length;
    block_->lastChunkIndex = length == 0 ? 0 : (length - 1) / kChunkCapacity;
    block_->chunkIndex = index;
    block_->chunkLength = std::min(length - index * kChunkCapacity, kChunkCapacity);
    block_->bufferBusy = 1;
    memcpy(block_->chunkData, message.data() + index * kChunkCapacity, block_->chunkLength);
    block_->chunkTarget = own_;
  }

  std::unique_ptr<InstanceBlock> block_;
  const int32_t own_;
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
  InstanceRegistry registry(block_.get(), own_);
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
  InstanceRegistry registry(block_.get(), own_);
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

TEST_F(InstanceRegistryTest, IncompleteMessagesAreDroppedWhenTheirSenderEndsOrTheyStall) {
  InstanceRegistry registry(block_.get(), own_);
  writeChunk(pattern(2000, 3), 0, 20, own_);
  EXPECT_EQ(registry.takeChunk(), nullptr);
  ASSERT_EQ(registry.partialCount(), 1u);
  const uint64_t now = platform::monotonicMillis();
  registry.dropStalePartials(now);
  EXPECT_EQ(registry.partialCount(), 1u) << "its sender runs and its last chunk is recent";
  registry.dropStalePartials(now + InstanceRegistry::kPartialIdleMillis + 1000);
  EXPECT_EQ(registry.partialCount(), 0u) << "no chunk for a minute";
}

TEST(InstanceMutexName, IsThePathWithColonsAndBackslashesAsDots) {
  EXPECT_EQ(platform::instanceMutexName("C:\\Apps\\tool.exe"), "C..Apps.tool.exe.xoq");
  EXPECT_EQ(platform::instanceMutexName("C:\\Apps\\TOOL.exe"), "C..Apps.TOOL.exe.xoq");
  EXPECT_EQ(platform::instanceMutexName("Z:\\tmp/x y\\a.exe"), "Z..tmp/x y.a.exe.xoq");
}

}  // namespace
}  // namespace xoq
