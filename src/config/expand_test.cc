#include "config/expand.h"

#include <gtest/gtest.h>

#include <string>

#include "config/config_store.h"
#include "platform/platform.h"

namespace xoq {
namespace {

// Sets an environment variable for the life of the object, then removes it.
class ScopedVariable {
 public:
  ScopedVariable(const std::string& name, const std::string& value) : name_(name) {
    had_ = platform::getEnvironment(name, previous_);
    platform::putEnvironment(name + "=" + value);
  }
  ~ScopedVariable() { platform::putEnvironment(name_ + "=" + (had_ ? previous_ : std::string())); }
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;

 private:
  std::string name_;
  std::string previous_;
  bool had_ = false;
};

std::string expand(const std::string& text) { return expandReferences(text, false, nullptr); }

TEST(ExpandReferences, EveryFormOfAnEnvironmentReference) {
  ScopedVariable dir("XOQT_WINDIR", "C:\\Windows");
  EXPECT_EQ(expand("%XOQT_WINDIR%\\x"), "C:\\Windows\\x");
  EXPECT_EQ(expand("%{XOQT_WINDIR}%\\x"), "C:\\Windows\\x");
  EXPECT_EQ(expand("$XOQT_WINDIR\\x"), "C:\\Windows\\x");
  EXPECT_EQ(expand("${XOQT_WINDIR}\\x"), "C:\\Windows\\x");
  // A plain name ends at the first character that is not a letter, digit
  // or '_'; the braces let a name run into more text.
  EXPECT_EQ(expand("$XOQT_WINDIR.old"), "C:\\Windows.old");
  EXPECT_EQ(expand("${XOQT_WINDIR}X"), "C:\\WindowsX");
  EXPECT_EQ(expand("$XOQT_WINDIRX"), "$XOQT_WINDIRX");
  EXPECT_EQ(expand("a%XOQT_WINDIR%b$XOQT_WINDIR;c"), "aC:\\WindowsbC:\\Windows;c");
  // Unknown names stay exactly as written, in every form.
  EXPECT_EQ(expand("%XOQT_NOSUCHVAR%\\x"), "%XOQT_NOSUCHVAR%\\x");
  EXPECT_EQ(expand("$XOQT_NOSUCHVAR ${XOQT_NOSUCHVAR} %{XOQT_NOSUCHVAR}%"),
            "$XOQT_NOSUCHVAR ${XOQT_NOSUCHVAR} %{XOQT_NOSUCHVAR}%");
}

TEST(ExpandReferences, SignsThatStartNoReference) {
  ScopedVariable dir("XOQT_WINDIR", "W");
  EXPECT_EQ(expand("100%"), "100%");
  EXPECT_EQ(expand("50% off"), "50% off");
  EXPECT_EQ(expand("costs $5"), "costs $5");
  EXPECT_EQ(expand("$"), "$");
  EXPECT_EQ(expand("a$ b"), "a$ b");
  EXPECT_EQ(expand("${"), "${");
  EXPECT_EQ(expand("${}"), "${}");
  EXPECT_EQ(expand("%{}x"), "%{}x");
  // "%" references need their closing "%".
  EXPECT_EQ(expand("%XOQT_WINDIR"), "%XOQT_WINDIR");
  EXPECT_EQ(expand("%XOQT_WINDIR x%"), "%XOQT_WINDIR x%");
  EXPECT_EQ(expand("%{XOQT_WINDIR}"), "%{XOQT_WINDIR}");
  EXPECT_EQ(expand("%{XOQT_WINDIR"), "%{XOQT_WINDIR");
  // The scan goes on after a sign that starts nothing.
  EXPECT_EQ(expand("50% of %XOQT_WINDIR%"), "50% of W");
  EXPECT_EQ(expand("%x%XOQT_WINDIR%"), "%x%XOQT_WINDIR%");
}

TEST(ExpandReferences, DoubledSignsStandForThemselves) {
  ScopedVariable dir("XOQT_WINDIR", "W");
  EXPECT_EQ(expand("%%"), "%");
  EXPECT_EQ(expand("$$"), "$");
  EXPECT_EQ(expand("100%%"), "100%");
  EXPECT_EQ(expand("a%%b$$c%%%%"), "a%b$c%%");
  EXPECT_EQ(expand("%{}%"), "%");
  EXPECT_EQ(expand("${}$"), "$");
  // "$$" is consumed whole, so what follows is text, not a reference.
  EXPECT_EQ(expand("$$XOQT_WINDIR"), "$XOQT_WINDIR");
  EXPECT_EQ(expand("%%XOQT_WINDIR%%"), "%XOQT_WINDIR%");
}

TEST(ExpandReferences, UnclosedBraceTakesTheRestAsTheName) {
  ScopedVariable unclosed("XOQT_UNCLOSED", "value");
  EXPECT_EQ(expand("a${XOQT_UNCLOSED"), "avalue");
  EXPECT_EQ(expand("a${XOQT_UNCLOSED x"), "a${XOQT_UNCLOSED x");
  EXPECT_EQ(expand("${XOQT_NOSUCH"), "${XOQT_NOSUCH");
}

TEST(ExpandReferences, OnePassOnly) {
  ScopedVariable dir("XOQT_WINDIR", "W");
  ScopedVariable inner("XOQT_INNER", "%XOQT_WINDIR%$XOQT_WINDIR");
  EXPECT_EQ(expand("[%XOQT_INNER%]"), "[%XOQT_WINDIR%$XOQT_WINDIR]");
}

TEST(ExpandReferences, LongValuesAndNames) {
  // Windows holds at most 32767 characters in one variable.
  std::string big;
  for (int i = 0; big.size() < 32000; ++i) big += "segment" + std::to_string(i) + ";";
  ScopedVariable longValue("XOQT_LONGVALUE", big);
  std::string stored;
  ASSERT_TRUE(platform::getEnvironment("XOQT_LONGVALUE", stored));
  ASSERT_EQ(stored, big);
  const std::string text = std::string(30000, 'x') + "%XOQT_LONGVALUE%|${XOQT_LONGVALUE}|$XOQT_LONGVALUE";
  EXPECT_EQ(expand(text), std::string(30000, 'x') + big + "|" + big + "|" + big);

  // Names far longer than any buffer a system call would take.
  const std::string longName(20000, 'N');
  for (const std::string& reference : {"%" + longName + "%", "${" + longName + "}", "$" + longName}) {
    EXPECT_EQ(expand(reference + "!"), reference + "!");
  }
  ScopedVariable named(std::string(3000, 'L'), "found");
  EXPECT_EQ(expand("${" + std::string(3000, 'L') + "}"), "found");
}

TEST(ExpandReferences, LauncherNames) {
  ConfigStore store;
  store.setPaths("/opt/app/bin/app", "/srv/work");
  EXPECT_EQ(expandReferences("$APPLICATION_HOME/lib", false, &store), "/opt/app/bin//lib");
  EXPECT_EQ(expandReferences("%{APPLICATION_HOME}%lib", false, &store), "/opt/app/bin/lib");
  EXPECT_EQ(expandReferences("${APPLICATION_HOME}lib", false, &store), "/opt/app/bin/lib");
  EXPECT_EQ(expandReferences("%application_home%lib", false, &store), "/opt/app/bin/lib");
  EXPECT_EQ(expandReferences("${Xoq_App_Path}", false, &store), "/opt/app/bin/app");
  EXPECT_EQ(expandReferences("%PWD%data", false, &store), "/srv/work/data");
  // Without a store the launcher's paths are unknown and stay as written.
  EXPECT_EQ(expand("$APPLICATION_HOME/lib"), "$APPLICATION_HOME/lib");
}

TEST(ExpandReferences, TheFreeFunctionUsesTheProcessStore) {
  ConfigStore store;
  store.setPaths("C:\\Apps\\tool.exe", "C:\\Work");
  ConfigStore* const previous = theConfig;
  theConfig = &store;
  EXPECT_EQ(expandReferences("%APPLICATION_HOME%x", false), "C:\\Apps\\x");
  std::string value;
  EXPECT_TRUE(resolveSpecialName("XOQ_APP_PATH", value));
  EXPECT_EQ(value, "C:\\Apps\\tool.exe");
  theConfig = previous;
}

TEST(ExpandReferences, EnvironmentWinsOverLauncherNamesExceptPwd) {
  ConfigStore store;
  store.setPaths("/opt/app/app", "/srv/work/");
  ScopedVariable home("APPLICATION_HOME", "from-environment");
  EXPECT_EQ(expandReferences("$APPLICATION_HOME", false, &store), "from-environment");
  // A PWD exported by the shell would be stale after forcecwd.
  ScopedVariable pwd("PWD", "/somewhere/else");
  EXPECT_EQ(expandReferences("$PWD", false, &store), "/srv/work/");
}

TEST(ResolveSpecialName, NamesAndNonNames) {
  ConfigStore store;
  store.setPaths("C:\\Apps\\tool.exe", "D:\\");
  std::string value;
  EXPECT_TRUE(resolveSpecialName("Application_Home", &store, value));
  EXPECT_EQ(value, "C:\\Apps\\");
  EXPECT_TRUE(resolveSpecialName("pwd", &store, value));
  EXPECT_EQ(value, "D:\\");
  value = "unchanged";
  EXPECT_FALSE(resolveSpecialName("APPLICATION_HOMES", &store, value));
  EXPECT_FALSE(resolveSpecialName("HOM", &store, value));
  EXPECT_FALSE(resolveSpecialName("", &store, value));
  EXPECT_FALSE(resolveSpecialName("PWD", nullptr, value));
  EXPECT_EQ(value, "unchanged");
}

TEST(ResolveSpecialName, HomeIsComposedOnceAndKept) {
  std::string drive, path;
  const bool hadDrive = platform::getEnvironment("HOMEDRIVE", drive);
  const bool hadPath = platform::getEnvironment("HOMEPATH", path);
  std::string value;
  {
    ScopedVariable noDrive("HOMEDRIVE", "");
    ASSERT_TRUE(resolveSpecialName("HOME", nullptr, value));
  }
  if (value.empty()) {
    // Not composed yet: a missing half gives the empty string, and the next
    // use tries again.
    ScopedVariable newDrive("HOMEDRIVE", "X:");
    ScopedVariable newPath("HOMEPATH", "\\Users\\me");
    ASSERT_TRUE(resolveSpecialName("home", nullptr, value));
    EXPECT_EQ(value, "X:\\Users\\me");
  } else {
    EXPECT_EQ(value, drive + path);
    EXPECT_TRUE(hadDrive && hadPath);
  }
  // Once composed it is kept, whatever the variables say later.
  const std::string composed = value;
  ScopedVariable laterPath("HOMEPATH", "\\Elsewhere");
  ASSERT_TRUE(resolveSpecialName("HOME", nullptr, value));
  EXPECT_EQ(value, composed);
}

TEST(ExpandReferences, HomeFromTheEnvironmentWins) {
  ScopedVariable home("HOME", "/home/from-env");
  EXPECT_EQ(expand("$HOME/.app"), "/home/from-env/.app");
}

class ExpandUtf8Output : public ::testing::Test {
 protected:
  void SetUp() override { platform::selectUserLocale(); }
};

TEST_F(ExpandUtf8Output, AsciiValuesGoInUnchanged) {
  ScopedVariable plain("XOQT_PLAIN", "abc");
  EXPECT_EQ(expandReferences("name=\xE2\x98\x83$XOQT_PLAIN", true, nullptr),
            "name=\xE2\x98\x83"
            "abc");
}

#ifdef _WIN32
TEST_F(ExpandUtf8Output, CodePageValuesBecomeUtf8) {
  ScopedVariable accented("XOQT_ACCENT", "caf\xE9");
  EXPECT_EQ(expandReferences("p=%XOQT_ACCENT%", true, nullptr), "p=caf\xC3\xA9");
  // Without utf8Output the narrow value goes in as it is.
  EXPECT_EQ(expandReferences("p=%XOQT_ACCENT%", false, nullptr), "p=caf\xE9");
}
#else
TEST_F(ExpandUtf8Output, Utf8LocaleValuesStayUtf8) {
  ScopedVariable accented("XOQT_ACCENT", "caf\xC3\xA9");
  EXPECT_EQ(expandReferences("p=%XOQT_ACCENT%", true, nullptr), "p=caf\xC3\xA9");
}
#endif

}  // namespace
}  // namespace xoq
