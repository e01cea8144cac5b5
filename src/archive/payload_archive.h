// The payload archive of the running executable: opened on first use by
// whichever thread needs it first, then shared by every thread that reads
// classes and resources.
#ifndef XOQ_ARCHIVE_PAYLOAD_ARCHIVE_H_
#define XOQ_ARCHIVE_PAYLOAD_ARCHIVE_H_

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "archive/archive_node.h"

namespace xoq {

/// An archive file opened once, on first use, from any number of threads.
/// The first caller opens the whole tree of nested archives under the open
/// lock; the others wait for it and then see the complete tree. A failed
/// opening is not retried: the archive then stays empty.
class LazyFileArchive {
 public:
  explicit LazyFileArchive(int32_t depth) : node_(depth) {}
  LazyFileArchive(const LazyFileArchive&) = delete;
  LazyFileArchive& operator=(const LazyFileArchive&) = delete;

  /// True once the first opening attempt has finished, whatever its outcome.
  bool attempted() const { return opened_.load(std::memory_order_acquire) != 0; }

  /// Opens the archive at `path` unless an attempt was made already, and
  /// returns the node.
  const ArchiveNode& ensureOpen(const std::string& path);

  /// The node; complete once attempted() is true.
  const ArchiveNode& node() const { return node_; }

 private:
  ArchiveNode node_;
  std::atomic<int32_t> opened_{0};
  std::mutex openLock_;
};

/// Opens the payload archive of the executable that theConfig names, on the
/// first call; later calls return at once. Never fails: an executable that
/// holds no readable archive gives an empty one.
const ArchiveNode& ensurePayloadArchiveOpen();

/// The payload archive node; empty until ensurePayloadArchiveOpen has run.
const ArchiveNode& payloadArchive();

}  // namespace xoq

#endif  // XOQ_ARCHIVE_PAYLOAD_ARCHIVE_H_
