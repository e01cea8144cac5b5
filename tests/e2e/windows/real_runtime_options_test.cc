// What the configuration and the command line hand to Java on Windows with
// the real runtime: options, exported environment variables and property
// values; wildcard arguments as a batch file passes them; arguments and
// paths with characters beyond ASCII, with and without --utf8-code-page,
// against what this runtime's java.exe makes of the same arguments. The
// probe is tests/apps/probe.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "e2e/windows/real_runtime.h"

namespace xoq {
namespace testing {
namespace {

// Grüße, 日本 (outside Windows-1252), naïve café, in UTF-8.
const char kGreeting[] =
    "Gr\xC3\xBC\xC3\x9F"
    "e";
const char kJapan[] = "\xE6\x97\xA5\xE6\x9C\xAC";
const char kCafe[] = "na\xC3\xAFve caf\xC3\xA9";

class RealRuntimeOptions : public RealRuntime {
 protected:
  std::string probe(Target target, const std::string& path, const std::string& config,
                    const std::vector<std::string>& more = {}) {
    std::vector<std::string> arguments = {"--add-tree", testAppClasses("probe")};
    arguments.insert(arguments.end(), more.begin(), more.end());
    const std::string exe = packageWith(target, path, "jre_order e\r\nmainclass probe.Probe\r\n" + config, arguments);
    EXPECT_FALSE(exe.empty()) << path;
    return exe;
  }

  // Wine takes the ANSI code page from the Unix locale: Windows-1252 in the
  // C locale, whatever the developer's LANG.
  RunOptions inCLocale() const {
    RunOptions runOptions = options();
    runOptions.setEnv["LC_ALL"] = "C.UTF-8";
    return runOptions;
  }

