// The real Windows Java runtime that the Windows end-to-end tests run under
// Wine: the OpenJDK 11.0.2 image that scripts/windows-runtime.sh fetches
// into a cache outside the build tree.
#ifndef XOQ_TESTS_SUPPORT_WINDOWS_RUNTIME_H_
#define XOQ_TESTS_SUPPORT_WINDOWS_RUNTIME_H_

#include <gtest/gtest.h>

#include <string>

namespace xoq {
namespace testing {

/// The runtime's folder (a Linux path), or empty when the script could not
/// fetch it. Looked for where the script puts it: XOQ_TEST_CACHE, else
/// $XDG_CACHE_HOME/xoq-tests, else ~/.cache/xoq-tests.
std::string windowsRuntimeHome();

/// The runtime's version as its release file names it ("11.0.2").
constexpr char kWindowsRuntimeVersion[] = "11.0.2";

}  // namespace testing
}  // namespace xoq

/// Skips the calling test, saying why, when the runtime is missing: a
/// missing runtime must show in the summary, never pass silently.
#define XOQ_REQUIRE_WINDOWS_RUNTIME()                                                           \
  do {                                                                                          \
    if (::xoq::testing::windowsRuntimeHome().empty()) {                                         \
      GTEST_SKIP() << "no Windows Java runtime: scripts/windows-runtime.sh could not fetch it"; \
    }                                                                                           \
  } while (false)

#endif  // XOQ_TESTS_SUPPORT_WINDOWS_RUNTIME_H_
