#include "archive/name_forms.h"

#include "platform/text_encoding.h"

namespace xoq {

void NameForms::replace(char from, char to) {
  for (char& c : narrow) {
    if (c == from) c = to;
  }
  for (char& c : utf8) {
    if (c == from) c = to;
  }
}

NameForms makeNameForms(const uint16_t* units, size_t length) {
  NameForms forms;
  forms.utf8.reserve(length);
  for (size_t i = 0; i < length; ++i) appendUnitAsUtf8(forms.utf8, units[i]);
  const std::wstring wide = utf16ToWide(units, length);
  // A name the code page cannot hold has no narrow form of its own: it is
  // looked up once, in UTF-8.
  if (!tryWideToNarrow(wide.data(), wide.size(), forms.narrow)) forms.narrow = forms.utf8;
  return forms;
}

NameForms makeNameForms(JNIEnv* env, jstring text) {
  if (text == nullptr) return NameForms();
  const jsize length = env->GetStringLength(text);
  const jchar* units = env->GetStringChars(text, nullptr);
  if (units == nullptr) {
    NameForms failed;
    failed.ok = false;
    return failed;
  }
  NameForms forms = makeNameForms(reinterpret_cast<const uint16_t*>(units), static_cast<size_t>(length));
  env->ReleaseStringChars(text, units);
  return forms;
}

NameForms makeEntryPathForms(JNIEnv* env, jstring text) {
  NameForms forms = makeNameForms(env, text);
  if (forms.ok) forms.replace('/', '\\');
  return forms;
}

std::string withSlashes(std::string path) {
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return path;
}

}  // namespace xoq
