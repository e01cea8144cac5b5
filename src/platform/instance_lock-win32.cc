#include <windows.h>

#include "platform/instance_lock.h"

namespace xoq {
namespace platform {

InstanceLockResult acquireInstanceLock(const std::string& executablePath, int waitMillis, unsigned long& error) {
  // Never closed: the process keeps the mutex, and its ownership, until it
  // ends; the system then hands it on as abandoned.
  HANDLE mutex = CreateMutexA(nullptr, FALSE, instanceMutexName(executablePath).c_str());
  if (mutex == nullptr) {
    error = GetLastError();
    return InstanceLockResult::kCreationFailed;
  }
  const DWORD result = WaitForSingleObject(mutex, static_cast<DWORD>(waitMillis));
  return result == WAIT_TIMEOUT ? InstanceLockResult::kHeldElsewhere : InstanceLockResult::kAcquired;
}

}  // namespace platform
}  // namespace xoq
