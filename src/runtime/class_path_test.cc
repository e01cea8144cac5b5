#include "runtime/class_path.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "config/config_store.h"
#include "platform/directory.h"
#include "platform/platform.h"
#include "runtime/runtime_layout.h"
#include "support/files.h"

namespace xoq {
namespace {

// A store for an executable in a scratch application home, with `config` as
// its configuration text; the process works in a second scratch folder.
class ClassPath : public ::testing::Test {
 protected:
  void SetUp() override {
    previousDirectory_ = platform::currentDirectory();
    ASSERT_TRUE(platform::setCurrentDirectory(work_.path()));
    for (const char* name : {"CLASSPATH", "CLASS_PATH"}) {
      std::string value;
      if (platform::getEnvironment(name, value)) saved_.push_back(std::string(name) + "=" + value);
      platform::putEnvironment(std::string(name) + "=");
    }
  }
  void TearDown() override {
    platform::setCurrentDirectory(previousDirectory_);
    platform::putEnvironment("CLASSPATH=");
    platform::putEnvironment("CLASS_PATH=");
    for (const std::string& assignment : saved_) platform::putEnvironment(assignment);
  }

  ConfigStore& store(const std::string& config) {
    store_.setPaths(home_.file("app.exe"), platform::currentDirectory());
    store_.appendText(config.data(), config.size());
    return store_;
  }
  std::string home() const { return home_.path() + "/"; }

