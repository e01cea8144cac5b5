// The `classdatacache` key: a class data archive for the application, kept
// in the user's cache folder and made by the runtime itself, so that later
// starts map the classes instead of loading them. It never makes a start
// fail and never prints anything: where the runtime or the folder cannot do
// it, the application starts as it would without the key.
#ifndef XOQ_RUNTIME_CLASS_DATA_CACHE_H_
#define XOQ_RUNTIME_CLASS_DATA_CACHE_H_

#include <string>

#include "config/string_list.h"

namespace xoq {

class ConfigStore;
struct RuntimeRelease;
struct VmContext;

/// True when one of `options` already decides about class data archives
/// (an archive to use or to write, -Xshare, the runtime's ahead-of-time
/// cache) or starts an agent, with which the runtime refuses to write one:
/// the cache then stays out of the way.
bool optionsDecideClassData(const StringList& options);

/// The archive's file name in the cache folder: the executable's file name
/// and a digest of everything the runtime checks an archive against (the
/// executable's integrity value, path, size and time, the runtime library's
/// path, size and time, its version, the class path and the loader mode).
std::string classDataArchiveName(const std::string& executablePath, const std::string& identity);

/// With `classdatacache` on, adds the options for the archive of this
/// application and runtime: from JDK 19 on, the runtime keeps it up to date
/// by itself (-XX:+AutoCreateSharedArchive); JDK 13 to 18 use it when it
/// exists and otherwise write it when the application ends, under a name of
/// this process's own that takes the archive's place only once it is
/// complete. Adds nothing for older runtimes, when the cache folder cannot
/// be made, or when the user's options decide (optionsDecideClassData).
void addClassDataCacheOptions(VmContext& context, const ConfigStore& config, const RuntimeRelease& release,
                              const std::string& libraryPath, const std::string& classPath);

}  // namespace xoq

#endif  // XOQ_RUNTIME_CLASS_DATA_CACHE_H_
