// How a Java runtime lays out its virtual machine library on this OS.
#ifndef XOQ_RUNTIME_RUNTIME_LAYOUT_H_
#define XOQ_RUNTIME_RUNTIME_LAYOUT_H_

#include <string>
#include <vector>

namespace xoq {

class ConfigStore;

/// The virtual machine library's file name: "jvm.dll" or "libjvm.so".
extern const char kJvmLibraryName[];

/// What separates class path entries for the runtime: ';' on Windows, ':'
/// on Linux (the runtime splits java.class.path at File.pathSeparator).
extern const char kClassPathSeparator[];

/// The subdirectories of a runtime directory that may hold the library or
/// the virtual machine subdirectories with it, in the order they are tried;
/// the first is the directory itself.
const std::vector<std::string>& runtimeSubdirectories();

/// The registered runtime of method s (`keyPath` is the JavaSoft key) or i
/// (the IBM key): from the registry on Windows; on Linux, which has no
/// registry, method s takes the system's default runtime and method i finds
/// nothing. Returns the library path or empty.
std::string readRegistryRuntime(const char* keyPath, ConfigStore& config);

}  // namespace xoq

#endif  // XOQ_RUNTIME_RUNTIME_LAYOUT_H_
