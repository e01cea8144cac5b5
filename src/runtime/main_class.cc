#include "runtime/main_class.h"

#include "runtime/vm_context.h"

namespace xoq {

void callSystemExit(JNIEnv* env, int status) {
  jclass system = env->FindClass("java/lang/System");
  if (system == nullptr) {
    clearPendingException(env, false);
    return;
  }
  jmethodID exitMethod = env->GetStaticMethodID(system, "exit", "(I)V");
  if (exitMethod != nullptr) env->CallStaticVoidMethod(system, exitMethod, static_cast<jint>(status));
  clearPendingException(env, false);
  env->DeleteLocalRef(system);
}

}  // namespace xoq
