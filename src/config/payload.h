// The payload appended to the launcher: configuration text, its NUL,
// `configLength`, a 16-byte integrity value, the ZIP archive and an optional
// archive comment that ends the file.
//
// Positions are found from the end of the file: the archive comment by
// scanning for the end-of-central-directory record, the archive by its
// length (patched into the launcher image by xoqpack), the rest by the
// length fields. A file that does not fit this layout is told apart from
// one that does, so that nothing is ever read outside the file.
#ifndef XOQ_CONFIG_PAYLOAD_H_
#define XOQ_CONFIG_PAYLOAD_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace xoq {

class ConfigStore;

/// Size of the integrity value between `configLength` and the archive.
constexpr uint32_t kIntegrityValueSize = 16;
/// Size of the ZIP end-of-central-directory record without its comment.
constexpr uint32_t kEndRecordSize = 22;

/// The 13-character marker that follows the 8-byte archive length field in
/// the launcher image; xoqpack finds the field through it.
constexpr char kArchiveLengthMarker[] = "xoq.archive.1";
constexpr size_t kArchiveLengthMarkerSize = sizeof(kArchiveLengthMarker);  // NUL included

/// The 13-character marker that follows the carried runtime's descriptor in
/// the launcher image, which xoqpack fills in when it puts a Java runtime
/// into the executable.
constexpr char kCarriedRuntimeMarker[] = "xoq.runtime.1";
/// The descriptor's bytes before the marker: the runtime's length and its
/// offset (8 bytes each, little endian), then its SHA-256 (32 bytes).
constexpr size_t kCarriedRuntimeFieldSize = 48;

/// The Java runtime an executable carries: a ZIP archive of the runtime's
/// files inside the payload archive's bytes, ahead of its central directory
/// but in no entry of it, so that neither the launcher's loader nor the
/// runtime's own reading of the executable as a jar can see it. The
/// descriptor lies in the launcher image, which the integrity value covers.
struct CarriedRuntime {
  uint32_t offset = 0;               // of its first byte, from the payload archive's first byte
  uint32_t length = 0;               // 0: the executable carries no runtime
  std::array<uint8_t, 32> digest{};  // SHA-256 of its bytes
};

/// Reads a descriptor from its kCarriedRuntimeFieldSize bytes; lengths and
/// offsets beyond 32 bits give a length of 0.
CarriedRuntime readCarriedRuntime(const uint8_t* field);

/// The descriptor patched into this launcher's own image.
CarriedRuntime ownCarriedRuntime();

/// Where the parts of the payload lie in one file.
struct PayloadLayout {
  uint32_t fileSize = 0;        // low 32 bits of the file size
  uint32_t commentLength = 0;   // bytes after the end record (0 when none found)
  uint32_t archiveLength = 0;   // from the launcher image's patched field
  int64_t payloadPosition = 0;  // P = fileSize - comment - archive - 16; may lie outside the file

  // Valid when `configFits`: the block and its length field lie inside.
  bool configFits = false;
  uint32_t configLength = 0;  // the stored length: text plus its NUL
  uint32_t configStart = 0;   // first byte of the configuration text

  // Valid when `fits`: the block, the integrity value, the archive and its
  // central directory all lie inside the file.
  bool fits = false;
  uint32_t archiveStart = 0;  // first byte of the archive (P + 16)
  uint32_t endRecord = 0;     // position of the end-of-central-directory record
  uint32_t centralDirectoryStart = 0;
  uint32_t centralDirectorySize = 0;
};

/// The archive comment of a file: the bytes after the last end-of-central-
/// directory signature found in the tail window of max(size / 100, 51200) +
/// 22 bytes (the whole file when that is longer). 0 when none is found.
uint32_t findArchiveCommentLength(const uint8_t* data, size_t size);

/// Computes the layout of a payload in `data` for the given archive length.
/// Never reads outside `data`; `fits` says whether the configuration block,
/// the integrity value, the archive and its central directory all lie inside.
PayloadLayout computePayloadLayout(const uint8_t* data, size_t size, uint32_t archiveLength);

/// The archive length patched into this launcher's own image (low 32 bits).
uint32_t ownArchiveLength();

/// The archive comment of the running executable; empty when none is found
/// or the executable cannot be read.
std::string readArchiveComment();

/// Computes the layout of the executable mapped at `file` and stores its
/// payload position in `store`, as the configuration loading needs first.
PayloadLayout locatePayload(ConfigStore& store, const uint8_t* file, size_t size, uint32_t archiveLength);

}  // namespace xoq

#endif  // XOQ_CONFIG_PAYLOAD_H_
