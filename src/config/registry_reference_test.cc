#include "config/registry_reference.h"

#include <gtest/gtest.h>

#include <string>

#include "config/expand.h"
#include "platform/platform.h"

namespace xoq {
namespace {

using platform::RegistryRoot;

TEST(ParseRegistryReference, EveryRootPrefixInExactCase) {
  struct Case {
    const char* name;
    RegistryRoot root;
  };
  const Case cases[] = {
      {"HKCR\\K\\V", RegistryRoot::kClassesRoot},
      {"HKCU\\K\\V", RegistryRoot::kCurrentUser},
      {"HKLM\\K\\V", RegistryRoot::kLocalMachine},
      {"HKU\\K\\V", RegistryRoot::kUsers},
      {"HKCC\\K\\V", RegistryRoot::kCurrentConfig},
      {"HKEY_CLASSES_ROOT\\K\\V", RegistryRoot::kClassesRoot},
      {"HKEY_CURRENT_USER\\K\\V", RegistryRoot::kCurrentUser},
      {"HKEY_LOCAL_MACHINE\\K\\V", RegistryRoot::kLocalMachine},
      {"HKEY_USERS\\K\\V", RegistryRoot::kUsers},
      {"HKEY_CURRENT_CONFIG\\K\\V", RegistryRoot::kCurrentConfig},
  };
  for (const Case& c : cases) {
    const RegistryReference reference = parseRegistryReference(c.name);
    EXPECT_TRUE(reference.hasRoot) << c.name;
    EXPECT_EQ(reference.root, c.root) << c.name;
    EXPECT_EQ(reference.keyPath, "K") << c.name;
    EXPECT_EQ(reference.valueName, "V") << c.name;
    EXPECT_FALSE(reference.hasDefault) << c.name;
  }
  for (const char* name : {"hklm\\K\\V", "Hkcu\\K\\V", "HKLM/K/V", "HKLM", "HKEY_LOCAL_MACHINE", "SOFTWARE\\K\\V"}) {
    EXPECT_FALSE(parseRegistryReference(name).hasRoot) << name;
  }
}

TEST(ParseRegistryReference, KeyPathValueNameAndDefault) {
  RegistryReference r = parseRegistryReference("HKLM\\SOFTWARE\\Vendor\\App\\Path");
  EXPECT_EQ(r.keyPath, "SOFTWARE\\Vendor\\App");
  EXPECT_EQ(r.valueName, "Path");

  // A trailing backslash, or no backslash at all, names the default value.
  r = parseRegistryReference("HKLM\\SOFTWARE\\Vendor\\");
  EXPECT_EQ(r.keyPath, "SOFTWARE\\Vendor");
  EXPECT_EQ(r.valueName, "");
  r = parseRegistryReference("HKCU\\Environment");
  EXPECT_EQ(r.keyPath, "Environment");
  EXPECT_EQ(r.valueName, "");

  // The default starts after the first '|' and may hold more of them, and
  // backslashes; the value name is taken from what comes before it.
  r = parseRegistryReference("HKCU\\Software\\X\\Y|C:\\a|b");
  EXPECT_EQ(r.keyPath, "Software\\X");
  EXPECT_EQ(r.valueName, "Y");
  EXPECT_TRUE(r.hasDefault);
  EXPECT_EQ(r.defaultValue, "C:\\a|b");
  r = parseRegistryReference("HKCU\\Software\\X\\Y|");
  EXPECT_TRUE(r.hasDefault);
  EXPECT_EQ(r.defaultValue, "");

  r = parseRegistryReference("NOSUCH|fallback");
  EXPECT_FALSE(r.hasRoot);
  EXPECT_TRUE(r.hasDefault);
  EXPECT_EQ(r.defaultValue, "fallback");
}

// Keys no machine has: on Windows the open fails, on Linux there is no
// registry at all. Either way the default answers, or nothing does.
TEST(RegistryReferenceFallback, MissingValuesGiveTheDefaultOrStayUnresolved) {
  const std::string missing = "HKCU\\Software\\xoq-no-such-vendor\\no-such-key\\Value";
  std::string value = "untouched";
  EXPECT_FALSE(readRegistryReference(missing, nullptr, value));
  EXPECT_EQ(value, "untouched");
  EXPECT_TRUE(readRegistryReference(missing + "|fallback", nullptr, value));
  EXPECT_EQ(value, "fallback");

  EXPECT_EQ(expandReferences("${" + missing + "|fallback}\\bin", false, nullptr), "fallback\\bin");
  EXPECT_EQ(expandReferences("${" + missing + "}\\bin", false, nullptr), "${" + missing + "}\\bin");
  EXPECT_EQ(expandReferences("%{" + missing + "|C:\\Java}%\\bin", false, nullptr), "C:\\Java\\bin");
  EXPECT_EQ(expandReferences("${HKLM\\SOFTWARE\\xoq-no-such-vendor\\}", false, nullptr),
            "${HKLM\\SOFTWARE\\xoq-no-such-vendor\\}");
  EXPECT_EQ(expandReferences("${hklm\\SOFTWARE\\xoq-no-such-vendor\\Path|x}", false, nullptr), "x");
  EXPECT_EQ(expandReferences("${NOSUCH|fallback}", false, nullptr), "fallback");
  EXPECT_EQ(expandReferences("${NOSUCH|}x", false, nullptr), "x");
}

TEST(RegistryReferenceFallback, NameWithDefaultDoesNotConsultTheVariable) {
  platform::putEnvironment("XOQT_JAVA_HOME=/opt/jdk");
  EXPECT_EQ(expandReferences("${XOQT_JAVA_HOME|x}", false, nullptr), "x");
  EXPECT_EQ(expandReferences("${XOQT_JAVA_HOME}", false, nullptr), "/opt/jdk");
  platform::putEnvironment("XOQT_JAVA_HOME=");
}

TEST(RegistryReferenceFallback, LongNamesAndDefaults) {
  const std::string longDefault(50000, 'd');
  const std::string longKey = "HKCU\\Software\\" + std::string(5000, 'k') + "\\" + std::string(20000, 'v');
  EXPECT_EQ(expandReferences("${" + longKey + "|" + longDefault + "}", false, nullptr), longDefault);
  EXPECT_EQ(expandReferences("${" + longKey + "}", false, nullptr), "${" + longKey + "}");
}

}  // namespace
}  // namespace xoq
