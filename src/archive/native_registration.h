// Binding the support classes' native methods to the launcher's functions.
#ifndef XOQ_ARCHIVE_NATIVE_REGISTRATION_H_
#define XOQ_ARCHIVE_NATIVE_REGISTRATION_H_

#include <jni.h>

namespace xoq {

/// Binds the natives of the support classes right after the virtual machine
/// exists. On Windows the classes load the executable itself as their JNI
/// library and find its exports, so there is nothing to do. A Linux
/// executable cannot be loaded as a library, so the launcher registers the
/// same functions with RegisterNatives. False when a class or method could
/// not be bound (the reason is traced).
bool registerSupportNatives(JNIEnv* env);

}  // namespace xoq

#endif  // XOQ_ARCHIVE_NATIVE_REGISTRATION_H_
