// Writes a ZIP archive into an open file, starting wherever the file stands:
// every offset inside the archive counts from the archive's own first byte,
// so the archive can follow the launcher image and the configuration block.
// Entry data is streamed; only the central directory is kept in memory.
#ifndef XOQPACK_ZIP_WRITER_H_
#define XOQPACK_ZIP_WRITER_H_

#include <cstdint>
#include <cstdio>
#include <string>

#include "entry_time.h"

namespace xoq {

class ZipWriter {
 public:
  /// Writes to `out` from its current position on, every entry stamped
  /// with `time`. `out` stays the caller's; the writer only appends and
  /// patches its own headers.
  explicit ZipWriter(std::FILE* out, DosTime time = kFixedEntryTime);

  /// A directory entry; `name` ends in '/'.
  bool addDirectory(const std::string& name);

  /// An entry from memory, deflated when `deflate` is set and deflating makes
  /// it smaller, stored otherwise. A `unixMode` other than 0 is recorded as
  /// the file's Unix permissions (the entry then says it was made on Unix).
  /// `centralExtra` goes into the entry's central directory extra field.
  bool addBytes(const std::string& name, const std::string& data, bool deflate, uint32_t unixMode = 0,
                const std::string& centralExtra = std::string());

  /// An entry copied from the file at `path` without compression, streamed
  /// in blocks, so that jars of any size cost no memory.
  bool addFileStored(const std::string& name, const std::string& path, const std::string& centralExtra = std::string());

  /// Bytes that belong to no entry, written where the archive stands (after
  /// the entries so far, before the central directory), copied from the
  /// file at `path`; `offset` is their first byte's, from the archive's
  /// first byte. ZIP readers go by the central directory and pass over them.
  bool addUnlistedBytes(const std::string& path, uint32_t& offset, uint64_t& length);

  /// Writes the central directory, the ZIP64 end record and locator when
  /// there are 65535 entries or more, the end record and `comment` after it.
  /// On success `archiveLength` is the archive's size without the comment,
  /// `centralDirectory` holds the bytes written from the central directory
  /// up to the end record, `endRecord` those of the end record.
  bool finish(const std::string& comment, uint32_t& archiveLength, std::string& centralDirectory,
              std::string& endRecord);

  /// What went wrong, for the one line xoqpack prints.
  const std::string& error() const { return error_; }

 private:
  bool writeLocalHeader(const std::string& name, uint16_t method, uint32_t crc, uint32_t compressedSize, uint32_t size,
                        uint32_t& headerOffset);
  void addCentralEntry(const std::string& name, uint16_t method, uint32_t crc, uint32_t compressedSize, uint32_t size,
                       uint32_t headerOffset, bool directory, uint32_t unixMode = 0,
                       const std::string& extra = std::string());
  bool write(const void* data, size_t length);
  bool fail(const std::string& message);

  std::FILE* out_;
  DosTime time_;
  int64_t start_;     // file offset of the archive's first byte
  uint64_t written_;  // bytes of the archive so far
  uint32_t entries_ = 0;
  std::string central_;
  std::string error_;
};

}  // namespace xoq

#endif  // XOQPACK_ZIP_WRITER_H_
