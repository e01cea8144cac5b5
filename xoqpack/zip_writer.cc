#include "zip_writer.h"

#include <zlib.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "base/byte_order.h"
#include "host_files.h"

namespace xoq {

namespace {

constexpr uint32_t kLocalSignature = 0x04034b50;
constexpr uint32_t kCentralSignature = 0x02014b50;
constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint32_t kZip64EndSignature = 0x06064b50;
constexpr uint32_t kZip64LocatorSignature = 0x07064b50;
// From this many entries on, the end record's 16-bit counts say "see the
// ZIP64 end record", as jar and the JDK's own writer do it.
constexpr uint32_t kZip64EntryCount = 0xFFFF;
constexpr uint16_t kStored = 0;
constexpr uint16_t kDeflated = 8;
constexpr uint64_t kZipLimit = 0xFFFFFFFFu;  // sizes and offsets stay 32-bit

uint16_t versionNeeded(uint16_t method) { return method == kDeflated ? 20 : 10; }

// Bit 11 says the name is UTF-8, which it is whenever it is not plain ASCII.
uint16_t generalFlags(const std::string& name) {
  for (char c : name) {
    if (static_cast<unsigned char>(c) >= 0x80) return 1u << 11;
  }
  return 0;
}

bool deflateRaw(const std::string& data, std::string& out) {
  z_stream stream;
  memset(&stream, 0, sizeof stream);
  if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) return false;
  out.resize(deflateBound(&stream, static_cast<uLong>(data.size())));
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  stream.avail_in = static_cast<uInt>(data.size());
  stream.next_out = reinterpret_cast<Bytef*>(&out[0]);
  stream.avail_out = static_cast<uInt>(out.size());
  const int result = deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return result == Z_STREAM_END;
}

}  // namespace

ZipWriter::ZipWriter(std::FILE* out, DosTime time) : out_(out), time_(time), start_(host::tellFile(out)), written_(0) {}

bool ZipWriter::fail(const std::string& message) {
  if (error_.empty()) error_ = message;
  return false;
}

bool ZipWriter::write(const void* data, size_t length) {
  if (length > 0 && fwrite(data, 1, length, out_) != length)
    return fail(std::string("cannot write: ") + strerror(errno));
  written_ += length;
  if (written_ > kZipLimit) return fail("the archive would exceed 4 GB, which needs ZIP64");
  return true;
}

bool ZipWriter::writeLocalHeader(const std::string& name, uint16_t method, uint32_t crc, uint32_t compressedSize,
                                 uint32_t size, uint32_t& headerOffset) {
  if (name.size() > 0xFFFF) return fail("entry name too long: " + name.substr(0, 80));
  headerOffset = static_cast<uint32_t>(written_);
  std::string header;
  appendLittle32(header, kLocalSignature);
  appendLittle16(header, versionNeeded(method));
  appendLittle16(header, generalFlags(name));
  appendLittle16(header, method);
  appendLittle16(header, time_.time);
  appendLittle16(header, time_.date);
  appendLittle32(header, crc);
  appendLittle32(header, compressedSize);
  appendLittle32(header, size);
  appendLittle16(header, static_cast<uint16_t>(name.size()));
  appendLittle16(header, 0);
  header += name;
  return write(header.data(), header.size());
}

void ZipWriter::addCentralEntry(const std::string& name, uint16_t method, uint32_t crc, uint32_t compressedSize,
                                uint32_t size, uint32_t headerOffset, bool directory, uint32_t unixMode,
                                const std::string& extra) {
  appendLittle32(central_, kCentralSignature);
  // Made by: MS-DOS attributes, version 2.0, or Unix ones (host 3).
  appendLittle16(central_, unixMode != 0 ? (3 << 8) | 20 : 20);
  appendLittle16(central_, versionNeeded(method));
  appendLittle16(central_, generalFlags(name));
  appendLittle16(central_, method);
  appendLittle16(central_, time_.time);
  appendLittle16(central_, time_.date);
  appendLittle32(central_, crc);
  appendLittle32(central_, compressedSize);
  appendLittle32(central_, size);
  appendLittle16(central_, static_cast<uint16_t>(name.size()));
  appendLittle16(central_, static_cast<uint16_t>(extra.size()));
  appendLittle16(central_, 0);  // comment
  appendLittle16(central_, 0);  // disk
  appendLittle16(central_, 0);  // internal attributes
  appendLittle32(central_, (directory ? 0x10 : 0) | (unixMode != 0 ? (0100000 | unixMode) << 16 : 0));
  appendLittle32(central_, headerOffset);
  central_ += name;
  central_ += extra;
  ++entries_;
}

bool ZipWriter::addDirectory(const std::string& name) {
  uint32_t offset = 0;
  if (!writeLocalHeader(name, kStored, 0, 0, 0, offset)) return false;
  addCentralEntry(name, kStored, 0, 0, 0, offset, true);
  return true;
}

