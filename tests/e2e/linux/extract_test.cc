// Libraries that need real files, packaged with the extract key and run as
// a user would, against java -cp over the same jars on every JDK installed
// here: Apache Ant's launcher, which finds its own jar through a class's
// location; Jython, which finds its standard library in its jar; Spring's classpath*: scanning, which asks jar: URLs
// for their file; a JNI library of the program's own with a library it needs beside it. Then the user's cache as later
// starts meet it: files in place, a damaged file, a folder others may write to, a read-only cache, many first starts at
// once.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "e2e/common/extracted_libraries.h"
#include "support/files.h"
#include "support/hidden_java.h"
#include "support/jdks.h"
#include "support/packaging.h"

namespace xoq {
namespace testing {
namespace {

namespace fs = std::filesystem;

const char kMessageStart[] = "Error: The files of this program cannot be unpacked into ";

class Extract : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override { cache_ = dir_.file("cache"); }

  // The Debian jars in <dir>/jars/lib/ and the arguments that add them.
  std::vector<std::string> libraryJars(const std::vector<LibraryJar>& jars) {
    return copyLibraryJars(jars, dir_.file("jars"));
  }

  std::string pack(const std::string& name, const std::string& config, const std::vector<std::string>& arguments) {
    const std::string exe = packageWith(Target::kLinux, dir_.file(name), "jre_order e\r\n" + config, arguments);
    EXPECT_FALSE(exe.empty());
    return exe;
  }

  RunOptions options() const {
    RunOptions options;
    options.workingDirectory = dir_.path();
    options.setEnv["JAVA_HOME"] = GetParam();
    options.setEnv["XDG_CACHE_HOME"] = cache_;
    options.setEnv["XOQ_TRACE"] = "1";
    options.unsetEnv = {"JRE_HOME", "CLASSPATH", "CLASS_PATH", "LD_LIBRARY_PATH"};
    options.timeoutSeconds = 240;
    return options;
  }

  ProcessResult run(const std::string& exe, const std::vector<std::string>& arguments) const {
    return runExecutable(Target::kLinux, exe, arguments, options());
  }

  ProcessResult javaCp(const std::string& classPath, const std::string& mainClass,
                       const std::vector<std::string>& arguments) const {
    std::vector<std::string> command = {GetParam() + "/bin/java", "-cp", classPath, mainClass};
    command.insert(command.end(), arguments.begin(), arguments.end());
    RunOptions run;
    run.unsetEnv = {"CLASSPATH", "LD_LIBRARY_PATH"};
    run.timeoutSeconds = 240;
    return runProcess(command, run);
  }

  // The cache folders of extracted files (named by a digest).
  std::vector<std::string> folders() const {
    std::vector<std::string> found;
    std::error_code code;
    for (fs::directory_iterator it(cache_ + "/xoq/files", code), end; !code && it != end; it.increment(code)) {
      if (it->path().filename().string().size() == 64) found.push_back(it->path().string());
    }
    return found;
  }

  static std::string describe(const ProcessResult& result) {
    return "exit " + std::to_string(result.exitCode) + "\nstdout:\n" + result.out + "\nstderr:\n" + result.err;
  }

