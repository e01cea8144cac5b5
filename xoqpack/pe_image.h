// The parts of a Windows x86-64 (PE32+) image that xoqpack edits: the
// headers, the section table and the resource section. Every other section
// keeps its bytes and its address, so that code, data and the shared
// section stay exactly as the linker made them.
#ifndef XOQPACK_PE_IMAGE_H_
#define XOQPACK_PE_IMAGE_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace xoq {

struct PeSection {
  std::string name;
  uint32_t virtualSize = 0;
  uint32_t virtualAddress = 0;
  uint32_t rawSize = 0;
  uint32_t rawOffset = 0;
  uint32_t characteristics = 0;
};

/// True when `file` starts like a PE image (MZ header pointing at "PE\0\0").
bool looksLikePeImage(std::string_view file);

class PeImage {
 public:
  /// Takes a whole image file and reads its headers; false with `error`
  /// when it is not a PE32+ image whose layout xoqpack can edit.
  bool parse(std::string file, std::string& error);

  const std::string& bytes() const { return file_; }
  const std::vector<PeSection>& sections() const { return sections_; }

  /// The resource directory's address and size; 0 when the image has none.
  uint32_t resourceRva() const { return resourceRva_; }
  uint32_t resourceSize() const { return resourceSize_; }

  /// The file bytes of [rva, rva + size), when they lie inside the raw data
  /// of one section; false otherwise.
  bool read(uint32_t rva, uint32_t size, std::string_view& out) const;

  /// Replaces the resource section with what `build` makes for the address
  /// it is given. The section is rewritten where it stands when it is the
  /// last one; otherwise a new section after the last one takes it, and the
  /// old one, renamed, keeps its bytes. The data directory, section table, SizeOfImage and
  /// SizeOfInitializedData follow. False with `error` when the section table
  /// has no room for a new entry.
  bool replaceResources(const std::function<std::string(uint32_t rva)>& build, std::string& error);

 private:
  /// The end of the last section in memory, before alignment.
  uint64_t imageEnd() const;
  uint32_t sectionAlignment() const;
  uint32_t fileAlignment() const;
  void writeSectionHeader(size_t index);
  void setResourceDirectory(uint32_t rva, uint32_t size);
  void addInitializedData(int64_t delta);

  std::string file_;
  size_t peOffset_ = 0;        // the "PE\0\0" signature
  size_t optionalOffset_ = 0;  // the optional header
  size_t sectionTable_ = 0;    // the first section header
  std::vector<PeSection> sections_;
  uint32_t resourceRva_ = 0;
  uint32_t resourceSize_ = 0;
};

/// File offset of the optional header's CheckSum field in a parsed-looking
/// PE file; 0 when `file` is not one.
size_t peChecksumOffset(std::string_view file);

/// The checksum Windows' own routine (CheckSumMappedFile) computes: the
/// 16-bit one's-complement sum of the file's little-endian words, with the
/// CheckSum field counted as zero, plus the file length. Fed in pieces of
/// any length, so that a packaged file can be summed while it is read back.
class PeChecksum {
 public:
  explicit PeChecksum(uint64_t checksumOffset) : checksumOffset_(checksumOffset) {}
  void add(const uint8_t* data, size_t size);
  uint32_t finish() const;

 private:
  void addWord(uint32_t word);

  uint64_t checksumOffset_;
  uint64_t position_ = 0;
  uint32_t sum_ = 0;
  int pendingLow_ = -1;  // the first byte of a word split between two pieces
};

}  // namespace xoq

#endif  // XOQPACK_PE_IMAGE_H_
