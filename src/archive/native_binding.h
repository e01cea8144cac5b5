// Binding the support classes' natives from the launcher itself, with
// RegisterNatives, instead of through the runtime's library loading.
//
// From JDK 24 on, the runtime warns about every class path module that
// loads a JNI library, and the option that allows it
// (--enable-native-access) also turns off the runtime's archived module
// graph, which makes each start cost about a fifth more. When the launcher's
// loader is not the system class loader, no support class is loaded while
// the runtime is created, so the launcher can bind NativeLibrary.bind right
// after creation; from then on every support class asks it for its own
// natives as it is initialised.
#ifndef XOQ_ARCHIVE_NATIVE_BINDING_H_
#define XOQ_ARCHIVE_NATIVE_BINDING_H_

#include <jni.h>

namespace xoq {

/// Binds NativeLibrary.bind. Returns false (with nothing pending) when the
/// class or the function cannot be found; the support classes then load the
/// library as before.
bool prepareNativeBinding(JNIEnv* env);

/// Registers every native of the support class `owner` (its binary name).
/// Returns false when the class is not one of ours or a function is
/// missing.
bool bindSupportNatives(JNIEnv* env, jclass owner, const char* binaryName);

}  // namespace xoq

extern "C" JNIEXPORT jboolean JNICALL Java_com_tarvolin_xoq_NativeLibrary_bind(JNIEnv* env, jclass, jclass owner);

#endif  // XOQ_ARCHIVE_NATIVE_BINDING_H_
