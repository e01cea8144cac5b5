#include "support/zip_builder.h"

#include <zlib.h>

#include <cstring>

namespace xoq {
namespace testing {

namespace {

void put16(std::string& out, uint32_t value) {
  out += static_cast<char>(value & 0xFF);
  out += static_cast<char>((value >> 8) & 0xFF);
}

void put32(std::string& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

void put64(std::string& out, uint64_t value) {
  for (int i = 0; i < 8; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

ZipBuilderEntry makeEntry(const std::string& name, const std::string& data, uint16_t method, std::string body) {
  ZipBuilderEntry entry;
  entry.name = name;
  entry.localName = name;
  entry.method = method;
  entry.crc = crc32Of(data);
  entry.size = static_cast<uint32_t>(data.size());
  entry.compressedSize = static_cast<uint32_t>(body.size());
  entry.body = std::move(body);
  return entry;
}

}  // namespace

std::string deflateRaw(const std::string& data) {
  z_stream stream;
  memset(&stream, 0, sizeof stream);
  if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) return "";
  std::string out(deflateBound(&stream, static_cast<uLong>(data.size())), '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  stream.avail_in = static_cast<uInt>(data.size());
  stream.next_out = reinterpret_cast<Bytef*>(&out[0]);
  stream.avail_out = static_cast<uInt>(out.size());
  deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

uint32_t crc32Of(const std::string& data) {
  return static_cast<uint32_t>(
      crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

ZipBuilder& ZipBuilder::stored(const std::string& name, const std::string& data) {
  entries_.push_back(makeEntry(name, data, 0, data));
  return *this;
}

ZipBuilder& ZipBuilder::deflated(const std::string& name, const std::string& data) {
  entries_.push_back(makeEntry(name, data, 8, deflateRaw(data)));
  return *this;
}

ZipBuilder& ZipBuilder::comment(const std::string& text) {
  comment_ = text;
  return *this;
}

ZipBuilder& ZipBuilder::splitOverDisks() {
  split_ = true;
  return *this;
}

ZipBuilder& ZipBuilder::zip64End(Zip64End kind, size_t stubLength, bool saturate) {
  zip64_ = kind;
  stubLength_ = stubLength;
  saturate_ = saturate;
  return *this;
}

size_t ZipBuilder::centralDirectoryOffset() const {
  size_t offset = 0;
  for (const ZipBuilderEntry& entry : entries_) {
    offset += 30 + entry.localName.size() + entry.extra.size() + entry.body.size();
  }
  return offset;
}

std::string ZipBuilder::build() const {
  std::string archive;
  std::string central;
  for (const ZipBuilderEntry& entry : entries_) {
    const uint32_t offset =
        entry.headerOffset >= 0 ? static_cast<uint32_t>(entry.headerOffset) : static_cast<uint32_t>(archive.size());
    put32(archive, 0x04034b50);
    put16(archive, 20);
    put16(archive, entry.flags);
    put16(archive, entry.method);
    put16(archive, entry.dosTime);
    put16(archive, entry.dosDate);
    put32(archive, entry.crc);
    put32(archive, entry.compressedSize);
    put32(archive, entry.size);
    put16(archive, static_cast<uint32_t>(entry.localName.size()));
    put16(archive, static_cast<uint32_t>(entry.extra.size()));
    archive += entry.localName;
    archive += entry.extra;
    archive += entry.body;

    put32(central, 0x02014b50);
    put16(central, 20);
    put16(central, 20);
    put16(central, entry.flags);
    put16(central, entry.method);
    put16(central, entry.dosTime);
    put16(central, entry.dosDate);
    put32(central, entry.crc);
    put32(central, entry.compressedSize);
    put32(central, entry.size);
    put16(central, static_cast<uint32_t>(entry.name.size()));
    put16(central, static_cast<uint32_t>(entry.centralExtra.size()));
    put16(central, 0);  // comment
    put16(central, entry.disk);
    put16(central, 0);  // internal attributes
    put32(central, 0);  // external attributes
    put32(central, offset);
    central += entry.name;
    central += entry.centralExtra;
  }
  const uint32_t directoryOffset = static_cast<uint32_t>(archive.size());
  archive += central;
  uint32_t count = static_cast<uint32_t>(entries_.size()) & 0xFFFF;
  uint32_t size = static_cast<uint32_t>(central.size());
  uint32_t offset = directoryOffset;
  if (zip64_ != Zip64End::kNone) {
    const uint64_t record = archive.size();
    put32(archive, 0x06064b50);
    put64(archive, 44);
    put16(archive, 45);
    put16(archive, 45);
    put32(archive, split_ ? 1 : 0);
    put32(archive, split_ ? 1 : 0);
    put64(archive, entries_.size());
    put64(archive, entries_.size());
    put64(archive, central.size());
    put64(archive, directoryOffset);
    put32(archive, 0x07064b50);
    put32(archive, 0);
    put64(archive, record + (zip64_ == Zip64End::kFileOffset ? stubLength_ : 0));
    put32(archive, split_ ? 2 : 1);
    count = 0xFFFF;
    if (saturate_) size = offset = 0xFFFFFFFFu;
  }
  put32(archive, 0x06054b50);
  put16(archive, split_ ? 1 : 0);  // this disk
  put16(archive, split_ ? 1 : 0);  // disk of the central directory
  put16(archive, count);
  put16(archive, count);
  put32(archive, size);
  put32(archive, offset);
  put16(archive, static_cast<uint32_t>(comment_.size()));
  archive += comment_;
  return archive;
}

}  // namespace testing
}  // namespace xoq
