// Real third-party programs from Debian's jars, packaged as Windows console
// programs and run under Wine with the real Windows Java runtime, against
// that runtime's own java.exe -cp over the same jars: the same standard
// output, the same standard error, the same exit code. JUnit's console
// launcher by class and by package, an H2 script, Clojure reading standard
// input, Checkstyle, and Log4j configured from the class path.
//
// The runtime has no java.desktop and no jdk.zipfs module. Where java.exe
// fails for that (JUnit's package scan of a jar needs the zip file system),
// the packaged program is held to what java -cp prints on Linux; where the
// program itself needs java.beans (Log4j's core, Checkstyle's audit), both
// must fail alike.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "e2e/common/e2e_test.h"
#include "support/files.h"
#include "support/jdks.h"
#include "support/packaging.h"
#include "support/windows_runtime.h"

namespace xoq {
namespace testing {
namespace {

const std::string kDebianJava = "/usr/share/java/";
const Target kConsole = Target::kWindowsConsole;

std::string debianJar(const std::string& name) { return kDebianJava + name + ".jar"; }

// A program as java -cp sees it: the main class, the jars and folders of
// its class path in order, and the system properties it is given.
struct Program {
  std::string mainClass;
  std::vector<std::string> classPath;   // Linux paths of jars and folders
  std::vector<std::string> properties;  // "name=value"
};

class RealRuntimeApplications : public EndToEnd {
 protected:
  void SetUp() override { XOQ_REQUIRE_WINDOWS_RUNTIME(); }

  // Takes `program` for the test; skips it, saying why, when one of its
  // jars is not installed.
  void use(Program program) {
    program_ = std::move(program);
    for (const std::string& entry : program_.classPath) {
      if (!std::filesystem::exists(entry)) GTEST_SKIP() << entry << " is missing: scripts/setup.sh installs it";
    }
  }

  // Packages the program as a console executable: each jar nested under
  // lib/, each folder's content at the top of the payload, which is where
  // the launcher's loader looks first, as java -cp looks in its first
  // entry.
  std::string packageProgram(const std::string& name, const std::string& extraConfig = "") {
    std::vector<std::string> arguments;
    for (const std::string& entry : program_.classPath) {
      if (std::filesystem::is_directory(entry)) {
        arguments.insert(arguments.end(), {"--add-tree", entry + "="});
      } else {
        arguments.insert(arguments.end(),
                         {"--add", entry + "=lib/" + std::filesystem::path(entry).filename().string()});
      }
    }
    std::string config = "jre_order e\r\nmainclass " + program_.mainClass + "\r\n";
    for (const std::string& property : program_.properties) config += "property " + property + "\r\n";
    config += extraConfig;
    const std::string exe = packageWith(kConsole, dir_.file(name + ".exe"), config, arguments);
    EXPECT_FALSE(exe.empty()) << "packaging " << name;
    return exe;
  }

  // Runs `command` from the scratch folder, with `input` as its standard
  // input. The input is a file, not a pipe: Java's available() on a pipe
  // from outside Wine fails in Wine ("Request not supported"), under
  // java.exe as much as in the packaged program.
  ProcessResult runFromScratch(std::vector<std::string> command, const std::string& input) {
    RunOptions run;
    run.workingDirectory = dir_.path();
    run.setEnv["JAVA_HOME"] = launcherPath(kConsole, windowsRuntimeHome());
    // No trace: standard error is compared as the user sees it.
    run.setEnv["XOQ_TRACE"] = "";
    run.unsetEnv = {"JRE_HOME", "CLASSPATH", "CLASS_PATH", "_JAVA_OPTIONS", "JAVA_TOOL_OPTIONS"};
    run.timeoutSeconds = 240;
    if (!input.empty()) {
      writeFile(dir_.file("input.txt"), input);
      command.insert(command.begin(), {"/bin/sh", "-c", "exec \"$0\" \"$@\" < input.txt"});
    }
    return runProcess(command, run);
  }

  ProcessResult runPackaged(const std::string& exe, const std::vector<std::string>& arguments,
                            const std::string& input = "") {
    std::vector<std::string> command = {XOQ_WINE_PROGRAM, exe};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return runFromScratch(command, input);
  }

  // The runtime's own java.exe with the same class path, in the same order.
  ProcessResult runJavaExe(const std::vector<std::string>& arguments, const std::string& input = "") {
    std::string classPath;
    for (const std::string& entry : program_.classPath) {
      classPath += (classPath.empty() ? "" : ";") + launcherPath(kConsole, entry);
    }
    std::vector<std::string> command = {XOQ_WINE_PROGRAM, windowsRuntimeHome() + "/bin/java.exe"};
    for (const std::string& property : program_.properties) command.push_back("-D" + property);
    command.insert(command.end(), {"-cp", classPath, program_.mainClass});
    command.insert(command.end(), arguments.begin(), arguments.end());
    return runFromScratch(command, input);
  }

