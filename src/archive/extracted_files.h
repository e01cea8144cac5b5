// The entries of the payload archive that the `extract` key names, as real
// files: unpacked into the user's cache, <cache>/xoq/files/<digest>, by the
// first start of any program that carries the same entries (the digest is
// over their names and recorded digests), found in place by every later
// start at the cost of a check. Jars go on the virtual machine's class
// path, native libraries' folders first in its library path.
#ifndef XOQ_ARCHIVE_EXTRACTED_FILES_H_
#define XOQ_ARCHIVE_EXTRACTED_FILES_H_

#include <string>

#include "archive/cache_folder.h"
#include "runtime/vm_options.h"

namespace xoq {

class ConfigStore;

/// The folder under which extracted entries are unpacked, one per digest.
extern const char kExtractedCacheKind[];

/// Makes sure the entries that `config`'s `extract` key names are files in
/// the user's cache and says where they are in `unpacked`. True when the
/// key names none (nothing is read then) or they are all in place; false
/// with `failure` set (message 9 or 16) when they cannot be had.
bool unpackExtractedEntries(const ConfigStore& config, UnpackedFiles& unpacked, CacheFailure& failure);

}  // namespace xoq

#endif  // XOQ_ARCHIVE_EXTRACTED_FILES_H_
