// Finding a Java runtime: the configured search methods, in the configured
// order, each ending in the path of one virtual machine library.
#ifndef XOQ_RUNTIME_RUNTIME_SEARCH_H_
#define XOQ_RUNTIME_RUNTIME_SEARCH_H_

#include <string>

namespace xoq {

class ConfigStore;

/// The search order: `jre_order` lower-cased, or "cbsie" when it holds none
/// of the method letters (c, b, s, i, e, j, v, w, f, and p).
std::string runtimeSearchOrder(const std::string& jreOrder);

/// Why method p, the runtime the executable carries, could not be used:
/// the message to show (9 for a damaged executable, 14 for a cache folder
/// that cannot hold it) and, for 14, the folder and the system's reason.
/// `messageId` 0: no failure.
struct CarriedRuntimeFailure {
  int messageId = 0;
  std::string folder;
  std::string reason;
};

/// Puts the runtime the executable carries where it can be loaded from:
/// true with its folder; false when the executable carries none (`failure`
/// left alone) or when it cannot be used (`failure` says why).
using CarriedRuntimeSource = bool (*)(std::string& folder, CarriedRuntimeFailure& failure);

/// The routine behind method p. The carried runtime lies in the payload
/// archive, which this room cannot read, so the launcher hands it in;
/// without one, method p finds nothing.
void setCarriedRuntimeSource(CarriedRuntimeSource source);

/// The failure of method p in this process's search; `messageId` 0 when
/// there was none. A failure ends the search: the user is told why rather
/// than given another runtime than the one the program was made with.
const CarriedRuntimeFailure& carriedRuntimeFailure();

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
