#include "runtime/support_class_definition.h"

#include <string>

#include "archive/archive_node.h"
#include "archive/payload_archive.h"
#include "launcher/trace.h"
#include "runtime/vm_context.h"

namespace xoq {

namespace {

bool growInto(void* argument, uint32_t size, uint8_t** destination) {
  std::string& bytes = *static_cast<std::string*>(argument);
  bytes.assign(size, '\0');
  *destination = reinterpret_cast<uint8_t*>(&bytes[0]);
  return true;
}

jobject systemLoader(JNIEnv* env) {
  jclass classLoader = env->FindClass("java/lang/ClassLoader");
  if (classLoader == nullptr) return nullptr;
  jmethodID get = env->GetStaticMethodID(classLoader, "getSystemClassLoader", "()Ljava/lang/ClassLoader;");
  jobject loader = get != nullptr ? env->CallStaticObjectMethod(classLoader, get) : nullptr;
  env->DeleteLocalRef(classLoader);
  return loader;
}

}  // namespace

void defineStartupSupportClasses(JNIEnv* env) {
  // In the order of their dependencies: each one's references to the
  // others then find them defined.
  static const char* const kClasses[] = {"com/tarvolin/xoq/NativeLibrary", "com/tarvolin/xoq/Handler",
                                         "com/tarvolin/xoq/HolvaneClassLoader"};
  jobject loader = systemLoader(env);
  if (loader == nullptr) {
    clearPendingException(env, false);
    return;
  }
  int defined = 0;
  for (const char* name : kClasses) {
    std::string bytes;
    if (!readEntryBytes(ensurePayloadArchiveOpen(), std::string(name) + ".class", false, growInto, &bytes)) break;
    jclass type =
        env->DefineClass(name, loader, reinterpret_cast<const jbyte*>(bytes.data()), static_cast<jsize>(bytes.size()));
    if (type == nullptr) {
      clearPendingException(env, false);
      break;
    }
    env->DeleteLocalRef(type);
    ++defined;
  }
  env->DeleteLocalRef(loader);
  trace("support classes: %d of %d defined from the payload", defined,
        static_cast<int>(sizeof kClasses / sizeof *kClasses));
}

}  // namespace xoq
