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
// Multi-release jars: a nested archive whose manifest's main section says
// "Multi-Release: true" serves a name from META-INF/versions/N/ for the
// highest N from the running runtime's feature version down to 9 that has
// it, else from its usual place, as java.util.jar.JarFile does at run time.
// Lookups that pass no release (0) see every archive as a plain one.
//
// Threads: a node never changes after it has been opened, so lookups take no
// lock; each node has one lock, held while an entry's bytes are produced,
// because its inflater is shared by its reads.
//
// Memory: the payload archive is mapped only while it is opened. Each
// archive that lies in the file (the payload and the jars stored in it)
// keeps a copy of its central directory, which its index reads names from,
// and its entry data is read with reads at its position, so that no page of
// the file stays in the process's resident memory: neither the pages of
// every class ever loaded nor those that the system maps in around every
// directory page touched.
#ifndef XOQ_ARCHIVE_ARCHIVE_NODE_H_
#define XOQ_ARCHIVE_ARCHIVE_NODE_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "archive/nested_lookup.h"
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

/// The lowest feature version that multi-release jars know.
constexpr int32_t kFirstVersionedRelease = 9;

/// Where readEntryBytes found an entry.
struct EntryLocation {
  std::string archive;  // entry path of the nested archive that holds it; empty for the node itself
  std::string name;     // the entry's name as stored (the versioned one, from a multi-release jar)
};

/// What an archive's central directory says about one entry.
struct EntryInfo {
  uint32_t size = 0;  // uncompressed
  EntryTime time;
};

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
  /// The i-th entry's name in the order of the central directory.
  std::string_view listedName(size_t i) const { return zip_.name(zip_.entries()[i]); }
  /// The i-th entry in name order, as its central directory entry says.
  const ZipEntry& entry(size_t i) const { return zip_.entries()[slotPosition(i)]; }

  /// True when the archive's manifest declares it a multi-release jar and
  /// it has versioned entries.
  bool multiRelease() const { return !versioned_.empty(); }
  /// True when this archive or any archive nested below it is one.
  bool anyMultiRelease() const { return anyMultiRelease_; }
  /// The names that the versioned entries of a multi-release jar stand in
  /// for (after META-INF/versions/N/), by name.
  size_t versionedCount() const { return versioned_.size(); }
  std::string_view versionedName(size_t i) const { return slotName(versioned_[i]); }

  /// The names of the nested-archive entries, with '\' separators, in the
  /// order in which they are searched.
  const std::vector<std::string>& nestedNames() const { return nestedNames_; }
  /// The archive behind nestedNames()[i]; null when that entry is empty or
  /// could not be read. A child that is not a readable archive is unopened.
  const ArchiveNode* child(size_t i) const { return children_[i].get(); }

  /// The bytes the node reads its archive from when they are in memory: its
  /// own buffer or a part of its parent's; null for an archive read from the
  /// file.
  const uint8_t* bytes() const { return zip_.data(); }
  /// The size of the archive's bytes, in memory or in the file.
  size_t byteCount() const { return zip_.size(); }
  /// True when the archive is read from the file, at fileOffset().
  bool inFile() const { return file_ != nullptr; }
  uint64_t fileOffset() const { return fileOffset_; }

  /// Heap bytes that the node and the nodes below it hold for their
  /// indexes and names (the copies of the central directories of the
  /// archives in the file among them): what opening costs beyond the
  /// archives' own bytes.
  size_t indexMemory() const;
  /// Heap bytes of the deflated nested archives inflated below this node.
  size_t inflatedMemory() const;

  /// The position of this archive's own entry `name` ('\\' separators), its
  /// versioned entry for `release` in a multi-release jar (whose name goes
  /// to `versioned` when given), or -1.
  int32_t findForRelease(std::string_view name, int32_t release, std::string* versioned) const;

 private:
  // Eight bytes, so that a lookup's bisection touches as little memory as
  // it can: the position's high 16 bits, which only an archive of more than
  // 65535 entries has, are kept apart and read once an entry is found.
  struct IndexSlot {
    uint32_t nameOffset;  // into the bytes
    uint16_t nameLength;
    uint16_t positionLow;  // in the reader's entry list
  };
  // An entry under META-INF/versions/N/ of a multi-release jar, by the name
  // it stands in for.
  struct VersionedSlot {
    uint32_t nameOffset;  // of the name after META-INF/versions/N/
    uint32_t position;
    uint16_t nameLength;
    uint16_t version;
  };

  friend bool openArchiveFile(ArchiveNode& node, const std::string& path);
  friend bool openArchiveMemory(ArchiveNode& node, std::unique_ptr<uint8_t[]> bytes, size_t length);
  friend int32_t findEntry(const ArchiveNode& node, std::string_view name);
  friend bool findEntryPaths(const ArchiveNode& node, std::string_view name, std::string& outPath,
                             const std::string& prefix, EntryPathReport report, void* reportArg, int32_t release);
  friend class EntrySearch;

  // Room for an entry's stored bytes read from the file: most class files
  // fit the part on the stack.
  class StoredBuffer {
   public:
    uint8_t* reserve(size_t size);
    uint8_t* data() { return heap_ != nullptr ? heap_.get() : local_; }

   private:
    uint8_t local_[16384];
    std::unique_ptr<uint8_t[]> heap_;
  };

  const char* openBytes(const uint8_t* data, size_t size);
  static bool readFromFile(const void* context, uint64_t position, void* into, size_t length);
  void buildIndex();
  void readVersions();
  void openNestedArchives();
  std::unique_ptr<ArchiveNode> openChild(const ZipEntry& entry, std::string_view name);
  bool extractAt(int32_t position, std::string_view name, EntryAllocator allocate, void* argument) const;
  const uint8_t* storedBytes(const ZipEntry& entry, StoredBuffer& buffer, const char*& failure) const;
  template <typename Slot>
  std::string_view slotName(const Slot& slot) const {
    return zip_.text(slot.nameOffset, slot.nameLength);
  }
  uint32_t slotPosition(size_t i) const {
    return index_[i].positionLow | (positionHigh_.empty() ? 0u : static_cast<uint32_t>(positionHigh_[i]) << 16);
  }

  std::unique_ptr<uint8_t[]> ownedBytes_;       // a deflated nested archive, inflated
  platform::MappedFile mapping_;                // the payload archive's file
  const platform::MappedFile* file_ = nullptr;  // the file the node's bytes lie in, if they do
  uint64_t fileOffset_ = 0;                     // where in it
  std::vector<std::string> nestedNames_;
  std::vector<std::unique_ptr<ArchiveNode>> children_;
  int32_t depth_;
  bool attempted_ = false;
  ZipReader zip_;
  std::vector<IndexSlot> index_;          // sorted by name order
  std::vector<uint16_t> positionHigh_;    // beside index_, for more than 65535 entries only
  std::vector<VersionedSlot> versioned_;  // of a multi-release jar: by name, then highest version first
  bool anyMultiRelease_ = false;
  NestedLookup lookup_;      // which nested archives may hold a name
  mutable std::mutex lock_;  // guards inflater_
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
/// `release` above 8 serves multi-release jars' versioned entries for that
/// feature version; `location`, when given, is told where the entry was.
bool readEntryBytes(const ArchiveNode& node, std::string_view name, bool searchNested, EntryAllocator allocate,
                    void* argument, int32_t release = 0, EntryLocation* location = nullptr);

