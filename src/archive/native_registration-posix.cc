#include "archive/class_natives.h"
#include "archive/native_registration.h"
#include "archive/resource_natives.h"
#include "launcher/trace.h"
#include "runtime/vm_context.h"

namespace xoq {

namespace {

bool bind(JNIEnv* env, const char* className, const JNINativeMethod* methods, jint count) {
  jclass type = env->FindClass(className);
  if (type == nullptr) {
    clearPendingException(env, true);
    trace("natives of %s: class not found", className);
    return false;
  }
  const bool bound = env->RegisterNatives(type, methods, count) == 0;
  if (!bound) clearPendingException(env, true);
  trace("natives of %s: %s", className, bound ? "registered" : "not registered");
  env->DeleteLocalRef(type);
  return bound;
}

}  // namespace

bool registerSupportNatives(JNIEnv* env) {
  static const JNINativeMethod loader[] = {
      {const_cast<char*>("defineClass"), const_cast<char*>("(Ljava/lang/String;)Ljava/lang/Class;"),
       reinterpret_cast<void*>(Java_com_tarvolin_xoq_HolvaneClassLoader_defineClass)},
      {const_cast<char*>("findResource"), const_cast<char*>("(Ljava/lang/String;)Ljava/net/URL;"),
       reinterpret_cast<void*>(Java_com_tarvolin_xoq_HolvaneClassLoader_findResource)},
      {const_cast<char*>("findResources"), const_cast<char*>("(Ljava/lang/String;)Ljava/util/Enumeration;"),
       reinterpret_cast<void*>(Java_com_tarvolin_xoq_HolvaneClassLoader_findResources)},
  };
  static const JNINativeMethod handler[] = {
      {const_cast<char*>("loadResourceData"), const_cast<char*>("(Ljava/lang/String;)[B"),
       reinterpret_cast<void*>(Java_com_tarvolin_xoq_Handler_loadResourceData)},
  };
  const bool loaderBound = bind(env, "com/tarvolin/xoq/HolvaneClassLoader", loader, 3);
  const bool handlerBound = bind(env, "com/tarvolin/xoq/Handler", handler, 1);
  return loaderBound && handlerBound;
}

}  // namespace xoq
