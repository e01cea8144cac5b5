// The per-user cache of carried runtimes, as programs meet it: many first
// starts at once, first starts killed half-way, a cache that is read-only,
// full, damaged or not the user's alone. The program is examples/hello
// carrying the tests' small runtime (xoqpack --runtime --embed-runtime).
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "archive/cache_folder.h"
#include "support/files.h"
#include "support/hidden_java.h"
#include "support/packaging.h"

namespace xoq {
namespace testing {
namespace {

namespace fs = std::filesystem;

const char kHelloLine[] = "Hello from a Java program packaged with xoq.\n";
const char kMessageStart[] = "Error: The files of this program cannot be unpacked into ";

class RuntimeCache : public ::testing::Test {
 protected:
  void SetUp() override {
    program_ = dir_.file("hello");
    const ProcessResult packed =
        runXoqpack({"--target", "linux", "--config", std::string(XOQ_SOURCE_DIR) + "/examples/hello/hello.cfg", "--add",
                    std::string(XOQ_BUILD_DIR) + "/examples/hello.jar=hello.jar", "--runtime",
                    std::string(XOQ_BUILD_DIR) + "/test-runtime", "--embed-runtime", "--output", program_},
                   {}, 600);
    ASSERT_EQ(packed.exitCode, 0) << packed.err;
    cache_ = dir_.file("cache");
  }

  RunOptions options() const {
    RunOptions options;
    options.setEnv["XOQ_TRACE"] = "1";
    options.setEnv["XDG_CACHE_HOME"] = cache_;
    options.timeoutSeconds = 300;
    return options;
  }

  ProcessResult start(const RunOptions& how) const { return runProcess({program_}, how); }
  ProcessResult start() const { return start(options()); }

  std::string runtimes() const { return cache_ + "/xoq/runtimes"; }

