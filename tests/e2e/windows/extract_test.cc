// A Windows program with a native library of its own, under Wine with the
// real Windows runtime: the extract key unpacks the .dll and the library it
// needs into the user's cache, System.loadLibrary finds the first through
// java.library.path (its folder first, the rest as the runtime has it) and
// the system's loader the second beside it.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/jdks.h"
#include "support/packaging.h"
#include "support/windows_runtime.h"

namespace xoq {
namespace testing {
namespace {

const Target kConsole = Target::kWindowsConsole;

TEST(WindowsExtract, NativeLibraryLoadsFromTheCacheWithTheLibraryItNeeds) {
  XOQ_REQUIRE_WINDOWS_RUNTIME();
  TempDir dir;
  const std::string native = std::string(XOQ_BUILD_DIR) + "/windows/test-apps/native/";
  const std::vector<std::string> arguments = {"--add", testAppJar("extract") + "=extract.jar",
                                              "--add", native + "xoq_answer.dll=native/xoq_answer.dll",
                                              "--add", native + "xoq_answer_part.dll=native/xoq_answer_part.dll"};
  std::vector<std::string> extracted = arguments;
  extracted.insert(extracted.end(), {"--extract", "native/*.dll"});
  const std::string config = "mainclass extract.Main\r\njre_order e\r\n";
  RunOptions options;
  options.workingDirectory = dir.path();
  options.setEnv["JAVA_HOME"] = launcherPath(kConsole, windowsRuntimeHome());
  options.unsetEnv = {"JRE_HOME"};
  options.timeoutSeconds = 240;

  const std::string exe = packageWith(kConsole, dir.file("native.exe"), config, extracted);
  ASSERT_FALSE(exe.empty());
  const ProcessResult loaded = runExecutable(kConsole, exe, {"native"}, options);
  std::map<std::string, std::string> values = parseKeyValues(withoutCarriageReturns(loaded.out));
  EXPECT_EQ(loaded.exitCode, 0) << loaded.err;
  EXPECT_EQ(values["answer"], "42") << loaded.out << loaded.err;
  const std::string path = values["library.path"];
  const std::string folder = path.substr(0, path.find(';'));
  EXPECT_NE(folder.find("\\AppData\\Local\\xoq\\files\\"), std::string::npos) << path;
  EXPECT_EQ(folder.substr(folder.size() - 7), "\\native") << path;

  // Without the key the library is not there to load; the path the runtime
  // chose then is the rest of the path above.
  const std::string plainExe = packageWith(kConsole, dir.file("plain.exe"), config, arguments);
  ASSERT_FALSE(plainExe.empty());
  const ProcessResult plain = runExecutable(kConsole, plainExe, {"native"}, options);
  EXPECT_NE(plain.exitCode, 0);
  EXPECT_NE(plain.err.find("UnsatisfiedLinkError"), std::string::npos) << plain.err;
  EXPECT_EQ(path, folder + ";" + parseKeyValues(withoutCarriageReturns(plain.out))["library.path"]);
}

}  // namespace
}  // namespace testing
}  // namespace xoq
