#include "eventlog/event_log_natives.h"

#include <vector>

#include "platform/event_log.h"
#include "platform/platform.h"
#include "platform/text_encoding.h"
#include "runtime/vm_context.h"

namespace xoq {

namespace {

struct HandleField {
  jfieldID id = nullptr;
  bool isLong = true;
};

// The field `h` as "J", else as "I"; false (nothing pending) when the class
// has neither.
bool findHandleField(JNIEnv* env, jobject self, HandleField& field) {
  jclass type = env->GetObjectClass(self);
  field.id = env->GetFieldID(type, "h", "J");
  field.isLong = field.id != nullptr;
  if (field.id == nullptr) {
    clearPendingException(env, false);
    field.id = env->GetFieldID(type, "h", "I");
    if (field.id == nullptr) clearPendingException(env, false);
  }
  env->DeleteLocalRef(type);
  return field.id != nullptr;
}

platform::EventSource readHandle(JNIEnv* env, jobject self, const HandleField& field) {
  return field.isLong ? static_cast<platform::EventSource>(env->GetLongField(self, field.id))
                      : static_cast<platform::EventSource>(env->GetIntField(self, field.id));
}

void writeHandle(JNIEnv* env, jobject self, const HandleField& field, platform::EventSource value) {
  if (field.isLong) {
    env->SetLongField(self, field.id, static_cast<jlong>(value));
  } else {
    env->SetIntField(self, field.id, static_cast<jint>(value));
  }
}

// The string's UTF-16 units; empty for null.
std::u16string unitsOf(JNIEnv* env, jstring text) {
  std::u16string units;
  if (text == nullptr) return units;
  units.resize(static_cast<size_t>(env->GetStringLength(text)));
  if (!units.empty())
    env->GetStringRegion(text, 0, static_cast<jsize>(units.size()), reinterpret_cast<jchar*>(&units[0]));
  return units;
}

}  // namespace

std::u16string defaultEventSourceName(const std::string& executablePath) {
  const size_t separator = executablePath.find_last_of("\\/");
  const std::string name = separator == std::string::npos ? executablePath : executablePath.substr(separator + 1);
  return wideToUtf16(narrowToWide(name));
}

}  // namespace xoq

extern "C" JNIEXPORT void JNICALL Java_com_tarvolin_xoq_EventLog_init(JNIEnv* env, jobject self, jstring server,
                                                                      jstring source) {
  xoq::HandleField field;
  if (!xoq::findHandleField(env, self, field)) return;
  const std::u16string serverName = xoq::unitsOf(env, server);
  const std::u16string sourceName =
      source != nullptr ? xoq::unitsOf(env, source) : xoq::defaultEventSourceName(xoq::platform::modulePath());
  const xoq::platform::EventSource handle =
      xoq::platform::registerEventSource(server != nullptr ? serverName.c_str() : nullptr, sourceName.c_str());
  xoq::writeHandle(env, self, field, handle);
}

extern "C" JNIEXPORT void JNICALL Java_com_tarvolin_xoq_EventLog_reportEvent(JNIEnv* env, jobject self, jshort type,
                                                                             jshort category, jint eventId,
                                                                             jobjectArray strings, jbyteArray data) {
  xoq::HandleField field;
  if (!xoq::findHandleField(env, self, field)) return;
  const xoq::platform::EventSource handle = xoq::readHandle(env, self, field);
  if (handle == 0) return;

  std::vector<std::u16string> texts;
  if (strings != nullptr) {
    const jsize count = env->GetArrayLength(strings);
    texts.reserve(static_cast<size_t>(count));
    for (jsize i = 0; i < count; ++i) {
      jstring element = static_cast<jstring>(env->GetObjectArrayElement(strings, i));
      texts.push_back(xoq::unitsOf(env, element));
      if (element != nullptr) env->DeleteLocalRef(element);
    }
  }
  std::vector<const char16_t*> pointers;
  for (const std::u16string& text : texts) pointers.push_back(text.c_str());

  std::vector<unsigned char> bytes;
  if (data != nullptr) {
    bytes.resize(static_cast<size_t>(env->GetArrayLength(data)));
    if (!bytes.empty()) {
      env->GetByteArrayRegion(data, 0, static_cast<jsize>(bytes.size()), reinterpret_cast<jbyte*>(bytes.data()));
    }
  }
  xoq::platform::reportEvent(handle, static_cast<uint16_t>(type), static_cast<uint16_t>(category),
                             static_cast<uint32_t>(eventId), pointers, bytes.data(), bytes.size());
}

extern "C" JNIEXPORT void JNICALL Java_com_tarvolin_xoq_EventLog_finalize(JNIEnv* env, jobject self) {
  xoq::HandleField field;
  if (!xoq::findHandleField(env, self, field)) return;
  const xoq::platform::EventSource handle = xoq::readHandle(env, self, field);
  if (handle == 0) return;
  xoq::platform::deregisterEventSource(handle);
  xoq::writeHandle(env, self, field, 0);
}
