// Handing over to the application once the virtual machine runs.
#ifndef XOQ_RUNTIME_MAIN_CLASS_H_
#define XOQ_RUNTIME_MAIN_CLASS_H_

#include <jni.h>

namespace xoq {

/// Calls java.lang.System.exit(status); when that succeeds the virtual
/// machine ends the process and this does not return. A failed lookup or a
/// pending exception is cleared without printing.
void callSystemExit(JNIEnv* env, int status);

}  // namespace xoq

#endif  // XOQ_RUNTIME_MAIN_CLASS_H_
