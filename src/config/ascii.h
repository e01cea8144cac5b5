// ASCII letter case, for the launcher's own words ("true", "xoq:", jre_order
// letters) and file name endings (".jar", ".zip", ".class"). Plain ASCII
// folding rather than the locale's: under a Turkish locale the locale would
// fold "I" to a dotless i and miss "TRUE" or "APP.ZIP".
#ifndef XOQ_CONFIG_ASCII_H_
#define XOQ_CONFIG_ASCII_H_

#include <cstddef>
#include <string_view>

namespace xoq {

inline char asciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

/// The value of a hexadecimal digit of either case; -1 for any other byte.
inline int hexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

/// True when `text` starts with `prefix`, which is given in lower case,
/// ASCII letter case ignored.
inline bool startsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (asciiLower(text[i]) != prefix[i]) return false;
  }
  return true;
}

/// True when `text` ends with `suffix`, which is given in lower case, ASCII
/// letter case ignored.
inline bool endsWithIgnoringCase(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && startsWithIgnoringCase(text.substr(text.size() - suffix.size()), suffix);
}

}  // namespace xoq

#endif  // XOQ_CONFIG_ASCII_H_
