// Runtimes that nothing registers: the one behind the `java` command that
// the user's PATH finds (method w) and those in the folders where installers
// and package managers put them (method f). Zip installs, winget, scoop,
// Chocolatey and SDKMAN leave nothing else.
#ifndef XOQ_RUNTIME_INSTALLED_RUNTIMES_H_
#define XOQ_RUNTIME_INSTALLED_RUNTIMES_H_

#include <string>

namespace xoq {

class ConfigStore;

/// Method w: for each folder of PATH that holds the Java launcher, the
/// runtime around it: the launcher with its links resolved (/usr/bin/java
/// through /etc/alternatives) must sit in a folder named bin, whose parent
/// is the runtime; a launcher anywhere else only hands on to another runtime
/// (Oracle's Common Files\Oracle\Java\javapath) and is passed over. The
/// newest runtime that the bounds accept.
std::string findRuntimeOnPath(ConfigStore& config);

/// Method f: every runtime folder in the usual install folders
/// (usualInstallFolders); the newest that the bounds accept.
std::string findRuntimeInInstallFolders(ConfigStore& config);

}  // namespace xoq

#endif  // XOQ_RUNTIME_INSTALLED_RUNTIMES_H_
