#include "platform/text_encoding.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "platform/platform.h"

namespace xoq {

void appendUnitAsUtf8(std::string& out, uint32_t unit) {
  if (unit < 0x80) {
    out += static_cast<char>(unit);
  } else if (unit < 0x800) {
    out += static_cast<char>(0xC0 | (unit >> 6));
    out += static_cast<char>(0x80 | (unit & 0x3F));
  } else if (unit < 0x10000) {
    out += static_cast<char>(0xE0 | (unit >> 12));
    out += static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (unit & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | ((unit >> 18) & 0x07));
    out += static_cast<char>(0x80 | ((unit >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (unit & 0x3F));
  }
}

namespace {

// The narrow form of a program whose ANSI code page is UTF-8 while the C
// runtime's locale is not (platform::narrowFormIsUtf8). Wide characters are
// UTF-16 units there; a surrogate pair becomes one four-byte sequence.
std::string wideToUtf8(const wchar_t* text, size_t length) {
  std::string result;
  result.reserve(length);
  for (size_t i = 0; i < length; ++i) {
    uint32_t unit = static_cast<uint32_t>(text[i]);
    if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < length && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
      unit = 0x10000 + ((unit - 0xD800) << 10) + (static_cast<uint32_t>(text[++i]) - 0xDC00);
    }
    appendUnitAsUtf8(result, unit);
  }
  return result;
}

}  // namespace

std::wstring narrowToWide(const char* text, size_t length) {
  if (platform::narrowFormIsUtf8()) {
    const std::u16string units = utf8ToUtf16(std::string(text, strnlen(text, length)));
    return utf16ToWide(reinterpret_cast<const uint16_t*>(units.data()), units.size());
  }
  std::wstring result;
  result.reserve(length);
  std::mbstate_t state{};
  size_t position = 0;
  while (position < length && text[position] != '\0') {
    wchar_t unit = 0;
    const size_t used = std::mbrtowc(&unit, text + position, length - position, &state);
    // (size_t)-1: invalid sequence, (size_t)-2: incomplete at the end.
    if (used == static_cast<size_t>(-1) || used == static_cast<size_t>(-2) || used == 0) break;
    result += unit;
    position += used;
  }
  return result;
}

std::string wideToNarrow(const wchar_t* text, size_t length) {
  if (platform::narrowFormIsUtf8()) return wideToUtf8(text, wcsnlen(text, length));
  std::string result;
  result.reserve(length);
  std::mbstate_t state{};
  char bytes[MB_LEN_MAX];
  for (size_t i = 0; i < length && text[i] != 0; ++i) {
    const size_t used = std::wcrtomb(bytes, text[i], &state);
    if (used == static_cast<size_t>(-1)) break;
    result.append(bytes, used);
  }
  return result;
}

bool tryWideToNarrow(const wchar_t* text, size_t length, std::string& out) {
  if (platform::narrowFormIsUtf8()) {
    out = wideToUtf8(text, length);
    return true;
  }
  out.clear();
  out.reserve(length);
  std::mbstate_t state{};
  char bytes[MB_LEN_MAX];
  for (size_t i = 0; i < length; ++i) {
    const size_t used = std::wcrtomb(bytes, text[i], &state);
    if (used == static_cast<size_t>(-1)) return false;
    out.append(bytes, used);
  }
  return true;
}

std::wstring utf16ToWide(const uint16_t* units, size_t length) {
  std::wstring result;
  result.reserve(length);
  for (size_t i = 0; i < length; ++i) {
    const uint32_t unit = units[i];
    if (sizeof(wchar_t) == 4 && unit >= 0xD800 && unit < 0xDC00 && i + 1 < length && units[i + 1] >= 0xDC00 &&
        units[i + 1] < 0xE000) {
      result += static_cast<wchar_t>(0x10000 + ((unit - 0xD800) << 10) + (units[i + 1] - 0xDC00));
      ++i;
    } else {
      result += static_cast<wchar_t>(unit);
    }
  }
  return result;
}

std::u16string wideToUtf16(const std::wstring& text) {
  std::u16string result;
  result.reserve(text.size());
  for (wchar_t c : text) {
    const uint32_t value = static_cast<uint32_t>(c);
    if (value >= 0x10000 && value <= 0x10FFFF) {
      result += static_cast<char16_t>(0xD800 + ((value - 0x10000) >> 10));
      result += static_cast<char16_t>(0xDC00 + ((value - 0x10000) & 0x3FF));
    } else {
      result += static_cast<char16_t>(value);
    }
  }
  return result;
}

std::string narrowToUtf8(const char* text, size_t length) {
  const std::wstring wide = narrowToWide(text, length);
  std::string result;
  result.reserve(wide.size());
  for (wchar_t unit : wide) appendUnitAsUtf8(result, static_cast<uint32_t>(unit));
  return result;
}

namespace {

bool isContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// The launcher's forgiving UTF-8 decoder: calls `emit` with each code point,
// or with '?' for a byte that starts no character or a sequence missing a
// continuation byte (decoding resumes at the byte that was not one). Four-
// byte sequences are decoded only with `fourByteSequences`; a sequence cut
// short by the end of the text ends the decoding.
template <typename Emit>
void decodeUtf8(const char* text, size_t length, bool fourByteSequences, Emit emit) {
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
  size_t i = 0;
  while (i < length) {
    const unsigned char lead = bytes[i];
    if (lead < 0x80) {
      emit(lead);
      ++i;
      continue;
    }
    size_t sequence = 0;
    uint32_t unit = 0;
    if ((lead & 0xE0) == 0xC0) {
      sequence = 2;
      unit = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
      sequence = 3;
      unit = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0 && fourByteSequences) {
      sequence = 4;
      unit = lead & 0x07;
    } else {
      emit('?');
      ++i;
      continue;
    }
    if (i + sequence > length) return;
    size_t k = 1;
    for (; k < sequence && isContinuation(bytes[i + k]); ++k) unit = (unit << 6) | (bytes[i + k] & 0x3F);
    if (k < sequence) {
      emit('?');
      i += k;
      continue;
    }
    emit(sequence == 4 && (unit < 0x10000 || unit > 0x10FFFF) ? '?' : unit);
    i += sequence;
  }
}

}  // namespace

std::wstring utf8ToWide(const char* text, size_t length) {
  std::wstring result;
  result.reserve(length);
  // Only a 32-bit wide character (Linux) holds a code point beyond U+FFFF.
  decodeUtf8(text, length, sizeof(wchar_t) == 4, [&result](uint32_t code) { result += static_cast<wchar_t>(code); });
  return result;
}

std::u16string utf8ToUtf16(const std::string& text) {
  std::u16string result;
  result.reserve(text.size());
  decodeUtf8(text.data(), text.size(), true, [&result](uint32_t code) {
    if (code >= 0x10000) {
      result += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
      result += static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
    } else {
      result += static_cast<char16_t>(code);
    }
  });
  return result;
}

bool hasHighBytes(const std::string& text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return true;
  }
  return false;
}

std::string utf8ToNarrow(const std::string& text) {
  if (!hasHighBytes(text)) return text;
  return wideToNarrow(utf8ToWide(text));
}

}  // namespace xoq
