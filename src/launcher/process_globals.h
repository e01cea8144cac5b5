// The three process-wide pointers through which every part of the launcher,
// and every native the virtual machine calls on its own threads, reaches the
// records of the entry routine. They are set on the main thread before any
// other thread starts; theConfig and theVm are cleared only after the launch
// thread has ended, so no lock guards them.
#ifndef XOQ_LAUNCHER_PROCESS_GLOBALS_H_
#define XOQ_LAUNCHER_PROCESS_GLOBALS_H_

namespace xoq {

class ConfigStore;
class InstanceRegistry;
struct VmContext;

extern ConfigStore* theConfig;
extern VmContext* theVm;
extern InstanceRegistry* theInstances;

}  // namespace xoq

#endif  // XOQ_LAUNCHER_PROCESS_GLOBALS_H_
