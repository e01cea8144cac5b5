// Real applications as they run under java -cp, on every JDK installed
// here: multi-release jars (one built by the tests, Debian's log4j), entry
// times and sizes through "xoq:" connections against JarFile, the "xoq:"
// file system against JarFile's listing, JUnit's console launcher scanning
// a package, Clojure's compiled core, URL round trips on every kind of
// thread, code sources, and archives of 70,000 entries.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/jdks.h"
#include "support/many_files.h"
#include "support/packaging.h"

namespace xoq {
namespace testing {
namespace {

std::string compat(const std::string& relative) { return std::string(XOQ_BUILD_DIR) + "/test-apps/compat/" + relative; }

const std::string kDebianJava = "/usr/share/java/";

class Libraries : public ::testing::TestWithParam<std::string> {
 protected:
  // Packages `files` (source=entry name pairs for --add, "tree:" folders
  // for --add-tree) with the
  // configuration and runs the executable.
  std::map<std::string, std::string> launch(const std::string& config, const std::vector<std::string>& files,
                                            const std::string& name = "app") {
    std::vector<std::string> arguments;
    for (const std::string& file : files) {
      // "tree:" marks a folder to add with all it holds.
      const bool tree = file.compare(0, 5, "tree:") == 0;
      arguments.push_back(tree ? "--add-tree" : "--add");
      arguments.push_back(tree ? file.substr(5) : file);
    }
    exe_ = packageWith(Target::kLinux, dir_.file(name), "jre_order e\r\n" + config, arguments);
    EXPECT_FALSE(exe_.empty());
    RunOptions options;
    options.workingDirectory = dir_.path();
    options.setEnv["JAVA_HOME"] = GetParam();
    options.setEnv["XOQ_TRACE"] = trace_ ? "1" : "";
    options.unsetEnv = {"JRE_HOME", "CLASSPATH", "CLASS_PATH"};
    options.timeoutSeconds = 240;
    result_ = runExecutable(Target::kLinux, exe_, {}, options);
    return parseKeyValues(result_.out);
  }

  // The same checks under java -cp over the same jars.
  std::map<std::string, std::string> javaCp(const std::string& classPath, const std::vector<std::string>& options) {
    std::vector<std::string> command = {GetParam() + "/bin/java", "-cp", classPath};
    command.insert(command.end(), options.begin(), options.end());
    command.push_back("compat.Main");
    RunOptions run;
    run.timeoutSeconds = 120;
    return parseKeyValues(runProcess(command, run).out);
  }

  std::string describe() const {
    return "exit " + std::to_string(result_.exitCode) + "\nstdout:\n" + result_.out + "\nstderr:\n" + result_.err;
  }

  // A jar of two entries written an hour apart, made by this JDK's jar tool.
  std::string timesJar() {
    writeFile(dir_.file("times/older.txt"), "older");
    writeFile(dir_.file("times/newer.txt"), "newer");
    const auto base = std::filesystem::last_write_time(dir_.file("times/older.txt")) - std::chrono::hours(48);
    std::filesystem::last_write_time(dir_.file("times/older.txt"), base);
    std::filesystem::last_write_time(dir_.file("times/newer.txt"), base + std::chrono::hours(1));
    runProcess({GetParam() + "/bin/jar", "--create", "--file", dir_.file("times.jar"), "-C", dir_.file("times"), "."});
    return dir_.file("times.jar");
  }

