#include "archive/zip_reader.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>

#include "base/byte_order.h"

namespace xoq {

namespace {

constexpr uint8_t kEndSignature[4] = {'P', 'K', 5, 6};
constexpr uint8_t kZip64EndSignature[4] = {'P', 'K', 6, 6};
constexpr uint8_t kZip64LocatorSignature[4] = {'P', 'K', 6, 7};
constexpr uint8_t kCentralSignature[4] = {'P', 'K', 1, 2};
constexpr uint8_t kLocalSignature[4] = {'P', 'K', 3, 4};
constexpr uint64_t kEndRecordLength = 22;
constexpr uint64_t kZip64EndLength = 56;  // without the version 2 extensible data nobody writes
constexpr uint64_t kZip64LocatorLength = 20;
constexpr uint64_t kCentralHeaderLength = 46;
// An archive comment is at most 65535 bytes, but a signed executable carries
// its signature after the archive too; the payload locator looks as far back
// as a hundredth of the file, so the reader does the same.
constexpr uint64_t kMinimumSearch = 0xFFFF;
// Offsets inside the archive are 32-bit: the input is a mapped executable or
// a jar in memory, never larger.
constexpr uint64_t kLargestArchiveEnd = 0xFFFFFFFFu;
// What a 16-bit or 32-bit field holds when the real value is in the ZIP64
// record or extra field.
constexpr uint64_t kSaturated16 = 0xFFFF;
constexpr uint64_t kSaturated32 = 0xFFFFFFFFu;

constexpr uint16_t kFlagEncrypted = 1;
constexpr uint16_t kMethodStored = 0;
constexpr uint16_t kMethodDeflated = 8;

constexpr uint16_t kExtraZip64 = 0x0001;
constexpr uint16_t kExtraNtfs = 0x000A;
constexpr uint16_t kExtraTimestamp = 0x5455;

enum Refusal : uint8_t { kNoRefusal = 0, kBeyond4Gb = 1, kZip64ExtraShort = 2 };

bool hasSignature(const uint8_t* p, const uint8_t (&signature)[4]) { return memcmp(p, signature, 4) == 0; }

// A classic end record's field agrees with the ZIP64 record when it holds
// the same value or says that the ZIP64 record has it.
bool agrees(uint64_t classic, uint64_t saturated, uint64_t zip64) { return classic == zip64 || classic == saturated; }

// Takes the values that the header leaves to the ZIP64 extra field, in the
// order the format fixes: size, compressed size, local header offset, disk.
void applyZip64Extra(ZipEntry& entry, const uint8_t* block, uint16_t length) {
  uint64_t offset = 0;
  auto take = [&](uint32_t width, uint64_t& value) {
    if (offset + width > length) {
      entry.refusal = kZip64ExtraShort;
      return;
    }
    value = width == 8 ? readLittle64(block + offset) : readLittle32(block + offset);
    offset += width;
  };
  uint64_t size = entry.size, compressedSize = entry.compressedSize, headerOffset = entry.localHeaderOffset,
           disk = entry.disk;
  if (entry.size == kSaturated32) take(8, size);
  if (entry.compressedSize == kSaturated32) take(8, compressedSize);
  if (entry.localHeaderOffset == kSaturated32) take(8, headerOffset);
  if (entry.disk == kSaturated16) take(4, disk);
  if (entry.refusal != kNoRefusal) return;
  if (size > kSaturated32 || compressedSize > kSaturated32 || headerOffset > kSaturated32 || disk > kSaturated16) {
    entry.refusal = kBeyond4Gb;
    return;
  }
  entry.size = static_cast<uint32_t>(size);
  entry.compressedSize = static_cast<uint32_t>(compressedSize);
  entry.localHeaderOffset = static_cast<uint32_t>(headerOffset);
  entry.disk = static_cast<uint16_t>(disk);
}

// Calls `visit` with each block of an extra field (its tag, data and
// length) until it returns true or the field ends; a block that claims more
// than is left ends the walk.
template <typename Visit>
void forEachExtraBlock(const uint8_t* extra, uint16_t length, Visit visit) {
  uint32_t position = 0;
  while (position + 4 <= length) {
    const uint16_t tag = readLittle16(extra + position);
    const uint16_t size = readLittle16(extra + position + 2);
    if (position + 4 + size > length) return;
    if (visit(tag, extra + position + 4, size)) return;
    position += 4 + size;
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// ZipReader

const char* ZipReader::open(const uint8_t* data, size_t size) { return openHeld(data, size, nullptr, nullptr); }

void ZipReader::forgetInput() {
  if (held_ != nullptr) data_ = nullptr;
}

const char* ZipReader::openHeld(const uint8_t* data, size_t size, DirectoryReader reader, const void* context) {
  open_ = false;
  entries_.clear();
  held_.reset();
  heldSize_ = 0;
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
    EndRecord end{readLittle16(record + 4),  readLittle16(record + 6),  readLittle16(record + 8),
                  readLittle16(record + 10), readLittle32(record + 12), readLittle32(record + 16)};
    // The central directory ends where the ZIP64 end record starts when
    // there is one, else at the end record.
    uint64_t directoryEnd = position;
    readZip64End(position, end, directoryEnd);
    if (end.directorySize > directoryEnd || end.directoryOffset > directoryEnd - end.directorySize) continue;
    if (end.entries > end.directorySize / kCentralHeaderLength) continue;
    const uint64_t directoryStart = directoryEnd - end.directorySize;
    if (end.entries > 0 && !hasSignature(data + directoryStart, kCentralSignature)) continue;

    if (end.disk != 0 || end.directoryDisk != 0 || end.entriesHere != end.entries) return "split over several disks";
    if (position + kEndRecordLength > kLargestArchiveEnd) return "larger than 4 GB";
    archiveStart_ = directoryStart - end.directoryOffset;
    directoryStart_ = directoryStart;
    if (reader != nullptr) {
      const size_t length = static_cast<size_t>(end.directorySize);
      held_.reset(new (std::nothrow) uint8_t[length > 0 ? length : 1]);
      if (held_ == nullptr) return "no memory for its central directory";
      if (length > 0 && !reader(context, directoryStart, held_.get(), length)) {
        held_.reset();
        return "central directory cannot be read";
      }
      heldSize_ = length;
    }
    const char* failure = readDirectory(directoryStart, end.directorySize, end.entries);
    if (failure != nullptr) {
      entries_.clear();
      entries_.shrink_to_fit();
      held_.reset();
      heldSize_ = 0;
      return failure;
    }
    open_ = true;
    return nullptr;
  }
  return "no end-of-central-directory record";
}

bool ZipReader::readZip64End(uint64_t position, EndRecord& end, uint64_t& directoryEnd) const {
  if (position < kZip64LocatorLength + kZip64EndLength) return false;
  const uint8_t* locator = data_ + position - kZip64LocatorLength;
  if (!hasSignature(locator, kZip64LocatorSignature)) return false;
  const uint64_t locatorEnd = position - kZip64LocatorLength;
  const uint64_t recordOffset = readLittle64(locator + 8);
  const uint64_t totalDisks = readLittle32(locator + 16);
  // The record normally ends where the locator starts; the locator's offset
  // is then checked against where it was found.
  const uint64_t candidates[2] = {locatorEnd - kZip64EndLength, recordOffset};
  for (const uint64_t at : candidates) {
    if (at > locatorEnd - kZip64EndLength) continue;
    const uint8_t* record = data_ + at;
    if (!hasSignature(record, kZip64EndSignature)) continue;
    const uint64_t recordSize = readLittle64(record + 4);
    if (recordSize < kZip64EndLength - 12 || recordSize > locatorEnd - at - 12) continue;
    const EndRecord zip64{readLittle32(record + 16), readLittle32(record + 20), readLittle64(record + 24),
                          readLittle64(record + 32), readLittle64(record + 40), readLittle64(record + 48)};
    if (!agrees(end.entries, kSaturated16, zip64.entries) ||
        !agrees(end.entriesHere, kSaturated16, zip64.entriesHere) ||
        !agrees(end.directorySize, kSaturated32, zip64.directorySize) ||
        !agrees(end.directoryOffset, kSaturated32, zip64.directoryOffset)) {
      continue;
    }
    if (zip64.directorySize > at || zip64.directoryOffset > at - zip64.directorySize) continue;
    // Like every offset in the archive, the locator's counts from the
    // archive's first byte. A runtime reading an archive behind a stub (the
    // launcher image) takes it as a position in the file instead, so that
    // reading is accepted too: for a jar of its own the two are the same.
    const uint64_t archiveStart = at - zip64.directorySize - zip64.directoryOffset;
    if (recordOffset != at - archiveStart && recordOffset != at) continue;
    end = zip64;
    if (totalDisks > 1) end.disk = totalDisks - 1;  // split: refused by the caller
    directoryEnd = at;
    return true;
  }
  return false;
}

const char* ZipReader::readDirectory(uint64_t directoryStart, uint64_t directorySize, uint64_t count) {
  entries_.reserve(count);
  const uint64_t end = directoryStart + directorySize;
  uint64_t position = directoryStart;
  // The count is a minimum: a writer that knew no ZIP64 leaves only the low
  // 16 bits of a larger count, and the headers that follow are read too.
  for (uint64_t i = 0;
       i < count || (position + kCentralHeaderLength <= end && hasSignature(at(position), kCentralSignature)); ++i) {
    if (position + kCentralHeaderLength > end) return "central directory cut short";
    const uint8_t* header = at(position);
    if (!hasSignature(header, kCentralSignature)) return "central directory damaged";
    ZipEntry entry;
    entry.flags = readLittle16(header + 8);
    entry.method = readLittle16(header + 10);
    entry.crc = readLittle32(header + 16);
    entry.compressedSize = readLittle32(header + 20);
    entry.size = readLittle32(header + 24);
    entry.nameLength = readLittle16(header + 28);
    const uint16_t extraLength = readLittle16(header + 30);
    const uint64_t commentLength = readLittle16(header + 32);
    entry.disk = readLittle16(header + 34);
    entry.localHeaderOffset = readLittle32(header + 42);
    const uint64_t next = position + kCentralHeaderLength + entry.nameLength + extraLength + commentLength;
    if (next > end) return "central directory entry runs past its end";
    entry.nameOffset = static_cast<uint32_t>(position + kCentralHeaderLength);
    if (entry.size == kSaturated32 || entry.compressedSize == kSaturated32 || entry.localHeaderOffset == kSaturated32 ||
        entry.disk == kSaturated16) {
      forEachExtraBlock(header + kCentralHeaderLength + entry.nameLength, extraLength,
                        [&entry](uint16_t tag, const uint8_t* block, uint16_t size) {
                          if (tag != kExtraZip64) return false;
                          applyZip64Extra(entry, block, size);
                          return true;
                        });
    }
    entries_.push_back(entry);
    position = next;
  }
  return nullptr;
}

const uint8_t* ZipReader::extraField(const ZipEntry& entry, uint16_t& length) const {
  // The central header lies right in front of the name; its lengths were
  // checked against the directory when it was read.
  const uint8_t* header = at(entry.nameOffset - kCentralHeaderLength);
  length = readLittle16(header + 30);
  return at(entry.nameOffset + entry.nameLength);
}

uint32_t ZipReader::unixMode(const ZipEntry& entry) const {
  const uint8_t* header = at(entry.nameOffset - kCentralHeaderLength);
  constexpr uint8_t kUnixHost = 3;  // the high byte of "version made by"
  return header[5] == kUnixHost ? readLittle32(header + 38) >> 16 : 0;
}

const uint8_t* ZipReader::extraBlock(const ZipEntry& entry, uint16_t tag, uint16_t& size) const {
  uint16_t length = 0;
  const uint8_t* extra = extraField(entry, length);
  const uint8_t* found = nullptr;
  forEachExtraBlock(extra, length, [&](uint16_t blockTag, const uint8_t* block, uint16_t blockSize) {
    if (blockTag == tag) {
      found = block;
      size = blockSize;
    }
    return false;
  });
  return found;
}

EntryTime ZipReader::modificationTime(const ZipEntry& entry) const {
  EntryTime time;
  const uint8_t* header = at(entry.nameOffset - kCentralHeaderLength);
  time.dos = (static_cast<uint32_t>(readLittle16(header + 14)) << 16) | readLittle16(header + 12);
  uint16_t length = 0;
  const uint8_t* extra = extraField(entry, length);
  // The blocks in their order, a later one winning, as java.util.zip reads
  // them.
  forEachExtraBlock(extra, length, [&time](uint16_t tag, const uint8_t* block, uint16_t size) {
    if (tag == kExtraTimestamp && size >= 5 && (block[0] & 1) != 0) {
      // Seconds since 1970 as a signed 32-bit value.
      time.unixMillis = static_cast<int64_t>(static_cast<int32_t>(readLittle32(block + 1))) * 1000;
      time.hasUnixTime = true;
    } else if (tag == kExtraNtfs && size >= 32 && readLittle16(block + 4) == 1 && readLittle16(block + 6) == 24) {
      // After 4 reserved bytes, attribute 1 of 24 bytes: the modification,
      // access and creation times in 100 ns since 1601.
      const int64_t ticks = static_cast<int64_t>(readLittle64(block + 8));
      if (ticks != INT64_MIN) {
        time.unixMillis = (ticks / 10 - 11644473600000000LL) / 1000;
        time.hasUnixTime = true;
      }
    }
    return false;
  });
  return time;
}

const char* ZipReader::locate(const ZipEntry& entry, const uint8_t*& stored) const {
  stored = nullptr;
  if (data_ == nullptr && open_) return "its data is read from the file, not from memory";
  uint64_t header = 0, start = 0;
  const char* failure = findLocalHeader(entry, header);
  if (failure == nullptr) failure = findData(entry, header, data_ + header, start);
  if (failure == nullptr) stored = data_ + start;
  return failure;
}

const char* ZipReader::findLocalHeader(const ZipEntry& entry, uint64_t& header) const {
  if (!open_) return "archive not open";
  if (entry.refusal == kBeyond4Gb) return "larger than 4 GB";
  if (entry.refusal == kZip64ExtraShort) return "ZIP64 extra field too short";
  if ((entry.flags & kFlagEncrypted) != 0) return "encrypted";
  if (entry.method != kMethodStored && entry.method != kMethodDeflated) return "compression method not supported";
  if (entry.disk != 0) return "on another disk";
  // Entry data lies between the archive's first byte and its central
  // directory; nothing an entry says may reach beyond that.
  header = archiveStart_ + entry.localHeaderOffset;
  if (header + kLocalHeaderLength > directoryStart_) return "local header beyond the archive";
  return nullptr;
}

const char* ZipReader::findData(const ZipEntry& entry, uint64_t header, const uint8_t* fixed, uint64_t& start) const {
  if (!hasSignature(fixed, kLocalSignature)) return "no local header where the directory says";
  const uint64_t nameLength = readLittle16(fixed + 26);
  const uint64_t extraLength = readLittle16(fixed + 28);
  start = header + kLocalHeaderLength + nameLength + extraLength;
  if (start + entry.compressedSize > directoryStart_) return "data runs beyond the archive";
  if (entry.method == kMethodStored && entry.compressedSize != entry.size) return "stored sizes differ";
  if (entry.method == kMethodDeflated && entry.size > entry.compressedSize * kMaxDeflateRatio)
    return "claims more bytes than its data can hold";
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
