// Registry references against the real registry (Wine's, under test): each
// test writes its own keys and removes them again.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "config/config_store.h"
#include "config/expand.h"
#include "config/registry_reference.h"
#include "platform/platform.h"

namespace xoq {
namespace {

// A key created for one test and deleted with everything below it.
class ScratchKey {
 public:
  ScratchKey(HKEY root, const std::string& path) : root_(root), path_(path) {
    ok_ = RegCreateKeyExA(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key_,
                          nullptr) == ERROR_SUCCESS;
  }
  ~ScratchKey() {
    if (!ok_) return;
    RegCloseKey(key_);
    RegDeleteTreeA(root_, path_.c_str());
    RegDeleteKeyA(root_, path_.c_str());
  }
  ScratchKey(const ScratchKey&) = delete;
  ScratchKey& operator=(const ScratchKey&) = delete;

  bool ok() const { return ok_; }

  void setBytes(const std::string& name, DWORD type, const std::string& data) {
    ASSERT_EQ(RegSetValueExA(key_, name.empty() ? nullptr : name.c_str(), 0, type,
                             reinterpret_cast<const BYTE*>(data.data()), static_cast<DWORD>(data.size())),
              ERROR_SUCCESS)
        << name;
  }
  // Strings are stored with their terminator, as the registry expects.
  void setString(const std::string& name, const std::string& text, DWORD type = REG_SZ) {
    setBytes(name, type, std::string(text.c_str(), text.size() + 1));
  }
  void setDword(const std::string& name, uint32_t number) {
    setBytes(name, REG_DWORD, std::string(reinterpret_cast<const char*>(&number), 4));
  }

 private:
  HKEY root_;
  std::string path_;
  HKEY key_ = nullptr;
  bool ok_ = false;
};

std::string uniqueName() { return "xoq-unit-test-" + std::to_string(GetCurrentProcessId()); }

std::string expand(const std::string& text) { return expandReferences(text, false, nullptr); }

class RegistryReferences : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::selectUserLocale();
    ASSERT_TRUE(key_.ok());
  }

  // The reference text for value `name` of the scratch key under HKCU.
  std::string ref(const std::string& name) const { return "HKCU\\" + path_ + "\\" + name; }

  const std::string path_ = "Software\\" + uniqueName();
  ScratchKey key_{HKEY_CURRENT_USER, path_};
};

TEST_F(RegistryReferences, StringsAndTheDefaultValue) {
  key_.setString("Path", "C:\\Vendor\\App");
  key_.setString("", "the default value");
  key_.setString("Empty", "");
  EXPECT_EQ(expand("${" + ref("Path") + "}\\bin"), "C:\\Vendor\\App\\bin");
  EXPECT_EQ(expand("%{" + ref("Path") + "}%\\bin"), "C:\\Vendor\\App\\bin");
  EXPECT_EQ(expand("${HKEY_CURRENT_USER\\" + path_ + "\\Path}"), "C:\\Vendor\\App");
  EXPECT_EQ(expand("${" + ref("") + "}"), "the default value");
  EXPECT_EQ(expand("[${" + ref("Empty") + "}]"), "[]");
  // A value that exists wins over the default; a missing one gives it.
  EXPECT_EQ(expand("${" + ref("Path") + "|fallback}"), "C:\\Vendor\\App");
  EXPECT_EQ(expand("${" + ref("Missing") + "|fallback}"), "fallback");
  EXPECT_EQ(expand("${" + ref("Missing") + "}"), "${" + ref("Missing") + "}");
  // Root prefixes are matched in exact case only.
  EXPECT_EQ(expand("${hkcu\\" + path_ + "\\Path}"), "${hkcu\\" + path_ + "\\Path}");
  // The environment comes first: a variable of the same name wins.
  platform::putEnvironment(ref("Path") + "=from-environment");
  EXPECT_EQ(expand("${" + ref("Path") + "}"), "from-environment");
  platform::putEnvironment(ref("Path") + "=");
}

