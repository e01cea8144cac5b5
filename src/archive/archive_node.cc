#include "archive/archive_node.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "archive/extracted_entries.h"
#include "base/trace.h"
#include "config/ascii.h"

namespace xoq {

namespace {

char normalised(char c) { return c == '/' ? '\\' : c; }

bool sameEntryName(std::string_view a, std::string_view b) { return compareEntryNames(a, b) == 0; }

std::string heldName(std::string_view name) {
  std::string held(name);
  std::replace(held.begin(), held.end(), '/', '\\');
  return held;
}

bool containsParentStep(std::string_view name) {
  for (size_t i = 0; i + 3 <= name.size(); ++i) {
    if (name[i] == '.' && name[i + 1] == '.' && normalised(name[i + 2]) == '\\') return true;
  }
  return false;
}

// A name with "!" at `bang`: the nested-archive name in front of it (none
// when the name starts with "!") and the rest, which is the whole name then.
struct EntryPathSplit {
  bool hasPrefix;
  std::string_view prefix;
  std::string_view rest;
};

EntryPathSplit splitAtBang(std::string_view name, size_t bang) {
  if (bang == 0) return {false, std::string_view(), name};
  return {true, name.substr(0, bang), name.substr(bang + 1)};
}

// Whether `name` starts with `prefix`, '/' and '\' counting as equal.
bool startsWithPath(std::string_view name, std::string_view prefix) {
  if (name.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (normalised(name[i]) != normalised(prefix[i])) return false;
  }
  return true;
}

constexpr std::string_view kVersionsDirectory = "META-INF/versions/";

// The version of a name under META-INF/versions/N/, or 0. A number written
// with a leading zero ("09") names no version, as java.util.jar reads it.
uint32_t versionOf(std::string_view name) {
  if (!startsWithPath(name, kVersionsDirectory)) return 0;
  uint32_t version = 0;
  size_t i = kVersionsDirectory.size();
  if (i < name.size() && name[i] == '0') return 0;
  for (; i < name.size() && name[i] >= '0' && name[i] <= '9' && version <= 0xFFFF; ++i) {
    version = version * 10 + static_cast<uint32_t>(name[i] - '0');
  }
  if (i == kVersionsDirectory.size() || i >= name.size() || normalised(name[i]) != '\\') return 0;
  return version;
}

// `word` is given in lower case.
bool sameWordIgnoringCase(std::string_view text, std::string_view word) {
  return text.size() == word.size() && startsWithIgnoringCase(text, word);
}

bool allocateString(void* argument, uint32_t size, uint8_t** destination) {
  std::string& out = *static_cast<std::string*>(argument);
  out.assign(size, '\0');
  *destination = reinterpret_cast<uint8_t*>(&out[0]);
  return true;
}

void prependArchive(EntryLocation* location, const std::string& nestedName) {
  if (location == nullptr) return;
  location->archive = location->archive.empty() ? nestedName : nestedName + "!" + location->archive;
}

}  // namespace

// A name that is nothing but ".jar" is not an archive.
bool isNestedArchiveName(std::string_view name) {
  return name.size() >= 5 && (endsWithIgnoringCase(name, ".jar") || endsWithIgnoringCase(name, ".zip"));
}

int compareEntryNames(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  for (size_t i = 0; i < a.size(); ++i) {
    const signed char x = static_cast<signed char>(normalised(a[i]));
    const signed char y = static_cast<signed char>(normalised(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return 0;
}

std::string resolveParentSteps(std::string_view name) {
  std::string copy = heldName(name);
  for (size_t k = copy.find("..\\"); k != std::string::npos; k = copy.find("..\\")) {
    // Take out the step and the directory in front of it. A step at the
    // start, or after a lone leading separator, has nothing to take out.
    const size_t q = k == 0 ? std::string::npos : copy.rfind('\\', k - 1);
    size_t start = 0;
    if (q == 0) {
      start = 1;
    } else if (q != std::string::npos) {
      const size_t before = copy.rfind('\\', q - 1);
      start = before == std::string::npos ? 0 : before + 1;
    }
    const size_t end = k + 3;
    if (end == copy.size()) {
      copy.resize(start);
    } else {
      copy.erase(start, end - start);
    }
  }
  return copy;
}

// ---------------------------------------------------------------------------
// Opening

ArchiveNode::ArchiveNode(int32_t depth) : depth_(depth) {}

ArchiveNode::~ArchiveNode() = default;

const char* ArchiveNode::openBytes(const uint8_t* data, size_t size) {
  attempted_ = true;
  // The directory of an archive in the file is read into memory rather than
  // through the mapping, which goes once the payload is open.
  const char* failure = file_ != nullptr ? zip_.openHeld(data, size, readFromFile, this) : zip_.open(data, size);
  if (failure != nullptr) return failure;
  buildIndex();
  readVersions();
  openNestedArchives();
  if (!children_.empty()) lookup_.build(*this);
  anyMultiRelease_ = multiRelease();
  for (const std::unique_ptr<ArchiveNode>& child : children_) {
    if (child != nullptr && child->anyMultiRelease_) anyMultiRelease_ = true;
  }
  // Its nested archives have been opened from the mapping; from here on the
  // node reads only its copy of the directory and the file.
  if (file_ != nullptr) zip_.forgetInput();
  return nullptr;
}

bool ArchiveNode::readFromFile(const void* context, uint64_t position, void* into, size_t length) {
  const ArchiveNode& node = *static_cast<const ArchiveNode*>(context);
  return node.file_->readAt(node.fileOffset_ + position, into, length);
}

void ArchiveNode::buildIndex() {
  const std::vector<ZipEntry>& entries = zip_.entries();
  // Of two entries with the same name, the one written first is found.
  auto before = [&](std::string_view nameA, uint32_t positionA, std::string_view nameB, uint32_t positionB) {
    const int order = compareEntryNames(nameA, nameB);
    if (order != 0) return order < 0;
    const uint32_t offsetA = entries[positionA].localHeaderOffset;
    const uint32_t offsetB = entries[positionB].localHeaderOffset;
    return offsetA != offsetB ? offsetA < offsetB : positionA < positionB;
  };
  index_.reserve(entries.size());
  if (entries.size() <= 0xFFFF) {
    // Every position fits the slot itself.
    for (size_t i = 0; i < entries.size(); ++i) {
      index_.push_back(IndexSlot{entries[i].nameOffset, entries[i].nameLength, static_cast<uint16_t>(i)});
    }
    std::sort(index_.begin(), index_.end(), [&](const IndexSlot& a, const IndexSlot& b) {
      return before(slotName(a), a.positionLow, slotName(b), b.positionLow);
    });
    return;
  }
  std::vector<uint32_t> order(entries.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<uint32_t>(i);
  std::sort(order.begin(), order.end(),
            [&](uint32_t a, uint32_t b) { return before(zip_.name(entries[a]), a, zip_.name(entries[b]), b); });
  positionHigh_.reserve(order.size());
  for (const uint32_t position : order) {
    index_.push_back(IndexSlot{entries[position].nameOffset, entries[position].nameLength,
                               static_cast<uint16_t>(position & 0xFFFF)});
    positionHigh_.push_back(static_cast<uint16_t>(position >> 16));
  }
}

void ArchiveNode::readVersions() {
  // A jar without versioned entries is a plain jar whatever its manifest
  // says, and its manifest is not even read.
  std::vector<VersionedSlot> found;
  for (size_t i = 0; i < index_.size(); ++i) {
    const IndexSlot& slot = index_[i];
    if (slot.nameLength <= kVersionsDirectory.size()) continue;
    const std::string_view name = slotName(slot);
    // A directory entry is no version of anything: META-INF/versions/11/p/
    // standing in for p/ would hide every base entry below p/ from a walk.
    if (normalised(name.back()) == '\\') continue;
    const uint32_t version = versionOf(name);
    if (version < static_cast<uint32_t>(kFirstVersionedRelease) || version > 0xFFFF) continue;
    // The name it stands in for starts after "META-INF/versions/N/".
    const uint32_t skip = static_cast<uint32_t>(name.find_first_of("/\\", kVersionsDirectory.size()) + 1);
    found.push_back(VersionedSlot{slot.nameOffset + skip, slotPosition(i),
                                  static_cast<uint16_t>(slot.nameLength - skip), static_cast<uint16_t>(version)});
  }
  if (found.empty()) return;
  const int32_t manifest = findEntry(*this, "META-INF/MANIFEST.MF");
  std::string text;
  if (manifest < 0 || !extractAt(manifest, "META-INF/MANIFEST.MF", allocateString, &text)) return;
  if (!manifestDeclaresMultiRelease(text)) return;
  // Looked up by name with the index's order; of one name, the highest
  // version first.
  std::stable_sort(found.begin(), found.end(), [this](const VersionedSlot& a, const VersionedSlot& b) {
    const int order = compareEntryNames(slotName(a), slotName(b));
    return order != 0 ? order < 0 : a.version > b.version;
  });
  versioned_ = std::move(found);
}

void ArchiveNode::openNestedArchives() {
  if (depth_ <= 0) return;
  for (size_t i = 0; i < index_.size(); ++i) {
    const std::string_view name = slotName(index_[i]);
    if (!isNestedArchiveName(name)) continue;
    // A jar that the program unpacks into the user's cache is on the
    // virtual machine's class path as a file; served from here as well,
    // its resources would be found twice.
    ContentDigest digest;
    if (recordedContentDigest(zip_, zip_.entries()[slotPosition(i)], digest)) {
      trace("archive: %.*s is served from its unpacked file", static_cast<int>(name.size()), name.data());
      continue;
    }
    nestedNames_.push_back(heldName(name));
    children_.push_back(openChild(zip_.entries()[slotPosition(i)], name));
  }
}

std::unique_ptr<ArchiveNode> ArchiveNode::openChild(const ZipEntry& entry, std::string_view name) {
  const int printedLength = static_cast<int>(name.size());
  if (static_cast<int32_t>(entry.size) <= 0) return nullptr;
  std::unique_ptr<ArchiveNode> child(new (std::nothrow) ArchiveNode(depth_ - 1));
  if (child == nullptr) return nullptr;
  const char* failure = nullptr;
  if (entry.method == 0) {
    // Stored: the child reads its bytes where they lie, from the same file
    // when this node's bytes lie in one. Its own entries carry their
    // CRC-32s, checked on every read, so the jar as a whole is not summed
    // here, which would read every byte of it at start-up.
    const uint8_t* stored = nullptr;
    failure = zip_.locate(entry, stored);
    if (failure != nullptr) {
      trace("archive: nested archive %.*s skipped: %s", printedLength, name.data(), failure);
      return nullptr;
    }
    if (file_ != nullptr) {
      child->file_ = file_;
      child->fileOffset_ = fileOffset_ + static_cast<uint64_t>(stored - zip_.data());
    }
    failure = child->openBytes(stored, entry.size);
  } else {
    StoredBuffer compressed;
    const uint8_t* stored = storedBytes(entry, compressed, failure);
    if (stored == nullptr) {
      trace("archive: nested archive %.*s skipped: %s", printedLength, name.data(), failure);
      return nullptr;
    }
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[entry.size]);
    if (buffer == nullptr) {
      trace("archive: nested archive %.*s skipped: no memory for %u bytes", printedLength, name.data(), entry.size);
      return nullptr;
    }
    {
      std::lock_guard<std::mutex> guard(lock_);
      failure = ZipReader::extract(entry, stored, buffer.get(), inflater_);
    }
    if (failure != nullptr) {
      trace("archive: nested archive %.*s skipped: %s", printedLength, name.data(), failure);
      return nullptr;
    }
    child->ownedBytes_ = std::move(buffer);
    failure = child->openBytes(child->ownedBytes_.get(), entry.size);
  }
  if (failure != nullptr) {
    trace("archive: nested archive %.*s is not a readable archive: %s", printedLength, name.data(), failure);
  } else if (child->multiRelease()) {
    trace("archive: nested archive %.*s is a multi-release jar", printedLength, name.data());
  }
  return child;
}

bool openArchiveFile(ArchiveNode& node, const std::string& path) {
  if (node.attempted_) return false;
  node.attempted_ = true;
  if (!node.mapping_.open(path)) {
    trace("archive: cannot map %s", path.c_str());
    return false;
  }
  node.file_ = &node.mapping_;
  const char* failure = node.openBytes(node.mapping_.data(), node.mapping_.size());
  // Every node in the file reads its own copy of its directory now, or
  // nothing: the mapping may go, and the pages it brought in with it.
  node.mapping_.releaseView();
  if (failure != nullptr) {
    trace("archive: %s holds no readable archive: %s", path.c_str(), failure);
    return false;
  }
  if (traceEnabled()) {
    trace("archive: %s: %zu entries, %zu nested archives; index memory %zu bytes, inflated archives %zu bytes",
          path.c_str(), node.entryCount(), node.nestedNames().size(), node.indexMemory(), node.inflatedMemory());
  }
  return true;
}

size_t ArchiveNode::indexMemory() const {
  size_t bytes = zip_.heldBytes() + zip_.entries().capacity() * sizeof(ZipEntry) +
                 index_.capacity() * sizeof(IndexSlot) + positionHigh_.capacity() * sizeof(uint16_t) +
                 versioned_.capacity() * sizeof(VersionedSlot) + nestedNames_.capacity() * sizeof(std::string) +
                 children_.capacity() * sizeof(children_[0]) + lookup_.memory();
  for (const std::string& name : nestedNames_) {
    if (name.capacity() > std::string().capacity()) bytes += name.capacity() + 1;
  }
  for (const std::unique_ptr<ArchiveNode>& child : children_) {
    if (child != nullptr) bytes += sizeof(ArchiveNode) + child->indexMemory();
  }
  return bytes;
}

size_t ArchiveNode::inflatedMemory() const {
  size_t bytes = ownedBytes_ != nullptr && mapping_.data() == nullptr ? zip_.size() : 0;
  for (const std::unique_ptr<ArchiveNode>& child : children_) {
    if (child != nullptr) bytes += child->inflatedMemory();
  }
  return bytes;
}

bool openArchiveMemory(ArchiveNode& node, std::unique_ptr<uint8_t[]> bytes, size_t length) {
  if (node.attempted_) return false;
  node.ownedBytes_ = std::move(bytes);
  return node.openBytes(node.ownedBytes_.get(), length) == nullptr;
}

// ---------------------------------------------------------------------------
// Lookups and reads

int32_t findEntry(const ArchiveNode& node, std::string_view name) {
  const auto slot = std::lower_bound(node.index_.begin(), node.index_.end(), name,
                                     [&](const ArchiveNode::IndexSlot& candidate, std::string_view wanted) {
                                       return compareEntryNames(node.slotName(candidate), wanted) < 0;
                                     });
  if (slot == node.index_.end() || compareEntryNames(node.slotName(*slot), name) != 0) return -1;
  return static_cast<int32_t>(node.slotPosition(static_cast<size_t>(slot - node.index_.begin())));
}

int32_t ArchiveNode::findForRelease(std::string_view name, int32_t release, std::string* versioned) const {
  if (release >= kFirstVersionedRelease && !versioned_.empty() && !startsWithPath(name, "META-INF/")) {
    auto candidate = std::lower_bound(versioned_.begin(), versioned_.end(), name,
                                      [this](const VersionedSlot& slot, std::string_view wanted) {
                                        return compareEntryNames(slotName(slot), wanted) < 0;
                                      });
    for (; candidate != versioned_.end() && compareEntryNames(slotName(*candidate), name) == 0; ++candidate) {
      if (candidate->version > release) continue;
      if (versioned != nullptr) {
        versioned->assign("META-INF\\versions\\");
        *versioned += std::to_string(candidate->version);
        *versioned += '\\';
        versioned->append(name.data(), name.size());
      }
      return static_cast<int32_t>(candidate->position);
    }
  }
  return findEntry(*this, name);
}

uint8_t* ArchiveNode::StoredBuffer::reserve(size_t size) {
  if (size <= sizeof(local_)) {
    heap_.reset();
    return local_;
  }
  heap_.reset(new (std::nothrow) uint8_t[size]);
  return heap_.get();
}

const uint8_t* ArchiveNode::storedBytes(const ZipEntry& entry, StoredBuffer& buffer, const char*& failure) const {
  const uint8_t* stored = nullptr;
  if (file_ == nullptr) {
    failure = zip_.locate(entry, stored);
    return failure == nullptr ? stored : nullptr;
  }
  uint64_t header = 0;
  failure = zip_.findLocalHeader(entry, header);
  if (failure != nullptr) return nullptr;
  // One read for the local header and the data behind it, on the guess
  // that the header's name is as long as the central directory's and its
  // extra field empty, as nearly always; a second read when it was not.
  const uint64_t guess = ZipReader::kLocalHeaderLength + entry.nameLength + uint64_t{entry.compressedSize};
  const size_t first = static_cast<size_t>(std::min<uint64_t>(guess, zip_.size() - header));
  uint8_t* into = buffer.reserve(first);
  if (into == nullptr) {
    failure = "no memory for its data";
    return nullptr;
  }
  if (!file_->readAt(fileOffset_ + header, into, first)) {
    failure = "cannot be read from the file";
    return nullptr;
  }
  uint64_t start = 0;
  failure = zip_.findData(entry, header, into, start);
  if (failure != nullptr) return nullptr;
  const uint64_t skip = start - header;
  if (skip + entry.compressedSize <= first) return into + skip;
  into = buffer.reserve(entry.compressedSize);
  if (into == nullptr) {
    failure = "no memory for its data";
    return nullptr;
  }
  if (!file_->readAt(fileOffset_ + start, into, entry.compressedSize)) {
    failure = "cannot be read from the file";
    return nullptr;
  }
  return into;
}

bool ArchiveNode::extractAt(int32_t position, std::string_view name, EntryAllocator allocate, void* argument) const {
  const ZipEntry& entry = zip_.entries()[static_cast<size_t>(position)];
  const int printedLength = static_cast<int>(name.size());
  // Everything the entry claims is checked, and its stored bytes are at
  // hand, before any memory is asked for: a hostile size cannot make the
  // caller allocate more than the data could ever produce, and the caller's
  // memory is not held while the file is read.
  StoredBuffer buffer;
  const char* failure = nullptr;
  const uint8_t* stored = storedBytes(entry, buffer, failure);
  if (stored == nullptr) {
    trace("archive: entry %.*s unreadable: %s", printedLength, name.data(), failure);
    return false;
  }
  uint8_t* destination = nullptr;
  if (!allocate(argument, entry.size, &destination)) return false;
  {
    std::lock_guard<std::mutex> guard(lock_);
    failure = ZipReader::extract(entry, stored, destination, inflater_);
  }
  if (failure != nullptr) {
    trace("archive: entry %.*s unreadable: %s", printedLength, name.data(), failure);
    return false;
  }
  return true;
}

// The walk by which a name finds its entry, shared by reading an entry and
// describing it: what is done with the entry found is the caller's.
class EntrySearch {
 public:
  // True when the entry at `position` of `node` was taken; false to go on.
  using Visit = bool (*)(const ArchiveNode& node, int32_t position, std::string_view name, void* argument);

  static bool run(const ArchiveNode& node, std::string_view name, bool searchNested, int32_t release, Visit visit,
                  void* argument, EntryLocation* location) {
    const size_t bang = name.find('!');
    if (bang != std::string_view::npos) {
      // An entry path: this node's own entries are not looked at, the name
      // in front of the "!" picks the nested archive.
      if (node.children_.empty() || (!searchNested && bang == 0)) return false;
      const EntryPathSplit split = splitAtBang(name, bang);
      for (size_t i = 0; i < node.children_.size(); ++i) {
        if (split.hasPrefix && !sameEntryName(node.nestedNames_[i], split.prefix)) continue;
        const ArchiveNode* child = node.children_[i].get();
        if (child == nullptr) continue;
        if (run(*child, split.rest, false, release, visit, argument, location)) {
          prependArchive(location, node.nestedNames_[i]);
          return true;
        }
      }
      return false;
    }

    const int32_t position = containsParentStep(name) ? node.findForRelease(resolveParentSteps(name), release, nullptr)
                                                      : node.findForRelease(name, release, nullptr);
    if (position >= 0 && visit(node, position, name, argument)) {
      if (location != nullptr) {
        location->archive.clear();
        location->name = std::string(node.zip_.name(node.zip_.entries()[static_cast<size_t>(position)]));
      }
      return true;
    }

    if (!searchNested || node.lookup_.empty()) return false;
    // One level down, only the archives that have the name's folder; each
    // resolves parent steps itself, as above.
    const std::string resolved = containsParentStep(name) ? resolveParentSteps(name) : std::string();
    return node.lookup_.forEachCandidate(resolved.empty() ? name : std::string_view(resolved), 1,
                                         [&](const NestedLookup::Archive& candidate) {
                                           if (!run(*candidate.node, name, false, release, visit, argument, location))
                                             return false;
                                           prependArchive(location, candidate.path);
                                           return true;
                                         });
  }

  struct Reading {
    EntryAllocator allocate;
    void* argument;
  };

  static bool read(const ArchiveNode& node, int32_t position, std::string_view name, void* argument) {
    const Reading& reading = *static_cast<const Reading*>(argument);
    return node.extractAt(position, name, reading.allocate, reading.argument);
  }

  static bool describe(const ArchiveNode& node, int32_t position, std::string_view, void* argument) {
    EntryInfo& info = *static_cast<EntryInfo*>(argument);
    const ZipEntry& entry = node.zip_.entries()[static_cast<size_t>(position)];
    info.size = entry.size;
    info.time = node.zip_.modificationTime(entry);
    return true;
  }
};

bool readEntryBytes(const ArchiveNode& node, std::string_view name, bool searchNested, EntryAllocator allocate,
                    void* argument, int32_t release, EntryLocation* location) {
  EntrySearch::Reading reading{allocate, argument};
  return EntrySearch::run(node, name, searchNested, release, EntrySearch::read, &reading, location);
}

bool readTopEntry(const ArchiveNode& node, std::string_view name, std::string& bytes) {
  auto growInto = [](void* argument, uint32_t size, uint8_t** destination) {
    std::string& into = *static_cast<std::string*>(argument);
    into.assign(size, '\0');
    *destination = reinterpret_cast<uint8_t*>(&into[0]);
    return true;
  };
  return readEntryBytes(node, name, false, growInto, &bytes);
}

bool findEntryInfo(const ArchiveNode& node, std::string_view name, bool searchNested, EntryInfo& info) {
  return EntrySearch::run(node, name, searchNested, 0, EntrySearch::describe, &info, nullptr);
}

namespace {

// Looks `name` up in `node` itself; true when the search is over (a match
// with no `report`).
bool findOwnEntryPath(const ArchiveNode& node, std::string_view name, std::string& outPath, const std::string& prefix,
                      EntryPathReport report, void* reportArg, int32_t release) {
  std::string versioned;
  if (node.findForRelease(name, release, &versioned) < 0) return false;
  const std::string found = versioned.empty() ? std::string(name) : versioned;
  std::string path = prefix.empty() ? found : prefix + "!" + found;
  if (report == nullptr) {
    outPath = std::move(path);
    return true;
  }
  report(reportArg, path);
  return false;
}

}  // namespace

bool findEntryPaths(const ArchiveNode& node, std::string_view name, std::string& outPath, const std::string& prefix,
                    EntryPathReport report, void* reportArg, int32_t release) {
  const size_t bang = name.find('!');
  if (bang == std::string_view::npos) {
    if (findOwnEntryPath(node, name, outPath, prefix, report, reportArg, release)) return true;
    // Every level below, depth first, only the archives that have the
    // name's folder.
    return node.lookup_.forEachCandidate(name, INT32_MAX, [&](const NestedLookup::Archive& candidate) {
      return findOwnEntryPath(*candidate.node, name, outPath,
                              prefix.empty() ? candidate.path : prefix + "!" + candidate.path, report, reportArg,
                              release);
    });
  }
  if (node.nestedNames().empty()) return false;
  EntryPathSplit split{false, std::string_view(), name};
  if (bang != std::string_view::npos) split = splitAtBang(name, bang);
  for (size_t i = 0; i < node.nestedNames().size(); ++i) {
    const std::string& nestedName = node.nestedNames()[i];
    if (split.hasPrefix && !sameEntryName(nestedName, split.prefix)) continue;
    const ArchiveNode* child = node.child(i);
    if (child == nullptr) continue;
    const std::string childPrefix = prefix.empty() ? nestedName : prefix + "!" + nestedName;
    if (findEntryPaths(*child, split.rest, outPath, childPrefix, report, reportArg, release)) return true;
  }
  return false;
}

const ArchiveNode* findNestedArchive(const ArchiveNode& node, std::string_view path) {
  if (path.empty()) return node.isOpen() ? &node : nullptr;
  const size_t bang = path.find('!');
  const std::string_view first = path.substr(0, bang);
  for (size_t i = 0; i < node.nestedNames().size(); ++i) {
    if (!sameEntryName(node.nestedNames()[i], first) || node.child(i) == nullptr) continue;
    return findNestedArchive(*node.child(i),
                             bang == std::string_view::npos ? std::string_view() : path.substr(bang + 1));
  }
  return nullptr;
}

bool manifestDeclaresMultiRelease(std::string_view manifest) {
  // The main section ends at the first empty line; a line that starts with
  // a space continues the one before it.
  std::string header;
  size_t position = 0;
  auto declares = [](const std::string& line) {
    const size_t colon = line.find(": ");
    return colon != std::string::npos &&
           sameWordIgnoringCase(std::string_view(line).substr(0, colon), "multi-release") &&
           sameWordIgnoringCase(std::string_view(line).substr(colon + 2), "true");
  };
  while (position < manifest.size()) {
    size_t end = manifest.find_first_of("\r\n", position);
    if (end == std::string_view::npos) end = manifest.size();
    const std::string_view line = manifest.substr(position, end - position);
    position = end;
    if (position < manifest.size() && manifest[position] == '\r') ++position;
    if (position < manifest.size() && manifest[position] == '\n') ++position;
    if (line.empty()) break;
    if (line[0] == ' ') {
      header.append(line.data() + 1, line.size() - 1);
      continue;
    }
    if (declares(header)) return true;
    header.assign(line.data(), line.size());
  }
  return declares(header);
}

}  // namespace xoq
