#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/config_store.h"
#include "platform/platform.h"
#include "support/files.h"
#include "support/payload_builder.h"

namespace xoq {
namespace {

std::vector<std::string> listOf(const StringList& list) {
  std::vector<std::string> values;
  for (size_t i = 0; i < list.size(); ++i) values.push_back(list.str(i));
  return values;
}

// A store whose text is `block` alone (no external part), with the
// application home in `home` and the working directory `work`.
class ConfigKeys : public ::testing::Test {
 protected:
  void SetUp() override { platform::selectUserLocale(); }

  ConfigStore& store(const std::string& block) {
    store_ = ConfigStore();
    store_.setPaths(home_ + "app.exe", work_);
    store_.appendText(block.data(), block.size());
    return store_;
  }

  testing::TempDir dir_;
  const std::string home_ = dir_.path() + "/home/";
  const std::string work_ = dir_.path() + "/work/";
  ConfigStore store_;
};

TEST_F(ConfigKeys, DefaultsWhenEveryKeyIsAbsent) {
  ConfigStore& s = store("unrelated line\r\n");
  EXPECT_EQ(s.mainClass(), "");
  EXPECT_EQ(s.wildcard(), "");
  EXPECT_EQ(s.splash(), "");
  EXPECT_EQ(s.splashTitle(), "");
  EXPECT_FALSE(s.splashCloseOnWindow());
  EXPECT_EQ(s.singleInstance(), "");
  EXPECT_EQ(s.forceCwd(), "");
  EXPECT_EQ(s.stdoutTarget(), "");
  EXPECT_EQ(s.stderrTarget(), "");
  EXPECT_EQ(s.jreOrder(), "");
  EXPECT_EQ(s.jre(), home_ + "./jre/");
  EXPECT_EQ(s.jvmDll(), "");
  EXPECT_EQ(s.preferredVmName(), "-");
  EXPECT_EQ(s.minJre(), "");
  EXPECT_EQ(s.maxJre(), "");
  EXPECT_TRUE(s.asSystemClassLoader());
  EXPECT_FALSE(s.compatible());
  EXPECT_FALSE(s.codeSource());
  EXPECT_FALSE(s.disableExternal());
  StringList list;
  s.argvValues(list);
  s.messageValues(list);
  s.javaClassPathValues(list);
  s.classPathValues(list);
  s.javaLibs(list);
  s.libs(list);
  s.options(list);
  s.properties(list);
  s.exports(list);
  EXPECT_TRUE(list.empty());
}

TEST_F(ConfigKeys, FirstLineWinsForSingleKeys) {
  ConfigStore& s = store(
      "mainclass First\r\nmainclass Second\r\n"
      "splashtitle One\r\nsplashtitle Two\r\n"
      "minjre 1.6\r\nminjre 1.8\r\n"
      "jre_order bs\r\njre_order ie\r\n"
      "stdout out1.log\r\nstdout out2.log\r\n");
  EXPECT_EQ(s.mainClass(), "First");
  EXPECT_EQ(s.splashTitle(), "One");
  EXPECT_EQ(s.minJre(), "1.6");
  EXPECT_EQ(s.jreOrder(), "bs");
  EXPECT_EQ(s.stdoutTarget(), "out1.log");
}

TEST_F(ConfigKeys, EveryLineCountsForMultiKeysInOrder) {
  ConfigStore& s = store(
      "argv a b\r\noption -Xmx1g\r\nargv c\r\nproperty p=1\r\nexport A=1\r\nmessage 1=x\r\n"
      "classpath a.jar\r\njava_classpath j.jar\r\nlibs l1\r\njava_libs jl1\r\n"
      "option -Xss2m\r\nproperty q=2\r\nexport B=2\r\nmessage 2=y\r\nclasspath b.jar\r\n"
      "java_classpath k.jar\r\nlibs /l2\r\njava_libs /jl2\r\n");
  struct Multi {
    void (ConfigStore::*getter)(StringList&) const;
    std::vector<std::string> expected;
  };
  const Multi multis[] = {
      {&ConfigStore::argvValues, {"a b", "c"}},
      {&ConfigStore::options, {"-Xmx1g", "-Xss2m"}},
      {&ConfigStore::properties, {"p=1", "q=2"}},
      {&ConfigStore::exports, {"A=1", "B=2"}},
      {&ConfigStore::messageValues, {"1=x", "2=y"}},
      {&ConfigStore::classPathValues, {"a.jar", "b.jar"}},
      {&ConfigStore::javaClassPathValues, {"j.jar", "k.jar"}},
      {&ConfigStore::libs, {home_ + "l1", "/l2"}},
      {&ConfigStore::javaLibs, {home_ + "jl1", "/jl2"}},
  };
  for (const Multi& multi : multis) {
    StringList list;
    list.append("kept");
    (s.*multi.getter)(list);
    std::vector<std::string> expected = multi.expected;
    expected.insert(expected.begin(), "kept");
    EXPECT_EQ(listOf(list), expected);
  }
}

TEST_F(ConfigKeys, WordKeysCompareWholeWordsWithoutCase) {
  EXPECT_TRUE(isConfigWord(store("singleinstance True\r\n").singleInstance(), "true"));
  EXPECT_TRUE(isConfigWord(store("singleinstance CUSTOM\r\n").singleInstance(), "custom"));
  const std::string yes = store("singleinstance yes\r\n").singleInstance();
  EXPECT_FALSE(isConfigWord(yes, "true"));
  EXPECT_FALSE(isConfigWord(yes, "custom"));
  EXPECT_FALSE(isConfigWord(store("singleinstance true \r\n").singleInstance(), "true"));
  EXPECT_TRUE(isConfigWord(store("wildcard All\r\n").wildcard(), "all"));
  EXPECT_FALSE(isConfigWord(store("wildcard allx\r\n").wildcard(), "all"));
  EXPECT_FALSE(isConfigWord("", "true"));
}

TEST_F(ConfigKeys, BooleanKeysAreOnOnlyForTrue) {
  struct Case {
    const char* value;
    bool on;
  };
  const Case cases[] = {{"true", true}, {"TRUE", true},   {"tRuE", true},    {"", false},      {"yes", false},
                        {"1", false},   {"true ", false}, {"\ttrue", false}, {"truex", false}, {"false", false}};
  for (const Case& c : cases) {
    ConfigStore& s = store(std::string("splashcloseonwindow ") + c.value + "\r\ncompatible=" + c.value +
                           "\r\ndisableexternal = " + c.value + "\r\ncodesource " + c.value + "\r\n");
    EXPECT_EQ(s.splashCloseOnWindow(), c.on) << c.value;
    EXPECT_EQ(s.codeSource(), c.on) << c.value;
    EXPECT_EQ(s.compatible(), c.on) << c.value;
    EXPECT_EQ(s.disableExternal(), c.on) << c.value;
  }
}

TEST_F(ConfigKeys, OnlyFalseTurnsTheSystemClassLoaderOff) {
  struct Case {
    const char* block;
    bool on;
  };
  const Case cases[] = {{"", true},
                        {"assystemclassloader\r\n", true},
                        {"assystemclassloader no\r\n", true},
                        {"assystemclassloader 0\r\n", true},
                        {"assystemclassloader false \r\n", true},
                        {"assystemclassloader FALSE\r\n", false},
                        {"assystemclassloader = false\r\n", false},
                        {"assystemclassloader False\r\n", false}};
  for (const Case& c : cases) EXPECT_EQ(store(c.block).asSystemClassLoader(), c.on) << c.block;
}

TEST_F(ConfigKeys, PreferredVmIsReadOnceAndExpanded) {
  platform::putEnvironment("XOQT_VM=server");
  ConfigStore& s = store("vm $XOQT_VM\r\n");
  EXPECT_EQ(s.preferredVmName(), "server");
  platform::putEnvironment("XOQT_VM=client");
  EXPECT_EQ(s.preferredVmName(), "server");
  platform::putEnvironment("XOQT_VM=");

  // One character is handed out as it is; callers take it for no choice.
  EXPECT_EQ(store("vm x\r\n").preferredVmName(), "x");

  // "-" is kept for none, so a line that appears later changes nothing.
  ConfigStore& none = store("");
  EXPECT_EQ(none.preferredVmName(), "-");
  none.appendText("vm server\r\n", 11);
  EXPECT_EQ(none.preferredVmName(), "-");
}

TEST_F(ConfigKeys, ExpandedKeysUseTheStoresOwnPaths) {
  platform::putEnvironment("XOQT_LOGS=/var/log/app");
  ConfigStore& s = store(
      "forcecwd $APPLICATION_HOME\r\n"
      "stdout %XOQT_LOGS%/out.log\r\n"
      "stderr ${XOQT_LOGS}/err.log\r\n"
      "argv --home=$APPLICATION_HOME --cwd=%PWD%\r\n"
      "option -Dexe=$XOQ_APP_PATH\r\n"
      "export APP_LOGS=$XOQT_LOGS\r\n"
      "message 3=No Java in $XOQT_LOGS\r\n"
      "splashtitle $XOQT_LOGS\r\n"
      "minjre $XOQT_LOGS\r\n");
  EXPECT_EQ(s.forceCwd(), home_);
  EXPECT_EQ(s.stdoutTarget(), "/var/log/app/out.log");
  EXPECT_EQ(s.stderrTarget(), "/var/log/app/err.log");
  StringList list;
  s.argvValues(list);
  s.options(list);
  s.exports(list);
  s.messageValues(list);
  EXPECT_EQ(listOf(list), (std::vector<std::string>{"--home=" + home_ + " --cwd=" + work_, "-Dexe=" + home_ + "app.exe",
                                                    "APP_LOGS=/var/log/app", "3=No Java in /var/log/app"}));
  // Keys read as written keep their references.
  EXPECT_EQ(s.splashTitle(), "$XOQT_LOGS");
  EXPECT_EQ(s.minJre(), "$XOQT_LOGS");
  platform::putEnvironment("XOQT_LOGS=");
}

TEST_F(ConfigKeys, ClassPathLinesAreHandedOutAsWritten) {
  ConfigStore& s = store("classpath a.jar;$APPLICATION_HOME/b.jar\r\njava_classpath %PWD%c.jar;d.jar\r\n");
  StringList list;
  s.classPathValues(list);
  s.javaClassPathValues(list);
  EXPECT_EQ(listOf(list), (std::vector<std::string>{"a.jar;$APPLICATION_HOME/b.jar", "%PWD%c.jar;d.jar"}));
}

TEST_F(ConfigKeys, PropertiesStayUtf8) {
  platform::putEnvironment("XOQT_PLACE=home");
  // U+2603 has no place in any ANSI code page: it must survive anyway.
  ConfigStore& s = store("\xEF\xBB\xBFproperty snow=\xE2\x98\x83 %XOQT_PLACE%\r\n");
  StringList list;
  s.properties(list);
  EXPECT_EQ(listOf(list), (std::vector<std::string>{"snow=\xE2\x98\x83 home"}));
  platform::putEnvironment("XOQT_PLACE=");
}

TEST_F(ConfigKeys, JreDefaultsAfterExpansion) {
  EXPECT_EQ(store("jre\r\n").jre(), home_ + "./jre/");
  // A reference that resolves to nothing leaves the key empty.
  EXPECT_EQ(store("jre ${NOSUCH|}\r\n").jre(), home_ + "./jre/");
  EXPECT_EQ(store("jre /opt/jdk\r\n").jre(), "/opt/jdk");
  EXPECT_EQ(store("jre C:\\Java\\jre\r\n").jre(), "C:\\Java\\jre");
  EXPECT_EQ(store("jre runtime\r\n").jre(), home_ + "runtime");
  EXPECT_EQ(store("jvmdll ${APPLICATION_HOME}bin/jvm.dll\r\n").jvmDll(), home_ + "bin/jvm.dll");
  EXPECT_EQ(store("splash ${NOSUCH|}\r\n").splash(), "");
  EXPECT_EQ(store("splash logo.png\r\n").splash(), home_ + "logo.png");
}

TEST_F(ConfigKeys, ResolvePathPrefersTheApplicationHome) {
  ConfigStore& s = store("");
  // Neither place has it: the application home form.
  EXPECT_EQ(s.resolvePath("lib/a.jar"), home_ + "lib/a.jar");
  // Only the working directory has it.
  testing::writeFile(work_ + "lib/a.jar", "w");
  EXPECT_EQ(s.resolvePath("lib/a.jar"), work_ + "lib/a.jar");
  EXPECT_EQ(s.resolvePath("lib"), work_ + "lib");
  // Both have it: the application home wins.
  testing::writeFile(home_ + "lib/a.jar", "h");
  EXPECT_EQ(s.resolvePath("lib/a.jar"), home_ + "lib/a.jar");
  EXPECT_EQ(s.resolvePath("lib/"), home_ + "lib/");
  // No normalisation: the parts are simply joined.
  EXPECT_EQ(s.resolvePath("./lib/../lib/a.jar"), home_ + "./lib/../lib/a.jar");
}

TEST_F(ConfigKeys, ResolvePathLeavesRootedPathsAlone) {
  ConfigStore& s = store("");
  for (const char* path : {"", "C:x", "C:\\x", "/x", "\\x", "\\\\server\\share\\x", "z:"}) {
    EXPECT_EQ(s.resolvePath(path), path);
  }
}

TEST_F(ConfigKeys, RefreshWorkingDirectoryFollowsTheProcess) {
  ConfigStore& s = store("");
  const std::string before = platform::currentDirectory();
  testing::writeFile(work_ + "marker", "");
  ASSERT_TRUE(platform::setCurrentDirectory(work_));
  s.refreshWorkingDirectory();
  const std::string now = s.workingDirectory();
  ASSERT_TRUE(platform::setCurrentDirectory(before));
  EXPECT_TRUE(now.back() == '/' || now.back() == '\\');
  EXPECT_TRUE(platform::exists(now + "marker"));
}

// The external file may override everything but the block-only keys.
class ConfigKeysWithExternalFile : public ::testing::Test {
 protected:
  void SetUp() override { platform::selectUserLocale(); }