TEST_F(RegistryReferences, KeyWithoutValueNameReadsItsDefault) {
  ScratchKey top(HKEY_CURRENT_USER, uniqueName());
  ASSERT_TRUE(top.ok());
  top.setString("", "top default");
  EXPECT_EQ(expand("${HKCU\\" + uniqueName() + "}"), "top default");
  EXPECT_EQ(expand("${HKCU\\" + uniqueName() + "\\}"), "top default");
}

TEST_F(RegistryReferences, NumbersInBothByteOrders) {
  key_.setDword("Answer", 42);
  key_.setDword("AllBits", 0xFFFFFFFFu);
  key_.setDword("Lowest", 0x80000000u);
  key_.setBytes("Big", REG_DWORD_BIG_ENDIAN, std::string("\x00\x00\x01\x02", 4));
  key_.setBytes("BigNegative", REG_DWORD_BIG_ENDIAN, std::string("\xFF\xFF\xFF\xFE", 4));
  EXPECT_EQ(expand("${" + ref("Answer") + "}"), "42");
  EXPECT_EQ(expand("${" + ref("AllBits") + "}"), "-1");
  EXPECT_EQ(expand("${" + ref("Lowest") + "}"), "-2147483648");
  EXPECT_EQ(expand("${" + ref("Big") + "}"), "258");
  EXPECT_EQ(expand("${" + ref("BigNegative") + "}"), "-2");
}

TEST_F(RegistryReferences, OtherTypesGiveTheEmptyString) {
  key_.setBytes("Binary", REG_BINARY, std::string("\x01\x02\x03\x04", 4));
  key_.setBytes("Multi", REG_MULTI_SZ, std::string("a\0b\0\0", 5));
  key_.setBytes("Qword", REG_QWORD, std::string(8, '\x01'));
  // Too short to hold a number: nothing is read past the data.
  key_.setBytes("ShortDword", REG_DWORD, std::string("\x05\x00", 2));
  for (const char* name : {"Binary", "Multi", "Qword", "ShortDword"}) {
    EXPECT_EQ(expand("[${" + ref(name) + "|fallback}]"), "[]") << name;
  }
}

TEST_F(RegistryReferences, ExpandableStringsAreExpanded) {
  std::string systemRoot;
  ASSERT_TRUE(platform::getEnvironment("SystemRoot", systemRoot));
  key_.setString("Java", "%SystemRoot%\\java", REG_EXPAND_SZ);
  key_.setString("Path", "C:\\Vendor");
  key_.setString("Nested", "${" + ref("Path") + "}\\lib;$$", REG_EXPAND_SZ);
  key_.setString("Plain", "%SystemRoot%\\java");
  EXPECT_EQ(expand("${" + ref("Java") + "}"), systemRoot + "\\java");
  EXPECT_EQ(expand("${" + ref("Nested") + "}"), "C:\\Vendor\\lib;$");
  // A plain string is inserted as stored.
  EXPECT_EQ(expand("${" + ref("Plain") + "}"), "%SystemRoot%\\java");

  ConfigStore store;
  store.setPaths("C:\\Apps\\tool.exe", "C:\\Work");
  key_.setString("Home", "$APPLICATION_HOME\\lib", REG_EXPAND_SZ);
  EXPECT_EQ(expandReferences("${" + ref("Home") + "}", false, &store), "C:\\Apps\\\\lib");
}

TEST_F(RegistryReferences, SelfReferenceStopsAtTheNestingBound) {
  const std::string self = "${" + ref("Self") + "}";
  key_.setString("Self", "x" + self, REG_EXPAND_SZ);
  // Each level adds one "x"; at the bound the value goes in as stored.
  EXPECT_EQ(expand(self), std::string(kMaxRegistryNesting, 'x') + "x" + self);

  // Through another value: A -> B -> A -> ...
  key_.setString("A", "a${" + ref("B") + "}", REG_EXPAND_SZ);
  key_.setString("B", "b${" + ref("A") + "}", REG_EXPAND_SZ);
  EXPECT_EQ(expand("${" + ref("A") + "}"), "ababa${" + ref("B") + "}");
}

