// The entries of the payload archive that the `extract` key names: which
// they are, and the digest of its bytes that xoqpack records for each.
//
// A value of the key is an entry name, a pattern in which '*' stands for
// any run of characters and '?' for any one character, neither crossing a
// '/', or a folder name ending in '/' that names every file below it. The
// entries are taken value by value, each value's in the archive's order;
// directories are never named.
//
// xoqpack records each named entry's SHA-256 in an extra field of its
// central directory entry, which the integrity value covers; the launcher
// names the cache folder after those digests, so that a later start reads
// nothing of the entries themselves, and its own class loader leaves out a
// nested archive that carries one, which the virtual machine's class path
// serves from the file instead.
#ifndef XOQ_ARCHIVE_EXTRACTED_ENTRIES_H_
#define XOQ_ARCHIVE_EXTRACTED_ENTRIES_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "archive/zip_reader.h"

namespace xoq {

/// The header ID of the extra field that holds an entry's SHA-256: "xq".
constexpr uint16_t kContentDigestTag = 0x7178;

using ContentDigest = std::array<uint8_t, 32>;

/// True when the `extract` value `pattern` names the file entry `name`.
bool extractPatternMatches(std::string_view pattern, std::string_view name);

/// The positions in `names` of the file entries that `patterns` name, in
/// the order described above, each once. A pattern that names nothing goes
/// to `unmatched` when given.
std::vector<size_t> selectExtractedEntries(const std::vector<std::string_view>& names,
                                           const std::vector<std::string>& patterns,
                                           std::vector<std::string>* unmatched = nullptr);

/// The digest recorded for `entry`; false when it carries none.
bool recordedContentDigest(const ZipReader& zip, const ZipEntry& entry, ContentDigest& digest);

/// The extra field block (header, size, digest) that records `digest`.
std::string contentDigestBlock(const ContentDigest& digest);

/// True when an entry of this name is a native library whose folder goes
/// into the native library path: a .dll, a .so or a versioned .so.N.
bool isNativeLibraryName(std::string_view name);

}  // namespace xoq

#endif  // XOQ_ARCHIVE_EXTRACTED_ENTRIES_H_
