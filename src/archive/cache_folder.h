// A folder of the user's cache that holds the files of one ZIP archive from
// the executable, named by the archive's digest: unpacked once, on the
// first start, and found again by every later start of any program that
// carries the same archive.
//
// The first start takes a lock, unpacks into a temporary folder beside the
// final one, checks every file's CRC, writes a marker last (digest, file
// count, sizes) and renames the temporary folder into place in one step.
// A later start only reads the marker and compares the sizes: a folder
// whose marker is missing or whose files no longer match it is unpacked
// afresh. What a killed start leaves behind is never taken for complete and
// is removed by the next start that takes the lock. Every folder from the
// cache down to the files must be the user's own (platform::checkCacheFolder),
// or nothing is used: a library planted there would run in the program.
#ifndef XOQ_ARCHIVE_CACHE_FOLDER_H_
#define XOQ_ARCHIVE_CACHE_FOLDER_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace xoq {

/// The launcher's message (and exit code) for a cache folder that cannot be
/// used or filled.
constexpr int kCacheUnusableMessage = 16;

/// Why a cache folder could not be had. `messageId` 9: the archive in the
/// executable is damaged; kCacheUnusableMessage: the folder cannot be used
/// or filled, for `reason` (the system's words, or what is wrong with it).
struct CacheFailure {
  int messageId = 0;
  std::string folder;
  std::string reason;
};

/// The archive a cache folder is filled from, asked for only when the
/// folder must be unpacked: by default every entry of an archive named by
/// the SHA-256 of all its bytes (a carried runtime); a content that is a
/// part of a larger archive says which entries belong to it and how each
/// is checked.
class CacheContent {
 public:
  virtual ~CacheContent() = default;
  /// The ZIP archive's bytes, alive until the object goes away; false with
  /// the reason when they cannot be had.
  virtual bool bytes(const uint8_t*& data, size_t& size, std::string& reason) = 0;
  /// True when the archive's bytes are those the folder is named after.
  virtual bool matchesDigest(const uint8_t* data, size_t size, const std::string& digestHex);
  /// True when the entry `name` (as stored) goes into the folder.
  virtual bool selects(const std::string& name) const;
  /// Checks an unpacked entry's bytes beyond their CRC; false with the
  /// reason when they are not what the folder's name promises.
  virtual bool accepts(const std::string& name, const uint8_t* data, size_t size, std::string& reason);
};

/// The marker's file name inside a complete folder.
extern const char kCacheMarkerName[];

/// How long a start waits for another one that is unpacking the same
/// cache, in milliseconds.
constexpr uint32_t kCacheLockWait = 120000;

/// One file that a marker lists: its name ('/'-separated) and size.
struct CachedFile {
  std::string name;
  uint64_t size = 0;
};

/// The text of a marker.
std::string cacheMarkerText(const std::string& digestHex, const std::vector<CachedFile>& files);

/// Reads a marker's text; false when it is not a marker of `digestHex`
/// (other digest, wrong count, malformed line).
bool parseCacheMarker(const std::string& text, const std::string& digestHex, std::vector<CachedFile>& files);

/// True when `name` may become a path below a cache folder: relative,
/// '/'-separated, without empty, "." or ".." parts, without '\', ':' or
/// control characters.
bool isSafeCacheName(const std::string& name);

/// The lower-case hexadecimal form of `count` bytes.
std::string hexDigits(const uint8_t* bytes, size_t count);

/// The lower-case hexadecimal SHA-256 of `size` bytes.
std::string sha256Hex(const uint8_t* data, size_t size);

/// Makes sure the folder <user cache>/xoq/<kind>/<digestHex> holds the
/// files of `content`'s archive, whose SHA-256 is `digestHex`, and returns
/// it (no trailing separator) in `folder`. False with `failure` set when it
/// cannot; nothing half-written is left behind then.
bool ensureCacheFolder(const std::string& kind, const std::string& digestHex, CacheContent& content,
                       std::string& folder, CacheFailure& failure);

/// ensureCacheFolder below `cacheRoot` (the user's cache folder, with its
/// trailing separator) instead of the user's cache folder.
bool ensureCacheFolderIn(const std::string& cacheRoot, const std::string& kind, const std::string& digestHex,
                         CacheContent& content, std::string& folder, CacheFailure& failure);

}  // namespace xoq

#endif  // XOQ_ARCHIVE_CACHE_FOLDER_H_
