// The text of the system properties handed to the virtual machine as
// options, in the code page the runtime makes Java strings from. A Windows
// program with the UTF-8 code page in its manifest (xoqpack
// --utf8-code-page) holds its narrow text in UTF-8, while Java runtimes
// before 18 (before 17.0.5 and 11.0.17 in those update lines) read system
// properties in the system locale's legacy code page: a path in the class
// path with "日本" in it would reach them garbled, and the runtime would not
// find the executable, its first entry.
#ifndef XOQ_RUNTIME_OPTION_TEXT_H_
#define XOQ_RUNTIME_OPTION_TEXT_H_

#include <string>

#include "runtime/runtime_release.h"

namespace xoq {

/// True when `release` reads system properties in the system locale's
/// legacy code page: runtimes before 18, before 17.0.5 and before 11.0.17. A
/// runtime whose version is unknown counts as a current one.
bool readsOptionsInLegacyCodePage(const RuntimeRelease& release);

/// `option` (narrow text) as a runtime that reads it in the legacy code
/// page must be given it: converted to that code page; where a character
/// has no place there and `pathList` is set, each path of the value (the
/// text after the first '=', ';'-separated) that holds one is given by its
/// short (8.3) name. `whole` is false when a character could not be
/// carried all the same (it stays as it was).
std::string optionInLegacyCodePage(const std::string& option, bool pathList, bool& whole);

}  // namespace xoq

#endif  // XOQ_RUNTIME_OPTION_TEXT_H_
