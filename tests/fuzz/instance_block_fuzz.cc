// The instance block as another process may leave it: anything at all,
// but for the platform's own objects in its tail. The input is a run of
// 3072-byte blocks (the last one padded with zeros), each in turn the
// content of the block; for each one the registry takes the chunk, elects
// the first instance and walks the instance list. The first input byte's
// low bit makes this process the chunk's sender and tags the chunk with the
// registry's key (so that the chunk is not dropped as another user's or as
// not authentic, and reassembly is reached).
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "instances/chunk_tag.h"
#include "instances/instance_registry.h"
#include "platform/instance_block.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const bool ownChunks = (data[0] & 1) != 0;
  auto block = std::make_unique<xoq::InstanceBlock>();
  const int32_t own = static_cast<int32_t>(getpid());
  xoq::InstanceRegistry registry(block.get(), own);
  xoq::ChunkKey key;
  key.fill(0x5a);
  registry.useChunkKey(key);
  const xoq::ChunkSigner signer(key);
  uint64_t stamp = UINT64_MAX / 2;
  for (size_t offset = 1; offset < size; offset += xoq::kInstanceBlockSize) {
    const size_t length = size - offset < xoq::kInstanceBlockSize ? size - offset : xoq::kInstanceBlockSize;
    // The platform's part of the reserved tail (Linux keeps its transfer
    // mutex there) stays as the platform made it: the protocol reads
    // nothing of it, and only the user's own processes can write it.
    uint8_t platformPart[sizeof block->reservedTail];
    memcpy(platformPart, block->reservedTail, sizeof platformPart);
    memset(block.get(), 0, sizeof *block);
    memcpy(block.get(), data + offset, length);
    memcpy(block->reservedTail, platformPart, sizeof platformPart);
    // As the transport thread finds a chunk it takes: full, and for it.
    block->bufferBusy = 1;
    block->chunkTarget = own;
    if (ownChunks && block->chunkLength >= 0 && block->chunkLength <= xoq::kChunkCapacity) {
      block->chunkSender = own;
      xoq::ChunkHeader header;
      header.sender = own;
      header.target = own;
      header.messageId = block->messageId;
      header.chunkIndex = block->chunkIndex;
      header.lastChunkIndex = block->lastChunkIndex;
      header.capacity = block->chunkCapacity;
      header.messageLength = block->messageLength;
      header.chunkLength = block->chunkLength;
      header.stamp = block->chunkStamp = ++stamp;
      const xoq::ChunkTag tag = signer.tag(header, block->chunkData);
      memcpy(block->chunkTag, tag.data(), tag.size());
    }
    const int32_t declared = block->messageLength;
    std::unique_ptr<xoq::PartialMessage> complete = registry.takeChunk();
    if (block->bufferBusy != 0) abort();  // the buffer is always freed
    if (complete) {
      // Whole, as declared, and never beyond the limit.
      if (complete->bytes.size() != static_cast<size_t>(declared)) abort();
      if (complete->bytes.size() > static_cast<size_t>(xoq::kMaxMessageLength)) abort();
    }
    if (registry.partialCount() > xoq::InstanceRegistry::kMaxPartials) abort();
    registry.checkFirstInstance();
    const std::vector<int32_t> instances = registry.getInstances();
    if (instances.empty() || instances.size() > 1 + static_cast<size_t>(xoq::kMaxListedInstances)) abort();
    if (block->instanceCount < 0 || block->instanceCount > xoq::kMaxListedInstances) abort();
  }
  registry.dropStalePartials(UINT64_MAX);
  if (registry.partialCount() != 0) abort();
  return 0;
}