/// readEntryBytes of the entry `name` at the top of `node` into `bytes`.
bool readTopEntry(const ArchiveNode& node, std::string_view name, std::string& bytes);

/// Finds the entry that readEntryBytes would read and describes it from the
/// central directory, without reading its data. False when there is none.
bool findEntryInfo(const ArchiveNode& node, std::string_view name, bool searchNested, EntryInfo& info);

/// Finds `name` in the node and, depth first, in every nested archive below
/// it. `prefix` is the node's own entry path (empty for the payload). Without
/// `report`: the first match's entry path goes to `outPath` and the result
/// is true; false when nothing matches. With `report`: every match is
/// reported in search order and the result is false. With `release` above 8
/// a multi-release jar's match is its versioned entry, and the entry path
/// names that.
bool findEntryPaths(const ArchiveNode& node, std::string_view name, std::string& outPath, const std::string& prefix,
                    EntryPathReport report, void* reportArg, int32_t release = 0);

/// The archive that an entry path of nested-archive names joined by "!"
/// names below `node` (`node` itself for the empty path); null when there is
/// no such opened archive.
const ArchiveNode* findNestedArchive(const ArchiveNode& node, std::string_view path);

/// True when the main section of a manifest says "Multi-Release: true"
/// (the name in any case, the value "true" in any case).
bool manifestDeclaresMultiRelease(std::string_view manifest);

/// Name order: shorter first, then byte by byte as signed values, with '/'
/// and '\' equal. Negative, zero or positive.
int compareEntryNames(std::string_view a, std::string_view b);

/// `name` with its parent steps resolved the way readEntryBytes does, with
/// every '/' turned into '\'.
std::string resolveParentSteps(std::string_view name);

}  // namespace xoq

#endif  // XOQ_ARCHIVE_ARCHIVE_NODE_H_
