// The reader on archives that xoqpack writes and on real jars, checked against
// Info-ZIP's unzip; and the process-wide payload archive, in child processes
// of its own since it opens only once per process.
#include "archive/payload_archive.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "config/config_store.h"
#include "config/payload.h"
#include "packager.h"
#include "platform/platform.h"
#include "support/archive_reads.h"
#include "support/files.h"
#include "support/process.h"
#include "support/zip_builder.h"
#include "support_classes.h"

namespace xoq {
namespace {

using testing::kNotFound;
using testing::read;
using testing::ZipBuilder;

// A stand-in launcher template: anything that holds the archive length field
// and its marker once will do for the packager.
std::string writeTemplate(const testing::TempDir& dir) {
  std::string image(4096, '\x90');
  image += std::string(8, '\0');
  image += std::string(kArchiveLengthMarker, kArchiveLengthMarkerSize);
  image += std::string(4096, '\xCC');
  testing::writeFile(dir.file("template"), image);
  return dir.file("template");
}

// A packaged executable: the support classes, a real jar from this machine
// (or a built one), an application jar holding a library jar, a resource.
struct Packaged {
  std::string path;
  std::string realJar;  // empty when this machine has none
};

std::string firstRealJar() {
  for (const char* candidate : {"/usr/share/java/commons-cli.jar", "/usr/share/java/commons-io.jar",
                                "/usr/lib/jvm/java-17-openjdk-amd64/lib/jrt-fs.jar"}) {
    if (platform::isReadable(candidate)) return candidate;
  }
  return std::string();
}

Packaged package(const testing::TempDir& dir) {
  Packaged packaged;
  packaged.realJar = firstRealJar();
  const std::string inner = ZipBuilder().deflated("org/inner/Inner.class", "inner class").build();
  testing::writeFile(dir.file("app.jar"), ZipBuilder()
                                              .stored("META-INF/MANIFEST.MF", "Manifest-Version: 1.0\r\n")
                                              .deflated("com/example/Main.class", "main class")
                                              .stored("lib/inner.jar", inner)
                                              .build());
  testing::writeFile(dir.file("logo.txt"), "a resource with a space in its name");
  testing::writeFile(dir.file("providers"), "com.example.OwnFileSystemProvider");
  testing::writeFile(dir.file("app.cfg"), "mainclass com.example.Main\n");
  PackRequest request;
  request.templatePath = writeTemplate(dir);
  request.configPath = dir.file("app.cfg");
  request.outputPath = dir.file("App");
  request.entries.push_back({dir.file("app.jar"), "app.jar"});
  request.entries.push_back({dir.file("logo.txt"), "images/my logo.txt"});
  request.entries.push_back({dir.file("providers"), "META-INF/services/java.nio.file.spi.FileSystemProvider"});
  if (!packaged.realJar.empty()) request.entries.push_back({packaged.realJar, "libs/real.jar"});
  request.comment = "packaged for a test";
  std::string error;
  EXPECT_TRUE(pack(request, error)) << error;
  packaged.path = request.outputPath;
  return packaged;
}

TEST(PackagedArchive, EverythingXoqpackWritesReadsBack) {
  testing::TempDir dir;
  const Packaged packaged = package(dir);
  ArchiveNode node(kPayloadNestingDepth);
  ASSERT_TRUE(openArchiveFile(node, packaged.path));
  const std::string services = "META-INF/services/java.nio.file.spi.FileSystemProvider";
  for (size_t i = 0; i < kSupportClassCount; ++i) {
    const SupportClass& support = kSupportClasses[i];
    // The application's own service file of that name is merged with ours.
    EXPECT_EQ(read(node, support.name, false),
              std::string(support.name == services ? "com.example.OwnFileSystemProvider\n" : "") +
                  std::string(reinterpret_cast<const char*>(support.data), support.size));
  }
  EXPECT_EQ(read(node, "com/tarvolin/xoq/", false), "");
  EXPECT_EQ(read(node, "images\\my logo.txt"), "a resource with a space in its name");
  EXPECT_EQ(read(node, "com.example.Main"), kNotFound);
  EXPECT_EQ(read(node, "com\\example\\Main.class"), "main class");
  EXPECT_EQ(read(node, "app.jar!lib/inner.jar!org/inner/Inner.class"), "inner class");
  EXPECT_EQ(testing::firstPath(node, "org/inner/Inner.class"), "app.jar!lib\\inner.jar!org/inner/Inner.class");
  // xoqpack stores jars, so they are read where they lie in the file.
  ASSERT_FALSE(node.nestedNames().empty());
  EXPECT_EQ(node.nestedNames()[0], "app.jar");
  const ArchiveNode* app = node.child(0);
  ASSERT_NE(app, nullptr);
  EXPECT_TRUE(app->inFile());
  EXPECT_GE(app->fileOffset(), node.fileOffset());
  EXPECT_LE(app->fileOffset() + app->byteCount(), node.fileOffset() + node.byteCount());
  // Once opened, no page of the file is mapped: what was read stays out of
  // the process's resident memory.
  EXPECT_EQ(testing::readFile("/proc/self/maps").find(packaged.path), std::string::npos);
}

// Entry names of a jar as unzip lists them.
std::vector<std::string> unzipNames(const std::string& jar) {
  const testing::ProcessResult listing = testing::runProcess({"unzip", "-Z1", jar});
  std::vector<std::string> names;
  std::istringstream lines(listing.out);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty()) names.push_back(line);
  }
  return names;
}