  testing::TempDir home_;
  testing::TempDir work_;
  ConfigStore store_;
  std::string previousDirectory_;
  std::vector<std::string> saved_;
};

const std::string sep = kClassPathSeparator;

TEST_F(ClassPath, NothingConfigured) {
  ConfigStore& config = store("");
  EXPECT_EQ(buildClassPath(config, false), platform::modulePath());
  EXPECT_EQ(buildClassPath(config, true), "");
}

TEST_F(ClassPath, EntriesAreResolvedAndEmptyPiecesDropped) {
  testing::writeFile(home_.file("lib/a.jar"), "a");
  testing::writeFile(home_.file("lib/b.jar"), "b");
  testing::writeFile(work_.file("only-here.jar"), "w");
  ConfigStore& config = store("classpath lib/a.jar;;lib/b.jar;\r\nclasspath only-here.jar;nowhere.jar\r\n");
  // The working directory as the system spells it (with backslashes on
  // Windows), followed by the entry.
  const std::string work = withTrailingSeparator(platform::currentDirectory());
  EXPECT_EQ(buildClassPath(config, true), sep + home() + "lib/a.jar" + sep + home() + "lib/b.jar" + sep + work +
                                              "only-here.jar" + sep + home() + "nowhere.jar");
}

TEST_F(ClassPath, ExecutableFirstThenJavaClassPathEntries) {
  ConfigStore& config = store("java_classpath %APPLICATION_HOME%ext.jar\r\n");
  EXPECT_EQ(buildClassPath(config, false), platform::modulePath() + sep + home() + "ext.jar");
}

TEST_F(ClassPath, SeparatorFromAReferenceStaysInItsPiece) {
  platform::putEnvironment("XOQ_TEST_TWO=x.jar;y.jar");
  ConfigStore& config = store("classpath /abs/%XOQ_TEST_TWO%\r\n");
  EXPECT_EQ(buildClassPath(config, true), sep + "/abs/x.jar;y.jar");
  platform::putEnvironment("XOQ_TEST_TWO=");
}

TEST_F(ClassPath, WildcardsAreTakenAgainstTheCurrentDirectory) {
  testing::writeFile(work_.file("lib/one.jar"), "1");
  testing::writeFile(work_.file("lib/two.jar"), "2");
  testing::writeFile(work_.file("lib/readme.txt"), "r");
  testing::writeFile(home_.file("lib/home.jar"), "h");
  ConfigStore& config = store("classpath lib/*.jar\r\n");
  const std::string path = buildClassPath(config, true);
  // Relative names, from the working directory, not the application home.
  EXPECT_NE(path.find(sep + "lib/one.jar"), std::string::npos) << path;
  EXPECT_NE(path.find(sep + "lib/two.jar"), std::string::npos) << path;
  EXPECT_EQ(path.find("home.jar"), std::string::npos) << path;
  EXPECT_EQ(path.find("readme"), std::string::npos) << path;
  EXPECT_EQ(path.size(), (sep + "lib/one.jar" + sep + "lib/two.jar").size()) << path;
  // A pattern matching nothing adds nothing.
  ConfigStore none;
  none.setPaths(home_.file("app.exe"), work_.path());
  const std::string text = "classpath lib/*.none;/kept.jar\r\n";
  none.appendText(text.data(), text.size());
  EXPECT_EQ(buildClassPath(none, true), sep + "/kept.jar");
}

TEST_F(ClassPath, LibsWalkSubdirectoriesDepthFirstKeepingArchivesOnly) {
  testing::writeFile(home_.file("libs/a.JAR"), "a");
  testing::writeFile(home_.file("libs/b.txt"), "b");
  testing::writeFile(home_.file("libs/sub/c.zip"), "c");
  testing::writeFile(home_.file("libs/sub/deeper/d.Jar"), "d");
  ConfigStore& config = store("libs libs\r\nlibs\r\n");
  // The expected order is the system's own listing order, with each
  // subdirectory's archives inserted where the subdirectory is met.
  std::string expected;
  std::function<void(const std::string&)> walk = [&](const std::string& directory) {
    std::vector<platform::DirectoryEntry> entries;
    platform::listDirectory(directory, entries);
    for (const platform::DirectoryEntry& entry : entries) {
      if (entry.isDirectory) {
        walk(directory + entry.name + "/");
      } else if (entry.name != "b.txt") {
        expected += sep + directory + entry.name;
      }
    }
  };
  walk(home() + "libs/");
  EXPECT_EQ(buildClassPath(config, true), expected);
  EXPECT_NE(expected.find("a.JAR"), std::string::npos);
  EXPECT_NE(expected.find("sub/deeper/d.Jar"), std::string::npos);
}

#ifndef _WIN32
TEST_F(ClassPath, LinkedFoldersAreNotFollowed) {
  namespace fs = std::filesystem;
  testing::writeFile(home_.file("libs/a.jar"), "a");
  testing::writeFile(home_.file("elsewhere/b.jar"), "b");
  // Links back up the tree would make the walk endless.
  fs::create_directory_symlink(".", home_.file("libs/self"));
  fs::create_directory_symlink("..", home_.file("libs/parent"));
  fs::create_directory_symlink(home_.file("elsewhere"), home_.file("libs/other"));
  // A link to an archive file still counts.
  fs::create_symlink(home_.file("elsewhere/b.jar"), home_.file("libs/linked.jar"));
  ConfigStore& config = store("libs libs\r\n");
  const std::string path = buildClassPath(config, true);
  EXPECT_NE(path.find(sep + home() + "libs/a.jar"), std::string::npos) << path;
  EXPECT_NE(path.find(sep + home() + "libs/linked.jar"), std::string::npos) << path;
  EXPECT_EQ(path.size(), (sep + home() + "libs/a.jar" + sep + home() + "libs/linked.jar").size()) << path;
}
#endif

TEST_F(ClassPath, EnvironmentAfterEverythingElse) {
  platform::putEnvironment("CLASSPATH=C:\\x.jar");
  ConfigStore& config = store("classpath /a.jar\r\n");
  EXPECT_EQ(buildClassPath(config, true), sep + "/a.jar" + sep + "C:\\x.jar");
  platform::putEnvironment("CLASS_PATH=/y.jar");
  EXPECT_EQ(buildClassPath(config, true), sep + "/a.jar" + sep + "C:\\x.jar" + sep + "/y.jar");
  // The standard class path never takes them.
  EXPECT_EQ(buildClassPath(config, false), platform::modulePath());
}

}  // namespace
}  // namespace xoq
