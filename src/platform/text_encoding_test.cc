#include "platform/text_encoding.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/platform.h"

namespace xoq {
namespace {

TEST(TextEncoding, Utf8ToUtf16KeepsEveryPlane) {
  EXPECT_EQ(utf8ToUtf16("a\xC3\xA9\xE2\x82\xAC"), u"a\u00e9\u20ac");
  // A four-byte sequence becomes a surrogate pair on every system.
  EXPECT_EQ(utf8ToUtf16("\xF0\x9F\x98\x80!"), u"\U0001F600!");
  // Surrogates written one by one (as the configuration stores UTF-16
  // files) come back as the same units.
  EXPECT_EQ(utf8ToUtf16("\xED\xA0\xBD\xED\xB8\x80"), u"\U0001F600");
}

TEST(TextEncoding, Utf8ToUtf16IsForgiving) {
  // A stray continuation byte or an impossible lead byte: '?', then on.
  EXPECT_EQ(utf8ToUtf16("a\x80z"), u"a?z");
  EXPECT_EQ(utf8ToUtf16("\xFFz"), u"?z");
  // A missing continuation byte: '?', resuming at the byte that was not one.
  EXPECT_EQ(utf8ToUtf16("\xC3z"), u"?z");
  EXPECT_EQ(utf8ToUtf16("\xE2\x82z"), u"?z");
  // A sequence cut short by the end of the text ends it.
  EXPECT_EQ(utf8ToUtf16("ab\xE2\x82"), u"ab");
  EXPECT_EQ(utf8ToUtf16("ab\xF0\x9F\x98"), u"ab");
  // Above U+10FFFF: no character.
  EXPECT_EQ(utf8ToUtf16("\xF4\x90\x80\x80"), u"?");
}

TEST(TextEncoding, NarrowFormRoundTrip) {
  platform::selectUserLocale();
  const std::string narrow = utf8ToNarrow("caf\xC3\xA9");
  EXPECT_EQ(wideToUtf16(narrowToWide(narrow)), u"caf\u00e9");
  EXPECT_EQ(narrowToUtf8(narrow), "caf\xC3\xA9");
  // ASCII is never converted.
  EXPECT_EQ(utf8ToNarrow("plain/path.jar"), "plain/path.jar");
}

}  // namespace
}  // namespace xoq
