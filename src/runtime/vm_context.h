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
  std::vector<int32_t> optionOffsets;   // start of each option in optionText
  std::string optionText;               // the options, each followed by a NUL
  void* library = nullptr;              // the loaded runtime library, or null
  JavaVM* vm = nullptr;                 // the created virtual machine, or null
  JNIEnv* env = nullptr;                // the launch thread's environment
  bool mainThrew = false;               // an exception escaped the application's main
  bool launcherBindsNatives = false;    // the support classes ask the launcher for their natives
  bool launcherDefinesSupport = false;  // the launcher defines the start's support classes itself
  // Handed to the virtual machine as its "exit" hook when set: called when
  // System.exit or Runtime.halt ends the process.
  void(JNICALL* exitHook)(jint status) = nullptr;
};

/// Appends one option for the virtual machine's creation.
void addVmOption(VmContext& context, const std::string& text);

/// Loads the library at `libraryPath` and creates the virtual machine with
/// the collected options (which are emptied, whatever happens). Returns 0,
/// 2 when the library does not load or has no creation entry point (the
/// loader's reason is printed to standard error), or 4 when creation fails.
int createVm(VmContext& context, const std::string& libraryPath);

/// Prints the system's reason for the last failed load of `libraryPath` to
/// standard error.
void reportLibraryLoadError(const std::string& libraryPath);

/// The running virtual machine's `java.version` into `out` (left empty when
/// the property is null). Returns 1, or 0 when there is no environment or
/// System.getProperty cannot be found.
int queryJavaVersion(VmContext& context, std::string& out);

/// Checks `version` against the bounds, comparing only the fields both
/// texts have: 0, 6 when below `minjre`, 12 when above `maxjre`.
int checkVersionRange(const std::string& version, const std::string& minjre, const std::string& maxjre);

/// Detaches, destroys the virtual machine (waiting for the application's
/// non-daemon threads) and unloads the library. Safe to call more than once.
void releaseVm(VmContext& context);

/// If an exception is pending: describes it when `describe` is set, clears
/// it and returns 1. Returns 0 otherwise.
int clearPendingException(JNIEnv* env, bool describe);

/// The process's virtual machine context, for the natives that the virtual
/// machine calls on its own threads. Set and cleared as theConfig is.
extern VmContext* theVm;

}  // namespace xoq

#endif  // XOQ_RUNTIME_VM_CONTEXT_H_
