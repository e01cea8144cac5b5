// The console template with the real runtime: Ctrl+C ends the application
// through System.exit(0), its shutdown hooks run; and the runtime's
// libraries load without taking a library from the executable's folder.
#include <signal.h>

#include <gtest/gtest.h>

#include <string>

#include "e2e/windows/real_runtime.h"

namespace xoq {
namespace testing {
namespace {

class RealRuntimeConsole : public RealRuntime {
 protected:
  std::string probe(const std::string& name, const std::string& config) {
    return package(Target::kWindowsConsole, name, "jre_order e\r\nmainclass probe.Probe\r\n" + config,
                   {"--add-tree", testAppClasses("probe")});
  }
};

// Wine turns a SIGINT to the process into the console's Ctrl+C. The Java
// runtime's own console handler would end the application with 130; the
// launcher's comes first and ends it through System.exit(0).
TEST_F(RealRuntimeConsole, CtrlCEndsTheApplicationThroughSystemExitWithItsShutdownHooks) {
  const std::string exe = probe("app.exe", "property probe.action=hook-wait\r\n");
  RunOptions interrupted = options();
  interrupted.setEnv["XOQ_TRACE"] = "1";
  interrupted.signalWhenOutput = "waiting=yes";
  interrupted.signalNumber = SIGINT;
  const ProcessResult result = run(Target::kWindowsConsole, exe, {}, interrupted);
  EXPECT_FALSE(result.timedOut) << describe(result);
  EXPECT_EQ(result.exitCode, 0) << describe(result);
  EXPECT_NE(result.out.find("hook=ran"), std::string::npos) << describe(result);
  EXPECT_EQ(result.out.find("main=returned"), std::string::npos) << describe(result);
  EXPECT_TRUE(traced(result, "console signal handlers installed")) << describe(result);
}

// jvm.dll imports msvcr120.dll by name. A file of that name beside the
// program (as one dropped into a downloads folder would be) must not be
// loaded in its place: this one would say so and end the process. Windows
// loads a file it finds; Wine prefers its own C runtime unless told, so
// the test tells it to load a native file first, as Windows does.
TEST_F(RealRuntimeConsole, ALibraryBesideTheExecutableIsNotLoadedIntoTheRuntime) {
  const std::string exe = probe("app.exe", "");
  writeFile(dir_.file("msvcr120.dll"), readFile(std::string(XOQ_BUILD_DIR) + "/windows/standins/planted/msvcr120.dll"));
  RunOptions planted = options();
  planted.setEnv["WINEDLLOVERRIDES"] = "mscoree,mshtml=;msvcr120=n,b";
  planted.setEnv["XOQ_PLANTED_RECORD"] = win("planted.txt");
  const ProcessResult result = run(Target::kWindowsConsole, exe, {}, planted);
  EXPECT_EQ(readFile(dir_.file("planted.txt")), "") << "the planted library was loaded";
  EXPECT_EQ(result.exitCode, 0) << describe(result);
  EXPECT_EQ(values(result)["main"], "returned") << describe(result);
}

}  // namespace
}  // namespace testing
}  // namespace xoq
