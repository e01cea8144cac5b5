#include "runtime/main_class.h"

#include <gtest/gtest.h>

#include "runtime/vm_context.h"

namespace xoq {
namespace {

// The end of a run, on both launchers: what the process exits with once the
// virtual machine has ended.
TEST(ExitCode, AnExceptionFromMainEndsWithOneAsJavaDoes) {
  VmContext returned;
  EXPECT_EQ(exitCodeAfterMain(returned, 0), 0u);
  VmContext threw;
  threw.mainThrew = true;
  EXPECT_EQ(exitCodeAfterMain(threw, 0), 1u);
  // A launch that failed before main keeps its message's code.
  for (const uint32_t failure : {1u, 4u, 7u, 8u}) {
    EXPECT_EQ(exitCodeAfterMain(returned, failure), failure);
    EXPECT_EQ(exitCodeAfterMain(threw, failure), failure);
  }
}

}  // namespace
}  // namespace xoq