  ConfigStore& load(const std::string& block, const std::string& external) {
    const testing::BuiltPayload built = testing::buildPayloadFile("launcher image", block);
    const std::string exe = dir_.file("prog.exe");
    testing::writeFile(exe, built.file);
    testing::writeFile(dir_.file("prog.exe.cfg"), external);
    store_.loadConfiguration(exe, built.archiveLength);
    return store_;
  }

  testing::TempDir dir_;
  ConfigStore store_;
};

TEST_F(ConfigKeysWithExternalFile, BlockOnlyKeysIgnoreTheFile) {
  ConfigStore& s = load("\xEF\xBB\xBFmainclass com.example.Main\r\nsplashtitle Block\r\n",
                        "mainclass com.evil.Main\r\ncompatible true\r\nsplashtitle File\r\n"
                        "assystemclassloader false\r\nargv from-file\r\ncodesource true\r\n");
  EXPECT_EQ(s.mainClass(), "com.example.Main");
  EXPECT_FALSE(s.compatible());
  EXPECT_FALSE(s.disableExternal());
  // Everything else may be overridden by the file.
  EXPECT_EQ(s.splashTitle(), "File");
  EXPECT_FALSE(s.asSystemClassLoader());
  EXPECT_TRUE(s.codeSource());
  StringList argv;
  s.argvValues(argv);
  EXPECT_EQ(listOf(argv), (std::vector<std::string>{"from-file"}));
}

TEST_F(ConfigKeysWithExternalFile, BlockOnlyKeysReadFromTheBlock) {
  ConfigStore& s = load(
      "\xEF\xBB\xBF"
      "compatible TRUE\r\ndisableexternal True\r\n",
      "splashtitle File\r\n");
  EXPECT_TRUE(s.compatible());
  EXPECT_TRUE(s.disableExternal());
  EXPECT_EQ(s.splashTitle(), "");
}

}  // namespace
}  // namespace xoq
