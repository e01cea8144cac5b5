// When no thread can be created for the launch, the launch still runs, on
// the main thread.
#include <gtest/gtest.h>

#include "support/files.h"
#include "support/packaging.h"

namespace xoq {
namespace testing {
namespace {

TEST(LaunchThread, FallsBackToTheMainThread) {
  TempDir dir;
  const std::string exe = packageExecutable(Target::kLinux, dir.file("app"), "jre_order c\r\n");
  ASSERT_FALSE(exe.empty());
  // A default thread stack of 2 TB cannot be mapped, so pthread_create
  // fails, while the main thread's stack grows on demand as usual.
  RunOptions options;
  options.shellLimits = {"-s 2000000000"};
  const ProcessResult result = runExecutable(Target::kLinux, exe, {}, options);
  EXPECT_EQ(result.exitCode, 1) << result.err;
  EXPECT_TRUE(traced(result, "launch thread could not be started; launching on the main thread")) << result.err;
  EXPECT_TRUE(traced(result, "exit code 1")) << result.err;
}

}  // namespace
}  // namespace testing
}  // namespace xoq
