// UTF-8 and UTF-16 for xoqpack's seam on Windows, by the system's own
// conversion: strict both ways, surrogate pairs kept whole.
#ifndef XOQPACK_HOST_TEXT_WIN32_H_
#define XOQPACK_HOST_TEXT_WIN32_H_

#include <string>

namespace xoq {
namespace host {

/// UTF-8 to UTF-16; an invalid byte becomes U+FFFD.
std::wstring wideOf(const std::string& utf8);

/// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD.
std::string utf8Of(const std::wstring& wide);

}  // namespace host
}  // namespace xoq

#endif  // XOQPACK_HOST_TEXT_WIN32_H_
