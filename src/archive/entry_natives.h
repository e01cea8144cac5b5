// What com.tarvolin.xoq.Handler learns about payload entries without reading
// them: an entry's size and time for URL connections and file attributes,
// and an archive's entry names for the "xoq:" file system.
#ifndef XOQ_ARCHIVE_ENTRY_NATIVES_H_
#define XOQ_ARCHIVE_ENTRY_NATIVES_H_

#include <jni.h>

#include <cstdint>
#include <string_view>

extern "C" {

/// Handler.loadResourceInfo(String): for the entry a "xoq:" URL names (found
/// as loadResourceData finds it), a long[] of its size, its DOS date and
/// time, its exact modification time in milliseconds since 1970
/// (Long.MIN_VALUE when the archive has none) and flags (1: a directory,
/// 2: a class file not readable as a resource); null when there is no such
/// entry. Reads nothing of the entry's data.
JNIEXPORT jlongArray JNICALL Java_com_tarvolin_xoq_Handler_loadResourceInfo(JNIEnv* env, jobject self, jstring url);

/// Handler.listEntries(String): the entry names ('/' separators) of the
/// archive that an entry path of nested-archive names names ("" for the
/// payload archive itself, "lib/a.jar", "lib/a.jar!b.jar"); null when there
/// is no such archive.
JNIEXPORT jobjectArray JNICALL Java_com_tarvolin_xoq_Handler_listEntries(JNIEnv* env, jobject self, jstring archive);
}

namespace xoq {

/// Flags of loadResourceInfo.
constexpr int64_t kInfoDirectory = 1;
constexpr int64_t kInfoRefusedClassFile = 2;

/// True when `bytes` are well-formed UTF-8 (no overlong forms, no surrogates).
bool isWellFormedUtf8(std::string_view bytes);

}  // namespace xoq

#endif  // XOQ_ARCHIVE_ENTRY_NATIVES_H_
