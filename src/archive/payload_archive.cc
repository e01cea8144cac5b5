#include "archive/payload_archive.h"

#include "config/config_store.h"

namespace xoq {

namespace {

// Made at process start and never destroyed: System.exit runs the exit-time
// destructors while other Java threads may still be inside a native reading
// from the archive, and the mapping must outlive them all. The system
// releases it with the process.
LazyFileArchive* const thePayloadArchive = new LazyFileArchive(kPayloadNestingDepth);

}  // namespace

const ArchiveNode& LazyFileArchive::ensureOpen(const std::string& path) {
  if (opened_.load(std::memory_order_acquire) != 0) return node_;
  std::lock_guard<std::mutex> guard(openLock_);
  if (opened_.load(std::memory_order_relaxed) == 0) {
    openArchiveFile(node_, path);
    // Published only now, so that no thread reaches a half-built tree.
    opened_.store(1, std::memory_order_release);
  }
  return node_;
}

const ArchiveNode& ensurePayloadArchiveOpen() {
  if (thePayloadArchive->attempted()) return thePayloadArchive->node();
  return thePayloadArchive->ensureOpen(theConfig != nullptr ? theConfig->executablePath() : std::string());
}

const ArchiveNode& payloadArchive() { return thePayloadArchive->node(); }

}  // namespace xoq
