// The message table of the Windows launcher: string-table resources of the
// executable (launcher.rc), block id / 16 + 1, entry id % 16.
#include <climits>
#include <cstdlib>
#include <cwchar>

#include "launcher/messages.h"
#include "platform/platform.h"
#include "platform/text_encoding.h"
#include "platform/user_message.h"

namespace xoq {

namespace {

constexpr int kStringTableType = 6;  // RT_STRING

// To the process's multibyte code page under the locale the start-up chose.
// A character the code page cannot hold becomes '?' instead of losing the
// whole text.
std::string toNarrow(const std::vector<uint16_t>& units) {
  const std::wstring wide(units.begin(), units.end());
  if (platform::narrowFormIsUtf8()) return wideToNarrow(wide);
  std::string narrow(4 * wide.size() + 1, '\0');
  const size_t length = wcstombs(&narrow[0], wide.c_str(), narrow.size());
  if (length != static_cast<size_t>(-1)) {
    narrow.resize(length);
    return narrow;
  }
  narrow.clear();
  for (wchar_t c : wide) {
    char bytes[MB_LEN_MAX];
    const int count = wctomb(bytes, c);
    if (count > 0) {
      narrow.append(bytes, static_cast<size_t>(count));
    } else {
      narrow += '?';
    }
  }
  return narrow;
}

}  // namespace

std::string builtInMessage(int id) {
  if (id < 0) return std::string();
  const uint8_t* data = nullptr;
  size_t size = 0;
  if (!platform::findOwnResource(kStringTableType, id / 16 + 1, data, size)) return std::string();
  std::vector<uint16_t> block(size / 2);
  for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint16_t>(data[2 * i] | (data[2 * i + 1] << 8));
  return toNarrow(stringTableEntry(block.data(), block.size(), id % 16));
}

}  // namespace xoq
