// Files that the launcher keeps for itself between starts, in the user's
// cache folder: what it needs to find, make, compare and replace them.
#ifndef XOQ_PLATFORM_CACHE_FILES_H_
#define XOQ_PLATFORM_CACHE_FILES_H_

#include <cstdint>
#include <string>

namespace xoq {
namespace platform {

/// The user's cache folder with a trailing separator: %LOCALAPPDATA% on
/// Windows; $XDG_CACHE_HOME when it is an absolute path, else $HOME/.cache
/// on Linux. Empty when none is known.
std::string userCacheFolder();

/// Creates the folder `path` (no trailing separator) and its missing
/// parents, new ones for the user alone where the system knows owners.
/// True when it is a folder afterwards.
bool makeFolders(const std::string& path);

/// The size and the last-change time of the file at `path`; false when it
/// cannot be read.
bool fileStamp(const std::string& path, uint64_t& size, uint64_t& modified);

/// Puts the file `from` in the place of `to` in one step, replacing any
/// file there. False when it cannot.
bool replaceFile(const std::string& from, const std::string& to);

/// Removes the file at `path`; false when it cannot.
bool removeFile(const std::string& path);

}  // namespace platform
}  // namespace xoq

#endif  // XOQ_PLATFORM_CACHE_FILES_H_
