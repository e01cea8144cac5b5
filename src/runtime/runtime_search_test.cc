#include "runtime/runtime_search.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/config_store.h"
#include "platform/directory.h"
#include "runtime/runtime_layout.h"
#include "support/files.h"

namespace xoq {
namespace {

#ifdef _WIN32
const std::string kBin = "bin/";             // where a runtime keeps its virtual machines
const std::string kKitRuntime = "jre/bin/";  // the same inside a development kit
#else
const std::string kBin = "lib/";
const std::string kKitRuntime = "jre/lib/amd64/";
#endif

class LocateJvm : public ::testing::Test {
 protected:
  // Creates an (empty) library file at `relative` below the scratch folder.
  std::string library(const std::string& relative) {
    const std::string path = dir_.file(relative + kJvmLibraryName);
    testing::writeFile(path, "not really a library");
    return path;
  }
  // The path found, with '/' for every separator: the Windows subdirectory
  // names hold backslashes, and only the place matters here.
  std::string locate(const std::string& relative, const std::string& vm = "-") {
    std::string found = locateJvmInDirectory(dir_.file(relative), vm);
    for (char& c : found) {
      if (c == '\\') c = '/';
    }
    return found;
  }
  testing::TempDir dir_;
};

TEST_F(LocateJvm, LibraryInTheDirectoryItselfComesFirst) {
  const std::string direct = library("rt/");
  library("rt/" + kBin + "server/");
  EXPECT_EQ(locate("rt"), direct);
  EXPECT_EQ(locate("rt/"), direct);
}

TEST_F(LocateJvm, PreferredVirtualMachineWinsAtItsLevel) {
  const std::string client = library("rt/" + kBin + "client/");
  const std::string server = library("rt/" + kBin + "server/");
  EXPECT_EQ(locate("rt", "server"), server);
  EXPECT_EQ(locate("rt", "client"), client);
  // Without a preference (or with one character), the first subdirectory the
  // system lists wins.
  std::vector<platform::DirectoryEntry> entries;
  ASSERT_TRUE(platform::listDirectory(dir_.file("rt/" + kBin), entries));
  ASSERT_FALSE(entries.empty());
  const std::string first = entries[0].name == "client" ? client : server;
  EXPECT_EQ(locate("rt"), first);
  EXPECT_EQ(locate("rt", "x"), first);
  EXPECT_EQ(locate("rt", "-"), first);
}

TEST_F(LocateJvm, DevelopmentKitAndItsBinDirectory) {
  const std::string kit = library("jdk/" + kKitRuntime + "server/");
  testing::writeFile(dir_.file("jdk/bin/java"), "");
  EXPECT_EQ(locate("jdk"), kit);
  // From the kit's bin directory, "../" reaches the kit's runtime.
  const std::string fromBin = locate("jdk/bin");
  ASSERT_FALSE(fromBin.empty());
  EXPECT_NE(fromBin.find(".."), std::string::npos) << fromBin;
  EXPECT_TRUE(testing::readFile(fromBin) == testing::readFile(kit));
}

TEST_F(LocateJvm, VirtualMachineDirectoryGivenDirectly) {
  const std::string server = library("rt/" + kBin + "server/");
  EXPECT_EQ(locate("rt/" + kBin), server);
}

TEST_F(LocateJvm, NothingBelowGivesEmpty) {
  testing::writeFile(dir_.file("empty/bin/java"), "");
  EXPECT_EQ(locate("empty"), "");
  EXPECT_EQ(locate("missing"), "");
}

TEST(RuntimeSearchOrder, DefaultsAndCase) {
  EXPECT_EQ(runtimeSearchOrder(""), "cbsie");
  EXPECT_EQ(runtimeSearchOrder("xyz"), "cbsie");
  EXPECT_EQ(runtimeSearchOrder("BE"), "be");
  // Other characters stay and are skipped by the search; letters may repeat.
  EXPECT_EQ(runtimeSearchOrder("e-E"), "e-e");
  // The letters added since count as method letters too: an order of them
  // alone stands. Others still make the default.
  EXPECT_EQ(runtimeSearchOrder("J"), "j");
  EXPECT_EQ(runtimeSearchOrder("wf"), "wf");
  EXPECT_EQ(runtimeSearchOrder("v"), "v");
  EXPECT_EQ(runtimeSearchOrder("qz"), "cbsie");
  // p, the runtime the program carries, is a method letter of its own: an
  // order of p alone stays p.
  EXPECT_EQ(runtimeSearchOrder("P"), "p");
  EXPECT_EQ(runtimeSearchOrder("pcbsiejvwf"), "pcbsiejvwf");
}

// The carried runtime's source as the launcher hands it in: a folder, or
// nothing, or a failure.
std::string carriedFolder;
CarriedRuntimeFailure carriedFailureToGive;
bool testSource(std::string& folder, CarriedRuntimeFailure& failure) {
  failure = carriedFailureToGive;
  folder = carriedFolder;
  return !folder.empty();
}

TEST_F(LocateJvm, MethodPTakesTheCarriedRuntimeAndItsFailureEndsTheSearch) {
  const std::string carried = library("carried/" + kBin + "server/");
  const std::string beside = library("app/jre/" + kBin + "server/");
  ConfigStore config;
  config.setPaths(dir_.file("app/prog"), dir_.file("app"));
  const std::string text = "jre_order pb\r\n";
  config.appendText(text.data(), text.size());
  setCarriedRuntimeSource(testSource);

  // None carried: the next letter.
  carriedFolder.clear();
  carriedFailureToGive = CarriedRuntimeFailure();
  std::string found = searchJvmLibrary(config);
  for (char& c : found) c = c == '\\' ? '/' : c;
  EXPECT_EQ(testing::readFile(found), testing::readFile(beside));
  EXPECT_NE(found.find("/jre/"), std::string::npos) << found;
  // Carried: p first.
  carriedFolder = dir_.file("carried");
  found = searchJvmLibrary(config);
  for (char& c : found) c = c == '\\' ? '/' : c;
  EXPECT_EQ(found, carried);
  // Carried but unusable: nothing else is taken, and the failure is kept
  // for the message.
  carriedFolder.clear();
  carriedFailureToGive = {14, "/c/xoq/runtimes", "Read-only file system"};
  EXPECT_EQ(searchJvmLibrary(config), "");
  EXPECT_EQ(carriedRuntimeFailure().messageId, 14);
  EXPECT_EQ(carriedRuntimeFailure().reason, "Read-only file system");
  setCarriedRuntimeSource(nullptr);
}

}  // namespace
}  // namespace xoq
