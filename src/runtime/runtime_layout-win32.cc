#include <string>

#include "base/trace.h"
#include "config/config_store.h"
#include "platform/platform.h"
#include "runtime/runtime_layout.h"
#include "runtime/runtime_search.h"

namespace xoq {

const char kJvmLibraryName[] = "jvm.dll";

const char kClassPathSeparator[] = ";";

const std::vector<std::string>& runtimeSubdirectories() {
  // "..\jre\bin\" lets a development kit's bin directory reach the kit's
  // own runtime.
  static const std::vector<std::string> list = {"", "bin\\", "jre\\bin\\", "..\\jre\\bin\\"};
  return list;
}

namespace {

// A string value as the registry holds it, without its terminating NULs.
bool readString(const std::string& keyPath, const char* name, std::string& value) {
  platform::RegistryValue raw;
  if (!platform::readRegistryValue(platform::RegistryRoot::kLocalMachine, keyPath, name, raw)) return false;
  if (raw.type != platform::kRegistryString && raw.type != platform::kRegistryExpandString) return false;
  value = raw.data;
  const size_t end = value.find('\0');
  if (end != std::string::npos) value.resize(end);
  return true;
}

// Cuts `path` after its last separator; a separator at the very start does
// not cut.
std::string parentOf(const std::string& path) {
  const size_t separator = path.find_last_of("\\/");
  if (separator == std::string::npos || separator == 0) return path;
  return path.substr(0, separator);
}

}  // namespace

std::string readRegistryRuntime(const char* keyPath, ConfigStore& config) {
  std::string version;
  if (!readString(keyPath, "CurrentVersion", version)) {
    trace("runtime method registry %s: no CurrentVersion", keyPath);
    return std::string();
  }
  const std::string versionKey = std::string(keyPath) + "\\" + version;
  std::string library;
  if (readString(versionKey, "RuntimeLib", library)) {
    if (platform::exists(library) && config.preferredVmName().size() <= 1) {
      trace("runtime method registry %s: RuntimeLib %s", versionKey.c_str(), library.c_str());
      return library;
    }
    // The library's directory is a virtual machine subdirectory of bin:
    // search bin, so that the preferred virtual machine is found there.
    const std::string bin = parentOf(parentOf(library));
    trace("runtime method registry %s: RuntimeLib %s, searching %s", versionKey.c_str(), library.c_str(), bin.c_str());
    return locateJvmInDirectory(bin, config.preferredVmName());
  }
  std::string home;
  if (readString(versionKey, "JavaHome", home)) {
    trace("runtime method registry %s: JavaHome %s", versionKey.c_str(), home.c_str());
    return locateJvmInDirectory(home, config.preferredVmName());
  }
  trace("runtime method registry %s: neither RuntimeLib nor JavaHome", versionKey.c_str());
  return std::string();
}

}  // namespace xoq