  // Times that the programs print of their own work ("after 123 ms",
  // "(2 rows, 5 ms)") differ from run to run; nothing else may.
  static std::string withoutTimings(const std::string& text) {
    static const std::regex milliseconds("[0-9]+ ms\\b");
    return std::regex_replace(text, milliseconds, "N ms");
  }

  // Standard error without what Wine itself writes there: its wrapper
  // script's note on a missing 32-bit Wine, and its own diagnostics
  // ("0118:err:..."), which a Windows user never sees.
  static std::string programErrors(const std::string& err) {
    static const std::regex wine(
        "(it looks like wine32 is missing.*|multiarch needs to be enabled.*|execute \"dpkg --add-architecture.*|"
        "apt-get install wine32.*|[0-9a-f]{4}:(err|fixme|warn|trace):.*)\n");
    return std::regex_replace(err, wine, "");
  }

  // The messages of the exceptions that standard error reports, without
  // their stack frames: where a class is missing, the frames name the
  // loader that looked for it, which differs from java.exe's by design.
  static std::string exceptionMessages(const std::string& err) {
    static const std::regex frame("\t(at |\\.\\.\\. ).*\n");
    return std::regex_replace(withoutCarriageReturns(programErrors(err)), frame, "");
  }

  // The same program under java -cp on Linux, with the first JDK installed
  // here, from the same working folder: what it prints where this runtime's
  // java.exe cannot run it.
  ProcessResult runOnLinux(const std::vector<std::string>& arguments) {
    std::string classPath;
    for (const std::string& entry : program_.classPath) classPath += (classPath.empty() ? "" : ":") + entry;
    const std::vector<std::string> homes = installedJdkHomes();
    if (homes.empty()) return ProcessResult();
    std::vector<std::string> command = {homes.front() + "/bin/java"};
    for (const std::string& property : program_.properties) command.push_back("-D" + property);
    command.insert(command.end(), {"-cp", classPath, program_.mainClass});
    command.insert(command.end(), arguments.begin(), arguments.end());
    RunOptions run;
    run.workingDirectory = dir_.path();
    run.timeoutSeconds = 120;
    return runProcess(command, run);
  }

  // Runs the packaged program and java.exe with the same arguments and
  // input, and expects what a user sees of both to be the same. Returns
  // the packaged run.
  ProcessResult expectSameAsJavaExe(const std::string& exe, const std::vector<std::string>& arguments,
                                    const std::string& input = "") {
    const ProcessResult packaged = runPackaged(exe, arguments, input);
    const ProcessResult java = runJavaExe(arguments, input);
    EXPECT_FALSE(java.timedOut) << describe(java);
    EXPECT_EQ(packaged.exitCode, java.exitCode) << "packaged:\n"
                                                << describe(packaged) << "\njava.exe:\n"
                                                << describe(java);
    EXPECT_EQ(withoutTimings(packaged.out), withoutTimings(java.out)) << describe(packaged);
    EXPECT_EQ(withoutTimings(programErrors(packaged.err)), withoutTimings(programErrors(java.err)))
        << describe(packaged);
    return packaged;
  }

