// Reading an archive entry straight into a new Java byte array.
#ifndef XOQ_ARCHIVE_ENTRY_ARRAY_H_
#define XOQ_ARCHIVE_ENTRY_ARRAY_H_

#include <jni.h>

#include <string_view>

namespace xoq {

class ArchiveNode;

/// The bytes of entry `name` of `node` (see readEntryBytes) as a new Java
/// byte array (a local reference), or null when the entry is not found or
/// the array cannot be had. The array is the only buffer: the entry is
/// inflated or copied into it directly.
jbyteArray readEntryArray(JNIEnv* env, const ArchiveNode& node, std::string_view name, bool searchNested);

}  // namespace xoq

#endif  // XOQ_ARCHIVE_ENTRY_ARRAY_H_
