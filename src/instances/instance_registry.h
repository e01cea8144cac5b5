// The registry of running instances of the same executable. The entry routine
// owns one per process and publishes it as theInstances; it holds nothing
// until instance messaging is built.
#ifndef XOQ_INSTANCES_INSTANCE_REGISTRY_H_
#define XOQ_INSTANCES_INSTANCE_REGISTRY_H_

namespace xoq {

class InstanceRegistry {};

}  // namespace xoq

#endif  // XOQ_INSTANCES_INSTANCE_REGISTRY_H_