TEST_F(RegistryReferences, SelfReferenceManyTimesOverStaysBounded) {
  // A value naming itself fifty times would multiply by fifty per level.
  std::string text;
  for (int i = 0; i < 50; ++i) text += "${" + ref("Fan") + "}";
  key_.setString("Fan", text, REG_EXPAND_SZ);
  const std::string result = expand("${" + ref("Fan") + "}");
  EXPECT_NE(result.find("${" + ref("Fan") + "}"), std::string::npos);
  EXPECT_LT(result.size(), 50u * 64u * text.size());
}

TEST_F(RegistryReferences, LongDataAndLongNames) {
  std::string big;
  for (int i = 0; big.size() < 60000; ++i) big += "C:\\lib\\part" + std::to_string(i) + ".jar;";
  key_.setString("Big", big);
  EXPECT_EQ(expand("${" + ref("Big") + "}"), big);
  key_.setString("BigExpand", big + "%%", REG_EXPAND_SZ);
  EXPECT_EQ(expand("${" + ref("BigExpand") + "}"), big + "%");

  const std::string longName(2000, 'n');
  key_.setString(longName, "long name");
  EXPECT_EQ(expand("${" + ref(longName) + "}"), "long name");
}

TEST_F(RegistryReferences, DataWithoutTerminatorOrWithTextAfterIt) {
  key_.setBytes("Bare", REG_SZ, "no terminator");
  key_.setBytes("Tail", REG_SZ, std::string("first\0second\0", 13));
  EXPECT_EQ(expand("${" + ref("Bare") + "}"), "no terminator");
  EXPECT_EQ(expand("${" + ref("Tail") + "}"), "first");
}

TEST_F(RegistryReferences, PropertyValuesGetUtf8) {
  key_.setString("Accent", "caf\xE9");
  EXPECT_EQ(expandReferences("p=${" + ref("Accent") + "}", true, nullptr), "p=caf\xC3\xA9");
  EXPECT_EQ(expandReferences("p=${" + ref("Accent") + "}", false, nullptr), "p=caf\xE9");

  ConfigStore store;
  const std::string block = "\xEF\xBB\xBFproperty user.place=\xE2\x98\x83 ${" + ref("Accent") + "}\r\n";
  store.appendText(block.data(), block.size());
  StringList properties;
  store.properties(properties);
  ASSERT_EQ(properties.size(), 1u);
  EXPECT_EQ(properties.str(0), "user.place=\xE2\x98\x83 caf\xC3\xA9");
}

// The other roots, where Wine lets the test write there.
TEST(RegistryReferenceRoots, EachRootReadsItsOwnTree) {
  struct Root {
    HKEY key;
    const char* shortPrefix;
    const char* longPrefix;
    const char* path;
  };
  const std::string name = uniqueName();
  const Root roots[] = {
      {HKEY_LOCAL_MACHINE, "HKLM", "HKEY_LOCAL_MACHINE", "Software\\"},
      {HKEY_CLASSES_ROOT, "HKCR", "HKEY_CLASSES_ROOT", ""},
      {HKEY_USERS, "HKU", "HKEY_USERS", ".DEFAULT\\Software\\"},
      {HKEY_CURRENT_CONFIG, "HKCC", "HKEY_CURRENT_CONFIG", "Software\\"},
  };
  int written = 0;
  for (const Root& root : roots) {
    const std::string path = std::string(root.path) + name;
    ScratchKey key(root.key, path);
    if (!key.ok()) continue;
    ++written;
    key.setString("Where", root.shortPrefix);
    EXPECT_EQ(expandReferences(std::string("${") + root.shortPrefix + "\\" + path + "\\Where}", false, nullptr),
              root.shortPrefix);
    EXPECT_EQ(expandReferences(std::string("${") + root.longPrefix + "\\" + path + "\\Where}", false, nullptr),
              root.shortPrefix);
  }
  if (written == 0) GTEST_SKIP() << "no root besides HKCU is writable here";
}

}  // namespace
}  // namespace xoq
