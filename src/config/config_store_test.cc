#include "config/config_store.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/platform.h"
#include "support/files.h"
#include "support/payload_builder.h"

namespace xoq {
namespace {

ConfigStore blockStore(const std::string& text) {
  ConfigStore store;
  store.appendText(text.data(), text.size());
  return store;
}

std::vector<std::string> allValues(const ConfigStore& store, const char* key, bool payloadOnly = false) {
  std::vector<std::string> values;
  store.forEachValue(
      key, payloadOnly, true,
      [](void* context, const char* value) { static_cast<std::vector<std::string>*>(context)->push_back(value); },
      &values);
  return values;
}

TEST(ConfigLineGrammar, SeparatorsBetweenKeyAndValue) {
  const ConfigStore store = blockStore(
      "mainclass com.example.Main\r\n"
      "jre=jre\r\n"
      "vm = server\r\n"
      "splash  =  logo.bmp  \r\n"
      "splashtitle\tWait\r\n"
      "minjre\r\n"
      "maxjre =\r\n");
  EXPECT_EQ(store.lookup("mainclass", false, true), "com.example.Main");
  EXPECT_EQ(store.lookup("jre", false, true), "jre");
  EXPECT_EQ(store.lookup("vm", false, true), "server");
  // Trailing spaces stay; a tab is no separator and stays in the value.
  EXPECT_EQ(store.lookup("splash", false, true), "logo.bmp  ");
  EXPECT_EQ(store.lookup("splashtitle", false, true), "\tWait");
  EXPECT_EQ(store.lookup("minjre", false, true), "");
  EXPECT_EQ(store.lookup("maxjre", false, true), "");
  EXPECT_EQ(store.lookup("absent", false, true), "");
}

TEST(ConfigLineGrammar, OnlyOneEqualsSignIsASeparator) {
  const ConfigStore store = blockStore("property ==b=c #x\r\n   option  -Dq=1\r\n");
  EXPECT_EQ(store.lookup("property", false, false), "=b=c #x");
  EXPECT_EQ(store.lookup("option", false, true), "-Dq=1");
}

TEST(ConfigLineGrammar, KeyBoundaryAndCase) {
  const ConfigStore store = blockStore(
      "mainclassname wrong\r\n"
      "#splash hidden\r\n"
      "\tjre tabbed\r\n"
      "SPLASH-x y\r\n"
      "MainClass right\r\n"
      "jre_order be\r\n");
  EXPECT_EQ(store.lookup("mainclass", false, true), "right");
  // "-" ends the key; the value starts right after it.
  EXPECT_EQ(store.lookup("splash", false, true), "-x y");
  // "_" continues a key, and a leading tab hides the line.
  EXPECT_EQ(store.lookup("jre", false, true), "");
  EXPECT_EQ(store.lookup("jre_order", false, true), "be");
}

TEST(ConfigLineGrammar, EveryKindOfLineBreak) {
  const ConfigStore store = blockStore("argv a\rargv b\nargv c\r\nargv d\n\rargv e");
  EXPECT_EQ(allValues(store, "argv"), (std::vector<std::string>{"a", "b", "c", "d", "e"}));
}

TEST(ConfigLineGrammar, FirstLineWinsAndEveryLineCounts) {
  const ConfigStore store = blockStore("minjre 1.6\r\noption -Xmx1g\r\nminjre 1.8\r\noption -Xss2m\r\n");
  EXPECT_EQ(store.lookup("minjre", false, true), "1.6");
  EXPECT_EQ(allValues(store, "option"), (std::vector<std::string>{"-Xmx1g", "-Xss2m"}));
}

TEST(ConfigEncodings, EachEncodingAppendsTheSameText) {
  const std::string expected = "splashtitle caf\xC3\xA9 \xE2\x82\xAC\r\n";
  const std::string utf8 = "\xEF\xBB\xBF" + expected;
  std::string utf16le = "\xFF\xFE";
  std::string utf16be = "\xFE\xFF";
  const char16_t units[] = u"splashtitle caf\u00e9 \u20ac\r\n";
  for (size_t i = 0; units[i] != 0; ++i) {
    utf16le += static_cast<char>(units[i] & 0xFF);
    utf16le += static_cast<char>(units[i] >> 8);
    utf16be += static_cast<char>(units[i] >> 8);
    utf16be += static_cast<char>(units[i] & 0xFF);
  }
  for (const std::string& source : {utf8, utf16le, utf16be}) {
    ConfigStore store;
    store.appendText(source.data(), source.size());
    EXPECT_EQ(store.text(), expected);
  }
}

TEST(ConfigEncodings, Utf16StopsAtAZeroUnitAndIgnoresAnOddByte) {
  const std::string le(
      "\xFF\xFE"
      "a\0b\0\0\0c\0",
      10);
  ConfigStore store;
  store.appendText(le.data(), le.size());
  EXPECT_EQ(store.text(), "ab");
  const std::string odd(
      "\xFF\xFE"
      "x\0y",
      5);
  ConfigStore oddStore;
  oddStore.appendText(odd.data(), odd.size());
  EXPECT_EQ(oddStore.text(), "x");
}

TEST(ConfigEncodings, SurrogatesAreEncodedOneByOne) {
  const std::string le("\xFF\xFE\x3D\xD8\x00\xDE", 6);  // U+1F600 as a pair
  ConfigStore store;
  store.appendText(le.data(), le.size());
  EXPECT_EQ(store.text(), "\xED\xA0\xBD\xED\xB8\x80");
}

TEST(ConfigEncodings, NarrowFormOfPlainAsciiIsUntouched) {
  const ConfigStore store = blockStore("\xEF\xBB\xBFjre C:\\Program Files\\Java\r\n");
  EXPECT_EQ(store.lookup("jre", false, true), "C:\\Program Files\\Java");
}

TEST(ConfigEncodings, PropertyValuesStayUtf8) {
  const ConfigStore store = blockStore("\xEF\xBB\xBFproperty name=\xE2\x82\xAC\r\n");
  EXPECT_EQ(store.lookup("property", false, false), "name=\xE2\x82\xAC");
}

TEST(ConfigStorePaths, HomeAndWorkingDirectoryEndInASeparator) {
  ConfigStore store;
  store.setPaths("C:\\Apps\\Tool\\tool.exe", "C:\\Work");
  EXPECT_EQ(store.applicationHome(), "C:\\Apps\\Tool\\");
  EXPECT_EQ(store.workingDirectory(), "C:\\Work/");
  store.setPaths("/opt/tool/tool", "/home/u/");
  EXPECT_EQ(store.applicationHome(), "/opt/tool/");
  EXPECT_EQ(store.workingDirectory(), "/home/u/");
  store.setPaths("tool", "/");
  EXPECT_EQ(store.applicationHome(), "");
}

TEST(ConfigStorePaths, ExternalFileCandidatesInOrder) {
  EXPECT_EQ(externalConfigCandidates("C:\\a.b\\prog.exe"),
            (std::vector<std::string>{"C:\\a.b\\prog.exe.cfg", "C:\\a.b\\prog.exe.config", "C:\\a.b\\prog.cfg",
                                      "C:\\a.b\\prog.config"}));
  // A dot in a directory name is no extension.
  EXPECT_EQ(externalConfigCandidates("/opt/a.b/prog"),
            (std::vector<std::string>{"/opt/a.b/prog.cfg", "/opt/a.b/prog.config", "/opt/a.b/prog.cfg",
                                      "/opt/a.b/prog.config"}));
}

// Loading from real files: a packaged executable in a scratch directory and
// external configuration files beside it.
class ConfigLoading : public ::testing::Test {
 protected:
  void SetUp() override { platform::selectUserLocale(); }

