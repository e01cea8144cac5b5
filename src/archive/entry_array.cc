#include "archive/entry_array.h"

#include "archive/archive_node.h"

namespace xoq {

namespace {

// The array being filled. The reader allocates before it takes the node's
// lock and fills under it; the elements are held as a critical region in
// between, so that the bytes land in the Java heap without another copy. No
// JNI call happens inside that region: the reader runs plain C++ there.
struct Target {
  JNIEnv* env;
  jbyteArray array = nullptr;
  void* elements = nullptr;

  void drop() {
    if (elements != nullptr) env->ReleasePrimitiveArrayCritical(array, elements, JNI_ABORT);
    if (array != nullptr) env->DeleteLocalRef(array);
    elements = nullptr;
    array = nullptr;
  }
};

bool allocate(void* argument, uint32_t size, uint8_t** destination) {
  Target& target = *static_cast<Target*>(argument);
  // A second call means the first entry proved damaged: start over.
  target.drop();
  if (size > 0x7FFFFFFFu) return false;
  target.array = target.env->NewByteArray(static_cast<jsize>(size));
  if (target.array == nullptr) {
    target.env->ExceptionClear();  // out of memory: the entry counts as not found
    return false;
  }
  if (size == 0) {
    *destination = nullptr;
    return true;
  }
  target.elements = target.env->GetPrimitiveArrayCritical(target.array, nullptr);
  if (target.elements == nullptr) {
    target.env->ExceptionClear();
    return false;
  }
  *destination = static_cast<uint8_t*>(target.elements);
  return true;
}

}  // namespace

jbyteArray readEntryArray(JNIEnv* env, const ArchiveNode& node, std::string_view name, bool searchNested,
                          int32_t release, EntryLocation* location) {
  Target target{env};
  if (!readEntryBytes(node, name, searchNested, allocate, &target, release, location)) {
    target.drop();
    return nullptr;
  }
  if (target.elements != nullptr) env->ReleasePrimitiveArrayCritical(target.array, target.elements, 0);
  return target.array;
}

}  // namespace xoq
