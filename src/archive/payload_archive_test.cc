#include "archive/payload_archive.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/archive_reads.h"
#include "support/files.h"
#include "support/payload_builder.h"
#include "support/zip_builder.h"

namespace xoq {
namespace {

using testing::kNotFound;
using testing::read;
using testing::ZipBuilder;

// An application archive as the packager makes it: support classes at the
// top, the application's jar and a library jar stored, a deflated jar too.
struct Application {
  std::string archive;
  std::vector<std::pair<std::string, std::string>> entries;  // entry path, bytes
};

Application makeApplication(int classesPerJar) {
  Application app;
  ZipBuilder appJar;
  ZipBuilder libJar;
  ZipBuilder packedJar;
  for (int i = 0; i < classesPerJar; ++i) {
    const std::string index = std::to_string(i);
    const std::string body = "class body " + index + std::string(static_cast<size_t>(i % 50), 'x');
    appJar.deflated("com/example/App" + index + ".class", "app " + body);
    libJar.deflated("org/lib/Lib" + index + ".class", "lib " + body);
    packedJar.stored("net/packed/P" + index + ".class", "packed " + body);
    app.entries.push_back({"app.jar!com/example/App" + index + ".class", "app " + body});
    app.entries.push_back({"libs/lib.jar!org/lib/Lib" + index + ".class", "lib " + body});
    app.entries.push_back({"libs/packed.jar!net/packed/P" + index + ".class", "packed " + body});
  }
  appJar.stored("META-INF/MANIFEST.MF", "Manifest-Version: 1.0\r\n");
  app.entries.push_back({"app.jar!META-INF/MANIFEST.MF", "Manifest-Version: 1.0\r\n"});
  ZipBuilder top;
  top.directory("com/tarvolin/xoq/");
  top.deflated("com/tarvolin/xoq/HolvaneClassLoader.class", "support class");
  top.stored("app.jar", appJar.build());
  top.stored("libs/lib.jar", libJar.build());
  top.deflated("libs/packed.jar", packedJar.build());
  top.deflated("images/logo.png", "not really a picture");
  app.entries.push_back({"com/tarvolin/xoq/HolvaneClassLoader.class", "support class"});
  app.entries.push_back({"images/logo.png", "not really a picture"});
  app.archive = top.build();
  return app;
}

// Reads every entry of `app` from `node`, `rounds` times; the number of
// reads that went wrong.
int readAll(const ArchiveNode& node, const Application& app, int rounds) {
  int wrong = 0;
  for (int round = 0; round < rounds; ++round) {
    for (const auto& entry : app.entries) {
      if (read(node, entry.first, false) != entry.second) ++wrong;
      const std::string name = entry.first.substr(entry.first.find('!') + 1);
      if (read(node, name, true) != entry.second) ++wrong;
      std::string path;
      if (!findEntryPaths(node, name, path, "", nullptr, nullptr)) ++wrong;
    }
  }
  return wrong;
}

TEST(ArchiveFile, OpensThePayloadOfAnExecutableInPlace) {
  const Application app = makeApplication(20);
  const testing::BuiltPayload built =
      testing::buildPayloadFile(std::string(20000, '\x90'), "\xEF\xBB\xBFmainclass Main\r\n", app.archive, "comment");
  testing::TempDir dir;
  testing::writeFile(dir.file("app.exe"), built.file);
  ArchiveNode node(kPayloadNestingDepth);
  ASSERT_TRUE(openArchiveFile(node, dir.file("app.exe")));
  EXPECT_EQ(readAll(node, app, 1), 0);
  EXPECT_EQ(node.byteCount(), built.file.size());  // the file itself, mapped
  EXPECT_FALSE(openArchiveFile(node, dir.file("app.exe")));
}

TEST(ArchiveFile, MissingEmptyOrForeignFilesAreEmptyArchives) {
  testing::TempDir dir;
  testing::writeFile(dir.file("empty"), "");
  testing::writeFile(dir.file("text"), std::string(70000, 't'));
  for (const std::string& path : {dir.file("missing"), dir.file("empty"), dir.file("text"), dir.path()}) {
    ArchiveNode node(kPayloadNestingDepth);
    EXPECT_FALSE(openArchiveFile(node, path)) << path;
    EXPECT_FALSE(node.isOpen());
    EXPECT_EQ(read(node, "x"), kNotFound);
  }
}

TEST(ArchiveThreads, ManyThreadsReadAtOnce) {
  const Application app = makeApplication(60);
  const auto node = testing::openNode(app.archive);
  std::atomic<int> wrong{0};
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (int i = 0; i < 8; ++i) {
    threads.emplace_back([&] {
      while (!go.load()) std::this_thread::yield();
      wrong += readAll(*node, app, 5);
    });
  }
  go = true;
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wrong.load(), 0);
}

TEST(ArchiveThreads, TheFirstUseOpensOnceForEveryThread) {
  const Application app = makeApplication(200);
  testing::TempDir dir;
  testing::writeFile(dir.file("app.zip"), app.archive);
  for (int attempt = 0; attempt < 5; ++attempt) {
    LazyFileArchive archive(kPayloadNestingDepth);
    EXPECT_FALSE(archive.attempted());
    std::atomic<int> wrong{0};
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i) {
      threads.emplace_back([&, i] {
        while (!go.load()) std::this_thread::yield();
        // Every thread reads at once what the opening thread built: a
        // half-built tree would miss entries of the nested archives.
        const ArchiveNode& node = archive.ensureOpen(dir.file("app.zip"));
        const auto& entry = app.entries[static_cast<size_t>(i) * 7 % app.entries.size()];
        if (read(node, entry.first, false) != entry.second) ++wrong;
        if (&node != &archive.node()) ++wrong;
      });
    }
    go = true;
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_TRUE(archive.attempted());
  }
}

