#include "splash/runtime_splash.h"

#include <gtest/gtest.h>

#include <string>

namespace xoq {
namespace {

TEST(SplashLibraryPath, IsTheParentOfTheVirtualMachineLibrarysFolder) {
  const std::string name = kSplashLibraryName;
  // A runtime whose library lies in bin\server uses the library in bin.
  EXPECT_EQ(splashLibraryBeside("C:\\jre\\bin\\server\\jvm.dll"), "C:\\jre\\bin\\server\\../" + name);
  EXPECT_EQ(splashLibraryBeside("C:\\jre\\bin\\client/jvm.dll"), "C:\\jre\\bin\\client/../" + name);
  EXPECT_EQ(splashLibraryBeside("/opt/jdk/lib/server/libjvm.so"), "/opt/jdk/lib/server/../" + name);
  // No separator at all: the whole path is dropped.
  EXPECT_EQ(splashLibraryBeside("jvm.dll"), "../" + name);
}

}  // namespace
}  // namespace xoq
