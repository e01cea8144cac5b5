#include "support/registry_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace xoq {
namespace testing {

RegistryLock::RegistryLock() {
  fd_ = open(XOQ_BUILD_DIR "/wine-registry.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd_ >= 0) flock(fd_, LOCK_EX);
}

RegistryLock::~RegistryLock() {
  if (fd_ < 0) return;
  flock(fd_, LOCK_UN);
  close(fd_);
}

}  // namespace testing
}  // namespace xoq
