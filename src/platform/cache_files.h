// Files that the launcher keeps for itself between starts, in the user's
// cache folder: what it needs to find, make, compare and replace them, to
// fill a folder of its own once and in one step, and to tell whether nobody
// but the user can change what lies there.
#ifndef XOQ_PLATFORM_CACHE_FILES_H_
#define XOQ_PLATFORM_CACHE_FILES_H_

#include <cstddef>
#include <cstdint>
#include <string>

namespace xoq {
namespace platform {

/// What separates the folders of a path the launcher builds: '\' on
/// Windows, '/' on Linux.
extern const char kPathSeparator;

/// The user's cache folder with a trailing separator: %LOCALAPPDATA% on
/// Windows; $XDG_CACHE_HOME when it is an absolute path, else $HOME/.cache
/// on Linux. Empty when none is known.
std::string userCacheFolder();

/// Creates the folder `path` (no trailing separator) and its missing
/// parents, new ones for the user alone where the system knows owners.
/// True when it is a folder afterwards.
bool makeFolders(const std::string& path);

/// makeFolders, telling on failure which folder could not be made and the
/// system's reason.
bool makeFolders(const std::string& path, std::string& failedFolder, std::string& reason);

/// Creates the one folder `path`, for the user alone; false with the
/// system's reason when it cannot, also when something is there already.
bool makeNewFolder(const std::string& path, std::string& reason);

/// The size and the last-change time of the file at `path`; false when it
/// cannot be read.
bool fileStamp(const std::string& path, uint64_t& size, uint64_t& modified);

/// Puts the file `from` in the place of `to` in one step, replacing any
/// file there. False when it cannot.
bool replaceFile(const std::string& from, const std::string& to);

/// Removes the file at `path`; false when it cannot.
bool removeFile(const std::string& path);

/// Writes `size` bytes into the new file `path`, which must not exist yet;
/// `executable` lets the user run it (where the system has such a right).
/// False with the system's reason (a full disk, say) when any step fails,
/// writing and closing included; the file may then be left behind.
bool writeNewFile(const std::string& path, const uint8_t* data, size_t size, bool executable, std::string& reason);

/// Gives the folder `from` the name `to` in one step; fails, with the
/// system's reason, when `to` exists.
bool renameFolder(const std::string& from, const std::string& to, std::string& reason);

/// Removes `path` and, when it is a folder, everything in it; links are
/// removed, never followed. True when nothing is left at `path`.
bool removeTree(const std::string& path);

/// Whether nobody but the user can put or change files in `folder`.
///
/// Linux: a folder of xoq's own (`ours`) must be a folder, not a link, that
/// belongs to the user and that neither its group nor others may write to.
/// A folder above xoq's own may belong to the user or to root, and others
/// may write to it only when it is sticky (as /tmp is), where nobody may
/// rename or remove what is not theirs.
///
/// Windows: a folder of xoq's own must be a folder and no link (reparse
/// point); the folders above must be those of the user's own profile
/// (%USERPROFILE%) or lie inside it, whose access rights keep others out.
///
/// False with what is wrong (or the system's reason it cannot tell).
bool checkCacheFolder(const std::string& folder, bool ours, std::string& reason);

/// An exclusive lock between processes, held on the file `path` (made when
/// missing, never removed) while the object lives. The system drops it
/// when its process ends, however it ends.
class FileLock {
 public:
  FileLock() = default;
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  /// Takes the lock, waiting at most `waitMillis` for another process to
  /// let it go. False with the reason when the file cannot be opened or the
  /// wait ends without the lock. Where the file system cannot lock at all,
  /// it goes on without (true, `locked()` false).
  bool acquire(const std::string& path, uint32_t waitMillis, std::string& reason);
  bool locked() const { return locked_; }

 private:
  bool locked_ = false;
#ifdef _WIN32
  void* handle_ = nullptr;  // HANDLE
#else
  int fd_ = -1;
#endif
};

}  // namespace platform
}  // namespace xoq

#endif  // XOQ_PLATFORM_CACHE_FILES_H_
