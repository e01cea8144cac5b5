#include "archive/support_class_definition.h"

#include <string>

#include "archive/archive_node.h"
#include "archive/payload_archive.h"
#include "base/trace.h"
#include "runtime/main_class.h"
#include "runtime/vm_context.h"

namespace xoq {

namespace {}  // namespace

void defineStartupSupportClasses(JNIEnv* env) {
  // In the order of their dependencies: each one's references to the
  // others then find them defined.
  static const char* const kClasses[] = {"com/tarvolin/xoq/NativeLibrary", "com/tarvolin/xoq/Handler",
                                         "com/tarvolin/xoq/HolvaneClassLoader"};
  jobject loader = systemClassLoader(env);
  if (loader == nullptr) return;
  int defined = 0;
  for (const char* name : kClasses) {
    std::string bytes;
    if (!readTopEntry(ensurePayloadArchiveOpen(), std::string(name) + ".class", bytes)) break;
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
