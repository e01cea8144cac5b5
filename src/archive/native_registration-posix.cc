#include <jvmti.h>

#include <atomic>
#include <cstring>

#include "archive/class_natives.h"
#include "archive/entry_natives.h"
#include "archive/native_registration.h"
#include "archive/resource_natives.h"
#include "eventlog/event_log_natives.h"
#include "instances/instance_natives.h"
#include "launcher/trace.h"
#include "redirect/redirect_natives.h"
#include "runtime/vm_context.h"
#include "splash/splash_natives.h"

namespace xoq {

namespace {

const JNINativeMethod loaderMethods[] = {
    {const_cast<char*>("defineClass"), const_cast<char*>("(Ljava/lang/String;)Ljava/lang/Class;"),
     reinterpret_cast<void*>(Java_com_tarvolin_xoq_HolvaneClassLoader_defineClass)},
    {const_cast<char*>("findResource"), const_cast<char*>("(Ljava/lang/String;)Ljava/net/URL;"),
     reinterpret_cast<void*>(Java_com_tarvolin_xoq_HolvaneClassLoader_findResource)},
    {const_cast<char*>("findResources"), const_cast<char*>("(Ljava/lang/String;)Ljava/util/Enumeration;"),
     reinterpret_cast<void*>(Java_com_tarvolin_xoq_HolvaneClassLoader_findResources)},
};
const JNINativeMethod handlerMethods[] = {
    {const_cast<char*>("loadResourceData"), const_cast<char*>("(Ljava/lang/String;)[B"),
     reinterpret_cast<void*>(Java_com_tarvolin_xoq_Handler_loadResourceData)},
    {const_cast<char*>("loadResourceInfo"), const_cast<char*>("(Ljava/lang/String;)[J"),
     reinterpret_cast<void*>(Java_com_tarvolin_xoq_Handler_loadResourceInfo)},
    {const_cast<char*>("listEntries"), const_cast<char*>("(Ljava/lang/String;)[Ljava/lang/String;"),
     reinterpret_cast<void*>(Java_com_tarvolin_xoq_Handler_listEntries)},
};
const JNINativeMethod splashMethods[] = {
    {const_cast<char*>("nativeGetSplashScreen"), const_cast<char*>("()Lcom/tarvolin/xoq/SplashScreen;"),
     reinterpret_cast<void*>(Java_com_tarvolin_xoq_SplashScreen_nativeGetSplashScreen)},
    {const_cast<char*>("nativeAutoClose"), const_cast<char*>("(I)V"),
     reinterpret_cast<void*>(Java_com_tarvolin_xoq_SplashScreen_nativeAutoClose)},
    {const_cast<char*>("nativeClose"), const_cast<char*>("()V"),
     reinterpret_cast<void*>(Java_com_tarvolin_xoq_SplashScreen_nativeClose)},
};
// The natives of Instances are not registered: a launch whose application
// never uses the class must not pay for loading it at start. The runtime
// finds them by name the first time one is called, since it looks natives
// that it cannot find otherwise up in the libraries of its agents, and this
// executable is the library of the agent "xoq" (cmake/linux.cmake exports
// them). Named here so that the link keeps them.
[[gnu::used]] void* const instancesNatives[] = {
    reinterpret_cast<void*>(Java_com_tarvolin_xoq_Instances_getFirstInstance),
    reinterpret_cast<void*>(Java_com_tarvolin_xoq_Instances_getCurrentInstance),
    reinterpret_cast<void*>(Java_com_tarvolin_xoq_Instances_getInstances),
    reinterpret_cast<void*>(Java_com_tarvolin_xoq_Instances_sendObject),
    reinterpret_cast<void*>(Java_com_tarvolin_xoq_Instances_flush),
    reinterpret_cast<void*>(Java_com_tarvolin_xoq_Instances_setReceiver),
    reinterpret_cast<void*>(Java_com_tarvolin_xoq_Instances_awaitLastChunk),
};
const JNINativeMethod redirMethods[] = {
    {const_cast<char*>("write"), const_cast<char*>("(I)V"),
     reinterpret_cast<void*>(Java_com_tarvolin_xoq_RedirOutputStream_write)},
    {const_cast<char*>("writeBytes"), const_cast<char*>("([BII)V"),
     reinterpret_cast<void*>(Java_com_tarvolin_xoq_RedirOutputStream_writeBytes)},
};
const JNINativeMethod eventLogMethods[] = {
    {const_cast<char*>("init"), const_cast<char*>("(Ljava/lang/String;Ljava/lang/String;)V"),
     reinterpret_cast<void*>(Java_com_tarvolin_xoq_EventLog_init)},
    {const_cast<char*>("reportEvent"), const_cast<char*>("(SSI[Ljava/lang/String;[B)V"),
     reinterpret_cast<void*>(Java_com_tarvolin_xoq_EventLog_reportEvent)},
    {const_cast<char*>("finalize"), const_cast<char*>("()V"),
     reinterpret_cast<void*>(Java_com_tarvolin_xoq_EventLog_finalize)},
};

struct SupportClass {
  const char* name;
  const char* signature;
  const JNINativeMethod* methods;
  jint count;
  std::atomic<bool> bound;
  // Bound by bindSupportClassNatives when the launcher needs the class,
  // not at every start.
  bool onDemand;
};

SupportClass supportClasses[] = {
    {"com/tarvolin/xoq/HolvaneClassLoader", "Lcom/tarvolin/xoq/HolvaneClassLoader;", loaderMethods, 3, {false}, false},
    {"com/tarvolin/xoq/Handler", "Lcom/tarvolin/xoq/Handler;", handlerMethods, 3, {false}, false},
    {"com/tarvolin/xoq/SplashScreen", "Lcom/tarvolin/xoq/SplashScreen;", splashMethods, 3, {false}, false},
    {"com/tarvolin/xoq/RedirOutputStream", "Lcom/tarvolin/xoq/RedirOutputStream;", redirMethods, 2, {false}, true},
    {"com/tarvolin/xoq/EventLog", "Lcom/tarvolin/xoq/EventLog;", eventLogMethods, 3, {false}, false},
};

bool bindTo(JNIEnv* env, jclass type, SupportClass& support) {
  const bool bound = env->RegisterNatives(type, support.methods, support.count) == 0;
  if (!bound) clearPendingException(env, true);
  if (bound) support.bound = true;
  return bound;
}

bool allBound() {
  for (const SupportClass& support : supportClasses) {
    if (!support.bound && !support.onDemand) return false;
  }
  return true;
}

// Called for every class the runtime prepares, until every support class
// is bound; preparation comes before any of their methods can run.
void JNICALL onClassPrepare(jvmtiEnv* jvmti, JNIEnv* env, jthread /*thread*/, jclass type) {
  char* signature = nullptr;
  if (jvmti->GetClassSignature(type, &signature, nullptr) != JVMTI_ERROR_NONE || signature == nullptr) return;
  for (SupportClass& support : supportClasses) {
    if (strcmp(signature, support.signature) == 0) bindTo(env, type, support);
  }
  jvmti->Deallocate(reinterpret_cast<unsigned char*>(signature));
  if (allBound()) jvmti->SetEventNotificationMode(JVMTI_DISABLE, JVMTI_EVENT_CLASS_PREPARE, nullptr);
}

}  // namespace

const char* supportNativesAgentOption() { return "-agentlib:xoq"; }

bool registerSupportNatives(JNIEnv* env) {
  bool all = true;
  for (SupportClass& support : supportClasses) {
    if (support.bound || support.onDemand) {
      trace("natives of %s: %s", support.name,
            support.bound ? "bound when the class was prepared" : "bound when needed");
      continue;
    }
    jclass type = env->FindClass(support.name);
    if (type == nullptr) {
      clearPendingException(env, true);
      trace("natives of %s: class not found", support.name);
      all = false;
      continue;
    }
    const bool bound = support.bound || bindTo(env, type, support);
    trace("natives of %s: %s", support.name, bound ? "registered" : "not registered");
    all = all && bound;
    env->DeleteLocalRef(type);
  }
  return all;
}

bool bindSupportClassNatives(JNIEnv* env, jclass type, const char* name) {
  for (SupportClass& support : supportClasses) {
    if (strcmp(support.name, name) == 0) return support.bound || bindTo(env, type, support);
  }
  return false;
}

}  // namespace xoq

// The statically linked agent behind "-agentlib:xoq": the runtime finds it
// in the executable by this name.
extern "C" JNIEXPORT jint JNICALL Agent_OnLoad_xoq(JavaVM* vm, char* /*options*/, void* /*reserved*/) {
  jvmtiEnv* jvmti = nullptr;
  if (vm->GetEnv(reinterpret_cast<void**>(&jvmti), JVMTI_VERSION_1_0) != JNI_OK || jvmti == nullptr) {
    return JNI_OK;  // the natives are then registered after creation
  }
  jvmtiEventCallbacks callbacks;
  memset(&callbacks, 0, sizeof callbacks);
  callbacks.ClassPrepare = xoq::onClassPrepare;
  if (jvmti->SetEventCallbacks(&callbacks, sizeof callbacks) == JVMTI_ERROR_NONE) {
    jvmti->SetEventNotificationMode(JVMTI_ENABLE, JVMTI_EVENT_CLASS_PREPARE, nullptr);
  }
  return JNI_OK;
}
