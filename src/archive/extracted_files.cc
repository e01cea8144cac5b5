#include "archive/extracted_files.h"

#include <map>
#include <vector>

#include "archive/archive_node.h"
#include "archive/extracted_entries.h"
#include "archive/zip_reader.h"
#include "base/trace.h"
#include "config/config_store.h"
#include "config/string_list.h"
#include "platform/cache_files.h"
#include "platform/platform.h"

namespace xoq {

namespace {

// The named entries of the executable's archive, by name with their
// recorded digests. The folder is named after these very digests a moment
// before, from the same central directory, so the archive as a whole needs
// no check; each entry's bytes must match its digest.
class ExtractedContent : public CacheContent {
 public:
  ExtractedContent(const uint8_t* data, size_t size, std::map<std::string, std::string> digests)
      : data_(data), size_(size), digests_(std::move(digests)) {}

  bool bytes(const uint8_t*& data, size_t& size, std::string&) override {
    data = data_;
    size = size_;
    return true;
  }
  bool matchesDigest(const uint8_t*, size_t, const std::string&) override { return true; }
  bool selects(const std::string& name) const override { return digests_.count(name) != 0; }
  bool accepts(const std::string& name, const uint8_t* data, size_t size, std::string& reason) override {
    if (sha256Hex(data, size) == digests_.at(name)) return true;
    reason = "the archive in the program is damaged at " + name + ": its bytes do not match their digest";
    return false;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  std::map<std::string, std::string> digests_;
};

std::string localPath(const std::string& folder, const std::string& name) {
  std::string path = folder + platform::kPathSeparator;
  for (char c : name) path += c == '/' ? platform::kPathSeparator : c;
  return path;
}

}  // namespace

const char kExtractedCacheKind[] = "files";

bool unpackExtractedEntries(const ConfigStore& config, UnpackedFiles& unpacked, CacheFailure& failure) {
  StringList values;
  config.extractPatterns(values);
  if (values.size() == 0) return true;
  std::vector<std::string> patterns;
  for (size_t i = 0; i < values.size(); ++i) patterns.push_back(values.str(i));

  const std::string executable = config.executablePath();
  platform::MappedFile file;
  ZipReader zip;
  const char* why = file.open(executable) ? zip.open(file.data(), file.size()) : "the program file cannot be read";
  if (why != nullptr) {
    failure = {9, executable, std::string("the archive in the program cannot be read: ") + why};
    return false;
  }
  std::vector<std::string_view> names;
  for (const ZipEntry& entry : zip.entries()) names.push_back(zip.name(entry));
  std::vector<std::string> unmatched;
  const std::vector<size_t> chosen = selectExtractedEntries(names, patterns, &unmatched);
  for (const std::string& pattern : unmatched) trace("extract %s: names no entry", pattern.c_str());
  if (chosen.empty()) return true;

  // The folder's digest: each entry's name and recorded digest, in order.
  std::string listing;
  std::map<std::string, std::string> digests;
  for (const size_t i : chosen) {
    const std::string name(names[i]);
    ContentDigest digest;
    if (!recordedContentDigest(zip, zip.entries()[i], digest)) {
      failure = {9, executable,
                 "the archive in the program records no digest for " + name + "; package it again with xoqpack"};
      return false;
    }
    if (!isSafeCacheName(name)) {
      failure = {9, executable, "the archive in the program holds the unsafe name " + name};
      return false;
    }
    listing += name;
    listing += '\0';
    listing.append(reinterpret_cast<const char*>(digest.data()), digest.size());
    digests[name] = hexDigits(digest.data(), digest.size());
  }
  const std::string folderDigest = sha256Hex(reinterpret_cast<const uint8_t*>(listing.data()), listing.size());

  ExtractedContent content(file.data(), file.size(), digests);
  std::string folder;
  if (!ensureCacheFolder(kExtractedCacheKind, folderDigest, content, folder, failure)) return false;

  for (const size_t i : chosen) {
    const std::string name(names[i]);
    const std::string path = localPath(folder, name);
    if (isNestedArchiveName(name)) {
      unpacked.jars.push_back(path);
      trace("extract: %s on the class path", path.c_str());
    } else if (isNativeLibraryName(name)) {
      const std::string libraryFolder = path.substr(0, path.find_last_of(platform::kPathSeparator));
      bool known = false;
      for (const std::string& seen : unpacked.libraryFolders) known = known || seen == libraryFolder;
      if (!known) unpacked.libraryFolders.push_back(libraryFolder);
      trace("extract: %s in the native library path", path.c_str());
    }
  }
  return true;
}

}  // namespace xoq
