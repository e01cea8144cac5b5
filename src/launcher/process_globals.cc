#include "launcher/process_globals.h"

namespace xoq {

ConfigStore* theConfig = nullptr;
VmContext* theVm = nullptr;
InstanceRegistry* theInstances = nullptr;

}  // namespace xoq
