#include "archive/entry_natives.h"

#include <string>

#include "archive/archive_node.h"
#include "archive/name_forms.h"
#include "archive/payload_archive.h"
#include "archive/resource_natives.h"
#include "runtime/java_strings.h"
#include "runtime/vm_context.h"

namespace xoq {

namespace {

constexpr uint16_t kFlagUtf8Name = 1u << 11;

// The entry a URL's text names, found as loadResourceData finds it.
bool findUrlEntry(const ArchiveNode& archive, const NameForms& forms, EntryInfo& info) {
  struct Finding {
    const ArchiveNode& archive;
    EntryInfo& info;
  } finding{archive, info};
  return tryUrlEntryPaths(forms, &finding, [](std::string_view entryPath, void* argument) {
    Finding& target = *static_cast<Finding*>(argument);
    return findEntryInfo(target.archive, entryPath, false, target.info);
  });
}

bool isContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

}  // namespace

bool isWellFormedUtf8(std::string_view bytes) {
  size_t i = 0;
  while (i < bytes.size()) {
    const unsigned char c = static_cast<unsigned char>(bytes[i]);
    size_t length = 0;
    uint32_t value = 0;
    if (c < 0x80) {
      ++i;
      continue;
    } else if (c >= 0xC2 && c <= 0xDF) {
      length = 2;
      value = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      length = 3;
      value = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      length = 4;
      value = c & 0x07;
    } else {
      return false;
    }
    if (i + length > bytes.size()) return false;
    for (size_t k = 1; k < length; ++k) {
      const unsigned char next = static_cast<unsigned char>(bytes[i + k]);
      if (!isContinuation(next)) return false;
      value = (value << 6) | (next & 0x3F);
    }
    if ((length == 3 && (value < 0x800 || (value >= 0xD800 && value <= 0xDFFF))) ||
        (length == 4 && (value < 0x10000 || value > 0x10FFFF))) {
      return false;
    }
    i += length;
  }
  return true;
}

}  // namespace xoq

extern "C" {

JNIEXPORT jlongArray JNICALL Java_com_tarvolin_xoq_Handler_loadResourceInfo(JNIEnv* env, jobject /*self*/,
                                                                            jstring url) {
  using namespace xoq;
  const ArchiveNode& archive = ensurePayloadArchiveOpen();
  NameForms forms = makeEntryPathForms(env, url);
  if (!forms.ok) return nullptr;
  EntryInfo info;
  if (!findUrlEntry(archive, forms, info)) return nullptr;
  int64_t flags = 0;
  if (!forms.narrow.empty() && forms.narrow.back() == '\\') flags |= kInfoDirectory;
  if (isRefusedClassFile(forms.narrow)) flags |= kInfoRefusedClassFile;
  const jlong values[4] = {static_cast<jlong>(info.size), static_cast<jlong>(info.time.dos),
                           info.time.hasUnixTime ? static_cast<jlong>(info.time.unixMillis) : INT64_MIN,
                           static_cast<jlong>(flags)};
  jlongArray result = env->NewLongArray(4);
  if (result == nullptr) {
    env->ExceptionClear();  // out of memory: as if there were no entry
    return nullptr;
  }
  env->SetLongArrayRegion(result, 0, 4, values);
  return result;
}

JNIEXPORT jobjectArray JNICALL Java_com_tarvolin_xoq_Handler_listEntries(JNIEnv* env, jobject /*self*/,
                                                                         jstring archivePath) {
  using namespace xoq;
  const ArchiveNode& payload = ensurePayloadArchiveOpen();
  NameForms forms = makeEntryPathForms(env, archivePath);
  if (!forms.ok) return nullptr;
  const ArchiveNode* archive = findNestedArchive(payload, forms.narrow);
  if (archive == nullptr && forms.differ()) archive = findNestedArchive(payload, forms.utf8);
  if (archive == nullptr) return nullptr;

  jclass stringClass = env->FindClass("java/lang/String");
  jobjectArray names = stringClass != nullptr
                           ? env->NewObjectArray(static_cast<jsize>(archive->entryCount()), stringClass, nullptr)
                           : nullptr;
  for (size_t i = 0; names != nullptr && i < archive->entryCount(); ++i) {
    const std::string name = withSlashes(std::string(archive->entryName(i)));
    // Names are UTF-8 when the entry says so or when they read as UTF-8
    // (as java.util.jar reads them); other bytes are the code page's.
    const bool utf8 = (archive->entry(i).flags & kFlagUtf8Name) != 0 || isWellFormedUtf8(name);
    jstring text = utf8 ? newStringFromUtf8(env, name) : newStringFromNarrow(env, name);
    if (text == nullptr) {
      env->DeleteLocalRef(names);
      names = nullptr;
      break;
    }
    env->SetObjectArrayElement(names, static_cast<jsize>(i), text);
    env->DeleteLocalRef(text);
  }
  // Out of memory on the way: no listing rather than one with holes.
  clearPendingException(env, false);
  if (stringClass != nullptr) env->DeleteLocalRef(stringClass);
  return names;
}
}
