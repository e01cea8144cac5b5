#include "instances/single_instance.h"

#include <cstdio>
#include <string>

#include "base/trace.h"
#include "config/config_store.h"
#include "instances/instance_registry.h"
#include "instances/receiver_holder.h"
#include "platform/instance_lock.h"

namespace xoq {

namespace {

// The instance lock is waited for this long, so that a copy that is just
// ending does not turn the next one away.
constexpr int kInstanceLockWaitMillis = 100;

}  // namespace

bool applySingleInstance(const ConfigStore& config, InstanceRegistry& instances) {
  const std::string mode = config.singleInstance();
  if (isConfigWord(mode, "true")) {
    unsigned long error = 0;
    const platform::InstanceLockResult result =
        platform::acquireInstanceLock(config.executablePath(), kInstanceLockWaitMillis, error);
    if (result == platform::InstanceLockResult::kCreationFailed) {
      printf("CreateMutex error: %d\n", static_cast<int>(error));
      fflush(stdout);
      trace("single instance: the instance lock cannot be made (error %lu)", error);
      return false;
    }
    if (result == platform::InstanceLockResult::kHeldElsewhere) {
      trace("single instance: another instance is running");
      return false;
    }
    trace("single instance: this is the only instance");
  } else if (isConfigWord(mode, "custom")) {
    instances.startInstanceTransport(&theReceiverHolder());
  } else {
    trace("single instance: not checked");
  }
  return true;
}

}  // namespace xoq
