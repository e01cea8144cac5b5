// The Windows launchers export the natives of the support classes by their
// JNI names: the classes load the executable itself as their library.
#include <gtest/gtest.h>

#include <string>

#include "support/packaging.h"

namespace xoq {
namespace testing {
namespace {

TEST(WindowsExports, NativesAreInTheExportTable) {
  for (Target target : {Target::kWindows, Target::kWindowsConsole}) {
    RunOptions options;
    options.timeoutSeconds = 60;
    const ProcessResult dump = runProcess({"x86_64-w64-mingw32-objdump", "-p", templatePath(target)}, options);
    ASSERT_EQ(dump.exitCode, 0) << dump.err;
    const size_t start = dump.out.find("[Ordinal/Name Pointer] Table");
    ASSERT_NE(start, std::string::npos) << "no export table in " << templatePath(target);
    const std::string table = dump.out.substr(start);
    for (const char* name :
         {"Java_com_tarvolin_xoq_HolvaneClassLoader_defineClass", "Java_com_tarvolin_xoq_HolvaneClassLoader_findClass",
          "Java_com_tarvolin_xoq_HolvaneClassLoader_packageInBootLayer",
          "Java_com_tarvolin_xoq_HolvaneClassLoader_findResource",
          "Java_com_tarvolin_xoq_HolvaneClassLoader_findResources", "Java_com_tarvolin_xoq_Handler_loadResourceData",
          "Java_com_tarvolin_xoq_SplashScreen_nativeGetSplashScreen",
          "Java_com_tarvolin_xoq_SplashScreen_nativeAutoClose", "Java_com_tarvolin_xoq_SplashScreen_nativeClose",
          "Java_com_tarvolin_xoq_Handler_loadResourceInfo", "Java_com_tarvolin_xoq_Handler_listEntries",
          "Java_com_tarvolin_xoq_RedirOutputStream_write", "Java_com_tarvolin_xoq_RedirOutputStream_writeBytes",
          "Java_com_tarvolin_xoq_EventLog_init", "Java_com_tarvolin_xoq_EventLog_reportEvent",
          "Java_com_tarvolin_xoq_EventLog_finalize"}) {
      EXPECT_NE(table.find(std::string("] ") + name + "\n"), std::string::npos)
          << name << " in " << templatePath(target);
    }
  }
}

}  // namespace
}  // namespace testing
}  // namespace xoq
