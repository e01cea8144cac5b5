#include "instances/single_instance.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "config/config_store.h"
#include "instances/instance_registry.h"
#include "instances/receiver_holder.h"
#include "launcher/messages.h"
#include "launcher/trace.h"
#include "platform/instance_lock.h"

namespace xoq {

namespace {

// The instance lock is waited for this long, so that a copy that is just
// ending does not turn the next one away.
constexpr int kInstanceLockWaitMillis = 100;

[[noreturn]] void refuse() {
  const int id = static_cast<int>(MessageId::AlreadyRunning);
  showFatalMessage(loadMessage(id));
  exit(exitCodeFor(id));
}

}  // namespace

void applySingleInstance(const ConfigStore& config, InstanceRegistry& instances) {
  const std::string mode = config.singleInstance();
  if (isConfigWord(mode, "true")) {
    unsigned long error = 0;
    const platform::InstanceLockResult result =
        platform::acquireInstanceLock(config.executablePath(), kInstanceLockWaitMillis, error);
    if (result == platform::InstanceLockResult::kCreationFailed) {
      printf("CreateMutex error: %d\n", static_cast<int>(error));
      fflush(stdout);
      trace("single instance: the instance lock cannot be made (error %lu)", error);
      refuse();
    }
    if (result == platform::InstanceLockResult::kHeldElsewhere) {
      trace("single instance: another instance is running");
      refuse();
    }
    trace("single instance: this is the only instance");
  } else if (isConfigWord(mode, "custom")) {
    instances.startInstanceTransport(&theReceiverHolder());
  } else {
    trace("single instance: not checked");
  }
}

}  // namespace xoq
