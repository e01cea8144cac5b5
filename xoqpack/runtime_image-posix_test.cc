#include "runtime_image.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "archive/cache_folder.h"
#include "module_info.h"
#include "support/files.h"
#include "support/jdks.h"

namespace xoq {
namespace {

namespace fs = std::filesystem;
using ::xoq::testing::readFile;
using ::xoq::testing::TempDir;
using ::xoq::testing::writeFile;

// A folder laid out like a Linux runtime image, small.
void makeRuntime(const std::string& home) {
  writeFile(home + "/lib/server/libjvm.so", std::string("\x7F"
                                                        "ELF",
                                                        4) +
                                                std::string(3000, 'v'));
  writeFile(home + "/lib/jspawnhelper", "#!/bin/sh\n");
  fs::permissions(home + "/lib/jspawnhelper", fs::perms::owner_exec, fs::perm_options::add);
  writeFile(home + "/lib/modules", std::string(20000, 'm'));
  writeFile(home + "/release", "IMPLEMENTOR=\"x\"\nJAVA_VERSION=\"17.0.15\"\n");
}

class ArchiveFromFile : public CacheContent {
 public:
  explicit ArchiveFromFile(const std::string& path) : bytes_(readFile(path)) {}
  bool bytes(const uint8_t*& data, size_t& size, std::string&) override {
    data = reinterpret_cast<const uint8_t*>(bytes_.data());
    size = bytes_.size();
    return true;
  }

