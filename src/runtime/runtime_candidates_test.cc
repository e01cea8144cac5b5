#include "runtime/runtime_candidates.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "runtime/runtime_layout.h"
#include "support/files.h"

namespace xoq {
namespace {

#ifdef _WIN32
const std::string kBin = "bin/";  // where a runtime keeps its virtual machines
#else
const std::string kBin = "lib/";
#endif

class RuntimeChoice : public ::testing::Test {
 protected:
  // A runtime folder with a library in the virtual machine folder `vm` and,
  // unless `version` is empty, a release file naming it.
  std::string runtime(const std::string& name, const std::string& version, const std::string& vm = "server") {
    testing::writeFile(dir_.file(name + "/" + kBin + vm + "/" + kJvmLibraryName), "not really a library");
    if (!version.empty()) testing::writeFile(dir_.file(name + "/release"), "JAVA_VERSION=\"" + version + "\"\n");
    return dir_.file(name);
  }

  // The folder of the runtime that `bounds` choose among `names`, or "".
  std::string choose(const std::vector<std::string>& names, const RuntimeBounds& bounds) {
    RuntimeCandidates candidates('t', bounds);
    for (const std::string& name : names) EXPECT_TRUE(candidates.addHome(dir_.file(name), "test")) << name;
    const std::string library = candidates.choose();
    for (const std::string& name : names) {
      if (library.rfind(dir_.file(name) + "/", 0) == 0) return name;
    }
    return library;
  }

  testing::TempDir dir_;
};

TEST_F(RuntimeChoice, NewestThatTheBoundsAccept) {
  runtime("jre8", "1.8.0_402");
  runtime("jdk11", "11.0.2");
  runtime("jdk17", "17.0.15");
  runtime("jdk25", "25");
  const std::vector<std::string> all = {"jre8", "jdk17", "jdk25", "jdk11"};
  EXPECT_EQ(choose(all, {"", "", "-"}), "jdk25");
  EXPECT_EQ(choose(all, {"", "17", "-"}), "jdk17");
  EXPECT_EQ(choose(all, {"11", "11", "-"}), "jdk11");
  EXPECT_EQ(choose(all, {"", "1.8", "-"}), "jre8");
  // Nothing in the bounds: no choice.
  EXPECT_EQ(choose(all, {"26", "", "-"}), "");
}

TEST_F(RuntimeChoice, UnknownVersionsComeAfterKnownOnes) {
  runtime("bare", "");
  runtime("jdk11", "11.0.2");
  EXPECT_EQ(choose({"bare", "jdk11"}, {"", "", "-"}), "jdk11");
  // Its version cannot be held against the bounds here: the running virtual
  // machine's is checked later.
  EXPECT_EQ(choose({"bare", "jdk11"}, {"17", "", "-"}), "bare");
}

TEST_F(RuntimeChoice, PreferredVirtualMachineBeforeNewerRuntimes) {
  runtime("client17", "17.0.15", "client");
  runtime("server11", "11.0.2", "server");
  EXPECT_EQ(choose({"client17", "server11"}, {"", "", "server"}), "server11");
  EXPECT_EQ(choose({"client17", "server11"}, {"", "", "-"}), "client17");
  // None with the preferred one: the newest still.
  EXPECT_EQ(choose({"client17", "server11"}, {"", "", "minimal"}), "client17");
}

TEST_F(RuntimeChoice, FolderWithoutRuntimeAndOneRuntimeFoundTwice) {
  testing::writeFile(dir_.file("empty/readme.txt"), "");
  RuntimeCandidates candidates('t', {"", "", "-"});
  EXPECT_FALSE(candidates.addHome(dir_.file("empty"), "test"));
  const std::string home = runtime("jdk17", "17.0.15");
  EXPECT_TRUE(candidates.addHome(home, "first"));
  EXPECT_TRUE(candidates.addHome(home + "/", "second"));
#ifndef _WIN32
  // A link to the same folder is the same runtime; a folder of links with a
  // release file of its own is another.
  std::filesystem::create_directory_symlink(home, dir_.file("default-java"));
  EXPECT_TRUE(candidates.addHome(dir_.file("default-java"), "link"));
  std::filesystem::create_directory(dir_.file("relabelled"));
  std::filesystem::create_directory_symlink(home + "/lib", dir_.file("relabelled/lib"));
  testing::writeFile(dir_.file("relabelled/release"), "JAVA_VERSION=\"21.0.1\"\n");
  EXPECT_TRUE(candidates.addHome(dir_.file("relabelled"), "relabelled"));
  ASSERT_EQ(candidates.all().size(), 2u);
  EXPECT_EQ(candidates.all()[1].version, "21.0.1");
  EXPECT_EQ(candidates.all()[1].origin, "relabelled");
#else
  EXPECT_EQ(candidates.all().size(), 1u);
#endif
  EXPECT_EQ(candidates.all()[0].origin, "first");
}

}  // namespace
}  // namespace xoq