TEST(ArchiveThreads, AFailedFirstOpeningIsNotRetried) {
  testing::TempDir dir;
  LazyFileArchive archive(kPayloadNestingDepth);
  EXPECT_FALSE(archive.ensureOpen(dir.file("app.zip")).isOpen());
  EXPECT_TRUE(archive.attempted());
  testing::writeFile(dir.file("app.zip"), ZipBuilder().stored("x", "x").build());
  EXPECT_EQ(read(archive.ensureOpen(dir.file("app.zip")), "x"), kNotFound);
}

// --- Real archives ------------------------------------------------------------

// How this machine's path looks to the program: under Wine, Linux paths are
// reached through drive Z:.
std::string machinePath(const std::string& path) {
#ifdef _WIN32
  std::string windows = "Z:" + path;
  std::replace(windows.begin(), windows.end(), '/', '\\');
  return windows;
#else
  return path;
#endif
}

std::vector<std::string> realArchives() {
  namespace fs = std::filesystem;
  std::vector<std::string> found;
  std::set<std::string> seen;
  std::error_code error;
  auto consider = [&](const fs::path& path) {
    const std::string name = path.filename().string();
    const bool archive = name == "ct.sym" || (name.size() > 4 && name.substr(name.size() - 4) == ".jar");
    if (!archive || !fs::is_regular_file(path, error)) return;
    const std::string canonical = fs::canonical(path, error).string();
    if (seen.insert(canonical).second) found.push_back(path.string());
  };
  for (const fs::directory_entry& jdk : fs::directory_iterator(machinePath("/usr/lib/jvm"), error)) {
    for (const fs::directory_entry& file : fs::directory_iterator(jdk.path() / "lib", error)) consider(file.path());
  }
  for (const fs::directory_entry& file : fs::directory_iterator(machinePath("/usr/share/java"), error)) {
    consider(file.path());
  }
  std::sort(found.begin(), found.end());
  return found;
}

TEST(RealArchive, EveryEntryOfTheJarsOnThisMachineReads) {
  const std::vector<std::string> archives = realArchives();
  if (archives.empty()) GTEST_SKIP() << "no jars under /usr/lib/jvm or /usr/share/java";
  size_t entries = 0;
  for (const std::string& path : archives) {
    ArchiveNode node(0);
    ASSERT_TRUE(openArchiveFile(node, path)) << path;
    ASSERT_GT(node.entryCount(), 0u) << path;
    for (size_t i = 0; i < node.entryCount(); ++i) {
      const std::string name(node.entryName(i));
      // Such names cannot be asked for: "!" starts an entry path.
      if (name.find('!') != std::string::npos) continue;
      std::string bytes;
      EXPECT_TRUE(readEntryBytes(node, name, false, testing::allocateString, &bytes)) << path << " " << name;
      if (name == "META-INF/MANIFEST.MF") {
        EXPECT_EQ(bytes.rfind("Manifest-Version:", 0), 0u) << path;
      }
      ++entries;
    }
  }
  std::printf("read %zu entries of %zu archives\n", entries, archives.size());
}

}  // namespace
}  // namespace xoq
