// The integrity value that xoqpack stores between `configLength` and the
// archive: the first 16 bytes of a SHA-256 over
//   - the launcher image, the configuration block and `configLength`,
//     without the PE checksum field and the PE certificate-table directory
//     entry (both change when the file is signed);
//   - the archive's central directory and what follows it up to the end
//     record (the ZIP64 end record and locator of a large archive);
//   - the end-of-central-directory record without its comment length.
// Entry data is left out on purpose: each entry has its own CRC-32, and the
// check must cost milliseconds even for a payload of a gigabyte. Everything
// after the end record is left out too, so that an Authenticode signature
// (which lands there) or a comment added later keeps the value.
#ifndef XOQ_ARCHIVE_INTEGRITY_H_
#define XOQ_ARCHIVE_INTEGRITY_H_

#include <array>
#include <cstddef>
#include <cstdint>

#include "config/payload.h"

namespace xoq {

using IntegrityValue = std::array<uint8_t, kIntegrityValueSize>;

/// The value over the three covered regions. `prefix` is the file from its
/// first byte up to the payload position; `centralDirectory` runs up to the
/// end record; `endRecord` holds 22 bytes.
IntegrityValue computeIntegrityValue(const uint8_t* prefix, size_t prefixLength, const uint8_t* centralDirectory,
                                     size_t centralDirectoryLength, const uint8_t* endRecord);

/// The value of a whole file whose payload fits `layout`.
IntegrityValue computeIntegrityValue(const uint8_t* file, const PayloadLayout& layout);

/// True when the payload fits the file and its stored value matches.
bool verifyIntegrity(const uint8_t* file, const PayloadLayout& layout);

}  // namespace xoq

#endif  // XOQ_ARCHIVE_INTEGRITY_H_
