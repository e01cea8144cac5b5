// Conversions between the three text forms of the launcher: UTF-8 (the
// configuration inside), the narrow form (the process's ANSI code page, what
// the rest of the launcher and the system's "A" functions take) and wide
// characters (UTF-16 units on Windows, code points on Linux).
//
// The narrow/wide conversions run under the process locale that the entry
// routine selects first. Where that locale cannot convert a character, the
// text is cut just before it: the rest would not be meaningful.
#ifndef XOQ_PLATFORM_TEXT_ENCODING_H_
#define XOQ_PLATFORM_TEXT_ENCODING_H_

#include <cstddef>
#include <cstdint>
#include <string>

namespace xoq {

/// Appends one 16-bit unit (or, with 32-bit wide characters, one code point)
/// as UTF-8: one byte below 0x80, two below 0x800, three below 0x10000, four
/// above. Surrogate units are encoded one by one, never combined.
void appendUnitAsUtf8(std::string& out, uint32_t unit);

/// Converts `length` bytes of narrow text, up to the first NUL, to wide
/// characters under the process locale; cut at the first byte sequence that
/// the locale cannot convert.
std::wstring narrowToWide(const char* text, size_t length);
inline std::wstring narrowToWide(const std::string& text) { return narrowToWide(text.data(), text.size()); }

/// Converts wide characters to narrow text under the process locale; cut at
/// the first character that the code page cannot represent.
std::string wideToNarrow(const wchar_t* text, size_t length);
inline std::string wideToNarrow(const std::wstring& text) { return wideToNarrow(text.data(), text.size()); }

/// UTF-16 units (as Java strings hold them) to wide characters: one to one
/// on Windows; with 32-bit wide characters (Linux) a surrogate pair becomes
/// its code point, so that it can be converted to the narrow form.
std::wstring utf16ToWide(const uint16_t* units, size_t length);

/// Wide characters to UTF-16 units, the inverse of `utf16ToWide`.
std::u16string wideToUtf16(const std::wstring& text);

/// Like wideToNarrow, but false (with `out` unspecified) when a character
/// cannot be represented in the code page, instead of cutting there.
bool tryWideToNarrow(const wchar_t* text, size_t length, std::string& out);

/// Narrow text to UTF-8: wide conversion, then each unit on its own.
std::string narrowToUtf8(const char* text, size_t length);
inline std::string narrowToUtf8(const std::string& text) { return narrowToUtf8(text.data(), text.size()); }

/// Decodes UTF-8 into wide characters the launcher's forgiving way: one to
/// three byte sequences form one unit; a missing continuation byte gives '?'
/// and decoding resumes at that byte; a stray continuation byte or a lead
/// byte from 0xF0 up gives '?' (with 32-bit wide characters a complete
/// four-byte sequence is decoded to its code point instead); a sequence cut
/// short by the end of the text ends the decoding.
std::wstring utf8ToWide(const char* text, size_t length);
inline std::wstring utf8ToWide(const std::string& text) { return utf8ToWide(text.data(), text.size()); }

/// UTF-8 to UTF-16 units, as Java strings hold them: decoded as
/// utf8ToWide does, except that a complete four-byte sequence becomes a
/// surrogate pair on every system.
std::u16string utf8ToUtf16(const std::string& text);

/// UTF-8 to the narrow form. Text without a byte of 0x80 or above is
/// returned unchanged, without a conversion.
std::string utf8ToNarrow(const std::string& text);

/// True when `text` holds a byte of 0x80 or above.
bool hasHighBytes(const std::string& text);

}  // namespace xoq

#endif  // XOQ_PLATFORM_TEXT_ENCODING_H_
