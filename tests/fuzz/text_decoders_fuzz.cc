// The small decoders: "xoq:" URL paths, entry-name order and parent steps,
// class and resource names from UTF-16, message texts with their escapes and
// format arguments, and the configuration's text encodings.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "archive/archive_node.h"
#include "archive/name_forms.h"
#include "archive/resource_natives.h"
#include "launcher/messages.h"
#include "platform/text_encoding.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);

  // Decoding never makes a text longer.
  if (xoq::urlDecode(text).size() > text.size()) std::abort();

  const size_t half = size / 2;
  const std::string a = text.substr(0, half);
  const std::string b = text.substr(half);
  const int ab = xoq::compareEntryNames(a, b);
  const int ba = xoq::compareEntryNames(b, a);
  if ((ab < 0) != (ba > 0) || (ab == 0) != (ba == 0)) std::abort();  // an order, both ways round
  (void)xoq::resolveParentSteps(text);

  std::vector<uint16_t> units(size / 2);
  for (size_t i = 0; i < units.size(); ++i) units[i] = static_cast<uint16_t>(data[2 * i] | data[2 * i + 1] << 8);
  const xoq::NameForms forms = xoq::makeNameForms(units.data(), units.size());
  (void)forms;

  // Any bytes, as UTF-8 and as the narrow code page.
  const std::u16string utf16 = xoq::utf8ToUtf16(text);
  (void)utf16;
  (void)xoq::utf8ToWide(text);
  (void)xoq::narrowToUtf8(text);

  (void)xoq::unescapeMessage(text);
  (void)xoq::formatMessage(text, {a, b, "", "%s", "%d"});
  return 0;
}
