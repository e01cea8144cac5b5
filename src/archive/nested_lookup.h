// Which of the archives nested below a node may hold an entry, so that a
// lookup asks those few instead of every nested archive in turn: an
// application of hundreds of jars would otherwise search each of them for
// every class, and every one of them for a class that none holds.
//
// The table keeps, for every folder of every nested archive, which archives
// have entries in it, by a hash of the folder's name: a few bytes per folder
// and archive, nothing per entry. A name's candidates are the archives that
// have its folder, in the order in which they are searched (depth first,
// nested order), so the first archive that holds the entry still wins; two
// folders whose hashes agree only add candidates, which then do not hold the
// name.
#ifndef XOQ_ARCHIVE_NESTED_LOOKUP_H_
#define XOQ_ARCHIVE_NESTED_LOOKUP_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace xoq {

class ArchiveNode;

/// The hash by which folders are looked up: of `name`'s folder, everything
/// before its last separator (a trailing one, which a folder's own entry
/// has, left aside), with '/' and '\' alike.
uint32_t folderHash(std::string_view name);

/// The length of `name`'s folder as folderHash takes it.
size_t folderLength(std::string_view name);

class NestedLookup {
 public:
  struct Archive {
    const ArchiveNode* node;
    int32_t depth;     // 1 for an archive nested in the root, 2 below that
    std::string path;  // its entry path from the root: nested names joined by "!"
  };

  NestedLookup() = default;
  NestedLookup(const NestedLookup&) = delete;
  NestedLookup& operator=(const NestedLookup&) = delete;

  /// Records every opened archive nested below `root`, which must be open
  /// with its nested archives.
  void build(const ArchiveNode& root);

  bool empty() const { return archives_.empty(); }
  const Archive& archive(size_t i) const { return archives_[i]; }

  /// Calls `visit` with each archive at most `maxDepth` levels below the
  /// root that may hold `name` (an entry name, "!" not followed), in search
  /// order, until it returns true; true when it did.
  template <typename Visit>
  bool forEachCandidate(std::string_view name, int32_t maxDepth, Visit visit) const {
    const uint64_t key = static_cast<uint64_t>(folderHash(name)) << 32;
    for (size_t i = firstRecord(key); i < records_.size() && (records_[i] & kHashMask) == key; ++i) {
      const Archive& candidate = archives_[static_cast<size_t>(records_[i] & kArchiveMask)];
      if (candidate.depth <= maxDepth && visit(candidate)) return true;
    }
    return false;
  }

  /// Heap bytes held.
  size_t memory() const;

 private:
  static constexpr uint64_t kHashMask = 0xFFFFFFFF00000000ull;
  static constexpr uint64_t kArchiveMask = 0xFFFFFFFFull;

  void add(const ArchiveNode& node, int32_t depth, const std::string& path);
  size_t firstRecord(uint64_t key) const;

  std::vector<Archive> archives_;  // depth first, in nested order
  std::vector<uint64_t> records_;  // folder hash in the high half, archive index in the low; sorted
};

}  // namespace xoq

#endif  // XOQ_ARCHIVE_NESTED_LOOKUP_H_
