#include "runtime/java_strings.h"

#include "platform/text_encoding.h"

namespace xoq {

namespace {

jstring fromUtf16(JNIEnv* env, const std::u16string& units) {
  return env->NewString(reinterpret_cast<const jchar*>(units.data()), static_cast<jsize>(units.size()));
}

}  // namespace

jstring newStringFromNarrow(JNIEnv* env, const std::string& text) {
  return fromUtf16(env, wideToUtf16(narrowToWide(text)));
}

jstring newStringFromUtf8(JNIEnv* env, const std::string& text) { return fromUtf16(env, utf8ToUtf16(text)); }

}  // namespace xoq
