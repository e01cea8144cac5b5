// The virtual machine's handles: the options collected for its creation, the
// loaded runtime library, the JavaVM and the JNIEnv of the thread that
// created it. One per process, owned by the entry routine, reached as theVm.
#ifndef XOQ_RUNTIME_VM_CONTEXT_H_
#define XOQ_RUNTIME_VM_CONTEXT_H_

#include <jni.h>

#include <cstdint>
#include <string>
#include <vector>

namespace xoq {

struct VmContext {
  std::vector<int32_t> optionOffsets;  // start of each option in optionText
  std::string optionText;              // the options, each followed by a NUL
  void* library = nullptr;             // the loaded runtime library, or null
  JavaVM* vm = nullptr;                // the created virtual machine, or null
  JNIEnv* env = nullptr;               // the launch thread's environment
};

/// Detaches, destroys the virtual machine (waiting for the application's
/// non-daemon threads) and unloads the library. Safe to call more than once.
void releaseVm(VmContext& context);

/// If an exception is pending: describes it when `describe` is set, clears
/// it and returns 1. Returns 0 otherwise.
int clearPendingException(JNIEnv* env, bool describe);

}  // namespace xoq

#endif  // XOQ_RUNTIME_VM_CONTEXT_H_
