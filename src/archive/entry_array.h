// Reading an archive entry straight into a new Java byte array.
#ifndef XOQ_ARCHIVE_ENTRY_ARRAY_H_
#define XOQ_ARCHIVE_ENTRY_ARRAY_H_

#include <jni.h>

#include <cstdint>
#include <string_view>

namespace xoq {

class ArchiveNode;
struct EntryLocation;

/// The bytes of entry `name` of `node` (see readEntryBytes, also for
/// `release` and `location`) as a new Java byte array (a local reference),
/// or null when the entry is not found or the array cannot be had. The
/// array is the only buffer: the entry is inflated or copied into it
/// directly.
jbyteArray readEntryArray(JNIEnv* env, const ArchiveNode& node, std::string_view name, bool searchNested,
                          int32_t release = 0, EntryLocation* location = nullptr);

}  // namespace xoq

#endif  // XOQ_ARCHIVE_ENTRY_ARRAY_H_
