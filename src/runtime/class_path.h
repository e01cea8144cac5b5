// The two class paths the virtual machine receives: java.class.path, which
// begins with the executable itself (its payload is a jar), and
// xoq.class.path, the launcher's class loader's own search path.
#ifndef XOQ_RUNTIME_CLASS_PATH_H_
#define XOQ_RUNTIME_CLASS_PATH_H_

#include <string>
#include <vector>

namespace xoq {

class ConfigStore;

/// `forLoader` off: the executable's path, then the `java_classpath`
/// entries and the archives below the `java_libs` directories. On: the
/// `classpath` entries, the archives below the `libs` directories, then
/// CLASSPATH and CLASS_PATH. Every entry is added as separator + entry
/// (';' on Windows, ':' on Linux, as the runtime splits class paths).
/// `unpackedJars` (the program's own jars as files in the user's cache)
/// follow the executable's path, ahead of everything configured; the
/// launcher's loader never gets them.
std::string buildClassPath(const ConfigStore& config, bool forLoader,
                           const std::vector<std::string>& unpackedJars = std::vector<std::string>());

/// Appends separator + entry for each ';'-separated piece of `value`: expanded,
/// then wildcard-expanded against the current directory when it holds '*'
/// or '?', else made absolute with resolvePath (added even when missing).
void addClassPathEntries(const ConfigStore& config, std::string& accumulated, const std::string& value);

/// Appends separator + path for every .jar and .zip file below `directory`, depth
/// first, in the order the system lists the entries. Linked folders are not
/// followed.
void collectArchives(const std::string& directory, std::string& accumulated);

}  // namespace xoq

#endif  // XOQ_RUNTIME_CLASS_PATH_H_
