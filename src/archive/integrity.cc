#include "archive/integrity.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "base/byte_order.h"
#include "base/sha256.h"

namespace xoq {

namespace {

struct Range {
  size_t start;
  size_t length;
};

// The fields of a PE image that signing rewrites: the optional header's
// CheckSum and the certificate-table entry of its data directory. An image
// that is not PE (the Linux launcher) has none.
std::vector<Range> signedFields(const uint8_t* image, size_t length) {
  std::vector<Range> fields;
  if (length < 0x40 || image[0] != 'M' || image[1] != 'Z') return fields;
  const size_t header = readLittle32(image + 0x3C);
  const size_t optional = header + 24;
  if (header > length || length - header < 24 + 2 || memcmp(image + header, "PE\0\0", 4) != 0) return fields;
  const uint16_t magic = readLittle16(image + optional);
  size_t directories = 0;
  if (magic == 0x20B) {
    directories = optional + 112;  // PE32+
  } else if (magic == 0x10B) {
    directories = optional + 96;  // PE32
  } else {
    return fields;
  }
  fields.push_back({optional + 64, 4});
  fields.push_back({directories + 4 * 8, 8});
  return fields;
}

}  // namespace

IntegrityValue computeIntegrityValue(const uint8_t* prefix, size_t prefixLength, const uint8_t* centralDirectory,
                                     size_t centralDirectoryLength, const uint8_t* endRecord) {
  Sha256 hash;
  size_t position = 0;
  for (const Range& field : signedFields(prefix, prefixLength)) {
    if (field.start < position || field.start + field.length > prefixLength) continue;
    hash.update(prefix + position, field.start - position);
    position = field.start + field.length;
  }
  hash.update(prefix + position, prefixLength - position);
  hash.update(centralDirectory, centralDirectoryLength);
  hash.update(endRecord, kEndRecordSize - 2);  // without the comment length
  const Sha256::Digest digest = hash.finish();
  IntegrityValue value;
  std::copy(digest.begin(), digest.begin() + value.size(), value.begin());
  return value;
}

IntegrityValue computeIntegrityValue(const uint8_t* file, const PayloadLayout& layout) {
  return computeIntegrityValue(file, static_cast<size_t>(layout.payloadPosition), file + layout.centralDirectoryStart,
                               layout.endRecord - layout.centralDirectoryStart, file + layout.endRecord);
}

bool verifyIntegrity(const uint8_t* file, const PayloadLayout& layout) {
  if (!layout.fits) return false;
  const IntegrityValue computed = computeIntegrityValue(file, layout);
  return memcmp(computed.data(), file + layout.payloadPosition, computed.size()) == 0;
}

}  // namespace xoq
