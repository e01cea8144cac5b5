#include "pe_image.h"

#include <algorithm>
#include <limits>

#include "base/byte_order.h"

namespace xoq {

namespace {

constexpr size_t kFileHeaderSize = 20;
constexpr size_t kSectionHeaderSize = 40;
constexpr uint16_t kMagicPe32 = 0x10B;
constexpr uint16_t kMagicPe32Plus = 0x20B;
constexpr uint32_t kResourceDirectory = 2;
constexpr uint32_t kCertificateDirectory = 4;
constexpr uint32_t kDebugDirectory = 6;
constexpr size_t kDebugEntrySize = 28;             // IMAGE_DEBUG_DIRECTORY
constexpr uint32_t kInitializedData = 0x00000040;  // IMAGE_SCN_CNT_INITIALIZED_DATA
constexpr uint32_t kMemoryRead = 0x40000000;       // IMAGE_SCN_MEM_READ
// What a replaced resource section is called from then on: it keeps its
// bytes and address, but tools that look sections up by name must not take
// it for the live one.
constexpr char kRetiredResourceName[] = ".oldrsrc";

const uint8_t* at(const std::string& file, size_t offset) {
  return reinterpret_cast<const uint8_t*>(file.data()) + offset;
}

void put32(std::string& file, size_t offset, uint32_t value) {
  writeLittle32(reinterpret_cast<uint8_t*>(&file[offset]), value);
}

uint64_t alignUp(uint64_t value, uint32_t alignment) { return (value + alignment - 1) / alignment * alignment; }

bool isPowerOfTwo(uint32_t value) { return value != 0 && (value & (value - 1)) == 0; }

// Where the optional header's fields lie, counted from its first byte.
constexpr size_t kSizeOfInitializedData = 8;
constexpr size_t kSectionAlignment = 32;
constexpr size_t kFileAlignment = 36;
constexpr size_t kSizeOfImage = 56;
constexpr size_t kSizeOfHeaders = 60;
constexpr size_t kCheckSum = 64;

size_t dataDirectoryOffset(uint16_t magic) { return magic == kMagicPe32Plus ? 112 : 96; }

}  // namespace

bool looksLikePeImage(std::string_view file) {
  if (file.size() < 64 || file[0] != 'M' || file[1] != 'Z') return false;
  const uint32_t pe = readLittle32(reinterpret_cast<const uint8_t*>(file.data()) + 0x3C);
  return pe <= file.size() - 4 && file.substr(pe, 4) == std::string_view("PE\0\0", 4);
}

size_t peChecksumOffset(std::string_view file) {
  if (!looksLikePeImage(file)) return 0;
  const size_t offset =
      readLittle32(reinterpret_cast<const uint8_t*>(file.data()) + 0x3C) + 4 + kFileHeaderSize + kCheckSum;
  return offset + 4 <= file.size() ? offset : 0;
}

bool PeImage::parse(std::string file, std::string& error) {
  file_ = std::move(file);
  sections_.clear();
  if (!looksLikePeImage(file_)) {
    error = "it is not a Windows executable (no PE header)";
    return false;
  }
  peOffset_ = readLittle32(at(file_, 0x3C));
  const size_t fileHeader = peOffset_ + 4;
  if (fileHeader + kFileHeaderSize + 2 > file_.size()) {
    error = "its PE header is cut short";
    return false;
  }
  const uint16_t sectionCount = readLittle16(at(file_, fileHeader + 2));
  const uint16_t optionalSize = readLittle16(at(file_, fileHeader + 16));
  optionalOffset_ = fileHeader + kFileHeaderSize;
  const uint16_t magic = readLittle16(at(file_, optionalOffset_));
  if (magic != kMagicPe32Plus && magic != kMagicPe32) {
    error = "its optional header is neither PE32 nor PE32+";
    return false;
  }
  const size_t directories = dataDirectoryOffset(magic);
  if (optionalSize < directories + 8 * (kCertificateDirectory + 1) || optionalOffset_ + optionalSize > file_.size() ||
      readLittle32(at(file_, optionalOffset_ + directories - 4)) <= kCertificateDirectory) {
    error = "its optional header has no resource directory entry";
    return false;
  }
  if (!isPowerOfTwo(sectionAlignment()) || !isPowerOfTwo(fileAlignment()) || fileAlignment() > sectionAlignment()) {
    error = "its section alignment is not valid";
    return false;
  }
  if (readLittle32(at(file_, optionalOffset_ + directories + 8 * kCertificateDirectory + 4)) != 0) {
    error = "it is signed already; sign the packaged executable instead";
    return false;
  }
  sectionTable_ = optionalOffset_ + optionalSize;
  if (sectionTable_ + sectionCount * kSectionHeaderSize > file_.size()) {
    error = "its section table is cut short";
    return false;
  }
  for (size_t i = 0; i < sectionCount; ++i) {
    const size_t header = sectionTable_ + i * kSectionHeaderSize;
    PeSection section;
    section.name.assign(file_.data() + header, 8);
    section.name.resize(section.name.find('\0') == std::string::npos ? 8 : section.name.find('\0'));
    section.virtualSize = readLittle32(at(file_, header + 8));
    section.virtualAddress = readLittle32(at(file_, header + 12));
    section.rawSize = readLittle32(at(file_, header + 16));
    section.rawOffset = readLittle32(at(file_, header + 20));
    section.characteristics = readLittle32(at(file_, header + 36));
    if (section.rawSize != 0 && static_cast<uint64_t>(section.rawOffset) + section.rawSize > file_.size()) {
      error = "its section " + section.name + " lies beyond the end of the file";
      return false;
    }
    sections_.push_back(section);
  }
  resourceRva_ = readLittle32(at(file_, optionalOffset_ + directories + 8 * kResourceDirectory));
  resourceSize_ = readLittle32(at(file_, optionalOffset_ + directories + 8 * kResourceDirectory + 4));
  return true;
}

uint32_t PeImage::sectionAlignment() const { return readLittle32(at(file_, optionalOffset_ + kSectionAlignment)); }

uint32_t PeImage::fileAlignment() const { return readLittle32(at(file_, optionalOffset_ + kFileAlignment)); }

bool PeImage::read(uint32_t rva, uint32_t size, std::string_view& out) const {
  for (const PeSection& section : sections_) {
    if (rva >= section.virtualAddress &&
        static_cast<uint64_t>(rva) + size <= static_cast<uint64_t>(section.virtualAddress) + section.rawSize) {
      out = std::string_view(file_).substr(section.rawOffset + (rva - section.virtualAddress), size);
      return true;
    }
  }
  return false;
}

uint64_t PeImage::imageEnd() const {
  uint64_t end = 0;
  for (const PeSection& section : sections_) {
    end = std::max<uint64_t>(
        end, static_cast<uint64_t>(section.virtualAddress) + std::max(section.virtualSize, section.rawSize));
  }
  return end;
}

void PeImage::writeSectionHeader(size_t index) {
  const PeSection& section = sections_[index];
  const size_t header = sectionTable_ + index * kSectionHeaderSize;
  std::string name = section.name;
  name.resize(8, '\0');
  file_.replace(header, 8, name);
  put32(file_, header + 8, section.virtualSize);
  put32(file_, header + 12, section.virtualAddress);
  put32(file_, header + 16, section.rawSize);
  put32(file_, header + 20, section.rawOffset);
  put32(file_, header + 36, section.characteristics);
}

void PeImage::setResourceDirectory(uint32_t rva, uint32_t size) {
  const size_t entry =
      optionalOffset_ + dataDirectoryOffset(readLittle16(at(file_, optionalOffset_))) + 8 * kResourceDirectory;
  put32(file_, entry, rva);
  put32(file_, entry + 4, size);
  resourceRva_ = rva;
  resourceSize_ = size;
}

void PeImage::addInitializedData(int64_t delta) {
  const size_t field = optionalOffset_ + kSizeOfInitializedData;
  put32(file_, field, static_cast<uint32_t>(static_cast<int64_t>(readLittle32(at(file_, field))) + delta));
}

bool PeImage::debugDataFrom(uint64_t offset) const {
  const size_t directories = optionalOffset_ + dataDirectoryOffset(readLittle16(at(file_, optionalOffset_)));
  if (readLittle32(at(file_, directories - 4)) <= kDebugDirectory ||
      directories + 8 * (kDebugDirectory + 1) > sectionTable_)
    return false;
  const uint32_t rva = readLittle32(at(file_, directories + 8 * kDebugDirectory));
  const uint32_t size = readLittle32(at(file_, directories + 8 * kDebugDirectory + 4));
  std::string_view entries;
  if (rva == 0 || !read(rva, size, entries)) return false;
  for (size_t entry = 0; entry + kDebugEntrySize <= entries.size(); entry += kDebugEntrySize) {
    const uint8_t* fields = reinterpret_cast<const uint8_t*>(entries.data()) + entry;
    if (readLittle32(fields + 16) != 0 && readLittle32(fields + 24) >= offset) return true;
  }
  return false;
}

bool PeImage::replaceResources(const std::function<std::string(uint32_t rva)>& build, std::string& error) {
  const uint32_t fileAlign = fileAlignment();
  const uint32_t sectionAlign = sectionAlignment();

  // What follows the last section's raw data (the COFF symbol and string
  // tables of an unstripped image) moves behind a section that grows into
  // its place. Readers such as wrestool expect every section's raw data
  // below its address, so a new section's data must not go after it.
  uint64_t sectionsEnd = 0;
  for (const PeSection& section : sections_) {
    if (section.rawSize != 0) sectionsEnd = std::max<uint64_t>(sectionsEnd, section.rawOffset + section.rawSize);
  }
  const std::string trailing = file_.substr(sectionsEnd);
  if (!trailing.empty() && debugDataFrom(sectionsEnd)) {
    error = "its debugging data lies after its sections, where the resources go; strip it first";
    return false;
  }
  const size_t symbolField = peOffset_ + 4 + 8;
  const uint32_t symbols = readLittle32(at(file_, symbolField));
  const auto putBack = [&](uint64_t rawEnd) {
    file_.resize(rawEnd, '\0');
    file_ += trailing;
    if (symbols != 0 && symbols >= sectionsEnd)
      put32(file_, symbolField, static_cast<uint32_t>(symbols + rawEnd - sectionsEnd));
  };

  // The current resource section, when the directory opens a section of its
  // own (not resources merged into another section, whose other bytes must
  // stay). When it is the last section both in memory and in the file, it
  // is rewritten where it stands, of any size.
  size_t current = sections_.size();
  for (size_t i = 0; i < sections_.size(); ++i) {
    if (resourceRva_ != 0 && sections_[i].virtualAddress == resourceRva_ && sections_[i].rawSize != 0) current = i;
  }
  bool last = current < sections_.size();
  for (size_t i = 0; last && i < sections_.size(); ++i) {
    const PeSection& other = sections_[i];
    last = i == current || (other.virtualAddress < sections_[current].virtualAddress &&
                            (other.rawSize == 0 || other.rawOffset < sections_[current].rawOffset));
  }
  if (last) {
    PeSection& section = sections_[current];
    const std::string content = build(section.virtualAddress);
    const uint64_t rawSize = alignUp(content.size(), fileAlign);
    if (section.rawOffset + rawSize + trailing.size() > std::numeric_limits<uint32_t>::max()) {
      error = "the resources would make it larger than 4 GB";
      return false;
    }
    if ((section.characteristics & kInitializedData) != 0) {
      addInitializedData(static_cast<int64_t>(rawSize) - static_cast<int64_t>(section.rawSize));
    }
    file_.resize(section.rawOffset);
    file_ += content;
    putBack(section.rawOffset + rawSize);
    section.virtualSize = static_cast<uint32_t>(content.size());
    section.rawSize = static_cast<uint32_t>(rawSize);
    writeSectionHeader(current);
    setResourceDirectory(section.virtualAddress, section.virtualSize);
    put32(file_, optionalOffset_ + kSizeOfImage, static_cast<uint32_t>(alignUp(imageEnd(), sectionAlign)));
    return true;
  }

  // A new section after the last one. Its header goes into the section
  // table's slack, which must be there and empty.
  const size_t newHeader = sectionTable_ + sections_.size() * kSectionHeaderSize;
  uint64_t headerLimit = readLittle32(at(file_, optionalOffset_ + kSizeOfHeaders));
  for (const PeSection& section : sections_) {
    if (section.rawSize != 0) headerLimit = std::min<uint64_t>(headerLimit, section.rawOffset);
  }
  if (newHeader + kSectionHeaderSize > headerLimit ||
      file_.find_first_not_of('\0', newHeader) < newHeader + kSectionHeaderSize) {
    error = "its section table has no room for a new resource section";
    return false;
  }
  PeSection added;
  added.name = ".rsrc";
  added.virtualAddress = static_cast<uint32_t>(alignUp(imageEnd(), sectionAlign));
  const std::string content = build(added.virtualAddress);
  added.virtualSize = static_cast<uint32_t>(content.size());
  added.rawSize = static_cast<uint32_t>(alignUp(content.size(), fileAlign));
  added.rawOffset = static_cast<uint32_t>(alignUp(sectionsEnd, fileAlign));
  added.characteristics = kInitializedData | kMemoryRead;
  if (added.rawOffset + static_cast<uint64_t>(added.rawSize) + trailing.size() > std::numeric_limits<uint32_t>::max()) {
    error = "the resources would make it larger than 4 GB";
    return false;
  }
  file_.resize(added.rawOffset, '\0');
  file_ += content;
  putBack(added.rawOffset + static_cast<uint64_t>(added.rawSize));
  if (current < sections_.size()) {
    sections_[current].name = kRetiredResourceName;
    writeSectionHeader(current);
  }
  sections_.push_back(added);
  writeSectionHeader(sections_.size() - 1);
  writeLittle16(reinterpret_cast<uint8_t*>(&file_[peOffset_ + 4 + 2]), static_cast<uint16_t>(sections_.size()));
  addInitializedData(added.rawSize);
  setResourceDirectory(added.virtualAddress, added.virtualSize);
  put32(file_, optionalOffset_ + kSizeOfImage, static_cast<uint32_t>(alignUp(imageEnd(), sectionAlign)));
  return true;
}

void PeChecksum::addWord(uint32_t word) {
  sum_ += word;
  sum_ = (sum_ & 0xFFFF) + (sum_ >> 16);
}

void PeChecksum::add(const uint8_t* data, size_t size) {
  size_t i = 0;
  // Whole words away from the CheckSum field, the bulk of a large payload.
  if (pendingLow_ < 0 && (position_ >= checksumOffset_ + 4 || position_ + size <= checksumOffset_)) {
    for (; i + 1 < size; i += 2) addWord(static_cast<uint32_t>(data[i]) | (static_cast<uint32_t>(data[i + 1]) << 8));
    position_ += i;
  }
  for (; i < size; ++i, ++position_) {
    const uint8_t byte = position_ >= checksumOffset_ && position_ < checksumOffset_ + 4 ? 0 : data[i];
    if (pendingLow_ < 0) {
      pendingLow_ = byte;
    } else {
      addWord(static_cast<uint32_t>(pendingLow_) | (static_cast<uint32_t>(byte) << 8));
      pendingLow_ = -1;
    }
  }
}

uint32_t PeChecksum::finish() const {
  uint32_t sum = sum_;
  if (pendingLow_ >= 0) {
    sum += static_cast<uint32_t>(pendingLow_);
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  sum = (sum & 0xFFFF) + (sum >> 16);
  return sum + static_cast<uint32_t>(position_);
}

}  // namespace xoq