bool ZipWriter::addBytes(const std::string& name, const std::string& data, bool deflate, uint32_t unixMode,
                         const std::string& centralExtra) {
  if (data.size() > kZipLimit) return fail("entry larger than 4 GB: " + name);
  const uint32_t crc = static_cast<uint32_t>(
      crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
  std::string compressed;
  const bool useDeflate = deflate && deflateRaw(data, compressed) && compressed.size() < data.size();
  const std::string& body = useDeflate ? compressed : data;
  const uint16_t method = useDeflate ? kDeflated : kStored;
  uint32_t offset = 0;
  if (!writeLocalHeader(name, method, crc, static_cast<uint32_t>(body.size()), static_cast<uint32_t>(data.size()),
                        offset))
    return false;
  if (!write(body.data(), body.size())) return false;
  addCentralEntry(name, method, crc, static_cast<uint32_t>(body.size()), static_cast<uint32_t>(data.size()), offset,
                  false, unixMode, centralExtra);
  return true;
}

bool ZipWriter::addUnlistedBytes(const std::string& path, uint32_t& offset, uint64_t& length) {
  std::string reason;
  const host::FilePointer in = host::openFile(path, "rb", reason);
  if (!in) return fail("cannot read " + path + ": " + reason);
  offset = static_cast<uint32_t>(written_);
  length = 0;
  std::vector<unsigned char> block(1 << 20);
  size_t n = 0;
  while ((n = fread(block.data(), 1, block.size(), in.get())) > 0) {
    if (!write(block.data(), n)) return false;
    length += n;
  }
  return ferror(in.get()) == 0 || fail("cannot read " + path);
}

bool ZipWriter::addFileStored(const std::string& name, const std::string& path, const std::string& centralExtra) {
  std::string reason;
  const host::FilePointer in = host::openFile(path, "rb", reason);
  if (!in) return fail("cannot read " + path + ": " + reason);
  // The header goes out with zero CRC and sizes and is patched once the data
  // has streamed through.
  uint32_t offset = 0;
  if (!writeLocalHeader(name, kStored, 0, 0, 0, offset)) return false;
  uLong crc = crc32(0L, Z_NULL, 0);
  uint64_t size = 0;
  std::vector<unsigned char> block(1 << 20);
  for (;;) {
    const size_t n = fread(block.data(), 1, block.size(), in.get());
    if (n == 0) break;
    crc = crc32(crc, block.data(), static_cast<uInt>(n));
    size += n;
    if (!write(block.data(), n)) return false;
  }
  if (ferror(in.get()) != 0) return fail("cannot read " + path);
  if (size > kZipLimit) return fail("entry larger than 4 GB: " + name);

  const int64_t end = host::tellFile(out_);
  std::string fields;
  appendLittle32(fields, static_cast<uint32_t>(crc));
  appendLittle32(fields, static_cast<uint32_t>(size));
  appendLittle32(fields, static_cast<uint32_t>(size));
  if (end < 0 || !host::seekFile(out_, static_cast<uint64_t>(start_) + offset + 14) ||
      fwrite(fields.data(), 1, fields.size(), out_) != fields.size() ||
      !host::seekFile(out_, static_cast<uint64_t>(end)))
    return fail(std::string("cannot write: ") + strerror(errno));
  addCentralEntry(name, kStored, static_cast<uint32_t>(crc), static_cast<uint32_t>(size), static_cast<uint32_t>(size),
                  offset, false, 0, centralExtra);
  return true;
}

bool ZipWriter::finish(const std::string& comment, uint32_t& archiveLength, std::string& centralDirectory,
                       std::string& endRecord) {
  if (!error_.empty()) return false;
  if (comment.size() > 0xFFFF) return fail("the archive comment is longer than 65535 bytes");
  const uint64_t directoryOffset = written_;
  const bool zip64 = entries_ >= kZip64EntryCount;
  std::string directory = central_;
  if (zip64) {
    // Only the counts need the ZIP64 end record: sizes and offsets stay
    // 32-bit and are in the end record as well.
    const uint64_t recordOffset = directoryOffset + central_.size();
    appendLittle32(directory, kZip64EndSignature);
    appendLittle64(directory, 44);  // the record's size after this field
    appendLittle16(directory, 45);  // made by: version 4.5
    appendLittle16(directory, 45);  // needed: version 4.5, ZIP64
    appendLittle32(directory, 0);
    appendLittle32(directory, 0);
    appendLittle64(directory, entries_);
    appendLittle64(directory, entries_);
    appendLittle64(directory, central_.size());
    appendLittle64(directory, directoryOffset);
    // The locator's offset is written as the record's position in the file:
    // the runtime reads the executable as a jar too (it heads
    // java.class.path, and the launcher's class loader is loaded from it),
    // and takes this one offset as a file position, where every other
    // offset counts from the archive's first byte. The launcher's own reader
    // accepts either.
    appendLittle32(directory, kZip64LocatorSignature);
    appendLittle32(directory, 0);
    appendLittle64(directory, static_cast<uint64_t>(start_) + recordOffset);
    appendLittle32(directory, 1);
  }
  if (!write(directory.data(), directory.size())) return false;
  const uint16_t count = zip64 ? kZip64EntryCount : static_cast<uint16_t>(entries_);
  endRecord.clear();
  appendLittle32(endRecord, kEndSignature);
  appendLittle16(endRecord, 0);
  appendLittle16(endRecord, 0);
  appendLittle16(endRecord, count);
  appendLittle16(endRecord, count);
  appendLittle32(endRecord, static_cast<uint32_t>(central_.size()));
  appendLittle32(endRecord, static_cast<uint32_t>(directoryOffset));
  appendLittle16(endRecord, static_cast<uint16_t>(comment.size()));
  if (!write(endRecord.data(), endRecord.size())) return false;
  archiveLength = static_cast<uint32_t>(written_);
  if (!write(comment.data(), comment.size())) return false;
  centralDirectory = std::move(directory);
  return true;
}

}  // namespace xoq