  // Writes the executable `name` with the configuration `block`.
  std::string writeExecutable(const std::string& name, const std::string& block, const std::string& comment = "") {
    const testing::BuiltPayload built =
        testing::buildPayloadFile("launcher image", block, testing::emptyZipArchive(), comment);
    archiveLength_ = built.archiveLength;
    const std::string path = dir_.file(name);
    testing::writeFile(path, built.file);
    return path;
  }

  ConfigStore& load(const std::string& executable) {
    store_.loadConfiguration(executable, archiveLength_);
    return store_;
  }

  testing::TempDir dir_;
  ConfigStore store_;
  uint32_t archiveLength_ = 0;
};

const char kBlock[] = "\xEF\xBB\xBFmainclass Block\r\nsplashtitle Block title\r\ndisableexternal false\r\n";

TEST_F(ConfigLoading, BlockAloneWithoutExternalFile) {
  ConfigStore& store = load(writeExecutable("prog.exe", kBlock));
  EXPECT_EQ(store.externalLength(), 0);
  EXPECT_EQ(store.externalFile(), "");
  EXPECT_EQ(store.text(), std::string(kBlock).substr(3));
  EXPECT_EQ(store.lookup("splashtitle", false, true), "Block title");
}

TEST_F(ConfigLoading, ExternalFilesAreTriedInOrder) {
  const std::string exe = writeExecutable("prog.exe", kBlock);
  const char* names[] = {"prog.config", "prog.cfg", "prog.exe.config", "prog.exe.cfg"};
  // Each file added is earlier in the order than the ones before it, so it
  // must win every time.
  for (const char* name : names) {
    testing::writeFile(dir_.file(name), std::string("splashtitle ") + name + "\r\n");
    ConfigStore& store = load(exe);
    EXPECT_EQ(store.lookup("splashtitle", false, true), name);
    EXPECT_EQ(store.externalFile(), dir_.file(name));
  }
}

TEST_F(ConfigLoading, FileNameWithoutExtension) {
  const std::string exe = writeExecutable("prog", kBlock);
  testing::writeFile(dir_.file("prog.config"), "splashtitle plain\r\n");
  EXPECT_EQ(load(exe).lookup("splashtitle", false, true), "plain");
}

TEST_F(ConfigLoading, ExternalValueWinsButNotForPayloadOnlyReads) {
  const std::string exe = writeExecutable("prog.exe", kBlock);
  testing::writeFile(dir_.file("prog.exe.cfg"), "\xEF\xBB\xBFmainclass External\r\nsplashtitle External title");
  ConfigStore& store = load(exe);
  EXPECT_EQ(store.lookup("splashtitle", false, true), "External title");
  EXPECT_EQ(store.lookup("mainclass", false, true), "External");
  EXPECT_EQ(store.lookup("mainclass", true, true), "Block");
  // The external part ends with the CR LF added after it.
  const std::string external = "mainclass External\r\nsplashtitle External title\r\n";
  EXPECT_EQ(store.externalLength(), static_cast<int32_t>(external.size()));
  EXPECT_EQ(store.text().substr(0, external.size()), external);
}

TEST_F(ConfigLoading, EmptyFileAndLineBreakOnlyFile) {
  const std::string exe = writeExecutable("prog.exe", kBlock);
  testing::writeFile(dir_.file("prog.exe.cfg"), "");
  ConfigStore& store = load(exe);
  EXPECT_EQ(store.externalLength(), 0);
  EXPECT_EQ(store.text(), std::string(kBlock).substr(3));

  testing::writeFile(dir_.file("prog.exe.cfg"), "\n");
  ConfigStore& again = load(exe);
  EXPECT_EQ(again.externalLength(), 3);
  EXPECT_EQ(again.text().substr(0, 3), "\n\r\n");
  EXPECT_EQ(again.lookup("mainclass", false, true), "Block");
}

TEST_F(ConfigLoading, Utf16ExternalFiles) {
  const std::string exe = writeExecutable("prog.exe", kBlock);
  const std::string line = "splashtitle Wide\r\n";
  std::string le = "\xFF\xFE", be = "\xFE\xFF";
  for (char c : line) {
    le += c;
    le += '\0';
    be += '\0';
    be += c;
  }
  testing::writeFile(dir_.file("prog.exe.cfg"), le);
  EXPECT_EQ(load(exe).lookup("splashtitle", false, true), "Wide");
  testing::writeFile(dir_.file("prog.exe.cfg"), be);
  EXPECT_EQ(load(exe).lookup("splashtitle", false, true), "Wide");
}

TEST_F(ConfigLoading, NulInsideUtf8ExternalFileHidesTheBlockFromWholeTextReads) {
  const std::string exe = writeExecutable("prog.exe", kBlock);
  testing::writeFile(dir_.file("prog.exe.cfg"), std::string("\xEF\xBB\xBFminjre 1.6\0maxjre 9\r\n", 23));
  ConfigStore& store = load(exe);
  EXPECT_EQ(store.lookup("minjre", false, true), "1.6");
  EXPECT_EQ(store.lookup("maxjre", false, true), "");
  EXPECT_EQ(store.lookup("splashtitle", false, true), "");
  EXPECT_EQ(store.lookup("splashtitle", true, true), "Block title");
}

TEST_F(ConfigLoading, DisableExternalComparesExactly) {
  struct Case {
    const char* line;
    bool disables;
  };
  const Case cases[] = {{"disableexternal true", true},   {"disableexternal=TRUE", true},
                        {"disableexternal = True", true}, {"disableexternal true ", false},
                        {"disableexternal yes", false},   {"disableexternal", false}};
  for (const Case& c : cases) {
    const std::string exe = writeExecutable("prog.exe", std::string("\xEF\xBB\xBF") + c.line + "\r\nsplashtitle B\r\n");
    testing::writeFile(dir_.file("prog.exe.cfg"), "splashtitle E\r\n");
    ConfigStore& store = load(exe);
    EXPECT_EQ(store.lookup("splashtitle", false, true), c.disables ? "B" : "E") << c.line;
    EXPECT_EQ(store.externalLength() == 0, c.disables) << c.line;
  }
}

TEST_F(ConfigLoading, DisableExternalInTheExternalFileHasNoEffect) {
  const std::string exe = writeExecutable("prog.exe", "\xEF\xBB\xBFsplashtitle B\r\n");
  testing::writeFile(dir_.file("prog.exe.cfg"), "disableexternal true\r\nsplashtitle E\r\n");
  EXPECT_EQ(load(exe).lookup("splashtitle", false, true), "E");
}

TEST_F(ConfigLoading, CommentAddedAfterPackagingKeepsTheBlock) {
  const std::string exe = writeExecutable("prog.exe", kBlock, "a comment after the archive");
  EXPECT_EQ(load(exe).lookup("mainclass", true, true), "Block");
}

TEST_F(ConfigLoading, DamagedLengthsGiveNoBlock) {
  const std::string exe = writeExecutable("prog.exe", kBlock);
  // An archive length that points before the start of the file.
  store_.loadConfiguration(exe, 1u << 30);
  EXPECT_EQ(store_.text(), "");
  EXPECT_EQ(store_.lookup("mainclass", true, true), "");
  // A missing executable.
  store_.loadConfiguration(dir_.file("missing.exe"), 0);
  EXPECT_EQ(store_.text(), "");
}

#ifdef _WIN32
TEST_F(ConfigLoading, AnsiFileUnderCodePage1252) {
  const std::string exe = writeExecutable("prog.exe", "\xEF\xBB\xBFsplash caf\xC3\xA9.bmp\r\n");
  testing::writeFile(dir_.file("prog.exe.cfg"), "splashtitle caf\xE9\r\n");
  ConfigStore& store = load(exe);
  EXPECT_EQ(store.text().substr(0, 18), "splashtitle caf\xC3\xA9\r");
  // Back to the narrow form: one byte again.
  EXPECT_EQ(store.lookup("splashtitle", false, true), "caf\xE9");
  EXPECT_EQ(store.lookup("splash", false, true), "caf\xE9.bmp");
}
#else
TEST_F(ConfigLoading, AnsiFileUnderUtf8Locale) {
  const std::string exe = writeExecutable("prog", "\xEF\xBB\xBFsplash caf\xC3\xA9.bmp\r\n");
  testing::writeFile(dir_.file("prog.cfg"),
                     "splashtitle caf\xC3\xA9\r\nargv bad\xE9"
                     "byte\r\n");
  ConfigStore& store = load(exe);
  EXPECT_EQ(store.lookup("splashtitle", false, true), "caf\xC3\xA9");
  // A byte the locale cannot convert ends the file's text there.
  EXPECT_EQ(store.lookup("argv", false, true), "bad");
  EXPECT_EQ(store.lookup("splash", false, true), "caf\xC3\xA9.bmp");
}
#endif

}  // namespace
}  // namespace xoq
