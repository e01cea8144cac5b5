// The ZIP container, read straight from bytes that someone else keeps alive:
// the executable's read-only mapping for the payload archive, the parent's
// bytes for a nested archive. Only the central directory is parsed up front;
// entry data is located and decompressed when it is asked for. A reader whose
// archive lies in a file can read its central directory into memory of its
// own and later let go of the input (openHeld, forgetInput), so that the file
// need not stay mapped.
//
// The file may be truncated, damaged or hostile, so every size and offset is
// checked against the input before it is used, and a deflated entry may claim
// no more than deflate can produce from its data. What cannot be read safely
// (other methods, encryption, split archives, anything beyond 4 GB) is
// refused with a reason that the caller can trace.
//
// ZIP64: the end record and its locator are read for archives of more than
// 65535 entries, and an entry's ZIP64 extra field for sizes and offsets that
// its header leaves to it. The values themselves must still fit 32 bits: the
// inputs are a mapped executable or a jar held in memory.
#ifndef XOQ_ARCHIVE_ZIP_READER_H_
#define XOQ_ARCHIVE_ZIP_READER_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace xoq {

/// Deflate's best case turns 2 bits into a 258-byte match: an entry cannot
/// honestly claim more than this many bytes per compressed byte.
constexpr uint64_t kMaxDeflateRatio = 1032;

/// One entry of the central directory, as read and checked at opening.
struct ZipEntry {
  uint32_t nameOffset = 0;  // of the name bytes, from the start of the input
  uint16_t nameLength = 0;
  uint16_t flags = 0;
  uint16_t method = 0;
  uint16_t disk = 0;
  uint32_t crc = 0;
  uint32_t compressedSize = 0;
  uint32_t size = 0;
  uint32_t localHeaderOffset = 0;  // from the archive's first byte
  uint8_t refusal = 0;             // why the entry cannot be read, if its directory entry says so already
};

/// When an entry was last changed, as its central directory entry says:
/// the DOS date and time (local time of the machine that wrote it) and,
/// when an extended timestamp or NTFS times are present, the exact moment.
struct EntryTime {
  uint32_t dos = 0;          // date in the high 16 bits, time in the low 16
  bool hasUnixTime = false;  // the extra field gave the moment itself
  int64_t unixMillis = 0;    // milliseconds since 1970-01-01 00:00 UTC
};

/// The CRC-32 of `size` bytes at `data` (nothing read when `size` is 0).
uint32_t entryCrc32(const uint8_t* data, uint32_t size);

/// A raw-deflate decompressor kept between entries, so that a read does not
/// set up and tear down its state every time. One user at a time. Linux
/// builds use libdeflate, which inflates a whole entry at once about twice as
/// fast as zlib; Windows builds use zlib.
class Inflater {
 public:
  Inflater() = default;
  ~Inflater();
  Inflater(const Inflater&) = delete;
  Inflater& operator=(const Inflater&) = delete;

  /// Inflates exactly `size` bytes from the raw deflate stream `data` into
  /// `out`; null on success, otherwise why the stream does not hold exactly
  /// that (damaged, shorter or longer).
  const char* inflateExactly(const uint8_t* data, uint32_t length, uint8_t* out, uint32_t size);

 private:
  void* stream_ = nullptr;  // the library's state, created on first use
};

class ZipReader {
 public:
  ZipReader() = default;
  ZipReader(const ZipReader&) = delete;
  ZipReader& operator=(const ZipReader&) = delete;

  /// Reads the central directory of the archive that ends `data`: the end
  /// record may be followed by a comment or other trailing bytes, and the
  /// archive may be preceded by anything (the launcher image). The bytes must
  /// outlive the reader. Null on success, otherwise why it cannot be read;
  /// the reader then holds no entries.
  const char* open(const uint8_t* data, size_t size);

  /// Reads `length` bytes from `position` of the input into `into`; false
  /// when they cannot be read.
  using DirectoryReader = bool (*)(const void* context, uint64_t position, void* into, size_t length);

