#include "config_block.h"

#include <cstdint>

#include "platform/text_encoding.h"

namespace xoq {

namespace {

// Windows-1252 from 0x80 to 0x9F; the five holes map to the C1 controls, as
// Windows' own conversion does. 0xA0 and above equal Latin-1.
constexpr uint16_t kCp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                      0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

bool isValidUtf8(const std::string& text) {
  size_t i = 0;
  while (i < text.size()) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    size_t length = 1;
    if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
    } else if (lead >= 0xE0) {
      length = lead <= 0xEF ? 3 : 0;
    } else if (lead >= 0xC2) {
      length = 2;
    } else if (lead >= 0x80) {
      length = 0;
    }
    if (length == 0 || i + length > text.size()) return false;
    for (size_t k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    }
    i += length;
  }
  return true;
}

std::string fromUtf16(const std::string& file, bool bigEndian, bool& hadNul) {
  std::string text;
  for (size_t i = 2; i + 1 < file.size(); i += 2) {
    const unsigned char a = static_cast<unsigned char>(file[i]);
    const unsigned char b = static_cast<unsigned char>(file[i + 1]);
    const uint32_t unit = bigEndian ? (a << 8 | b) : (b << 8 | a);
    if (unit == 0) hadNul = true;
    // Unit by unit, the way the launcher reads UTF-16 itself.
    appendUnitAsUtf8(text, unit);
  }
  return text;
}

std::string fromCp1252(const std::string& file) {
  std::string text;
  for (char c : file) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      text += c;
    } else {
      appendUnitAsUtf8(text, byte < 0xA0 ? kCp1252High[byte - 0x80] : byte);
    }
  }
  return text;
}

}  // namespace

bool makeConfigurationBlock(const std::string& file, std::string& block, std::string& error) {
  const auto starts = [&file](const char* mark, size_t length) { return file.compare(0, length, mark, length) == 0; };
  std::string text;
  bool hadNul = false;
  if (starts("\xEF\xBB\xBF", 3)) {
    text = file.substr(3);
  } else if (starts("\xFF\xFE", 2)) {
    text = fromUtf16(file, false, hadNul);
  } else if (starts("\xFE\xFF", 2)) {
    text = fromUtf16(file, true, hadNul);
  } else if (isValidUtf8(file)) {
    text = file;
  } else {
    text = fromCp1252(file);
  }
  if (hadNul || text.find('\0') != std::string::npos) {
    error = "the configuration file holds a NUL character, which the configuration block cannot carry";
    return false;
  }

  block = "\xEF\xBB\xBF";
  size_t position = 0;
  while (position < text.size()) {
    size_t end = text.find_first_of("\r\n", position);
    if (end == std::string::npos) end = text.size();
    block.append(text, position, end - position);
    block += "\r\n";
    position = end;
    if (position < text.size()) {
      const char first = text[position++];
      if (position < text.size() && (text[position] == '\r' || text[position] == '\n') && text[position] != first)
        ++position;
    }
  }
  return true;
}

}  // namespace xoq
