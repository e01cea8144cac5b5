// The Windows tests that register Java runtimes write the same keys of the
// shared Wine prefix (HKLM\SOFTWARE\JavaSoft\...) and remove them when done;
// ctest runs tests side by side, so such tests take turns.
#ifndef XOQ_TESTS_SUPPORT_REGISTRY_LOCK_H_
#define XOQ_TESTS_SUPPORT_REGISTRY_LOCK_H_

namespace xoq {
namespace testing {

class RegistryLock {
 public:
  /// Waits until no other test holds the registry (an exclusive lock on a
  /// file of the build folder, dropped by the system if the test dies).
  RegistryLock();
  ~RegistryLock();
  RegistryLock(const RegistryLock&) = delete;
  RegistryLock& operator=(const RegistryLock&) = delete;

 private:
  int fd_ = -1;
};

}  // namespace testing
}  // namespace xoq

#endif  // XOQ_TESTS_SUPPORT_REGISTRY_LOCK_H_
