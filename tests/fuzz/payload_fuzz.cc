// The payload of an executable: where the configuration block, the integrity
// value and the archive lie, found from the end of a file that may be
// truncated, damaged or made up. The first four bytes of the input are the
// archive length patched into the launcher image (little-endian); the rest
// is the file.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "archive/archive_node.h"
#include "archive/integrity.h"
#include "config/config_store.h"
#include "config/payload.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  const uint32_t archiveLength = static_cast<uint32_t>(data[0]) | static_cast<uint32_t>(data[1]) << 8 |
                                 static_cast<uint32_t>(data[2]) << 16 | static_cast<uint32_t>(data[3]) << 24;
  // A buffer of exactly the file's size, so that any read past its end is
  // caught.
  const size_t fileSize = size - 4;
  std::unique_ptr<uint8_t[]> file(new uint8_t[fileSize == 0 ? 1 : fileSize]);
  if (fileSize > 0) std::memcpy(file.get(), data + 4, fileSize);

  xoq::ConfigStore config;
  const xoq::PayloadLayout layout = xoq::locatePayload(config, file.get(), fileSize, archiveLength);
  if (layout.fits && !layout.configFits) std::abort();  // a payload that fits has a block that fits
  if (layout.configFits) {
    if (static_cast<uint64_t>(layout.configStart) + layout.configLength > fileSize) std::abort();
    const char* block = reinterpret_cast<const char*>(file.get()) + layout.configStart;
    config.appendText(block, strnlen(block, layout.configLength));
    (void)config.mainClass();
  }
  if (layout.fits) {
    if (layout.endRecord + static_cast<uint64_t>(xoq::kEndRecordSize) > fileSize) std::abort();
    if (static_cast<uint64_t>(layout.centralDirectoryStart) + layout.centralDirectorySize > fileSize) std::abort();
    (void)xoq::verifyIntegrity(file.get(), layout);
  }
  return 0;
}
