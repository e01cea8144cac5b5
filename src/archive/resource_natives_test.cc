#include "archive/resource_natives.h"

#include <gtest/gtest.h>

#include <string>

#include "archive/entry_natives.h"
#include "archive/name_forms.h"
#include "archive/native_settings.h"
#include "platform/platform.h"

namespace xoq {
namespace {

TEST(UrlDecode, EscapesPlusAndPercent) {
  EXPECT_EQ(urlDecode("xoq:dir%20with%20space/a+b.txt"), "xoq:dir with space/a b.txt");
  EXPECT_EQ(urlDecode("100%%"), "100%");
  EXPECT_EQ(urlDecode("%41%6a%6A"), "Ajj");
  EXPECT_EQ(urlDecode("%C3%A9"), "\xC3\xA9");
  EXPECT_EQ(urlDecode("plain"), "plain");
  // As a URI escapes: '+' and "%%" are what they are.
  EXPECT_EQ(urlDecode("100%25%20+%20more.txt", false), "100% + more.txt");
  EXPECT_EQ(urlDecode("a%%41", false), "a%A");
}

TEST(UrlDecode, PercentWithoutTwoDigitsStaysAndNothingIsReadPastTheEnd) {
  EXPECT_EQ(urlDecode("%"), "%");
  EXPECT_EQ(urlDecode("a%4"), "a%4");
  EXPECT_EQ(urlDecode("%4g"), "%4g");
  EXPECT_EQ(urlDecode("%g4"), "%g4");
  EXPECT_EQ(urlDecode("%+20"), "% 20");
  EXPECT_EQ(urlDecode("% 2"), "% 2");
}

TEST(MultiReleaseVersion, AsJarFileTakesItFromTheRuntimesProperties) {
  EXPECT_EQ(releaseFromProperties("1.8.0_392", "", ""), 8);
  EXPECT_EQ(releaseFromProperties("17.0.15", "", ""), 17);
  EXPECT_EQ(releaseFromProperties("25", "", "true"), 25);
  // jdk.util.jar.version may lower the version, not below 8, never raise it.
  EXPECT_EQ(releaseFromProperties("25", "10", ""), 10);
  EXPECT_EQ(releaseFromProperties("25", "5", ""), 8);
  EXPECT_EQ(releaseFromProperties("17", "30", ""), 17);
  EXPECT_EQ(releaseFromProperties("17", "", "false"), 0);
  // "force" makes every JarFile versioned as the class path's already are.
  EXPECT_EQ(releaseFromProperties("25", "", "force"), 25);
  EXPECT_EQ(releaseFromProperties("25", "10", "force"), 10);
  EXPECT_EQ(releaseFromProperties("", "", ""), 0);
}

TEST(EntryNames, ListedAsUtf8WhenTheyAreWellFormedUtf8) {
  EXPECT_TRUE(isWellFormedUtf8("plain/ascii.txt"));
  EXPECT_TRUE(isWellFormedUtf8("caf\xC3\xA9/\xE2\x98\x83/\xF0\x9F\x98\x80"));
  EXPECT_FALSE(isWellFormedUtf8("caf\xE9.txt"));   // Windows-1252
  EXPECT_FALSE(isWellFormedUtf8("\xC0\xAF"));      // overlong '/'
  EXPECT_FALSE(isWellFormedUtf8("\xED\xA0\x80"));  // a surrogate
  EXPECT_FALSE(isWellFormedUtf8("\xE2\x98"));      // cut short
}

TEST(NameForms, AsciiNamesHaveOneForm) {
  const std::u16string name = u"com.example.Main";
  const NameForms forms = makeNameForms(reinterpret_cast<const uint16_t*>(name.data()), name.size());
  EXPECT_EQ(forms.narrow, "com.example.Main");
  EXPECT_EQ(forms.utf8, "com.example.Main");
  EXPECT_FALSE(forms.differ());
}

TEST(NameForms, Utf8FormEncodesEachUnit) {
  platform::selectUserLocale();
  const std::u16string name = u"caf\u00e9/\u20ac";
  const NameForms forms = makeNameForms(reinterpret_cast<const uint16_t*>(name.data()), name.size());
  EXPECT_EQ(forms.utf8, "caf\xC3\xA9/\xE2\x82\xAC");
#ifdef _WIN32
  // Code page 1252 holds both characters in one byte each.
  EXPECT_EQ(forms.narrow, "caf\xE9/\x80");
  EXPECT_TRUE(forms.differ());
#else
  EXPECT_EQ(forms.narrow, forms.utf8);
#endif
}

TEST(NameForms, CharacterOutsideTheCodePageFallsBackToUtf8) {
  platform::selectUserLocale();
  const std::u16string name = u"\u4e2d.txt";
  const NameForms forms = makeNameForms(reinterpret_cast<const uint16_t*>(name.data()), name.size());
  EXPECT_EQ(forms.utf8, "\xE4\xB8\xAD.txt");
  EXPECT_EQ(forms.narrow, forms.utf8);
  EXPECT_FALSE(forms.differ());
}

TEST(NameForms, SurrogatesAreEncodedOneByOne) {
  const std::u16string name = u"\U0001F600";
  const NameForms forms = makeNameForms(reinterpret_cast<const uint16_t*>(name.data()), name.size());
  EXPECT_EQ(forms.utf8, "\xED\xA0\xBD\xED\xB8\x80");
}

}  // namespace
}  // namespace xoq
