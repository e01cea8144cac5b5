// Finding a Java runtime: the configured search methods, in the configured
// order, each ending in the path of one virtual machine library.
#ifndef XOQ_RUNTIME_RUNTIME_SEARCH_H_
#define XOQ_RUNTIME_RUNTIME_SEARCH_H_

#include <string>

namespace xoq {

class ConfigStore;

/// The search order: `jre_order` lower-cased, or "cbsie" when it holds none
/// of the method letters (c, b, s, i, e, and j, v, w, f).
std::string runtimeSearchOrder(const std::string& jreOrder);

/// The path of a virtual machine library below `directory`, trying the
/// runtime subdirectories in order and, in each, the library itself, the
/// preferred virtual machine's subdirectory (`preferredVm` of more than one
/// character) and then every subdirectory in the order the system lists
/// them. Empty when there is none.
std::string locateJvmInDirectory(const std::string& directory, const std::string& preferredVm);

/// Method e: `JRE_HOME`, then `JAVA_HOME`, each when set and not empty.
std::string findRuntimeFromEnvironment(ConfigStore& config);

/// Runs the search methods of `config` in order; the first library found
/// wins. Empty when no method finds one.
std::string searchJvmLibrary(ConfigStore& config);

/// The process's runtime search: runs `searchJvmLibrary` on `theConfig`
/// once and returns that same result on every later call.
std::string findJvmLibrary();

}  // namespace xoq

#endif  // XOQ_RUNTIME_RUNTIME_SEARCH_H_