 private:
  std::string bytes_;
};

TEST(RuntimeImage, OnlyARuntimeOfTheTargetIsTaken) {
  TempDir dir;
  std::vector<std::string> warnings;
  const Warn warn = [&](const std::string& text) { warnings.push_back(text); };
  RuntimeImage image;
  std::string error;
  EXPECT_FALSE(readRuntimeImage(dir.file("none"), false, warn, image, error));
  EXPECT_EQ(error, "the runtime " + dir.file("none") + " is not a folder");

  writeFile(dir.file("plain/readme.txt"), "not a runtime");
  EXPECT_FALSE(readRuntimeImage(dir.file("plain"), false, warn, image, error));
  EXPECT_EQ(error, dir.file("plain") + " is not a Java runtime image: a Linux target needs lib/server/libjvm.so in it");

  makeRuntime(dir.file("linux"));
  EXPECT_FALSE(readRuntimeImage(dir.file("linux"), true, warn, image, error));
  EXPECT_EQ(error,
            dir.file("linux") + " is a runtime of the other system: a Windows target needs bin/server/jvm.dll in it");

  writeFile(dir.file("fake/lib/server/libjvm.so"), "MZ not an ELF library");
  writeFile(dir.file("fake/release"), "JAVA_VERSION=\"17\"\n");
  EXPECT_FALSE(readRuntimeImage(dir.file("fake"), false, warn, image, error));
  EXPECT_NE(error.find("is not a library a Linux target can load"), std::string::npos) << error;

  fs::remove(dir.file("linux/release"));
  EXPECT_FALSE(readRuntimeImage(dir.file("linux"), false, warn, image, error));
  EXPECT_NE(error.find("has no release file naming its JAVA_VERSION"), std::string::npos) << error;

  // A good one: its files sorted, linked folders followed, a broken link
  // and the mark of an earlier jre/ left out.
  makeRuntime(dir.file("linux"));
  writeFile(dir.file("shared/conf/net.properties"), "a=b\n");
  fs::create_directory_symlink(dir.file("shared/conf"), dir.file("linux/conf"));
  fs::create_symlink(dir.file("missing"), dir.file("linux/lib/broken"));
  writeFile(dir.file("linux/.xoqpack-runtime"), "mark");
  ASSERT_TRUE(readRuntimeImage(dir.file("linux"), false, warn, image, error)) << error;
  EXPECT_EQ(image.version, "17.0.15");
  std::vector<std::string> names;
  for (const RuntimeFile& file : image.files) names.push_back(file.name);
  EXPECT_EQ(names, (std::vector<std::string>{"conf/net.properties", "lib/jspawnhelper", "lib/modules",
                                             "lib/server/libjvm.so", "release"}));
  EXPECT_EQ(image.totalSize, 4u + 10u + 20000u + 3004u + 39u);
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find("lib/broken"), std::string::npos);
}

TEST(RuntimeImage, TheArchiveUnpacksToTheSameFilesAndRights) {
  TempDir dir;
  makeRuntime(dir.file("home"));
  RuntimeImage image;
  std::string error;
  ASSERT_TRUE(readRuntimeImage(dir.file("home"), false, Warn(), image, error)) << error;
  std::array<uint8_t, 32> digest{};
  uint64_t size = 0;
  ASSERT_TRUE(writeRuntimeArchive(image, dir.file("runtime.zip"), kFixedEntryTime, digest, size, error)) << error;
  EXPECT_EQ(size, fs::file_size(dir.file("runtime.zip")));
  EXPECT_LT(size, 4000u);  // deflated

  // What the launcher makes of it: the same files, the helper that the
  // runtime starts still executable.
  ArchiveFromFile content(dir.file("runtime.zip"));
  std::string folder;
  CacheFailure failure;
  fs::create_directories(dir.file("cache"));
  ASSERT_TRUE(ensureCacheFolderIn(dir.file("cache/"), "runtimes", hexDigits(digest.data(), digest.size()), content,
                                  folder, failure))
      << failure.reason;
  for (const RuntimeFile& file : image.files) {
    EXPECT_EQ(readFile(folder + "/" + file.name), readFile(file.source)) << file.name;
  }
  struct stat info;
  ASSERT_EQ(stat((folder + "/lib/jspawnhelper").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  ASSERT_EQ(stat((folder + "/lib/modules").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);

  // The folder form: a copy with the same rights, and the mark.
  ASSERT_TRUE(copyRuntimeImage(image, dir.file("jre"), error)) << error;
  ASSERT_TRUE(markRuntimeFolder(dir.file("jre"), error)) << error;
  EXPECT_EQ(readFile(dir.file("jre/lib/modules")), std::string(20000, 'm'));
  ASSERT_EQ(stat(dir.file("jre/lib/jspawnhelper").c_str(), &info), 0);
  EXPECT_NE(info.st_mode & 0100, 0u);
  EXPECT_TRUE(runtimeFolderReplaceable(dir.file("jre"), error));
  EXPECT_TRUE(runtimeFolderReplaceable(dir.file("nothing-there"), error));
  EXPECT_FALSE(runtimeFolderReplaceable(dir.file("home"), error));
  EXPECT_NE(error.find("was not written by xoqpack"), std::string::npos);
}

TEST(ModuleInfo, TheJdksOwnJavaBaseNamesItsVersionAndPlatform) {
  int checked = 0;
  for (const std::string& home : ::xoq::testing::installedJdkHomes()) {
    const std::string jmod = home + "/jmods/java.base.jmod";
    if (!fs::exists(jmod)) continue;
    ModuleInfo info;
    std::string error;
    ASSERT_TRUE(readJmodModuleInfo(jmod, info, error)) << error;
    EXPECT_EQ(info.name, "java.base");
    EXPECT_EQ(info.version, ::xoq::testing::jdkVersion(home)) << home;
    EXPECT_EQ(info.targetPlatform, "linux-amd64");
    ++checked;
  }
  if (checked == 0) GTEST_SKIP() << "no JDK with jmods under /usr/lib/jvm";
  ModuleInfo info;
  EXPECT_FALSE(parseModuleInfo("\xCA\xFE\xBA\xBE", info));
  EXPECT_FALSE(parseModuleInfo(std::string(64, '\0'), info));
}

}  // namespace
}  // namespace xoq
