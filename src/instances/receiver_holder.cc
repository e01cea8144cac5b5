#include "instances/receiver_holder.h"

#include "base/trace.h"
#include "runtime/vm_context.h"

namespace xoq {

namespace {

// Enough for every local reference one delivery makes.
constexpr jint kDeliveryLocalFrame = 16;

uint32_t messageKind(const std::string& bytes) {
  const auto byteAt = [&bytes](size_t at) { return static_cast<uint32_t>(static_cast<uint8_t>(bytes[at])); };
  return byteAt(0) | byteAt(1) << 8 | byteAt(2) << 16 | byteAt(3) << 24;
}

void setContextClassLoader(JNIEnv* env, jobject loader) {
  jclass threadClass = env->FindClass("java/lang/Thread");
  jmethodID current =
      threadClass == nullptr ? nullptr : env->GetStaticMethodID(threadClass, "currentThread", "()Ljava/lang/Thread;");
  jmethodID set = threadClass == nullptr
                      ? nullptr
                      : env->GetMethodID(threadClass, "setContextClassLoader", "(Ljava/lang/ClassLoader;)V");
  jobject thread = current == nullptr ? nullptr : env->CallStaticObjectMethod(threadClass, current);
  if (thread != nullptr && set != nullptr) env->CallVoidMethod(thread, set, loader);
  clearPendingException(env, true);
}

// The one object of the serialization stream in `bytes` after the kind,
// resolved through `loader`; null (the reason printed) when it cannot be
// read.
jobject readObject(JNIEnv* env, const std::string& bytes, jclass streamClass, jobject loader) {
  const jsize length = static_cast<jsize>(bytes.size() - 4);
  jbyteArray array = env->NewByteArray(length);
  if (array == nullptr) {
    clearPendingException(env, true);
    return nullptr;
  }
  env->SetByteArrayRegion(array, 0, length, reinterpret_cast<const jbyte*>(bytes.data() + 4));
  jclass arrayStreamClass = env->FindClass("java/io/ByteArrayInputStream");
  jmethodID arrayStreamInit =
      arrayStreamClass == nullptr ? nullptr : env->GetMethodID(arrayStreamClass, "<init>", "([B)V");
  jobject arrayStream = arrayStreamInit == nullptr ? nullptr : env->NewObject(arrayStreamClass, arrayStreamInit, array);
  jmethodID init = env->GetMethodID(streamClass, "<init>", "(Ljava/io/InputStream;Ljava/lang/ClassLoader;)V");
  jmethodID read = env->GetMethodID(streamClass, "readObject", "()Ljava/lang/Object;");
  jmethodID close = env->GetMethodID(streamClass, "close", "()V");
  jobject stream =
      arrayStream == nullptr || init == nullptr ? nullptr : env->NewObject(streamClass, init, arrayStream, loader);
  if (stream == nullptr || read == nullptr || close == nullptr) {
    clearPendingException(env, true);
    return nullptr;
  }
  jobject object = env->CallObjectMethod(stream, read);
  if (clearPendingException(env, true)) object = nullptr;
  env->CallVoidMethod(stream, close);
  clearPendingException(env, true);
  return object;
}

}  // namespace

ReceiverHolder::~ReceiverHolder() = default;

void ReceiverHolder::deliverMessage(int32_t sender, const std::string& bytes) {
  if (bytes.size() < 4 || messageKind(bytes) != 0) return;
  VmContext* context = theVm;
  JavaVM* vm = context == nullptr ? nullptr : context->vm;
  JNIEnv* env = nullptr;
  if (vm == nullptr || vm->AttachCurrentThreadAsDaemon(reinterpret_cast<void**>(&env), nullptr) != JNI_OK ||
      env == nullptr) {
    return;
  }
  if (env->PushLocalFrame(kDeliveryLocalFrame) == 0) {
    jobject receiver = nullptr;
    jobject loader = nullptr;
    jclass streamClass = nullptr;
    jmethodID onReceive = nullptr;
    {
      // Local references of its own: setReceiver may release the global
      // ones while the application's receiver runs.
      std::lock_guard<std::mutex> hold(lock_);
      if (receiverObject_ != nullptr && onReceiveMethod_ != nullptr && inputStreamClass_ != nullptr) {
        receiver = env->NewLocalRef(receiverObject_);
        loader = classLoader_ == nullptr ? nullptr : env->NewLocalRef(classLoader_);
        streamClass = static_cast<jclass>(env->NewLocalRef(inputStreamClass_));
        onReceive = onReceiveMethod_;
      }
    }
    if (receiver == nullptr || streamClass == nullptr) {
      trace("instances: message from %d dropped (no receiver)", sender);
    } else {
      setContextClassLoader(env, loader);
      jobject object = readObject(env, bytes, streamClass, loader);
      // An exception that onReceive throws stays pending: detaching the
      // thread hands it to the uncaught-exception handler, as for any
      // thread of the application.
      if (object != nullptr) env->CallVoidMethod(receiver, onReceive, static_cast<jint>(sender), object);
    }
    env->PopLocalFrame(nullptr);
  } else {
    clearPendingException(env, true);
  }
  vm->DetachCurrentThread();
}

void ReceiverHolder::setReceiver(JNIEnv* env, jobject receiver) {
  jobject newReceiver = nullptr;
  jobject newLoader = nullptr;
  jmethodID method = nullptr;
  if (receiver != nullptr) {
    jclass type = env->GetObjectClass(receiver);
    method = env->GetMethodID(type, "onReceive", "(ILjava/io/Serializable;)V");
    jclass classClass = env->GetObjectClass(type);
    jmethodID getLoader = env->GetMethodID(classClass, "getClassLoader", "()Ljava/lang/ClassLoader;");
    jobject loader = method == nullptr || getLoader == nullptr ? nullptr : env->CallObjectMethod(type, getLoader);
    if (clearPendingException(env, true) || method == nullptr) {
      env->DeleteLocalRef(classClass);
      env->DeleteLocalRef(type);
      return;
    }
    newReceiver = env->NewGlobalRef(receiver);
    newLoader = loader == nullptr ? nullptr : env->NewGlobalRef(loader);
    env->DeleteLocalRef(loader);
    env->DeleteLocalRef(classClass);
    env->DeleteLocalRef(type);
  }
  // Found through the class that called: the support classes sit beside
  // Instances, whichever loader has them.
  jclass streamClass = env->FindClass("com/tarvolin/xoq/ClassLoaderObjectInputStream");
  clearPendingException(env, true);
  std::lock_guard<std::mutex> hold(lock_);
  if (inputStreamClass_ == nullptr && streamClass != nullptr) {
    inputStreamClass_ = static_cast<jclass>(env->NewGlobalRef(streamClass));
  }
  env->DeleteLocalRef(streamClass);
  if (receiverObject_ != nullptr) env->DeleteGlobalRef(receiverObject_);
  if (classLoader_ != nullptr) env->DeleteGlobalRef(classLoader_);
  receiverObject_ = newReceiver;
  classLoader_ = newLoader;
  onReceiveMethod_ = method;
}

ReceiverHolder& theReceiverHolder() {
  // Never destroyed: the transport thread may still look at it while the
  // process ends.
  static ReceiverHolder* holder = new ReceiverHolder();
  return *holder;
}

}  // namespace xoq
