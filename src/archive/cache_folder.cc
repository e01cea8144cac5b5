#include "archive/cache_folder.h"

#include <memory>

#include "archive/zip_reader.h"
#include "base/sha256.h"
#include "base/trace.h"
#include "platform/cache_files.h"
#include "platform/platform.h"

namespace xoq {

namespace {

const char kMarkerHeader[] = "xoq cache folder 1";
// Beside the final folder: the one being filled, and a damaged one set
// aside before it is removed.
const char kPartialSuffix[] = ".partial";
const char kStaleSuffix[] = ".stale";
const char kLockName[] = ".lock";

std::string joined(const std::string& folder, const std::string& name) {
  std::string path = folder;
  path += platform::kPathSeparator;
  for (char c : name) path += c == '/' ? platform::kPathSeparator : c;
  return path;
}

bool fail(CacheFailure& failure, int messageId, const std::string& folder, const std::string& reason) {
  failure.messageId = messageId;
  failure.folder = folder;
  failure.reason = reason;
  trace("cache: %s: %s", folder.c_str(), reason.c_str());
  return false;
}

// True when the folder's marker is one of `digestHex` and every file it
// lists is there with its size. Reads nothing of the files themselves.
bool markerMatches(const std::string& folder, const std::string& digestHex) {
  std::string text;
  if (!platform::readWholeFile(joined(folder, kCacheMarkerName), text)) {
    trace("cache %s: no marker, not complete", folder.c_str());
    return false;
  }
  std::vector<CachedFile> files;
  if (!parseCacheMarker(text, digestHex, files)) {
    trace("cache %s: the marker is not this folder's", folder.c_str());
    return false;
  }
  for (const CachedFile& file : files) {
    uint64_t size = 0, modified = 0;
    if (!platform::fileStamp(joined(folder, file.name), size, modified) || size != file.size) {
      trace("cache %s: %s is missing or has another size", folder.c_str(), file.name.c_str());
      return false;
    }
  }
  return true;
}

// The folders from the user's cache down to the kind's folder must be
// safe before anything in them is used or made.
bool checkFolders(const std::string& root, const std::vector<std::string>& ours, CacheFailure& failure) {
  std::string reason;
  if (!platform::checkCacheFolder(root, false, reason)) return fail(failure, kCacheUnusableMessage, root, reason);
  for (const std::string& folder : ours) {
    if (!platform::checkCacheFolder(folder, true, reason)) return fail(failure, kCacheUnusableMessage, folder, reason);
  }
  return true;
}

// Unpacks the content's entries of the archive into `target`, checking
// each CRC and whatever else the content asks.
bool unpackInto(const std::string& target, const std::string& shownFolder, CacheContent& content, const uint8_t* data,
                size_t size, std::vector<CachedFile>& files, CacheFailure& failure) {
  ZipReader zip;
  const char* why = zip.open(data, size);
  if (why != nullptr)
    return fail(failure, 9, shownFolder, std::string("the archive in the program is damaged: ") + why);
  Inflater inflater;
  std::unique_ptr<uint8_t[]> buffer;
  size_t capacity = 0;
  std::string failedFolder, reason;
  for (const ZipEntry& entry : zip.entries()) {
    std::string name(zip.name(entry));
    if (!content.selects(name)) continue;
    const bool directory = !name.empty() && name.back() == '/';
    if (directory) name.pop_back();
    if (!isSafeCacheName(name)) {
      return fail(failure, 9, shownFolder, "the archive in the program holds the unsafe name " + name);
    }
    const size_t slash = directory ? name.size() : name.rfind('/');
    if (slash != std::string::npos &&
        !platform::makeFolders(joined(target, name.substr(0, slash)), failedFolder, reason))
      return fail(failure, kCacheUnusableMessage, shownFolder, reason);
    if (directory) continue;
    const uint8_t* stored = nullptr;
    why = zip.locate(entry, stored);
    if (why == nullptr) {
      if (entry.size > capacity) {
        capacity = entry.size;
        buffer.reset(new uint8_t[capacity]);
      }
      why = ZipReader::extract(entry, stored, buffer.get(), inflater);
    }
    if (why != nullptr)
      return fail(failure, 9, shownFolder, "the archive in the program is damaged at " + name + ": " + why);
    if (!content.accepts(name, buffer.get(), entry.size, reason)) return fail(failure, 9, shownFolder, reason);
    const bool executable = (zip.unixMode(entry) & 0100) != 0;
    if (!platform::writeNewFile(joined(target, name), buffer.get(), entry.size, executable, reason))
      return fail(failure, kCacheUnusableMessage, shownFolder, reason);
    files.push_back({name, entry.size});
    trace("cache: unpacked %s (%u bytes)", name.c_str(), entry.size);
  }
  return true;
}

}  // namespace

std::string sha256Hex(const uint8_t* data, size_t size) {
  Sha256 hash;
  hash.update(data, size);
  const Sha256::Digest digest = hash.finish();
  return hexDigits(digest.data(), digest.size());
}

bool CacheContent::matchesDigest(const uint8_t* data, size_t size, const std::string& digestHex) {
  return sha256Hex(data, size) == digestHex;
}

bool CacheContent::selects(const std::string&) const { return true; }

bool CacheContent::accepts(const std::string&, const uint8_t*, size_t, std::string&) { return true; }

const char kCacheMarkerName[] = ".xoq-unpacked";

std::string hexDigits(const uint8_t* bytes, size_t count) {
  static const char digits[] = "0123456789abcdef";
  std::string text;
  for (size_t i = 0; i < count; ++i) {
    text += digits[bytes[i] >> 4];
    text += digits[bytes[i] & 15];
  }
  return text;
}

bool isSafeCacheName(const std::string& name) {
  if (name.empty()) return false;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find('/', start);
    if (end == std::string::npos) end = name.size();
    const std::string part = name.substr(start, end - start);
    if (part.empty() || part == "." || part == "..") return false;
    start = end + 1;
  }
  for (char c : name) {
    if (c == '\\' || c == ':' || static_cast<unsigned char>(c) < 0x20) return false;
  }
  return true;
}