  TempDir dir_;
  std::string cache_;
};

TEST_P(Extract, AntFindsItsOwnJarsAsUnderJavaCp) {
  std::vector<std::string> jars = libraryJars(kAntJars);
  jars.insert(jars.end(), {"--extract", "lib/*.jar"});

  const std::string launcher = pack("ant", "mainclass org.apache.tools.ant.launch.Launcher\r\n", jars);
  const ProcessResult version = run(launcher, {"-version"});
  ASSERT_EQ(version.exitCode, 0) << describe(version);
  const ProcessResult javaVersion =
      javaCp(dir_.file("jars/lib/ant-launcher.jar"), "org.apache.tools.ant.launch.Launcher", {"-version"});
  ASSERT_EQ(javaVersion.exitCode, 0) << describe(javaVersion);
  EXPECT_NE(version.out.find("Apache Ant(TM) version"), std::string::npos) << describe(version);
  EXPECT_EQ(version.out, javaVersion.out);

  // Ant's diagnostics name the jar its core classes came from: the file in
  // the cache, where java -cp names the one on its class path. The second
  // program carries the same jars and shares the folder.
  const std::string main = pack("ant-main", "mainclass org.apache.tools.ant.Main\r\n", jars);
  const ProcessResult diagnostics = run(main, {"-diagnostics"});
  ASSERT_EQ(diagnostics.exitCode, 0) << describe(diagnostics);
  ASSERT_EQ(folders().size(), 1u);
  EXPECT_EQ(lineWith(diagnostics.out, "ant.core.lib: "), "ant.core.lib: " + folders()[0] + "/lib/ant.jar");
  const ProcessResult javaDiagnostics =
      javaCp(dir_.file("jars/lib/ant-launcher.jar") + ":" + dir_.file("jars/lib/ant.jar"), "org.apache.tools.ant.Main",
             {"-diagnostics"});
  EXPECT_EQ(lineWith(javaDiagnostics.out, "ant.core.lib: "), "ant.core.lib: " + dir_.file("jars/lib/ant.jar"));
}

TEST_P(Extract, SpringScansTheClassPathAsUnderJavaCp) {
  std::vector<std::string> arguments = libraryJars(kSpringJars);
  arguments.insert(arguments.end(), {"--add", testAppJar("extract") + "=extract.jar"});
  const std::string config = "mainclass extract.Main\r\n";

  std::vector<std::string> extracted = arguments;
  extracted.insert(extracted.end(), {"--extract", "lib/*.jar"});
  const ProcessResult packaged = run(pack("spring", config, extracted), {"spring"});
  ASSERT_EQ(packaged.exitCode, 0) << describe(packaged);
  std::map<std::string, std::string> values = parseKeyValues(packaged.out);
  const ProcessResult java = javaCp(testAppJar("extract") + ":" + dir_.file("jars/lib/spring-core.jar") + ":" +
                                        dir_.file("jars/lib/commons-logging.jar"),
                                    "extract.Main", {"spring"});
  ASSERT_EQ(java.exitCode, 0) << describe(java);
  std::map<std::string, std::string> expected = parseKeyValues(java.out);
  EXPECT_NE(values["resources"], "0");
  for (const std::string& key : kSpringComparedKeys) {
    EXPECT_EQ(values[key], expected[key]) << key << "\n" << describe(packaged);
  }
  ASSERT_EQ(folders().size(), 1u);
  EXPECT_EQ(values["codesource.path"], folders()[0] + "/lib/spring-core.jar");

  // Without the key nothing changes: the jars are served from the
  // executable, as before, where Spring finds nothing to scan.
  values = parseKeyValues(run(pack("spring-plain", config, arguments), {"spring"}).out);
  EXPECT_EQ(values["resource.protocol"], "xoq");
  EXPECT_EQ(values["resources"], "0");
}

TEST_P(Extract, JythonFindsItsStandardLibraryAsUnderJavaJar) {
  // Debian's jython.jar and the jars its manifest names that are here,
  // started with the arguments of Debian's own launcher script.
  std::vector<std::string> arguments = addedUnderLib(jythonJars());
  arguments.insert(arguments.end(), {"--extract", "lib/*.jar"});
  const ProcessResult packaged =
      run(pack("jython", "mainclass " + kJythonMainClass + "\r\n", arguments), kJythonArguments);
  EXPECT_EQ(packaged.exitCode, 0) << describe(packaged);
  EXPECT_EQ(packaged.out, "True\n") << describe(packaged);
  std::vector<std::string> command = {GetParam() + "/bin/java", "-jar", kDebianJava + "jython.jar"};
  command.insert(command.end(), kJythonArguments.begin(), kJythonArguments.end());
  RunOptions how;
  how.timeoutSeconds = 240;
  EXPECT_EQ(runProcess(command, how).out, packaged.out);
}

TEST_P(Extract, NativeLibraryLoadsFromTheCacheWithTheLibraryItNeeds) {
  const std::string native = std::string(XOQ_BUILD_DIR) + "/test-apps/native/";
  const std::vector<std::string> arguments = {"--add", testAppJar("extract") + "=extract.jar",
                                              "--add", native + "libxoq_answer.so=native/libxoq_answer.so",
                                              "--add", native + "libxoq_answer_part.so=native/libxoq_answer_part.so"};
  const std::string config = "mainclass extract.Main\r\n";
  std::vector<std::string> extracted = arguments;
  extracted.insert(extracted.end(), {"--extract", "native/"});

  const ProcessResult loaded = run(pack("native", config, extracted), {"native"});
  ASSERT_EQ(loaded.exitCode, 0) << describe(loaded);
  std::map<std::string, std::string> values = parseKeyValues(loaded.out);
  EXPECT_EQ(values["answer"], "42");
  ASSERT_EQ(folders().size(), 1u);
  const std::string folder = folders()[0] + "/native";

  // The folder comes first; the rest is what the runtime chooses itself.
  const ProcessResult plain = run(pack("native-plain", config, arguments), {"native"});
  EXPECT_NE(plain.exitCode, 0);
  EXPECT_NE(plain.err.find("UnsatisfiedLinkError"), std::string::npos) << describe(plain);
  EXPECT_EQ(values["library.path"], folder + ":" + parseKeyValues(plain.out)["library.path"]);

  // A library path of the configuration's own follows the folder.
  values = parseKeyValues(
      run(pack("native-option", config + "option -Djava.library.path=/opt/own\r\n", extracted), {"native"}).out);
  EXPECT_EQ(values["library.path"], folder + ":/opt/own");
  EXPECT_EQ(values["answer"], "42");
}

INSTANTIATE_TEST_SUITE_P(EveryJdk, Extract, ::testing::ValuesIn(installedJdkHomes()),
                         [](const ::testing::TestParamInfo<std::string>& param) {
                           return jdkParameterName(param.param);
                         });

// The cache as later starts meet it, on one runtime: the Ant launcher.
class ExtractCache : public Extract {
 protected:
  void SetUp() override {
    Extract::SetUp();
    std::vector<std::string> jars = libraryJars(kAntJars);
    jars.insert(jars.end(), {"--extract", "lib/ant.jar", "--extract", "lib/ant-launcher.jar"});
    program_ = pack("ant", "mainclass org.apache.tools.ant.launch.Launcher\r\n", jars);
  }

