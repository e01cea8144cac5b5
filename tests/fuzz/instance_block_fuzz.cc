// The instance block as another process may leave it: anything at all. The
// input is a run of 3072-byte blocks (the last one padded with zeros), each
// in turn the content of the block; for each one the registry takes the
// chunk, elects the first instance and walks the instance list. The first
// input byte's low bit makes this process the chunk's sender (so that the
// chunk is not dropped as another user's and reassembly is reached).
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "instances/instance_block.h"
#include "instances/instance_registry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const bool ownChunks = (data[0] & 1) != 0;
  auto block = std::make_unique<xoq::InstanceBlock>();
  const int32_t own = static_cast<int32_t>(getpid());
  xoq::InstanceRegistry registry(block.get(), own);
  for (size_t offset = 1; offset < size; offset += xoq::kInstanceBlockSize) {
    const size_t length = size - offset < xoq::kInstanceBlockSize ? size - offset : xoq::kInstanceBlockSize;
    memset(block.get(), 0, sizeof *block);
    memcpy(block.get(), data + offset, length);
    if (ownChunks) block->chunkSender = own;
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