std::string cacheMarkerText(const std::string& digestHex, const std::vector<CachedFile>& files) {
  std::string text =
      std::string(kMarkerHeader) + "\ndigest " + digestHex + "\nfiles " + std::to_string(files.size()) + "\n";
  for (const CachedFile& file : files) text += std::to_string(file.size) + " " + file.name + "\n";
  return text;
}

bool parseCacheMarker(const std::string& text, const std::string& digestHex, std::vector<CachedFile>& files) {
  files.clear();
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) return false;  // the last line ends in a line feed
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  if (lines.size() < 3 || lines[0] != kMarkerHeader || lines[1] != "digest " + digestHex) return false;
  if (lines[2].compare(0, 6, "files ") != 0 || lines[2].size() == 6) return false;
  size_t count = 0;
  for (size_t i = 6; i < lines[2].size(); ++i) {
    const char c = lines[2][i];
    if (c < '0' || c > '9' || count > 10000000) return false;
    count = count * 10 + static_cast<size_t>(c - '0');
  }
  if (lines.size() != 3 + count) return false;
  for (size_t i = 3; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    const size_t blank = line.find(' ');
    if (blank == 0 || blank == std::string::npos || blank > 19) return false;
    CachedFile file;
    for (size_t j = 0; j < blank; ++j) {
      if (line[j] < '0' || line[j] > '9') return false;
      file.size = file.size * 10 + static_cast<uint64_t>(line[j] - '0');
    }
    file.name = line.substr(blank + 1);
    if (!isSafeCacheName(file.name)) return false;
    files.push_back(file);
  }
  return true;
}

bool ensureCacheFolder(const std::string& kind, const std::string& digestHex, CacheContent& content,
                       std::string& folder, CacheFailure& failure) {
  const std::string root = platform::userCacheFolder();
  if (root.empty()) {
    return fail(failure, kCacheUnusableMessage, "xoq" + std::string(1, platform::kPathSeparator) + kind,
                "the user's cache folder is not known (neither LOCALAPPDATA, XDG_CACHE_HOME nor HOME is set)");
  }
  return ensureCacheFolderIn(root, kind, digestHex, content, folder, failure);
}

