// The two byte forms in which the natives look a Java string up in the
// archive: the narrow form (the process's code page) and UTF-8, each UTF-16
// unit encoded on its own. Entry names are stored in either, depending on
// the tool that wrote the archive, so a lookup tries the narrow form first
// and the UTF-8 form only when it differs.
#ifndef XOQ_ARCHIVE_NAME_FORMS_H_
#define XOQ_ARCHIVE_NAME_FORMS_H_

#include <jni.h>

#include <cstdint>
#include <string>

namespace xoq {

struct NameForms {
  std::string narrow;  // the UTF-8 form when the code page cannot hold the name
  std::string utf8;
  bool ok = true;  // false when the runtime could not hand over the string
                   // (out of memory); its exception is then pending
  bool differ() const { return narrow != utf8; }
  /// Replaces `from` by `to` in both forms.
  void replace(char from, char to);
};

/// Both forms of `units` (UTF-16).
NameForms makeNameForms(const uint16_t* units, size_t length);

/// Both forms of a Java string; empty forms for null.
NameForms makeNameForms(JNIEnv* env, jstring text);

/// Both forms of a resource name, an entry path or a URL's text, with every
/// '/' turned into the archive's '\\'.
NameForms makeEntryPathForms(JNIEnv* env, jstring text);

/// An entry path or name in the archive's form with '/' for every '\\', as
/// Java code sees it.
std::string withSlashes(std::string path);

}  // namespace xoq

#endif  // XOQ_ARCHIVE_NAME_FORMS_H_
