#include "runtime/vm_context.h"

namespace xoq {

void releaseVm(VmContext& context) {
  if (context.vm != nullptr) {
    context.vm->DetachCurrentThread();
    context.vm->DestroyJavaVM();
    context.vm = nullptr;
    context.env = nullptr;
  }
  // The library handle joins here once the runtime library is loaded.
}

int clearPendingException(JNIEnv* env, bool describe) {
  if (env == nullptr || !env->ExceptionCheck()) return 0;
  if (describe) env->ExceptionDescribe();
  env->ExceptionClear();
  return 1;
}

}  // namespace xoq