bool ensureCacheFolderIn(const std::string& cacheRoot, const std::string& kind, const std::string& digestHex,
                         CacheContent& content, std::string& folder, CacheFailure& failure) {
  std::string root = cacheRoot;
  while (root.size() > 1 && (root.back() == '/' || root.back() == '\\')) root.pop_back();
  const std::string xoqFolder = joined(root, "xoq");
  const std::string kindFolder = joined(xoqFolder, kind);
  folder = joined(kindFolder, digestHex);
  const std::vector<std::string> ours = {xoqFolder, kindFolder};

  // Later starts: the folders are safe, the marker is there and the sizes
  // match. A millisecond or two.
  if (platform::isDirectory(folder)) {
    std::string reason;
    if (!checkFolders(root, ours, failure)) return false;
    if (!platform::checkCacheFolder(folder, true, reason)) return fail(failure, kCacheUnusableMessage, folder, reason);
    if (markerMatches(folder, digestHex)) {
      trace("cache %s: complete", folder.c_str());
      return true;
    }
  }

  // The first start, or one after damage: one start at a time unpacks.
  std::string failedFolder, reason;
  if (!platform::makeFolders(kindFolder, failedFolder, reason)) {
    return fail(failure, kCacheUnusableMessage, failedFolder, reason);
  }
  if (!checkFolders(root, ours, failure)) return false;
  platform::FileLock lock;
  if (!lock.acquire(joined(kindFolder, kLockName), kCacheLockWait, reason)) {
    return fail(failure, kCacheUnusableMessage, folder,
                "cannot take the lock " + joined(kindFolder, kLockName) + ": " + reason);
  }
  trace("cache %s: lock taken%s", folder.c_str(), lock.locked() ? "" : " (the file system has no locks)");

  // Another start may have finished it while this one waited.
  if (platform::isDirectory(folder)) {
    if (!platform::checkCacheFolder(folder, true, reason)) return fail(failure, kCacheUnusableMessage, folder, reason);
    if (markerMatches(folder, digestHex)) {
      trace("cache %s: complete", folder.c_str());
      return true;
    }
    // Damaged: set aside in one step, so that no start sees it half
    // removed, then removed.
    const std::string stale = folder + kStaleSuffix;
    platform::removeTree(stale);
    if (!platform::renameFolder(folder, stale, reason)) return fail(failure, kCacheUnusableMessage, folder, reason);
    platform::removeTree(stale);
    trace("cache %s: damaged, unpacked afresh", folder.c_str());
  }
  // What a killed start left behind.
  const std::string partial = folder + kPartialSuffix;
  if (!platform::removeTree(partial)) {
    return fail(failure, kCacheUnusableMessage, partial, "what an earlier start left cannot be removed");
  }

  const uint8_t* data = nullptr;
  size_t size = 0;
  if (!content.bytes(data, size, reason)) return fail(failure, 9, folder, reason);
  if (!content.matchesDigest(data, size, digestHex)) {
    return fail(failure, 9, folder, "the archive in the program does not match its digest");
  }
  if (!platform::makeNewFolder(partial, reason)) return fail(failure, kCacheUnusableMessage, folder, reason);
  trace("cache %s: unpacking into %s", folder.c_str(), partial.c_str());
  std::vector<CachedFile> files;
  const bool unpacked = unpackInto(partial, folder, content, data, size, files, failure);
  const std::string marker = cacheMarkerText(digestHex, files);
  if (!unpacked ||
      !platform::writeNewFile(joined(partial, kCacheMarkerName), reinterpret_cast<const uint8_t*>(marker.data()),
                              marker.size(), false, reason)) {
    platform::removeTree(partial);
    return unpacked ? fail(failure, kCacheUnusableMessage, folder, reason) : false;
  }
  trace("cache %s: marker written, %zu files", folder.c_str(), files.size());
  if (!platform::renameFolder(partial, folder, reason)) {
    platform::removeTree(partial);
    return fail(failure, kCacheUnusableMessage, folder, reason);
  }
  trace("cache %s: in place", folder.c_str());
  return true;
}

}  // namespace xoq
