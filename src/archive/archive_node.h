// One opened archive and the archives nested in it: the payload archive of
// the executable and the jars inside it, from which the class loader and the
// resource natives read.
//
// Names: '\' and '/' are the same separator; letter case counts; bytes are
// compared as they are, without any code-page conversion. A name may be an
// entry path, nested-archive names and an entry name joined by "!", such as
// libs\lib.jar!com\x\y.properties.
//
// Nested archives are the entries whose names end in ".jar" or ".zip" (any
// case). They are opened when their parent is, two levels below the payload
// archive and no deeper. A stored one is read in place from its parent's
// bytes; only a deflated one is inflated, once, into memory of its own.
//
// Threads: a node never changes after it has been opened, so lookups take no
// lock; each node has one lock, held while an entry's bytes are produced,
// because its inflater is shared by its reads.
#ifndef XOQ_ARCHIVE_ARCHIVE_NODE_H_
#define XOQ_ARCHIVE_ARCHIVE_NODE_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "archive/zip_reader.h"
#include "platform/platform.h"

namespace xoq {

/// How many levels of nested archives the payload archive opens below it.
constexpr int32_t kPayloadNestingDepth = 2;

/// True when an entry of this name is opened as a nested archive.
bool isNestedArchiveName(std::string_view name);

/// Makes room for an entry of `size` bytes: sets `*destination` to `size`
/// writable bytes (anything when `size` is 0) and returns true, or returns
/// false to give the read up. Called before the node's lock is taken.
using EntryAllocator = bool (*)(void* argument, uint32_t size, uint8_t** destination);

/// Receives one entry path found by findEntryPaths.
using EntryPathReport = void (*)(void* argument, const std::string& entryPath);

class ArchiveNode {
 public:
  /// An unopened node that will open `depth` levels of nested archives below
  /// itself once it is opened.
  explicit ArchiveNode(int32_t depth);
  ~ArchiveNode();
  ArchiveNode(const ArchiveNode&) = delete;
  ArchiveNode& operator=(const ArchiveNode&) = delete;

  /// True when the archive could be read; an unopened node finds nothing.
  bool isOpen() const { return zip_.isOpen(); }
  int32_t depth() const { return depth_; }
  /// Number of entries found in the central directory.
  size_t entryCount() const { return index_.size(); }
  /// The i-th entry name in name order, as stored ('/' separators and all).
  std::string_view entryName(size_t i) const { return slotName(index_[i]); }

  /// The names of the nested-archive entries, with '\' separators, in the
  /// order in which they are searched.
  const std::vector<std::string>& nestedNames() const { return nestedNames_; }
  /// The archive behind nestedNames()[i]; null when that entry is empty or
  /// could not be read. A child that is not a readable archive is unopened.
  const ArchiveNode* child(size_t i) const { return children_[i].get(); }

  /// The bytes the node reads its archive from: the file's mapping, its own
  /// buffer, or a part of its parent's bytes.
  const uint8_t* bytes() const { return zip_.data(); }
  size_t byteCount() const { return zip_.size(); }

 private:
  struct IndexSlot {
    uint32_t nameOffset;  // into the bytes
    uint16_t nameLength;
    uint16_t position;  // in the reader's entry list
  };

  friend bool openArchiveFile(ArchiveNode& node, const std::string& path);
  friend bool openArchiveMemory(ArchiveNode& node, std::unique_ptr<uint8_t[]> bytes, size_t length);
  friend int32_t findEntry(const ArchiveNode& node, std::string_view name);
  friend bool readEntryBytes(const ArchiveNode& node, std::string_view name, bool searchNested, EntryAllocator allocate,
                             void* argument);

  const char* openBytes(const uint8_t* data, size_t size);
  void buildIndex();
  void openNestedArchives();
  std::unique_ptr<ArchiveNode> openChild(const ZipEntry& entry, std::string_view name);
  bool readAt(int32_t position, std::string_view name, EntryAllocator allocate, void* argument) const;
  std::string_view slotName(const IndexSlot& slot) const {
    return std::string_view(reinterpret_cast<const char*>(zip_.data()) + slot.nameOffset, slot.nameLength);
  }

  std::unique_ptr<uint8_t[]> ownedBytes_;  // a deflated nested archive, inflated
  platform::MappedFile mapping_;           // the payload archive's file
  std::vector<std::string> nestedNames_;
  std::vector<std::unique_ptr<ArchiveNode>> children_;
  int32_t depth_;
  bool attempted_ = false;
  ZipReader zip_;
  std::vector<IndexSlot> index_;  // sorted by name order
  mutable std::mutex lock_;       // guards inflater_
  mutable Inflater inflater_;
};

/// Opens `node` on the file at `path`, mapped read-only and read in place,
/// then its nested archives. A node is opened once; false when it was already
/// or when the file is not a readable archive (the node then stays empty).
bool openArchiveFile(ArchiveNode& node, const std::string& path);

/// Opens `node` on `length` bytes of its own, then its nested archives. False
/// as openArchiveFile.
bool openArchiveMemory(ArchiveNode& node, std::unique_ptr<uint8_t[]> bytes, size_t length);

/// Exact lookup of `name` in the node itself (no "!" handling, no parent
/// steps): the entry's position in the node's reader, or -1.
int32_t findEntry(const ArchiveNode& node, std::string_view name);

/// Reads the entry `name` (parent steps "..\" resolved; with "!" followed
/// through the nested archives level by level; without "!" and with
/// `searchNested`, also looked for one level down). True when an entry was
/// found and its complete bytes are in the destination. An entry whose data
/// proves damaged counts as not found and the search goes on, so `allocate`
/// may be called again; each call replaces the destination of the previous.
bool readEntryBytes(const ArchiveNode& node, std::string_view name, bool searchNested, EntryAllocator allocate,
                    void* argument);

/// Finds `name` in the node and, depth first, in every nested archive below
/// it. `prefix` is the node's own entry path (empty for the payload). Without
/// `report`: the first match's entry path goes to `outPath` and the result
/// is true; false when nothing matches. With `report`: every match is
/// reported in search order and the result is false.
bool findEntryPaths(const ArchiveNode& node, std::string_view name, std::string& outPath, const std::string& prefix,
                    EntryPathReport report, void* reportArg);

/// Name order: shorter first, then byte by byte as signed values, with '/'
/// and '\' equal. Negative, zero or positive.
int compareEntryNames(std::string_view a, std::string_view b);

/// `name` with its parent steps resolved the way readEntryBytes does, with
/// every '/' turned into '\'.
std::string resolveParentSteps(std::string_view name);

}  // namespace xoq

#endif  // XOQ_ARCHIVE_ARCHIVE_NODE_H_