  static std::vector<std::string> arguments(const ProcessResult& result) {
    std::map<std::string, std::string> seen = values(result);
    std::vector<std::string> found;
    for (int i = 0; i < std::stoi(seen["args"].empty() ? "0" : seen["args"]); ++i) {
      found.push_back(seen["arg" + std::to_string(i)]);
    }
    return found;
  }
};

TEST_F(RealRuntimeOptions, OptionsPropertiesAndExportsArriveInJava) {
  const std::string exe = probe(Target::kWindowsConsole, dir_.file("app.exe"),
                                "option -Dspaced=a b\r\n"
                                "option -Dboth=from-option\r\n"
                                "property probe.props=spaced,both,a,flag,utf,q,emoji\r\n"
                                "property emoji=\xF0\x9F\x98\x80 smile\r\n"
                                "property both=from-property\r\n"
                                "property a=b=c\r\n"
                                "property flag\r\n"
                                "property utf=caf\xC3\xA9 \xE2\x82\xAC\r\n"
                                "property q=%APPLICATION_HOME%x\r\n"
                                "export PROBE_VAR=hello %APPLICATION_HOME%\r\n"
                                "export JAVA_HOME=C:\\nowhere\r\n"
                                "export REMOVED=\r\n"
                                "property probe.env=PROBE_VAR,JAVA_HOME,REMOVED\r\n");
  RunOptions runOptions = options();
  runOptions.setEnv["REMOVED"] = "was set";
  const ProcessResult result = run(Target::kWindowsConsole, exe, {}, runOptions);
  ASSERT_EQ(result.exitCode, 0) << describe(result);
  std::map<std::string, std::string> seen = values(result);
  EXPECT_EQ(seen["prop.spaced"], "a b");  // one option, blank and all
  EXPECT_EQ(seen["prop.both"], "from-property");
  EXPECT_EQ(seen["prop.a"], "b=c");
  EXPECT_EQ(seen["prop.flag"], "");
  EXPECT_EQ(seen["prop.utf"], "caf\xC3\xA9 \xE2\x82\xAC");
  EXPECT_EQ(seen["prop.emoji"], "\xF0\x9F\x98\x80 smile");
  EXPECT_EQ(seen["prop.q"], win("x"));
  // Exports reach the application, not the runtime search before them.
  EXPECT_EQ(seen["env.PROBE_VAR"], "hello " + win(""));
  EXPECT_EQ(seen["env.JAVA_HOME"], "C:\\nowhere");
  EXPECT_EQ(seen["java.home"], javaHome());
  EXPECT_EQ(seen["env.REMOVED"], "null");
  // The launcher's own properties.
  EXPECT_EQ(seen["xoq.app.path"], win("app.exe"));
  EXPECT_EQ(seen["application.home"], win(""));
  EXPECT_EQ(seen["java.class.path"], win("app.exe"));
  EXPECT_EQ(seen["java.system.class.loader"], "com.tarvolin.xoq.HolvaneClassLoader");
}

// As a user types it into a console or a script: the quoted pattern stays
// a pattern unless wildcard says all.
TEST_F(RealRuntimeOptions, WildcardArgumentsAsABatchFilePassesThem) {
  for (const char* name : {"work/a.txt", "work/b.txt", "work/c.log", "work/src/x/A.java", "work/src/y/B.java"}) {
    writeFile(dir_.file(name), "x");
  }
  writeFile(dir_.file("work/run.bat"), "@app.exe *.txt \"*.log\" *.none src\\*\\*.java\r\n");
  RunOptions inWork = options();
  inWork.workingDirectory = dir_.file("work");
  const auto launch = [&](const std::string& mode) {
    probe(Target::kWindowsConsole, dir_.file("work/app.exe"), "wildcard " + mode + "\r\n");
    return runProcess({XOQ_WINE_PROGRAM, "cmd", "/c", "run.bat"}, inWork);
  };
  const ProcessResult some = launch("true");
  ASSERT_EQ(some.exitCode, 0) << describe(some);
  std::vector<std::string> got = arguments(some);
  ASSERT_EQ(got.size(), 6u) << describe(some);
  // Matches come in the directory search's order.
  std::sort(got.begin(), got.begin() + 2);
  std::sort(got.begin() + 4, got.end());
  EXPECT_EQ(got, (std::vector<std::string>{"a.txt", "b.txt", "*.log", "*.none", "src\\x\\A.java", "src\\y\\B.java"}));

  const ProcessResult all = launch("ALL");
  ASSERT_EQ(all.exitCode, 0) << describe(all);
  got = arguments(all);
  ASSERT_EQ(got.size(), 6u) << describe(all);
  EXPECT_EQ(got[2], "c.log");
}

TEST_F(RealRuntimeOptions, NonAsciiArgumentsAsJavaExeGetsThem) {
  const std::vector<std::string> texts = {kGreeting, kJapan, kCafe};
  const RunOptions cLocale = inCLocale();
  const ProcessResult legacy =
      run(Target::kWindowsConsole, probe(Target::kWindowsConsole, dir_.file("legacy.exe"), ""), texts, cLocale);
  ASSERT_EQ(legacy.exitCode, 0) << describe(legacy);
  RunOptions javaOptions = cLocale;
  const ProcessResult java =
      javaExe({"-cp", launcherPath(Target::kWindows, testAppClasses("probe")), "probe.Probe", kGreeting, kJapan, kCafe},
              javaOptions);
  ASSERT_EQ(java.exitCode, 0) << describe(java);
  // In the Windows-1252 code page both keep what it holds and lose the
  // rest alike.
  EXPECT_EQ(arguments(legacy), arguments(java));
  EXPECT_EQ(arguments(legacy)[0], kGreeting);
  EXPECT_EQ(arguments(legacy)[2], kCafe);
  EXPECT_NE(arguments(legacy)[1], kJapan);

  // With the UTF-8 code page every character arrives.
  const ProcessResult utf8 =
      run(Target::kWindowsConsole, probe(Target::kWindowsConsole, dir_.file("utf8.exe"), "", {"--utf8-code-page"}),
          texts, cLocale);
  ASSERT_EQ(utf8.exitCode, 0) << describe(utf8);
  EXPECT_EQ(arguments(utf8), texts);
}

// The program's own path reaches Java in its system properties. A runtime
// before 18 reads those in the system locale's legacy code page (here
// Windows-1252) even where the program's code page is UTF-8: the launcher
// gives them in that code page, and a path that holds characters beyond it
// by its short name.
TEST_F(RealRuntimeOptions, NonAsciiPathsOfTheProgram) {
  const RunOptions cLocale = inCLocale();
  const std::string greeting = dir_.file(std::string(kGreeting) + "/app.exe");
  const std::string greetingUtf8 = dir_.file(std::string(kGreeting) + "/utf8.exe");
  const std::string japan = dir_.file(std::string(kJapan) + " " + kGreeting + "/app.exe");
  std::filesystem::create_directories(dir_.file(kGreeting));
  std::filesystem::create_directories(std::filesystem::path(japan).parent_path());
  for (const std::string& exe : {greeting, greetingUtf8, japan}) {
    SCOPED_TRACE(exe);
    const bool utf8 = exe != greeting;
    const ProcessResult result =
        run(Target::kWindowsConsole,
            probe(Target::kWindowsConsole, exe, "",
                  utf8 ? std::vector<std::string>{"--utf8-code-page"} : std::vector<std::string>{}),
            {}, cLocale);
    ASSERT_EQ(result.exitCode, 0) << describe(result);
    std::map<std::string, std::string> seen = values(result);
    EXPECT_EQ(seen["xoq.app.path.canonical"], launcherPath(Target::kWindows, exe)) << describe(result);
    EXPECT_EQ(seen["main"], "returned");
    // Where the code page holds the path, it arrives as it is.
    if (exe != japan) {
      EXPECT_EQ(seen["xoq.app.path"], launcherPath(Target::kWindows, exe));
      EXPECT_EQ(seen["java.class.path"], launcherPath(Target::kWindows, exe));
    }
  }
}

}  // namespace
}  // namespace testing
}  // namespace xoq
