#include "archive/zip_reader.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "archive/byte_order.h"

namespace xoq {

namespace {

constexpr uint8_t kEndSignature[4] = {'P', 'K', 5, 6};
constexpr uint8_t kCentralSignature[4] = {'P', 'K', 1, 2};
constexpr uint8_t kLocalSignature[4] = {'P', 'K', 3, 4};
constexpr uint64_t kEndRecordLength = 22;
constexpr uint64_t kCentralHeaderLength = 46;
constexpr uint64_t kLocalHeaderLength = 30;
// An archive comment is at most 65535 bytes, but a signed executable carries
// its signature after the archive too; the payload locator looks as far back
// as a hundredth of the file, so the reader does the same.
constexpr uint64_t kMinimumSearch = 0xFFFF;
// Offsets inside the archive are 32-bit; ZIP64 is not read.
constexpr uint64_t kLargestArchiveEnd = 0xFFFFFFFFu;

constexpr uint16_t kFlagEncrypted = 1;
constexpr uint16_t kMethodStored = 0;
constexpr uint16_t kMethodDeflated = 8;

bool hasSignature(const uint8_t* p, const uint8_t (&signature)[4]) { return memcmp(p, signature, 4) == 0; }

}  // namespace

// ---------------------------------------------------------------------------
// ZipReader

const char* ZipReader::open(const uint8_t* data, size_t size) {
  open_ = false;
  entries_.clear();
  data_ = data;
  size_ = size;
  if (data == nullptr || size < kEndRecordLength) return "too short for an archive";

  // The last end record, searching backwards, whose central directory fits
  // in front of it: a comment or trailing bytes may contain the signature
  // too, and are skipped when what they point at does not add up.
  const uint64_t total = size;
  const uint64_t search = std::max<uint64_t>(total / 100, kMinimumSearch) + kEndRecordLength;
  const uint64_t lowest = total > search ? total - search : 0;
  for (uint64_t position = total - kEndRecordLength + 1; position-- > lowest;) {
    const uint8_t* record = data + position;
    if (!hasSignature(record, kEndSignature)) continue;
    const uint16_t disk = readLittle16(record + 4);
    const uint16_t directoryDisk = readLittle16(record + 6);
    const uint16_t entriesHere = readLittle16(record + 8);
    const uint16_t entries = readLittle16(record + 10);
    const uint64_t directorySize = readLittle32(record + 12);
    const uint64_t directoryOffset = readLittle32(record + 16);
    if (directorySize + directoryOffset > position) continue;
    if (entries * kCentralHeaderLength > directorySize) continue;
    const uint64_t directoryStart = position - directorySize;
    if (entries > 0 && !hasSignature(data + directoryStart, kCentralSignature)) continue;

    if (disk != 0 || directoryDisk != 0 || entriesHere != entries) return "split over several disks";
    if (position + kEndRecordLength > kLargestArchiveEnd) return "larger than 4 GB";
    archiveStart_ = position - directorySize - directoryOffset;
    directoryStart_ = directoryStart;
    const char* failure = readDirectory(directoryStart, directorySize, entries);
    if (failure != nullptr) {
      entries_.clear();
      entries_.shrink_to_fit();
      return failure;
    }
    open_ = true;
    return nullptr;
  }
  return "no end-of-central-directory record";
}

const char* ZipReader::readDirectory(uint64_t directoryStart, uint64_t directorySize, uint32_t count) {
  entries_.reserve(count);
  const uint64_t end = directoryStart + directorySize;
  uint64_t position = directoryStart;
  for (uint32_t i = 0; i < count; ++i) {
    if (position + kCentralHeaderLength > end) return "central directory cut short";
    const uint8_t* header = data_ + position;
    if (!hasSignature(header, kCentralSignature)) return "central directory damaged";
    ZipEntry entry;
    entry.flags = readLittle16(header + 8);
    entry.method = readLittle16(header + 10);
    entry.crc = readLittle32(header + 16);
    entry.compressedSize = readLittle32(header + 20);
    entry.size = readLittle32(header + 24);
    entry.nameLength = readLittle16(header + 28);
    const uint64_t extraLength = readLittle16(header + 30);
    const uint64_t commentLength = readLittle16(header + 32);
    entry.disk = readLittle16(header + 34);
    entry.localHeaderOffset = readLittle32(header + 42);
    const uint64_t next = position + kCentralHeaderLength + entry.nameLength + extraLength + commentLength;
    if (next > end) return "central directory entry runs past its end";
    entry.nameOffset = static_cast<uint32_t>(position + kCentralHeaderLength);
    entries_.push_back(entry);
    position = next;
  }
  return nullptr;
}

const char* ZipReader::locate(const ZipEntry& entry, const uint8_t*& stored) const {
  stored = nullptr;
  if (!open_) return "archive not open";
  if ((entry.flags & kFlagEncrypted) != 0) return "encrypted";
  if (entry.method != kMethodStored && entry.method != kMethodDeflated) return "compression method not supported";
  if (entry.disk != 0) return "on another disk";
  // Entry data lies between the archive's first byte and its central
  // directory; nothing an entry says may reach beyond that.
  const uint64_t header = archiveStart_ + entry.localHeaderOffset;
  if (header + kLocalHeaderLength > directoryStart_) return "local header beyond the archive";
  if (!hasSignature(data_ + header, kLocalSignature)) return "no local header where the directory says";
  const uint64_t nameLength = readLittle16(data_ + header + 26);
  const uint64_t extraLength = readLittle16(data_ + header + 28);
  const uint64_t start = header + kLocalHeaderLength + nameLength + extraLength;
  if (start + entry.compressedSize > directoryStart_) return "data runs beyond the archive";
  if (entry.method == kMethodStored && entry.compressedSize != entry.size) return "stored sizes differ";
  if (entry.method == kMethodDeflated && entry.size > entry.compressedSize * kMaxDeflateRatio)
    return "claims more bytes than its data can hold";
  stored = data_ + start;
  return nullptr;
}

const char* ZipReader::extract(const ZipEntry& entry, const uint8_t* stored, uint8_t* out, Inflater& inflater) {
  if (entry.method == kMethodStored) {
    if (entry.size > 0) memcpy(out, stored, entry.size);
  } else {
    const char* failure = inflater.inflateExactly(stored, entry.compressedSize, out, entry.size);
    if (failure != nullptr) return failure;
  }
  if (entryCrc32(out, entry.size) != entry.crc) return "CRC-32 mismatch";
  return nullptr;
}

}  // namespace xoq
