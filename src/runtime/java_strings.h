// Java strings from the launcher's two text forms. The runtime's own
// NewStringUTF takes modified UTF-8, which neither the narrow form nor a
// character outside the Basic Multilingual Plane in real UTF-8 is, so both
// go through UTF-16 and NewString.
#ifndef XOQ_RUNTIME_JAVA_STRINGS_H_
#define XOQ_RUNTIME_JAVA_STRINGS_H_

#include <jni.h>

#include <string>

namespace xoq {

/// A new Java string (a local reference) from narrow text in the process's
/// code page; null (with the runtime's error pending) when it cannot be made.
jstring newStringFromNarrow(JNIEnv* env, const std::string& text);

/// A new Java string from UTF-8 text.
jstring newStringFromUtf8(JNIEnv* env, const std::string& text);

}  // namespace xoq

#endif  // XOQ_RUNTIME_JAVA_STRINGS_H_
