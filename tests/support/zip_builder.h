// Builds ZIP archives in memory for tests, with ways to damage them: every
// field of an entry can be changed after it was added, and the archive's
// end record can claim several disks.
#ifndef XOQ_TESTS_SUPPORT_ZIP_BUILDER_H_
#define XOQ_TESTS_SUPPORT_ZIP_BUILDER_H_

#include <cstdint>
#include <string>
#include <vector>

namespace xoq {
namespace testing {

/// Raw deflate data (no zlib header) of `data`, best compression.
std::string deflateRaw(const std::string& data);
/// CRC-32 of `data`.
uint32_t crc32Of(const std::string& data);

/// One entry as it will be written. The fields start out true to the data
/// and may be changed to damage the archive.
struct ZipBuilderEntry {
  std::string name;       // as written to the central directory
  std::string localName;  // as written to the local header
  std::string body;       // the bytes after the local header
  uint16_t method = 0;
  uint16_t flags = 0;
  uint32_t crc = 0;
  uint32_t compressedSize = 0;  // in both headers
  uint32_t size = 0;            // in both headers
  uint16_t disk = 0;
  std::string extra;          // extra field of the local header
  std::string centralExtra;   // extra field of the central directory entry
  uint16_t dosTime = 0;       // 00:00:00
  uint16_t dosDate = 0x21;    // 1980-01-01
  int64_t headerOffset = -1;  // written offset of the local header; -1: the true one
};

/// How the end of an archive of many entries is written.
enum class Zip64End {
  kNone,           // the end record alone, its counts cut to 16 bits
  kArchiveOffset,  // ZIP64 end record and locator, the locator counting from the archive's first byte
  kFileOffset,     // the same, the locator counting from the first byte of what build() is put behind
};

class ZipBuilder {
 public:
  /// An entry kept as it is.
  ZipBuilder& stored(const std::string& name, const std::string& data);
  /// A deflated entry, even when deflating does not make it smaller.
  ZipBuilder& deflated(const std::string& name, const std::string& data);
  /// A directory entry; `name` should end in '/'.
  ZipBuilder& directory(const std::string& name) { return stored(name, ""); }

  /// The last entry added, to damage it.
  ZipBuilderEntry& last() { return entries_.back(); }
  std::vector<ZipBuilderEntry>& entries() { return entries_; }
  const std::vector<ZipBuilderEntry>& entries() const { return entries_; }

  /// The archive comment after the end record.
  ZipBuilder& comment(const std::string& text);
  /// Makes the end record claim that the archive spans several disks.
  ZipBuilder& splitOverDisks();
  /// Writes ZIP64 end records; `stubLength` is the number of bytes that
  /// will stand in front of the archive, for kFileOffset. With `saturate`,
  /// the end record's sizes say "see the ZIP64 record" as well.
  ZipBuilder& zip64End(Zip64End kind, size_t stubLength = 0, bool saturate = false);

  /// The archive: local headers and data, central directory, end record,
  /// comment.
  std::string build() const;

  /// Where the central directory starts in what build() returns.
  size_t centralDirectoryOffset() const;

 private:
  std::vector<ZipBuilderEntry> entries_;
  std::string comment_;
  bool split_ = false;
  Zip64End zip64_ = Zip64End::kNone;
  size_t stubLength_ = 0;
  bool saturate_ = false;
};

}  // namespace testing
}  // namespace xoq

#endif  // XOQ_TESTS_SUPPORT_ZIP_BUILDER_H_