  void expectRuns(const ProcessResult& result) const {
    EXPECT_EQ(result.exitCode, 0) << describe(result);
    EXPECT_NE(result.out.find("Apache Ant(TM) version"), std::string::npos) << describe(result);
  }

  std::string program_;
};

TEST_P(ExtractCache, LaterStartsCheckDamageIsMendedAndBadFoldersAreRefused) {
  ProcessResult result = run(program_, {"-version"});
  expectRuns(result);
  EXPECT_TRUE(traced(result, "unpacking into"));
  ASSERT_EQ(folders().size(), 1u);
  const std::string jar = folders()[0] + "/lib/ant.jar";
  struct stat before;
  ASSERT_EQ(stat(jar.c_str(), &before), 0);

  // A later start finds the files in place: checked, not copied.
  result = run(program_, {"-version"});
  expectRuns(result);
  EXPECT_TRUE(traced(result, ": complete"));
  EXPECT_FALSE(traced(result, "unpacking into"));
  struct stat after;
  ASSERT_EQ(stat(jar.c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);

  // A file cut short is noticed and the folder unpacked afresh.
  fs::resize_file(jar, 100);
  result = run(program_, {"-version"});
  expectRuns(result);
  EXPECT_TRUE(traced(result, "damaged, unpacked afresh"));
  EXPECT_EQ(fs::file_size(jar), static_cast<uintmax_t>(before.st_size));

  // A folder that others may write to is not used.
  const std::string files = cache_ + "/xoq/files";
  fs::permissions(files, fs::perms::others_write, fs::perm_options::add);
  result = run(program_, {"-version"});
  EXPECT_EQ(result.exitCode, 16);
  EXPECT_EQ(result.out, "");
  EXPECT_NE(result.err.find(kMessageStart + files + ": other users may write to it.\n"), std::string::npos)
      << describe(result);
  fs::permissions(files, fs::perms::others_write, fs::perm_options::remove);
  expectRuns(run(program_, {"-version"}));
}

TEST_P(ExtractCache, ManyFirstStartsAtOnceAndAReadOnlyCache) {
  std::vector<ProcessResult> results(6);
  std::vector<std::thread> starts;
  for (ProcessResult& result : results) {
    starts.emplace_back([this, &result] { result = run(program_, {"-version"}); });
  }
  for (std::thread& start : starts) start.join();
  for (const ProcessResult& result : results) expectRuns(result);
  std::vector<std::string> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(cache_ + "/xoq/files")) {
    names.push_back(entry.path().filename().string());
  }
  EXPECT_EQ(names.size(), 2u);  // the folder and the lock
  EXPECT_EQ(folders().size(), 1u);

  if (!canHideJava()) GTEST_SKIP() << "no mount namespaces here for a read-only file system";
  // Java is hidden there too, but the files are unpacked before a runtime
  // is loaded: the cache's failure is what the user is told.
  const std::string readOnly = dir_.file("read-only");
  fs::create_directories(readOnly);
  RunOptions how = options();
  how.setEnv["XDG_CACHE_HOME"] = readOnly;
  const ProcessResult result = runProcess(
      withoutJava({program_, "-version"}, "mount -t tmpfs -o ro,size=1m xoq-cache \"$XDG_CACHE_HOME\""), how);
  EXPECT_EQ(result.exitCode, 16) << describe(result);
  EXPECT_EQ(result.out, "");
  EXPECT_NE(result.err.find(kMessageStart + readOnly + "/xoq: Read-only file system.\n"), std::string::npos)
      << describe(result);
}

INSTANTIATE_TEST_SUITE_P(OneJdk, ExtractCache, ::testing::Values(installedJdkHomes().front()),
                         [](const ::testing::TestParamInfo<std::string>& param) {
                           return jdkParameterName(param.param);
                         });

TEST(ExtractPacking, ANameThatNamesNoEntryIsRefusedAndNothingWritten) {
  TempDir dir;
  const ProcessResult result = runXoqpack({"--target", "linux", "--add", testAppJar("extract") + "=extract.jar",
                                           "--extract", "native/*.so", "--output", dir.file("app")});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.err, "xoqpack: extract native/*.so names no entry of the archive\n");
  EXPECT_FALSE(fs::exists(dir.file("app")));
}

}  // namespace
}  // namespace testing
}  // namespace xoq
