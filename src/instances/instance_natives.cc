#include "instances/instance_natives.h"

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "instances/instance_registry.h"
#include "instances/receiver_holder.h"
#include "platform/instance_block.h"
#include "runtime/vm_context.h"

namespace xoq {

namespace {

bool transportStarted() { return theInstances != nullptr && readShared(theReceiverHolder().started) == 1; }

// The serialization stream of `object` (ByteArrayOutputStream wrapped in an
// ObjectOutputStream: writeObject, close, toByteArray) after the 4-byte
// kind 0. False, with the exception printed, when it cannot be made.
bool serialize(JNIEnv* env, jobject object, std::string& message) {
  if (env->PushLocalFrame(8) != 0) {
    clearPendingException(env, true);
    return false;
  }
  bool done = false;
  jclass bytesClass = env->FindClass("java/io/ByteArrayOutputStream");
  jclass objectsClass = env->FindClass("java/io/ObjectOutputStream");
  jmethodID bytesInit = bytesClass == nullptr ? nullptr : env->GetMethodID(bytesClass, "<init>", "()V");
  jmethodID toArray = bytesClass == nullptr ? nullptr : env->GetMethodID(bytesClass, "toByteArray", "()[B");
  jmethodID objectsInit =
      objectsClass == nullptr ? nullptr : env->GetMethodID(objectsClass, "<init>", "(Ljava/io/OutputStream;)V");
  jmethodID write =
      objectsClass == nullptr ? nullptr : env->GetMethodID(objectsClass, "writeObject", "(Ljava/lang/Object;)V");
  jmethodID close = objectsClass == nullptr ? nullptr : env->GetMethodID(objectsClass, "close", "()V");
  if (bytesInit != nullptr && toArray != nullptr && objectsInit != nullptr && write != nullptr && close != nullptr) {
    jobject bytes = env->NewObject(bytesClass, bytesInit);
    jobject objects = bytes == nullptr ? nullptr : env->NewObject(objectsClass, objectsInit, bytes);
    if (objects != nullptr) env->CallVoidMethod(objects, write, object);
    if (objects != nullptr && !env->ExceptionCheck()) env->CallVoidMethod(objects, close);
    jbyteArray array = objects == nullptr || env->ExceptionCheck()
                           ? nullptr
                           : static_cast<jbyteArray>(env->CallObjectMethod(bytes, toArray));
    if (array != nullptr && !env->ExceptionCheck()) {
      const jsize length = env->GetArrayLength(array);
      message.assign(4, '\0');  // kind 0: an object
      message.resize(4 + static_cast<size_t>(length));
      env->GetByteArrayRegion(array, 0, length, reinterpret_cast<jbyte*>(&message[4]));
      done = true;
    }
  }
  clearPendingException(env, true);
  env->PopLocalFrame(nullptr);
  return done;
}

}  // namespace

}  // namespace xoq

using xoq::theInstances;

extern "C" JNIEXPORT jint JNICALL Java_com_tarvolin_xoq_Instances_getFirstInstance(JNIEnv* /*env*/, jclass /*type*/) {
  return xoq::transportStarted() ? theInstances->firstInstanceId() : -1;
}

extern "C" JNIEXPORT jint JNICALL Java_com_tarvolin_xoq_Instances_getCurrentInstance(JNIEnv* /*env*/, jclass /*type*/) {
  return xoq::transportStarted() ? theInstances->ownId() : -1;
}

extern "C" JNIEXPORT jintArray JNICALL Java_com_tarvolin_xoq_Instances_getInstances(JNIEnv* env, jclass /*type*/) {
  std::vector<int32_t> instances;
  if (theInstances != nullptr) instances = theInstances->getInstances();
  const jsize length = static_cast<jsize>(instances.size());
  jintArray array = env->NewIntArray(length);
  if (array == nullptr) {
    xoq::clearPendingException(env, true);
    return nullptr;
  }
  if (length > 0) env->SetIntArrayRegion(array, 0, length, reinterpret_cast<const jint*>(instances.data()));
  return array;
}

extern "C" JNIEXPORT void JNICALL Java_com_tarvolin_xoq_Instances_sendObject(JNIEnv* env, jclass /*type*/, jint target,
                                                                             jobject object) {
  if (!xoq::transportStarted()) return;
  std::string message;
  if (!xoq::serialize(env, object, message)) return;
  if (message.size() > static_cast<size_t>(xoq::kMaxMessageLength)) {
    fprintf(stderr, "xoq: an object of %zu bytes is too large to send to another instance (at most %d)\n",
            message.size() - 4, xoq::kMaxMessageLength - 4);
    fflush(stderr);
    return;
  }
  theInstances->enqueueMessage(target, std::move(message));
}

extern "C" JNIEXPORT void JNICALL Java_com_tarvolin_xoq_Instances_flush(JNIEnv* /*env*/, jclass /*type*/) {
  if (xoq::transportStarted()) theInstances->flushQueue();
}

extern "C" JNIEXPORT void JNICALL Java_com_tarvolin_xoq_Instances_setReceiver(JNIEnv* env, jclass /*type*/,
                                                                              jobject receiver) {
  xoq::theReceiverHolder().setReceiver(env, receiver);
}

extern "C" JNIEXPORT void JNICALL Java_com_tarvolin_xoq_Instances_awaitLastChunk(JNIEnv* /*env*/, jclass /*type*/) {
  if (xoq::transportStarted()) theInstances->waitForOwnChunk();
}
