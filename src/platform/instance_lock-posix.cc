#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/instance_lock.h"
#include "platform/platform.h"
#include "platform/shared_object.h"

namespace xoq {
namespace platform {

InstanceLockResult acquireInstanceLock(const std::string& executablePath, int waitMillis, unsigned long& error) {
  std::string reason;
  const int fd = openUserSharedObject(sharedObjectName(executablePath, ".lock"), reason);
  if (fd < 0) {
    error = static_cast<unsigned long>(errno);
    return InstanceLockResult::kCreationFailed;
  }
  // The descriptor stays open until the process ends, and with it the lock;
  // the kernel drops both however the process ends. It is close-on-exec, so
  // no program this one starts inherits the lock.
  const uint64_t deadline = monotonicMillis() + static_cast<uint64_t>(waitMillis);
  for (;;) {
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) return InstanceLockResult::kAcquired;
    if (errno != EWOULDBLOCK && errno != EINTR) {
      error = static_cast<unsigned long>(errno);
      close(fd);
      return InstanceLockResult::kCreationFailed;
    }
    if (monotonicMillis() >= deadline) break;
    usleep(5000);
  }
  close(fd);
  return InstanceLockResult::kHeldElsewhere;
}

}  // namespace platform
}  // namespace xoq
