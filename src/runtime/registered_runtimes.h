// Runtimes that installers write into the registry: the version keys that
// methods s and i read, and the keys that today's installers write, which
// methods j (JavaSoft's newer keys) and v (the vendors' own keys) read.
#ifndef XOQ_RUNTIME_REGISTERED_RUNTIMES_H_
#define XOQ_RUNTIME_REGISTERED_RUNTIMES_H_

#include <string>

#include "platform/platform.h"

namespace xoq {

class ConfigStore;

/// The string value `name` of `keyPath` under `root` (REG_SZ or
/// REG_EXPAND_SZ, as stored), without its terminating NULs; false when the
/// key, the value or a string is missing.
bool readRegistryString(platform::RegistryRoot root, const std::string& keyPath, const char* name, std::string& value);

/// The library that the JavaSoft-style version key `versionKey` (under
/// HKEY_LOCAL_MACHINE) names: its "RuntimeLib" as it stands when that file
/// exists and no virtual machine is preferred, else the runtime's bin folder
/// two levels above it searched; without "RuntimeLib", its "JavaHome"
/// searched. Empty when neither value leads to a library.
std::string readRegisteredVersion(const std::string& versionKey, ConfigStore& config);

/// Method j: the runtimes registered under HKEY_LOCAL_MACHINE in
/// SOFTWARE\JavaSoft\JDK and \JRE (Java 9 and later) and \Java Development
/// Kit (development kits up to Java 8), every version key of each, read as
/// readRegisteredVersion reads them; the newest that the bounds accept.
std::string findJavaSoftRuntimes(ConfigStore& config);

/// Method v: the runtimes that installers register under their own keys,
/// machine-wide (HKEY_LOCAL_MACHINE) and per user (HKEY_CURRENT_USER): the
/// MSI installers built from Eclipse Adoptium's (Eclipse Adoptium,
/// AdoptOpenJDK, Eclipse Foundation, Microsoft, Semeru: the value Path of
/// <vendor>\{JDK,JRE}\<version>\<vm>\MSI, or of <version>\MSI), Azul Zulu
/// and BellSoft Liberica (the value InstallationPath of <vendor>\<name>);
/// the newest that the bounds accept.
std::string findVendorRuntimes(ConfigStore& config);

}  // namespace xoq

#endif  // XOQ_RUNTIME_REGISTERED_RUNTIMES_H_
