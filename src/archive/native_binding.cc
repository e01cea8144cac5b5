#include "archive/native_binding.h"

#include <cstring>
#include <string>
#include <vector>

#include "base/trace.h"
#include "platform/dynamic_library.h"
#include "runtime/vm_context.h"

namespace xoq {

namespace {

struct NativeMethod {
  const char* name;
  const char* signature;
};

struct SupportClass {
  const char* binaryName;
  std::vector<NativeMethod> methods;
};

// Every native of the support classes, by the name and signature that the
// Java declarations give; each is exported under its JNI name.
const SupportClass kSupportClasses[] = {
    {"com.tarvolin.xoq.HolvaneClassLoader",
     {{"defineClass", "(Ljava/lang/String;)Ljava/lang/Class;"},
      {"packageInBootLayer", "(Ljava/lang/String;)Z"},
      {"findResource", "(Ljava/lang/String;)Ljava/net/URL;"},
      {"findResources", "(Ljava/lang/String;)Ljava/util/Enumeration;"}}},
    {"com.tarvolin.xoq.Handler",
     {{"loadResourceData", "(Ljava/lang/String;)[B"},
      {"loadResourceInfo", "(Ljava/lang/String;)[J"},
      {"listEntries", "(Ljava/lang/String;)[Ljava/lang/String;"}}},
    {"com.tarvolin.xoq.EventLog",
     {{"reportEvent", "(SSI[Ljava/lang/String;[B)V"},
      {"init", "(Ljava/lang/String;Ljava/lang/String;)V"},
      {"finalize", "()V"}}},
    {"com.tarvolin.xoq.Instances",
     {{"getFirstInstance", "()I"},
      {"getCurrentInstance", "()I"},
      {"getInstances", "()[I"},
      {"sendObject", "(ILjava/io/Serializable;)V"},
      {"flush", "()V"},
      {"setReceiver", "(Lcom/tarvolin/xoq/Instances$ReceiverInterface;)V"},
      {"awaitLastChunk", "()V"}}},
    {"com.tarvolin.xoq.RedirOutputStream", {{"write", "(I)V"}, {"writeBytes", "([BII)V"}}},
    {"com.tarvolin.xoq.SplashScreen",
     {{"nativeGetSplashScreen", "()Lcom/tarvolin/xoq/SplashScreen;"},
      {"nativeAutoClose", "(I)V"},
      {"nativeClose", "()V"}}},
};

// The exported JNI name of a method of a class whose binary name has no
// '_' or '$' (true of every support class with natives).
std::string jniName(const char* binaryName, const char* method) {
  std::string name = std::string("Java_") + binaryName + "_" + method;
  for (size_t i = 5; i < name.size(); ++i) {
    if (name[i] == '.') name[i] = '_';
  }
  return name;
}

bool registerMethods(JNIEnv* env, jclass owner, const char* binaryName, const std::vector<NativeMethod>& methods) {
  std::vector<JNINativeMethod> table;
  for (const NativeMethod& method : methods) {
    void* function = platform::findOwnSymbol(jniName(binaryName, method.name).c_str());
    if (function == nullptr) {
      trace("natives of %s: %s is not exported", binaryName, method.name);
      return false;
    }
    table.push_back(JNINativeMethod{const_cast<char*>(method.name), const_cast<char*>(method.signature), function});
  }
  if (env->RegisterNatives(owner, table.data(), static_cast<jint>(table.size())) != 0) {
    clearPendingException(env, false);
    trace("natives of %s: not registered", binaryName);
    return false;
  }
  return true;
}

}  // namespace

bool prepareNativeBinding(JNIEnv* env) {
  jclass library = env->FindClass("com/tarvolin/xoq/NativeLibrary");
  if (library == nullptr) {
    clearPendingException(env, false);
    trace("natives: NativeLibrary not found; the support classes load the library");
    return false;
  }
  const bool bound =
      registerMethods(env, library, "com.tarvolin.xoq.NativeLibrary", {{"bind", "(Ljava/lang/Class;)Z"}});
  env->DeleteLocalRef(library);
  trace("natives: %s",
        bound ? "bound by the launcher as each support class is initialised" : "the support classes load the library");
  return bound;
}

bool bindSupportNatives(JNIEnv* env, jclass owner, const char* binaryName) {
  for (const SupportClass& candidate : kSupportClasses) {
    if (strcmp(candidate.binaryName, binaryName) == 0)
      return registerMethods(env, owner, binaryName, candidate.methods);
  }
  return false;
}

}  // namespace xoq

// Called by each support class as it is initialised; where this fails, the
// class loads the library as it would without the launcher's binding.
extern "C" JNIEXPORT jboolean JNICALL Java_com_tarvolin_xoq_NativeLibrary_bind(JNIEnv* env, jclass, jclass owner) {
  if (owner == nullptr) return JNI_FALSE;
  bool bound = false;
  jclass classClass = env->FindClass("java/lang/Class");
  jmethodID getName = classClass != nullptr ? env->GetMethodID(classClass, "getName", "()Ljava/lang/String;") : nullptr;
  jstring name = getName != nullptr ? static_cast<jstring>(env->CallObjectMethod(owner, getName)) : nullptr;
  const char* text = name != nullptr ? env->GetStringUTFChars(name, nullptr) : nullptr;
  if (text != nullptr) {
    bound = xoq::bindSupportNatives(env, owner, text);
    if (!bound) xoq::trace("natives of %s: not bound by the launcher", text);
    env->ReleaseStringUTFChars(name, text);
  }
  xoq::clearPendingException(env, false);
  if (name != nullptr) env->DeleteLocalRef(name);
  if (classClass != nullptr) env->DeleteLocalRef(classClass);
  return bound ? JNI_TRUE : JNI_FALSE;
}