  bool trace_ = false;
  TempDir dir_;
  std::string exe_;
  ProcessResult result_;
};

TEST_P(Libraries, MultiReleaseJarsAsJarFileServesThem) {
  const std::vector<std::string> jars = {compat("compat.jar") + "=lib/compat.jar", compat("mr.jar") + "=lib/mr.jar",
                                         kDebianJava + "log4j-api.jar=lib/log4j-api.jar",
                                         kDebianJava + "log4j-core.jar=lib/log4j-core.jar"};
  const std::string classPath = compat("compat.jar") + ":" + compat("mr.jar") + ":" + kDebianJava +
                                "log4j-api.jar:" + kDebianJava + "log4j-core.jar";
  const char* keys[] = {"mr.class", "mr.resource", "mr.resourceEntry", "mr.classEntry", "mr.resources"};
  std::map<std::string, std::string> values =
      launch("mainclass compat.Main\r\nproperty compat.checks=multirelease,log4j\r\n", jars);
  ASSERT_EQ(result_.exitCode, 0) << describe();
  EXPECT_EQ(values["mr.class"], "11") << describe();
  EXPECT_EQ(values["mr.resource"], "resource for 11");
  EXPECT_EQ(values["mr.resourceEntry"], "META-INF/versions/11/mr/which.txt");
  // Before 25, java.util.jar took META-INF/versions/11/mr/ for a version of
  // mr/, a fault the launcher does not repeat on any runtime.
  EXPECT_EQ(values["mr.directory"], "mr/") << describe();
  // Log4j finds its caller through its Java 9 classes: no warning, no
  // UnsupportedOperationException.
  EXPECT_EQ(values["log4j.logger"], "compat.Libraries") << describe();
  EXPECT_NE(result_.out.find("ERROR compat.Libraries - hello from log4j"), std::string::npos) << describe();
  EXPECT_EQ(result_.err.find("WARNING"), std::string::npos) << describe();
  const std::map<std::string, std::string> java = javaCp(classPath, {"-Dcompat.checks=multirelease"});
  for (const char* key : keys) EXPECT_EQ(values[key], java.at(key)) << key;
  const std::string version = jdkVersion(GetParam());
  if (!version.empty() && std::stoi(version) >= 25) {
    EXPECT_EQ(values["mr.directory"], java.at("mr.directory"));
  }

  // The runtime's jdk.util.jar.version lowers the version served, in the
  // other loader mode too.
  values = launch(
      "mainclass compat.Main\r\nproperty compat.checks=multirelease,log4j\r\noption -Djdk.util.jar.version=10\r\n"
      "assystemclassloader false\r\n",
      jars, "lowered");
  ASSERT_EQ(result_.exitCode, 0) << describe();
  EXPECT_EQ(values["mr.class"], "9") << describe();
  EXPECT_EQ(values["log4j.logger"], "compat.Libraries") << describe();
  const std::map<std::string, std::string> lowered =
      javaCp(classPath, {"-Dcompat.checks=multirelease", "-Djdk.util.jar.version=10"});
  for (const char* key : keys) EXPECT_EQ(values[key], lowered.at(key)) << key;
}

TEST_P(Libraries, EntryTimesAndSizesAsJarFileTellsThem) {
  trace_ = true;
  const std::string jars = "property compat.jars=lib/compat.jar=" + compat("compat.jar") +
                           ";lib/mr.jar=" + compat("mr.jar") + ";lib/log4j-api.jar=" + kDebianJava +
                           "log4j-api.jar\r\n";
  const std::vector<std::string> files = {compat("compat.jar") + "=lib/compat.jar", compat("mr.jar") + "=lib/mr.jar",
                                          kDebianJava + "log4j-api.jar=lib/log4j-api.jar",
                                          timesJar() + "=lib/times.jar"};
  for (const bool compatible : {false, true}) {
    std::map<std::string, std::string> values =
        launch("mainclass compat.Main\r\nproperty compat.checks=times\r\n" + jars +
                   (compatible ? "compatible true\r\nproperty compat.classesReadable=true\r\n" : ""),
               files, compatible ? "compatible" : "app");
    ASSERT_EQ(result_.exitCode, 0) << describe();
    for (const char* jar : {"lib/compat.jar", "lib/mr.jar", "lib/log4j-api.jar"}) {
      EXPECT_GT(std::stoi(values["times." + std::string(jar) + ".entries"]), 5) << jar << describe();
      EXPECT_EQ(values["times." + std::string(jar) + ".mismatches"], "[]") << jar;
    }
    EXPECT_EQ(values["times.newerMinusOlder"], "3600000");
    EXPECT_EQ(values["times.missing"], "0 -1");
    EXPECT_EQ(values["times.classBytes"] == "0", !compatible) << values["times.classBytes"];
    // A class file refused as a resource is traced with the key that
    // allows it.
    const bool refusalTraced =
        traced(result_, "xoq:lib/compat.jar!compat/Main.class: a class file, read as empty: \"compatible true\"");
    EXPECT_EQ(refusalTraced, !compatible) << describe();
  }
}

TEST_P(Libraries, FileSystemListsWhatJarFileLists) {
  const std::vector<std::string> files = {compat("compat.jar") + "=lib/compat.jar", compat("mr.jar") + "=lib/mr.jar",
                                          kDebianJava + "log4j-api.jar=lib/log4j-api.jar"};
  for (const char* mode : {"", "assystemclassloader false\r\n"}) {
    std::map<std::string, std::string> values =
        launch(std::string("mainclass compat.Main\r\nproperty compat.checks=walk\r\n") + mode +
                   "property compat.jars=lib/compat.jar=" + compat("compat.jar") + ";lib/mr.jar=" + compat("mr.jar") +
                   ";lib/log4j-api.jar=" + kDebianJava + "log4j-api.jar\r\n",
               files);
    ASSERT_EQ(result_.exitCode, 0) << describe();
    for (const char* jar : {"lib/compat.jar", "lib/mr.jar", "lib/log4j-api.jar"}) {
      EXPECT_EQ(values["walk." + std::string(jar) + ".same"], "true") << jar << " " << mode;
      EXPECT_EQ(values["walk." + std::string(jar) + ".attributeMismatches"], "[]") << jar;
    }
    EXPECT_GT(std::stoi(values["walk.lib/log4j-api.jar.count"]), 200);
    EXPECT_EQ(values["walk.directory"],
              "xoq:lib/compat.jar!compat/ [100% + more.txt, Attached.class, FileSystemChecks$1.class, "
              "FileSystemChecks.class, Libraries.class, Main.class, UrlChecks$1.class, UrlChecks.class, a%41.txt, "
              "data.txt, name with space.txt, x#y.txt]");
    EXPECT_EQ(values["walk.read"], "data from the compat jar true");
    EXPECT_EQ(values["walk.classFile"], "refused");
    EXPECT_EQ(values["walk.write"], "read-only");
    EXPECT_EQ(values["walk.missing"], "false");
    EXPECT_EQ(values["walk.newFileSystem"], "true");
    EXPECT_EQ(values["walk.top"], "true true");
    EXPECT_EQ(values["walk.stream"], "opened, refused, ends when closed, no iterator after close") << describe();
    EXPECT_EQ(values["walk.stream"], values["walk.zipStream"]);
  }
}

TEST_P(Libraries, JUnitFindsTestsByPackageInBothLoaderModes) {
  for (const char* mode : {"", "assystemclassloader false\r\n"}) {
    launch(std::string("mainclass org.junit.platform.console.ConsoleLauncher\r\n") + mode +
               "argv --select-package scanned --disable-banner --disable-ansi-colors\r\n",
           {kDebianJava + "junit-platform-console-standalone.jar=lib/junit-console.jar",
            compat("scanned.jar") + "=lib/scanned.jar"});
    EXPECT_EQ(result_.exitCode, 0) << mode << describe();
    EXPECT_NE(result_.out.find("3 tests found"), std::string::npos) << mode << describe();
    EXPECT_NE(result_.out.find("3 tests successful"), std::string::npos) << mode << describe();
  }
}

TEST_P(Libraries, ClojureLoadsItsCompiledCore) {
  // Compiled from source, clojure.core's functions would come from
  // Clojure's own dynamic class loader.
  launch("mainclass clojure.main\r\nargv -e \"(println (.getName (class (.getClassLoader (class map)))))\"\r\n",
         {kDebianJava + "clojure.jar=lib/clojure.jar", kDebianJava + "spec.alpha.jar=lib/spec.alpha.jar",
          kDebianJava + "core.specs.alpha.jar=lib/core.specs.alpha.jar"});
  EXPECT_EQ(result_.exitCode, 0) << describe();
  EXPECT_EQ(result_.out, "com.tarvolin.xoq.HolvaneClassLoader\n") << describe();
}

TEST_P(Libraries, UrlRoundTripsOnEveryKindOfThread) {
  for (const char* mode : {"", "assystemclassloader false\r\n"}) {
    std::map<std::string, std::string> values =
        launch(std::string("mainclass compat.Main\r\nproperty compat.checks=roundtrip\r\n") + mode +
                   "property compat.native=" + compat("libxoq_attached_thread.so") + "\r\n",
               {compat("compat.jar") + "=lib/compat.jar", compat("mr.jar") + "=lib/mr.jar"});
    ASSERT_EQ(result_.exitCode, 0) << describe();
    for (const char* thread : {"roundtrip.main", "roundtrip.thread", "roundtrip.attached"}) {
      EXPECT_EQ(values[thread], "10 urls, failed: []") << thread << " " << mode << describe();
    }
  }
  // Names are escaped as java -cp escapes them in its jar URLs: a '%' in a
  // name never reads as the start of an escape, a '#' never as a fragment.
  std::map<std::string, std::string> values =
      launch("mainclass compat.Main\r\nproperty compat.checks=escapes\r\n", {compat("compat.jar") + "=lib/compat.jar"});
  const std::map<std::string, std::string> java = javaCp(compat("compat.jar"), {"-Dcompat.checks=escapes"});
  EXPECT_EQ(values["escapes.compat/a%41.txt"], "compat/a%2541.txt") << describe();
  EXPECT_EQ(values["escapes.compat/x#y.txt"], "compat/x%23y.txt");
  for (const char* name : {"name with space.txt", "100% + more.txt", "a%41.txt", "x#y.txt"}) {
    const std::string key = std::string("escapes.compat/") + name;
    EXPECT_EQ(values[key], java.at(key)) << key;
  }
}

TEST_P(Libraries, CodeSourceNamesTheExecutableWhenAsked) {
  const std::vector<std::string> files = {compat("compat.jar") + "=lib/compat.jar",
                                          compat("signed.jar") + "=lib/signed.jar"};
  std::map<std::string, std::string> values =
      launch("mainclass compat.Main\r\nproperty compat.checks=codesource\r\n", files);
  EXPECT_EQ(values["codesource.location"], "null") << describe();
  EXPECT_EQ(values["codesource.signer"], "none") << describe();
  EXPECT_EQ(values["codesource.domains"], "true true");
  EXPECT_EQ(values["codesource.added"], "none");
  values =
      launch("mainclass compat.Main\r\nproperty compat.checks=codesource\r\ncodesource true\r\n", files, "sourced");
  EXPECT_EQ(values["codesource.location"], "file:" + exe_) << describe();
  EXPECT_EQ(values["codesource.file"], exe_);
  // Signers per class, as java -cp gives them: the class added to the
  // signed jar after signing is refused beside the signed ones.
  EXPECT_EQ(values["codesource.domains"], "true false");
  EXPECT_EQ(values["codesource.signer"], "CN=xoq test signer");
  EXPECT_EQ(values["codesource.added"], "java.lang.SecurityException");
  const std::map<std::string, std::string> java =
      javaCp(compat("compat.jar") + ":" + compat("signed.jar"), {"-Dcompat.checks=codesource"});
  for (const char* key : {"codesource.domains", "codesource.signer", "codesource.added"}) {
    EXPECT_EQ(values[key], java.at(key)) << key;
  }
}

TEST_P(Libraries, SeventyThousandFilesAndAJarOfSeventyThousandEntries) {
  const ManyFiles& many = manyFiles(GetParam());
  ASSERT_FALSE(many.jar.empty());
  std::map<std::string, std::string> values =
      launch("mainclass compat.Main\r\nproperty compat.checks=large\r\n",
             {compat("compat.jar") + "=lib/compat.jar", many.jar + "=lib/big.jar", "tree:" + many.folder + "=many"});
  ASSERT_EQ(result_.exitCode, 0) << describe();
  EXPECT_EQ(values["large.top"], "f69999");
  // The runtime's own loader reads the executable too.
  EXPECT_EQ(values["large.topScheme"], "jar");
  EXPECT_EQ(values["large.nested"], "f12345");
  EXPECT_EQ(values["large.nestedEntry"], "f12345.txt");
}

INSTANTIATE_TEST_SUITE_P(EveryJdk, Libraries, ::testing::ValuesIn(installedJdkHomes()),
                         [](const ::testing::TestParamInfo<std::string>& param) {
                           return jdkParameterName(param.param);
                         });

}  // namespace
}  // namespace testing
}  // namespace xoq
