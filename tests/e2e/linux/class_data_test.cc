// Class data archives with every JDK installed here: the runtime's own
// options for them, given in `option` lines, and the `classdatacache` key,
// with examples/notes, whose classes come from jars nested in the payload.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/jdks.h"
#include "support/packaging.h"

namespace xoq {
namespace testing {
namespace {

namespace fs = std::filesystem;

const char kNotesFirstLine[] = "Hello from notes, a Java program that ships as one executable.\n";

class ClassData : public ::testing::TestWithParam<std::string> {
 protected:
  int feature() const { return std::stoi(jdkVersion(GetParam())); }

  // A copy of examples/notes with `config` as its external configuration;
  // made once, since an archive is only for the file it was made with.
  std::string notes(const std::string& name, const std::string& config) {
    const std::string copy = dir_.file(name);
    if (!fs::exists(copy)) {
      writeFile(copy, readFile(std::string(XOQ_BUILD_DIR) + "/examples/notes"));
      makeExecutable(copy);
    }
    writeFile(copy + ".cfg", "jre_order e\r\n" + config);
    return copy;
  }

  // Runs it and expects the application's output and nothing on standard
  // error.
  void runClean(const std::string& exe, const std::map<std::string, std::string>& environment = {}) {
    RunOptions options;
    options.setEnv = environment;
    options.setEnv["JAVA_HOME"] = GetParam();
    options.setEnv["XOQ_TRACE"] = "";
    options.timeoutSeconds = 180;
    const ProcessResult result = runExecutable(Target::kLinux, exe, {"milk"}, options);
    EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_NE(result.out.find(kNotesFirstLine), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("<li>milk</li>"), std::string::npos) << result.out;
  }

  // The classes that the runtime took from a dynamic archive, from the
  // class loading log written to `log`.
  static std::vector<std::string> archivedClasses(const std::string& log) {
    std::vector<std::string> classes;
    const std::string text = readFile(log);
    for (size_t start = 0; start < text.size();) {
      size_t end = text.find('\n', start);
      if (end == std::string::npos) end = text.size();
      const std::string line = text.substr(start, end - start);
      start = end + 1;
      if (line.find("source: shared objects file (top)") == std::string::npos) continue;
      const size_t name = line.find("] ") + 2;
      classes.push_back(line.substr(name, line.find(' ', name) - name));
    }
    return classes;
  }

  static bool contains(const std::vector<std::string>& classes, const std::string& name) {
    for (const std::string& c : classes) {
      if (c == name) return true;
    }
    return false;
  }

  std::string logOption(const std::string& log) { return "option -Xlog:class+load=info:file=" + log + "\r\n"; }

  TempDir dir_;
};

TEST_P(ClassData, ArchiveOptionsOfTheUserWork) {
  // Both loader modes. The runtime takes application classes from an
  // archive only when no system class loader is named; the launcher's own
  // loader then serves their bytes and the runtime maps the archived class.
  for (const std::string mode : {"", "assystemclassloader false\r\n"}) {
    SCOPED_TRACE(mode.empty() ? "default" : "separate loader");
    // The archive holds the class path, so both starts are of one file.
    const std::string name = "notes" + std::to_string(mode.size());
    const std::string archive = dir_.file(name + ".jsa");
    runClean(notes(name, mode + "option -XX:ArchiveClassesAtExit=" + archive + "\r\n"));
    ASSERT_TRUE(fs::exists(archive)) << "no archive written";

    const std::string log = dir_.file(name + ".log");
    runClean(notes(name, mode + "option -XX:SharedArchiveFile=" + archive + "\r\n" + logOption(log)));
    const std::vector<std::string> archived = archivedClasses(log);
    EXPECT_FALSE(archived.empty()) << "the archive was not used";
    EXPECT_EQ(contains(archived, "com.example.notes.App"), !mode.empty());
  }
  if (feature() >= 19) {
    const std::string archive = dir_.file("auto.jsa");
    const std::string config =
        "assystemclassloader false\r\noption -XX:+AutoCreateSharedArchive\r\n"
        "option -XX:SharedArchiveFile=" +
        archive + "\r\n";
    runClean(notes("auto", config));
    ASSERT_TRUE(fs::exists(archive)) << "no archive made";
    const std::string log = dir_.file("auto.log");
    runClean(notes("auto", config + logOption(log)));
    EXPECT_TRUE(contains(archivedClasses(log), "com.example.notes.App"));
  }
}

TEST_P(ClassData, CacheKeepsAnArchiveForTheApplication) {
  const std::map<std::string, std::string> environment = {{"XDG_CACHE_HOME", dir_.file("cache")}};
  const std::string config = "classdatacache true\r\nassystemclassloader false\r\n";
  const std::string exe = notes("notes", config);
  runClean(exe, environment);
  std::vector<std::string> files;
  for (const fs::directory_entry& entry : fs::directory_iterator(dir_.file("cache/xoq"))) {
    files.push_back(entry.path().filename().string());
  }
  ASSERT_EQ(files.size(), 1u) << "one archive, nothing left over";
  EXPECT_EQ(files[0].rfind("notes-", 0), 0u) << files[0];
  EXPECT_EQ(fs::path(files[0]).extension(), ".jsa") << files[0];

  // Later starts map the application's classes from it.
  const std::string log = dir_.file("second.log");
  writeFile(exe + ".cfg", "jre_order e\r\n" + config + logOption(log));
  runClean(exe, environment);
  EXPECT_TRUE(contains(archivedClasses(log), "com.example.notes.App"));

  // A cache folder that cannot be made, or options of the user's own that
  // decide about archives or start an agent: the application still starts,
  // and nothing is said about it.
  writeFile(dir_.file("not-a-folder"), "");
  runClean(notes("nofolder", config), {{"XDG_CACHE_HOME", dir_.file("not-a-folder")}});
  runClean(notes("agent", config + "option -javaagent:" + testAppJar("agent") + "\r\n"), environment);
  runClean(notes("off", config + "option -Xshare:off\r\n"), environment);
  // With the launcher's loader as the system class loader the runtime could
  // use nothing of an archive of the application's.
  runClean(notes("system", "classdatacache true\r\n"), environment);
  size_t archives = 0;
  for (const fs::directory_entry& entry : fs::directory_iterator(dir_.file("cache/xoq"))) {
    archives += entry.path().extension() == ".jsa" ? 1 : 0;
  }
  EXPECT_EQ(archives, 1u) << "the agent, -Xshare:off or default loader mode starts made archives";
}

INSTANTIATE_TEST_SUITE_P(EveryJdk, ClassData, ::testing::ValuesIn(installedJdkHomes()),
                         [](const ::testing::TestParamInfo<std::string>& param) {
                           return jdkParameterName(param.param);
                         });

}  // namespace
}  // namespace testing
}  // namespace xoq
