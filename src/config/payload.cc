#include "config/payload.h"

#include <algorithm>
#include <cstring>

#include "base/byte_order.h"
#include "config/config_store.h"
#include "platform/platform.h"

namespace xoq {

namespace {

// The launcher's archive length field, patched by xoqpack: 8 bytes, little
// endian, followed by the marker and its NUL. Read through a volatile access
// so that the compiler cannot fold the zero it was built with.
struct ArchiveLengthField {
  uint8_t length[8];
  char marker[kArchiveLengthMarkerSize];
};

__attribute__((used))
const volatile ArchiveLengthField archiveLengthField = {{0, 0, 0, 0, 0, 0, 0, 0}, "xoq.archive.1"};
static_assert(sizeof(kArchiveLengthMarker) == 14, "the marker has 13 characters and a NUL");

// The carried runtime's descriptor, patched by xoqpack the same way.
struct CarriedRuntimeField {
  uint8_t descriptor[kCarriedRuntimeFieldSize];
  char marker[sizeof(kCarriedRuntimeMarker)];
};

__attribute__((used)) const volatile CarriedRuntimeField carriedRuntimeField = {{0}, "xoq.runtime.1"};
static_assert(sizeof(kCarriedRuntimeMarker) == 14, "the marker has 13 characters and a NUL");

constexpr uint8_t kEndSignature[4] = {'P', 'K', 5, 6};

}  // namespace

uint32_t ownArchiveLength() {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | archiveLengthField.length[i];
  return value;
}

CarriedRuntime readCarriedRuntime(const uint8_t* field) {
  CarriedRuntime runtime;
  const uint64_t length = readLittle64(field);
  const uint64_t offset = readLittle64(field + 8);
  if (length > 0xFFFFFFFFu || offset > 0xFFFFFFFFu) return runtime;
  runtime.length = static_cast<uint32_t>(length);
  runtime.offset = static_cast<uint32_t>(offset);
  for (size_t i = 0; i < runtime.digest.size(); ++i) runtime.digest[i] = field[16 + i];
  return runtime;
}

CarriedRuntime ownCarriedRuntime() {
  uint8_t field[kCarriedRuntimeFieldSize];
  for (size_t i = 0; i < kCarriedRuntimeFieldSize; ++i) field[i] = carriedRuntimeField.descriptor[i];
  return readCarriedRuntime(field);
}

uint32_t findArchiveCommentLength(const uint8_t* data, size_t size) {
  const uint32_t fileSize = static_cast<uint32_t>(size);
  uint32_t window = std::max<uint32_t>(fileSize / 100, 51200) + kEndRecordSize;
  if (window > fileSize) window = fileSize;
  if (window < kEndRecordSize) return 0;
  const uint8_t* start = data + (fileSize - window);
  for (uint32_t offset = window - kEndRecordSize + 1; offset-- > 0;) {
    if (memcmp(start + offset, kEndSignature, 4) == 0) {
      return window - offset - kEndRecordSize;
    }
  }
  return 0;
}

PayloadLayout computePayloadLayout(const uint8_t* data, size_t size, uint32_t archiveLength) {
  PayloadLayout layout;
  layout.fileSize = static_cast<uint32_t>(size);
  layout.archiveLength = archiveLength;
  layout.commentLength = findArchiveCommentLength(data, layout.fileSize);
  const int64_t fileSize = layout.fileSize;
  const int64_t position = fileSize - layout.commentLength - static_cast<int64_t>(archiveLength) - kIntegrityValueSize;
  layout.payloadPosition = position;

  // The length field and the text before it.
  if (position < 4 || position > fileSize) return layout;
  const int32_t configLength = static_cast<int32_t>(readLittle32(data + position - 4));
  if (configLength < 1 || configLength > position - 4) return layout;
  layout.configLength = static_cast<uint32_t>(configLength);
  layout.configStart = static_cast<uint32_t>(position - 4 - configLength);
  layout.configFits = true;

  // The archive must end in its end record, right before the comment.
  const int64_t archiveStart = position + kIntegrityValueSize;
  const int64_t endRecord = fileSize - layout.commentLength - kEndRecordSize;
  if (endRecord < archiveStart) return layout;
  if (memcmp(data + endRecord, kEndSignature, 4) != 0) return layout;
  const int64_t directorySize = readLittle32(data + endRecord + 12);
  const int64_t directoryStart = archiveStart + readLittle32(data + endRecord + 16);
  if (directoryStart + directorySize > endRecord) return layout;

  layout.archiveStart = static_cast<uint32_t>(archiveStart);
  layout.endRecord = static_cast<uint32_t>(endRecord);
  layout.centralDirectoryStart = static_cast<uint32_t>(directoryStart);
  layout.centralDirectorySize = static_cast<uint32_t>(directorySize);
  layout.fits = true;
  return layout;
}

std::string readArchiveComment() {
  platform::MappedFile file;
  if (!file.open(platform::modulePath())) return std::string();
  const uint32_t length = findArchiveCommentLength(file.data(), file.size());
  const uint32_t size = static_cast<uint32_t>(file.size());
  return std::string(reinterpret_cast<const char*>(file.data()) + (size - length), length);
}

PayloadLayout locatePayload(ConfigStore& store, const uint8_t* file, size_t size, uint32_t archiveLength) {
  const PayloadLayout layout = computePayloadLayout(file, size, archiveLength);
  store.setPayloadPosition(static_cast<int32_t>(layout.payloadPosition));
  return layout;
}

}  // namespace xoq
