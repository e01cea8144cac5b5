// The Wine prefix of the tests that register the real Windows runtime the
// way installers do. The registry of a prefix is shared by everything that
// runs in it, so these tests have one of their own, apart from the prefix
// the other Windows tests share, and take it one at a time: a lock file
// beside it, held for the whole test. Each test begins by removing every
// key the others write, so that none sees another's.
#ifndef XOQ_TESTS_E2E_WINDOWS_RUNTIME_SEARCH_PREFIX_H_
#define XOQ_TESTS_E2E_WINDOWS_RUNTIME_SEARCH_PREFIX_H_

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace xoq {
namespace testing {

/// The prefix's folder name in the build directory.
constexpr char kRuntimeSearchPrefixName[] = "wine-prefix-runtime-search";

/// The prefix's path.
inline std::string runtimeSearchPrefix() { return std::string(XOQ_BUILD_DIR) + "/" + kRuntimeSearchPrefixName; }

/// Holds the prefix for one test, waiting for the test that holds it now
/// (ctest's time limit ends a wait that never ends). The lock goes with the
/// process, also when the test dies.
class RuntimeSearchPrefixLock {
 public:
  RuntimeSearchPrefixLock() : fd_(open((runtimeSearchPrefix() + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
    while (fd_ >= 0 && flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
    }
  }
  ~RuntimeSearchPrefixLock() {
    if (fd_ >= 0) close(fd_);
  }
  RuntimeSearchPrefixLock(const RuntimeSearchPrefixLock&) = delete;
  RuntimeSearchPrefixLock& operator=(const RuntimeSearchPrefixLock&) = delete;
  bool held() const { return fd_ >= 0; }

 private:
  int fd_;
};

}  // namespace testing
}  // namespace xoq

#endif  // XOQ_TESTS_E2E_WINDOWS_RUNTIME_SEARCH_PREFIX_H_
