// What the virtual machine starts with: the environment exports, the
// configured options, both class paths, the launcher's own properties, the
// system class loader and the elevation flag; and, once it runs, the
// configured system properties.
#ifndef XOQ_RUNTIME_VM_OPTIONS_H_
#define XOQ_RUNTIME_VM_OPTIONS_H_

#include <jni.h>

#include <string>
#include <vector>

namespace xoq {

class ConfigStore;
struct VmContext;

/// The name of the launcher's class loader, as the runtime expects it.
constexpr char kLoaderClassName[] = "com.tarvolin.xoq.HolvaneClassLoader";

/// The system property that tells the support classes to ask the launcher
/// for their natives (archive/native_binding.h binds them), and its value.
constexpr char kNativeBindingProperty[] = "-Dxoq.natives=launcher";

/// The program's own files unpacked into the user's cache (the `extract`
/// key): jars that go on java.class.path right after the executable, and
/// the folders of native libraries that go first in java.library.path.
struct UnpackedFiles {
  std::vector<std::string> jars;
  std::vector<std::string> libraryFolders;
};

/// Puts the `export` values into the environment and adds the options, in
/// the order they reach the virtual machine.
void prepareVmOptions(VmContext& context, ConfigStore& config, const UnpackedFiles& unpacked = UnpackedFiles());

/// Sets every `property` value as a system property of the running virtual
/// machine (after creation, so they win over -D options).
void applyConfiguredProperties(JNIEnv* env, const ConfigStore& config);

}  // namespace xoq

#endif  // XOQ_RUNTIME_VM_OPTIONS_H_
