// The `singleinstance` start-up step: "true" refuses a second running copy
// of the same executable path before any Java runtime is loaded; "custom"
// starts the instance transport so that the copies can message each other.
#ifndef XOQ_INSTANCES_SINGLE_INSTANCE_H_
#define XOQ_INSTANCES_SINGLE_INSTANCE_H_

namespace xoq {

class ConfigStore;
class InstanceRegistry;

/// Runs the step. Returns false when this copy must not run: another
/// instance holds the instance lock, or the lock cannot be made
/// ("CreateMutex error: %d" on standard output). The caller then shows
/// message 13 and ends the process with exit code 11.
bool applySingleInstance(const ConfigStore& config, InstanceRegistry& instances);

}  // namespace xoq

#endif  // XOQ_INSTANCES_SINGLE_INSTANCE_H_
