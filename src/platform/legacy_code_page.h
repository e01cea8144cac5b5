// The system locale's legacy ANSI code page: the code page a Windows program
// has without a manifest that asks for UTF-8, and the one that Java runtimes
// before 18 (before 17.0.5 and 11.0.17 in those update lines) read the
// options they are given in, whatever the program's own code page is.
#ifndef XOQ_PLATFORM_LEGACY_CODE_PAGE_H_
#define XOQ_PLATFORM_LEGACY_CODE_PAGE_H_

#include <string>

namespace xoq {
namespace platform {

/// True when the program's narrow form is not in the legacy code page (a
/// Windows program with the UTF-8 code page in its manifest, on a system
/// whose locale has another one). Always false on Linux.
bool narrowFormIsNotLegacy();

/// `narrow` in the legacy code page; false when a character of it has no
/// place there. Linux: `narrow` unchanged.
bool narrowToLegacyCodePage(const std::string& narrow, std::string& out);

/// The short (8.3) form of the existing path `narrow` in the narrow form,
/// as the file system keeps it; empty when it keeps none. Linux: empty.
std::string shortPathOf(const std::string& narrow);

}  // namespace platform
}  // namespace xoq

#endif  // XOQ_PLATFORM_LEGACY_CODE_PAGE_H_