TEST(PackagedArchive, ARealJarNestedInThePayloadMatchesUnzip) {
  testing::TempDir dir;
  const Packaged packaged = package(dir);
  if (packaged.realJar.empty()) GTEST_SKIP() << "no jar on this machine";
  if (testing::runProcess({"unzip", "-v"}).exitCode != 0) GTEST_SKIP() << "no unzip";
  ArchiveNode node(kPayloadNestingDepth);
  ASSERT_TRUE(openArchiveFile(node, packaged.path));
  const std::vector<std::string> names = unzipNames(packaged.realJar);
  ASSERT_FALSE(names.empty());
  std::set<std::string> ours;
  std::vector<const ArchiveNode*> real;
  for (size_t i = 0; i < node.nestedNames().size(); ++i) {
    if (node.nestedNames()[i] == "libs\\real.jar") real.push_back(node.child(i));
  }
  ASSERT_EQ(real.size(), 1u);
  ASSERT_NE(real[0], nullptr);
  for (size_t i = 0; i < real[0]->entryCount(); ++i) ours.insert(std::string(real[0]->entryName(i)));
  EXPECT_EQ(ours, std::set<std::string>(names.begin(), names.end()));
  // Content compared for a sample of the entries, through entry paths.
  for (size_t i = 0; i < names.size(); i += 1 + names.size() / 25) {
    if (names[i].back() == '/') continue;
    const testing::ProcessResult content = testing::runProcess({"unzip", "-p", packaged.realJar, names[i]});
    ASSERT_EQ(content.exitCode, 0) << names[i];
    EXPECT_EQ(read(node, "libs/real.jar!" + names[i], false), content.out) << names[i];
  }
}

// The process-wide archive opens once per process, so each of these runs in
// a child process of its own.

TEST(PayloadArchive, OpensTheExecutableThatTheConfigurationNames) {
  testing::TempDir dir;
  const Packaged packaged = package(dir);
  EXPECT_EXIT(
      {
        ConfigStore store;
        store.setPaths(packaged.path, dir.path());
        theConfig = &store;
        const ArchiveNode& archive = payloadArchive();
        const bool emptyBefore = !archive.isOpen();
        const ArchiveNode& opened = ensurePayloadArchiveOpen();
        const bool same = &opened == &archive && &ensurePayloadArchiveOpen() == &archive;
        const bool reads = read(opened, "com/example/Main.class") == "main class";
        std::exit(emptyBefore && same && opened.isOpen() && reads ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(PayloadArchive, WithoutAnExecutableItIsEmpty) {
  EXPECT_EXIT(
      {
        theConfig = nullptr;
        const ArchiveNode& archive = ensurePayloadArchiveOpen();
        std::exit(!archive.isOpen() && read(archive, "x") == kNotFound ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(PayloadArchive, ExitWhileOtherThreadsReadIsClean) {
  // System.exit ends the process while other Java threads may still be in a
  // native reading the archive: the archive must outlive the exit handlers.
  testing::TempDir dir;
  const Packaged packaged = package(dir);
  EXPECT_EXIT(
      {
        ConfigStore store;
        store.setPaths(packaged.path, dir.path());
        theConfig = &store;
        std::atomic<int> started{0};
        for (int i = 0; i < 4; ++i) {
          std::thread([&started] {
            ++started;
            for (;;) {
              const ArchiveNode& archive = ensurePayloadArchiveOpen();
              if (read(archive, "app.jar!lib/inner.jar!org/inner/Inner.class") != "inner class") std::abort();
            }
          }).detach();
        }
        while (started.load() < 4) std::this_thread::yield();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace xoq