  /// As open, but the central directory is read with `reader` into memory
  /// of the reader's own before it is parsed: names, times and extra fields
  /// come from that copy, and the input's pages that hold the directory are
  /// never touched. The input is still read for the end records and by
  /// locate, until forgetInput. With a null `reader`, the same as open.
  const char* openHeld(const uint8_t* data, size_t size, DirectoryReader reader, const void* context);
  /// Stops reading the input of a reader opened with openHeld: data() is
  /// null afterwards and locate refuses, as entry data is read from where
  /// the input lies.
  void forgetInput();
  /// Heap bytes of the directory copy that openHeld made.
  size_t heldBytes() const { return held_ != nullptr ? heldSize_ : 0; }

  bool isOpen() const { return open_; }

  /// The entries in central-directory order.
  const std::vector<ZipEntry>& entries() const { return entries_; }

  /// The entry's name as stored, '/' separators and all.
  std::string_view name(const ZipEntry& entry) const { return text(entry.nameOffset, entry.nameLength); }

  /// `length` bytes of the central directory from `offset` of the input (a
  /// name or part of one), as text.
  std::string_view text(uint32_t offset, uint16_t length) const {
    return std::string_view(reinterpret_cast<const char*>(at(offset)), length);
  }

  /// The entry's modification time from its central directory entry; reads
  /// nothing of the entry's data.
  EntryTime modificationTime(const ZipEntry& entry) const;

  /// The data of the block `tag` in the entry's central directory extra
  /// field (the last one when there are several); null when it has none.
  const uint8_t* extraBlock(const ZipEntry& entry, uint16_t tag, uint16_t& size) const;

  /// The Unix file mode that the entry's central directory entry records
  /// (its external attributes' high 16 bits when it was made on Unix); 0
  /// when it records none.
  uint32_t unixMode(const ZipEntry& entry) const;

  /// Finds the stored bytes of `entry` and checks that the entry can be read
  /// at all: method 0 or 8, not encrypted, on the only disk, its local header
  /// and data inside the archive in front of the central directory, a stored
  /// entry as long as its size, a deflated one within deflate's ratio. Null
  /// on success with `stored` pointing at the data, otherwise why not. Reads
  /// only bytes that never change, so any thread may call it. Refused after
  /// forgetInput: the data is then read from the file (findLocalHeader and
  /// findData).
  const char* locate(const ZipEntry& entry, const uint8_t*& stored) const;

  /// The fixed part of a local file header.
  static constexpr uint64_t kLocalHeaderLength = 30;

  /// locate in two steps, for a caller that reads the local header itself
  /// rather than through data(): the first checks what the central
  /// directory says and gives where the local header starts in the input;
  /// the second takes that header's fixed `kLocalHeaderLength` bytes and
  /// gives where the data starts. Null on success, otherwise why not.
  const char* findLocalHeader(const ZipEntry& entry, uint64_t& header) const;
  const char* findData(const ZipEntry& entry, uint64_t header, const uint8_t* fixed, uint64_t& start) const;

  /// Produces the `entry.size` bytes of an entry that `locate` accepted into
  /// `out` and checks their CRC-32. Null on success, otherwise why not; `out`
  /// then holds garbage. `inflater` is only used for deflated entries.
  static const char* extract(const ZipEntry& entry, const uint8_t* stored, uint8_t* out, Inflater& inflater);

  /// The bytes the reader reads from (null after forgetInput), the input's
  /// size, and the archive's first byte in it.
  const uint8_t* data() const { return data_; }
  size_t size() const { return size_; }
  uint64_t archiveStart() const { return archiveStart_; }

 private:
  struct EndRecord {
    uint64_t disk, directoryDisk, entriesHere, entries, directorySize, directoryOffset;
  };
  bool readZip64End(uint64_t position, EndRecord& end, uint64_t& directoryEnd) const;
  const char* readDirectory(uint64_t directoryStart, uint64_t directorySize, uint64_t count);
  const uint8_t* extraField(const ZipEntry& entry, uint16_t& length) const;
  // The byte at `position` of the central directory: in the held copy when
  // there is one.
  const uint8_t* at(uint64_t position) const {
    return held_ != nullptr ? held_.get() + (position - directoryStart_) : data_ + position;
  }

  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
  uint64_t archiveStart_ = 0;    // absolute position of the archive's first byte
  uint64_t directoryStart_ = 0;  // absolute position of the central directory
  std::unique_ptr<uint8_t[]> held_;
  size_t heldSize_ = 0;
  bool open_ = false;
  std::vector<ZipEntry> entries_;
};

}  // namespace xoq

#endif  // XOQ_ARCHIVE_ZIP_READER_H_