  // What lies in the runtimes folder, sorted.
  std::vector<std::string> entries() const {
    std::vector<std::string> names;
    std::error_code code;
    for (fs::directory_iterator it(runtimes(), code), end; !code && it != end; it.increment(code)) {
      names.push_back(it->path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  // The one runtime folder (named by a digest); empty when there is none.
  std::string digestFolder() const {
    for (const std::string& name : entries()) {
      if (name.size() == 64 && name.find('.') == std::string::npos) return name;
    }
    return std::string();
  }

  // True when the folder's marker is whole and every file has its size:
  // what a start takes for complete.
  bool complete(const std::string& digest) const {
    std::vector<CachedFile> files;
    const std::string folder = runtimes() + "/" + digest;
    if (!parseCacheMarker(readFile(folder + "/" + kCacheMarkerName), digest, files) || files.empty()) return false;
    for (const CachedFile& file : files) {
      std::error_code code;
      if (fs::file_size(folder + "/" + file.name, code) != file.size || code) return false;
    }
    return true;
  }

  void expectRuns(const ProcessResult& result) const {
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out.rfind(kHelloLine, 0), 0u) << result.out << result.err;
    EXPECT_NE(result.out.find(" from " + runtimes() + "/"), std::string::npos) << result.out;
  }

  TempDir dir_;
  std::string program_;
  std::string cache_;
};

TEST_F(RuntimeCache, TwentyFirstStartsAtOnceAllRunAndLeaveOneFolder) {
  std::vector<ProcessResult> results(20);
  std::vector<std::thread> starts;
  for (size_t i = 0; i < results.size(); ++i) starts.emplace_back([&, i] { results[i] = start(); });
  for (std::thread& thread : starts) thread.join();
  int unpacked = 0;
  for (const ProcessResult& result : results) {
    expectRuns(result);
    unpacked += traced(result, "marker written") ? 1 : 0;
  }
  EXPECT_EQ(unpacked, 1);
  const std::string digest = digestFolder();
  ASSERT_FALSE(digest.empty());
  EXPECT_EQ(entries(), (std::vector<std::string>{".lock", digest}));
  EXPECT_TRUE(complete(digest));
}

TEST_F(RuntimeCache, AFirstStartKilledAnywhereLeavesNothingTakenForComplete) {
  // The trace names each step as it is reached; the start is killed there
  // (a little after, as a real power cut or kill would find it).
  for (const char* point : {"lock taken", "unpacking into", "unpacked lib/modules", "unpacked lib/server/libjvm.so",
                            "marker written", "in place"}) {
    SCOPED_TRACE(point);
    fs::remove_all(cache_);
    RunOptions killed = options();
    killed.signalWhenError = point;
    killed.signalNumber = SIGKILL;
    const ProcessResult result = start(killed);
    ASSERT_EQ(result.signal, SIGKILL) << result.err;
    // Whatever was left, nothing that is not whole goes by the final name.
    const std::string left = digestFolder();
    if (!left.empty()) {
      EXPECT_TRUE(complete(left));
    }

    const ProcessResult next = start();
    expectRuns(next);
    EXPECT_EQ(traced(next, "unpacking into"), left.empty());
    const std::string digest = digestFolder();
    EXPECT_EQ(entries(), (std::vector<std::string>{".lock", digest}));
    EXPECT_TRUE(complete(digest));
  }
}

TEST_F(RuntimeCache, ADamagedFolderIsUnpackedAfresh) {
  expectRuns(start());
  const std::string folder = runtimes() + "/" + digestFolder();
  fs::remove(folder + "/lib/modules");
  ProcessResult result = start();
  expectRuns(result);
  EXPECT_TRUE(traced(result, "lib/modules is missing or has another size"));
  EXPECT_TRUE(traced(result, "marker written"));

  fs::resize_file(folder + "/lib/server/libjvm.so", 4096);
  result = start();
  expectRuns(result);
  EXPECT_TRUE(traced(result, "lib/server/libjvm.so is missing or has another size"));
  EXPECT_EQ(entries().size(), 2u);
  EXPECT_TRUE(complete(digestFolder()));

  // A later start of an intact folder reads no file of it.
  result = start();
  expectRuns(result);
  EXPECT_TRUE(traced(result, ": complete"));
  EXPECT_FALSE(traced(result, "unpack"));
}

TEST_F(RuntimeCache, FoldersThatOthersCanChangeAreNotUsed) {
  expectRuns(start());
  fs::permissions(runtimes(), fs::perms::group_write, fs::perm_options::add);
  ProcessResult result = start();
  EXPECT_EQ(result.exitCode, 16);
  EXPECT_EQ(result.out, "");
  EXPECT_NE(result.err.find(kMessageStart + runtimes() + ": other users may write to it.\n"), std::string::npos)
      << result.err;
  fs::permissions(runtimes(), fs::perms::group_write, fs::perm_options::remove);
  expectRuns(start());

  if (geteuid() != 0) GTEST_SKIP() << "only root can give a folder to another user";
  ASSERT_EQ(chown((cache_ + "/xoq").c_str(), 65534, 65534), 0);
  result = start();
  EXPECT_EQ(result.exitCode, 16);
  EXPECT_NE(result.err.find(kMessageStart + cache_ + "/xoq: it belongs to another user.\n"), std::string::npos)
      << result.err;
  ASSERT_EQ(chown((cache_ + "/xoq").c_str(), 0, 0), 0);
  expectRuns(start());
}

TEST_F(RuntimeCache, AReadOnlyOrFullCacheGetsItsOwnMessageAndKeepsNothing) {
  if (!canHideJava()) GTEST_SKIP() << "no mount namespaces here for a small file system";
  fs::create_directories(cache_);
  // Read-only: not even the cache's own folder can be made.
  ProcessResult result =
      runProcess(withoutJava({program_}, "mount -t tmpfs -o ro,size=1m xoq-cache \"$XDG_CACHE_HOME\""), options());
  EXPECT_EQ(result.exitCode, 16) << result.err;
  EXPECT_EQ(result.out, "");
  EXPECT_NE(result.err.find(kMessageStart + cache_ + "/xoq: Read-only file system.\n"), std::string::npos)
      << result.err;

  // Full: the runtime does not fit in 8 MB. What is left afterwards is the
  // listing after the program's own output.
  result = runProcess(withoutJava({program_}, "mount -t tmpfs -o size=8m xoq-cache \"$XDG_CACHE_HOME\"",
                                  "cd \"$XDG_CACHE_HOME\" && find . | sort"),
                      options());
  EXPECT_EQ(result.exitCode, 16) << result.err;
  EXPECT_NE(result.err.find(kMessageStart + runtimes() + "/"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find(": No space left on device.\n"), std::string::npos) << result.err;
  EXPECT_EQ(result.out, ".\n./xoq\n./xoq/runtimes\n./xoq/runtimes/.lock\n");
}

}  // namespace
}  // namespace testing
}  // namespace xoq
