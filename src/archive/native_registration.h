// Binding the support classes' native methods to the launcher's functions.
#ifndef XOQ_ARCHIVE_NATIVE_REGISTRATION_H_
#define XOQ_ARCHIVE_NATIVE_REGISTRATION_H_

#include <jni.h>

namespace xoq {

/// On Windows the support classes load the executable itself as their JNI
/// library and find its exports, so there is nothing to do. A Linux
/// executable cannot be loaded as a library; instead it carries a
/// statically linked JVMTI agent that the runtime starts with this option
/// (null where none is needed). The agent binds the natives the moment each
/// support class is prepared, so that they work even for what the runtime
/// does with the system class loader while it is still being created (a
/// flight recording started from the options, for example).
const char* supportNativesAgentOption();

/// Binds the natives of the support classes that are not bound yet, right
/// after the virtual machine exists; the agent normally did it already.
/// False when a class or method could not be bound (the reason is traced).
/// RedirOutputStream, which few starts need, is left to
/// bindSupportClassNatives.
bool registerSupportNatives(JNIEnv* env);

/// Binds the natives of the support class `type`, named `name` (as
/// "com/tarvolin/xoq/RedirOutputStream"), unless they are bound already.
/// False when they cannot be.
bool bindSupportClassNatives(JNIEnv* env, jclass type, const char* name);

}  // namespace xoq

#endif  // XOQ_ARCHIVE_NATIVE_REGISTRATION_H_
