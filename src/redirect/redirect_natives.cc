#include "redirect/redirect_natives.h"

#include <atomic>

#include "platform/standard_streams.h"
#include "runtime/vm_context.h"

namespace xoq {

namespace {

// Looked up on the first call and kept: every thread finds the same value,
// so the race of two first calls is harmless.
std::atomic<jfieldID> handleField{nullptr};

platform::StreamHandle handleOf(JNIEnv* env, jobject self) {
  jfieldID field = handleField.load(std::memory_order_relaxed);
  if (field == nullptr) {
    jclass type = env->GetObjectClass(self);
    field = env->GetFieldID(type, "h", "J");
    env->DeleteLocalRef(type);
    if (field == nullptr) {
      clearPendingException(env, false);
      return platform::kNoStreamHandle;
    }
    handleField.store(field, std::memory_order_relaxed);
  }
  const jlong handle = env->GetLongField(self, field);
  return handle == 0 ? platform::kNoStreamHandle : static_cast<platform::StreamHandle>(handle);
}

}  // namespace

}  // namespace xoq

extern "C" JNIEXPORT void JNICALL Java_com_tarvolin_xoq_RedirOutputStream_write(JNIEnv* env, jobject self, jint b) {
  const xoq::platform::StreamHandle handle = xoq::handleOf(env, self);
  const unsigned char byte = static_cast<unsigned char>(b & 0xFF);
  if (handle != xoq::platform::kNoStreamHandle) xoq::platform::writeToStreamHandle(handle, &byte, 1);
}

extern "C" JNIEXPORT void JNICALL Java_com_tarvolin_xoq_RedirOutputStream_writeBytes(JNIEnv* env, jobject self,
                                                                                     jbyteArray bytes, jint offset,
                                                                                     jint length) {
  if (bytes == nullptr || offset < 0 || length <= 0) return;
  const jsize size = env->GetArrayLength(bytes);
  if (offset > size || length > size - offset) return;
  const xoq::platform::StreamHandle handle = xoq::handleOf(env, self);
  if (handle == xoq::platform::kNoStreamHandle) return;
  // Copied out in pieces, not pinned: a write to a command that reads slowly
  // may block, and a pinned array would hold up the garbage collector.
  jbyte piece[16384];
  while (length > 0) {
    const jint count = length < static_cast<jint>(sizeof piece) ? length : static_cast<jint>(sizeof piece);
    env->GetByteArrayRegion(bytes, offset, count, piece);
    if (!xoq::platform::writeToStreamHandle(handle, piece, static_cast<size_t>(count))) return;
    offset += count;
    length -= count;
  }
}
