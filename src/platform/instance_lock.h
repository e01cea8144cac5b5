// The single-instance guard's lock: held by the one running instance of an
// executable path, and given up by the system when that process ends, however
// it ends.
#ifndef XOQ_PLATFORM_INSTANCE_LOCK_H_
#define XOQ_PLATFORM_INSTANCE_LOCK_H_

#include <string>

namespace xoq {
namespace platform {

enum class InstanceLockResult {
  kAcquired,        // this process holds the lock until it ends
  kHeldElsewhere,   // another process held it for the whole wait
  kCreationFailed,  // the lock object could not be made; see `error`
};

/// Takes the instance lock of `executablePath`, waiting at most
/// `waitMillis`. Windows: the named mutex instanceMutexName(path), created
/// not owned with default security; a mutex abandoned by an ended owner
/// counts as acquired; `error` is GetLastError. Linux: an exclusive lock on
/// a file named after the user and the path (mode 0600) in the user's
/// private runtime directory or else /dev/shm (platform/shared_object.h),
/// which the kernel drops when the process ends; `error` is errno (EPERM
/// when the object belongs to another user). The handle is kept open for
/// the rest of the process, on purpose.
InstanceLockResult acquireInstanceLock(const std::string& executablePath, int waitMillis, unsigned long& error);

/// The instance mutex name of `path`: every ':' and '\' replaced by '.',
/// then ".xoq"; letter case and everything else kept. C:\Apps\tool.exe gives
/// C..Apps.tool.exe.xoq.
std::string instanceMutexName(const std::string& path);

}  // namespace platform
}  // namespace xoq

#endif  // XOQ_PLATFORM_INSTANCE_LOCK_H_