  Program program_;
};

// The console launcher finds the tests of a class, and of a package by
// walking it in the nested jar through the "xoq:" file system, and fails
// with its own exit code when asked for a package that has none. java.exe
// finds no test in a package of a jar, for want of the zip file system
// (jdk.zipfs) in this runtime: there the packaged program must print what
// java -cp prints on Linux.
TEST_F(RealRuntimeApplications, JUnitConsoleLauncherByClassAndByPackage) {
  use({"org.junit.platform.console.ConsoleLauncher",
       {debianJar("junit-platform-console-standalone"), std::string(XOQ_BUILD_DIR) + "/test-apps/compat/scanned.jar"}});
  if (IsSkipped()) return;
  const std::string exe = packageProgram("junit");
  const std::vector<std::string> plain = {"--disable-banner", "--disable-ansi-colors", "--details-theme", "ascii"};
  std::vector<std::string> byClass = {"--select-class", "scanned.SecondTest"};
  byClass.insert(byClass.end(), plain.begin(), plain.end());
  ProcessResult result = expectSameAsJavaExe(exe, byClass);
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_NE(result.out.find("[         1 tests successful      ]"), std::string::npos) << describe(result);

  std::vector<std::string> none = {"--select-package", "absent", "--fail-if-no-tests"};
  none.insert(none.end(), plain.begin(), plain.end());
  result = expectSameAsJavaExe(exe, none);
  EXPECT_EQ(result.exitCode, 2) << describe(result);

  std::vector<std::string> byPackage = {"--select-package", "scanned"};
  byPackage.insert(byPackage.end(), plain.begin(), plain.end());
  const ProcessResult java = runJavaExe(byPackage);
  EXPECT_NE(java.out.find("[         0 tests found           ]"), std::string::npos) << describe(java);
  const ProcessResult linux = runOnLinux(byPackage);
  ASSERT_EQ(linux.exitCode, 0) << describe(linux);
  // In both loader modes: the launcher's loader as the system class loader,
  // and beside the application class loader.
  for (const std::string& mode : {std::string(), std::string("assystemclassloader false\r\n")}) {
    result = runPackaged(mode.empty() ? exe : packageProgram("junit-separate", mode), byPackage);
    EXPECT_EQ(result.exitCode, 0) << mode << describe(result);
    EXPECT_EQ(withoutTimings(withoutCarriageReturns(result.out)), withoutTimings(linux.out))
        << mode << describe(result);
    EXPECT_EQ(programErrors(result.err), "") << mode;
    EXPECT_NE(result.out.find("[         3 tests successful      ]"), std::string::npos) << mode << describe(result);
  }
}

// H2 runs a script on a database that it writes into the working folder
// and shows the results, until a statement fails: then the uncaught
// exception's trace, the same frames as java.exe's, and exit code 1.
TEST_F(RealRuntimeApplications, H2RunsAScriptUntilAStatementFails) {
  use({"org.h2.tools.RunScript", {debianJar("h2")}});
  if (IsSkipped()) return;
  const std::string exe = packageProgram("h2");
  writeFile(dir_.file("shop.sql"),
            "create table item(id int primary key, name varchar(20));\n"
            "insert into item values (1, 'one'), (2, 'two'), (3, 'three');\n"
            "select name from item where id > 1 order by id;\n"
            "select count(*) from item;\n"
            "select * from missing;\n"
            "select 'never';\n");
  // Each run writes its own database, in a folder of its own.
  const auto arguments = [](const std::string& folder) {
    return std::vector<std::string>{
        "-url", "jdbc:h2:./" + folder + "/shop", "-user", "sa", "-script", "shop.sql", "-showResults"};
  };
  const ProcessResult packaged = runPackaged(exe, arguments("packaged"));
  const ProcessResult java = runJavaExe(arguments("java"));
  EXPECT_EQ(packaged.exitCode, 1) << describe(packaged);
  EXPECT_EQ(packaged.exitCode, java.exitCode) << describe(java);
  EXPECT_EQ(packaged.out, java.out) << describe(packaged) << describe(java);
  EXPECT_EQ(programErrors(packaged.err), programErrors(java.err));
  EXPECT_NE(withoutCarriageReturns(packaged.out).find("--> two\n--> three\n"), std::string::npos) << describe(packaged);
  EXPECT_EQ(packaged.out.find("never"), std::string::npos);
  EXPECT_NE(packaged.err.find("Exception in thread \"main\" org.h2.jdbc.JdbcSQLSyntaxErrorException: Table "
                              "\"MISSING\" not found"),
            std::string::npos)
      << describe(packaged);
  EXPECT_TRUE(std::filesystem::exists(dir_.file("packaged/shop.mv.db")));
}

// Clojure's compiled core from the nested jar, its source read as a
// resource, spec from another jar, lines read from standard input, and an
// exit code of the program's own.
TEST_F(RealRuntimeApplications, ClojureEvaluatesAndExitsWithItsCode) {
  use({"clojure.main", {debianJar("clojure"), debianJar("spec.alpha"), debianJar("core.specs.alpha")}});
  if (IsSkipped()) return;
  const std::string exe = packageProgram("clojure");
  const ProcessResult result = expectSameAsJavaExe(
      exe,
      {"-e",
       "(println (reduce + (map inc (range 10))))"
       " (println (count (slurp (clojure.java.io/resource \"clojure/core.clj\"))))"
       " (println (.getName (class (first (clojure.spec.alpha/conform (clojure.spec.alpha/* int?) [1 2])))))"
       " (println (count (line-seq (java.io.BufferedReader. *in*))))"
       " (binding [*out* *err*] (println \"to standard error\"))"
       " (System/exit 3)"},
      "first\nsecond\nthird\n");
  EXPECT_EQ(result.exitCode, 3) << describe(result);
  EXPECT_EQ(withoutCarriageReturns(result.out).substr(0, 3), "55\n") << describe(result);
  EXPECT_NE(withoutCarriageReturns(result.out).find("\n3\n"), std::string::npos) << describe(result);
  EXPECT_EQ(withoutCarriageReturns(programErrors(result.err)), "to standard error\n") << describe(result);
}

// Checkstyle names its version like java.exe does. Its audit needs
// java.beans, which this runtime leaves out (no java.desktop module): both
// fail alike there, the same exceptions and exit code 1.
TEST_F(RealRuntimeApplications, CheckstyleVersionAndAuditWithoutJavaBeans) {
  // The jars that Debian's checkstyle command puts on its class path.
  Program checkstyle = {"com.puppycrawl.tools.checkstyle.Main", {}};
  for (const char* jar :
       {"checkstyle", "antlr", "antlr4-runtime", "commons-beanutils", "commons-collections3", "commons-lang3",
        "commons-logging", "commons-cli", "guava", "picocli", "Saxon-HE", "reflections"}) {
    checkstyle.classPath.push_back(debianJar(jar));
  }
  use(checkstyle);
  if (IsSkipped()) return;
  const std::string exe = packageProgram("checkstyle");
  ProcessResult result = expectSameAsJavaExe(exe, {"-V"});
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(withoutCarriageReturns(result.out), "Checkstyle version: 8.36.1\n") << describe(result);

  writeFile(dir_.file("Sample.java"), "public class Sample {\n    public int x;\n}\n");
  const std::vector<std::string> audit = {"-c", "/sun_checks.xml", "Sample.java"};
  result = runPackaged(exe, audit);
  const ProcessResult java = runJavaExe(audit);
  EXPECT_EQ(java.exitCode, 1) << describe(java);
  EXPECT_EQ(result.exitCode, java.exitCode) << describe(result);
  EXPECT_EQ(result.out, java.out);
  EXPECT_EQ(exceptionMessages(result.err), exceptionMessages(java.err)) << describe(result);
  EXPECT_NE(result.err.find("Exception in thread \"main\" java.lang.NoClassDefFoundError: "
                            "java/beans/IntrospectionException"),
            std::string::npos)
      << describe(result);
}

// Log4j's API reads its simple logger's configuration from the class path
// (a resource of the payload; a folder for java.exe) and names the caller
// that it finds by walking the stack with its Java 9 classes. Log4j's core
// needs java.beans, which this runtime lacks: with its XML configuration it
// fails as it does under java.exe.
TEST_F(RealRuntimeApplications, Log4jConfiguredFromTheClassPath) {
  writeFile(dir_.file("simple/log4j2.simplelog.properties"),
            "org.apache.logging.log4j.simplelog.logFile=system.out\n"
            "org.apache.logging.log4j.simplelog.showlogname=true\n"
            "org.apache.logging.log4j.simplelog.showShortLogname=false\n");
  const std::string compat = std::string(XOQ_BUILD_DIR) + "/test-apps/compat/compat.jar";
  use({"compat.Main", {dir_.file("simple"), compat, debianJar("log4j-api")}, {"compat.checks=log4j"}});
  if (IsSkipped()) return;
  ProcessResult result = expectSameAsJavaExe(packageProgram("log4j-api"), {});
  EXPECT_EQ(result.exitCode, 0) << describe(result);
  EXPECT_EQ(withoutCarriageReturns(result.out),
            "ERROR compat.Libraries hello from log4j\nlog4j.logger=compat.Libraries\n")
      << describe(result);

  writeFile(dir_.file("core/log4j2.xml"),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<Configuration status=\"warn\">\n"
            "  <Appenders>\n"
            "    <Console name=\"out\" target=\"SYSTEM_OUT\">\n"
            "      <PatternLayout pattern=\"configured %-5level %c{1} from %C{1}.%M: %msg%n\"/>\n"
            "    </Console>\n"
            "  </Appenders>\n"
            "  <Loggers>\n"
            "    <Root level=\"info\"><AppenderRef ref=\"out\"/></Root>\n"
            "  </Loggers>\n"
            "</Configuration>\n");
  use({"compat.Main",
       {dir_.file("core"), compat, debianJar("log4j-api"), debianJar("log4j-core")},
       {"compat.checks=log4j"}});
  if (IsSkipped()) return;
  const std::string exe = packageProgram("log4j-core");
  result = runPackaged(exe, {});
  const ProcessResult java = runJavaExe({});
  EXPECT_EQ(java.exitCode, 1) << describe(java);
  EXPECT_EQ(result.exitCode, java.exitCode) << describe(result);
  EXPECT_EQ(result.out, java.out);
  EXPECT_EQ(exceptionMessages(result.err), exceptionMessages(java.err)) << describe(result);
  EXPECT_NE(result.err.find("Caused by: java.lang.NoClassDefFoundError: java/beans/PropertyChangeEvent"),
            std::string::npos)
      << describe(result);
}

}  // namespace
}  // namespace testing
}  // namespace xoq
