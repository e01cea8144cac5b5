// The archive reader over any bytes: the central directory (ZIP64 end
// records and extra fields included), nested archives two levels down,
// multi-release manifests, every entry read in full (stored, deflated,
// damaged), described from its extra field's times, and looked up by its
// plain and "!" names.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "archive/archive_node.h"

namespace {

// Entries are read into a buffer of exactly their size.
struct Destination {
  std::unique_ptr<uint8_t[]> bytes;
  uint32_t size = 0;
};

bool allocate(void* argument, uint32_t size, uint8_t** destination) {
  auto* target = static_cast<Destination*>(argument);
  // The reader checked the claimed size against the data (deflate's ratio);
  // anything it lets through is allocated, as the class loader would.
  target->bytes.reset(new uint8_t[size == 0 ? 1 : size]);
  target->size = size;
  *destination = target->bytes.get();
  return true;
}

void ignorePath(void*, const std::string&) {}

void readEverything(const xoq::ArchiveNode& node, const std::string& prefix) {
  for (size_t i = 0; i < node.entryCount(); ++i) {
    const std::string name(node.entryName(i));
    if (xoq::findEntry(node, name) < 0) std::abort();  // every listed name is found again
    Destination destination;
    xoq::readEntryBytes(node, name, true, allocate, &destination);
    // As a multi-release jar serves it, and as a URL connection describes it.
    xoq::EntryLocation location;
    xoq::readEntryBytes(node, name, true, allocate, &destination, 25, &location);
    xoq::EntryInfo info;
    xoq::findEntryInfo(node, name, true, info);
    std::string path;
    xoq::findEntryPaths(node, name, path, prefix, nullptr, nullptr);
    xoq::findEntryPaths(node, name, path, prefix, ignorePath, nullptr);
    xoq::findEntryPaths(node, name, path, prefix, ignorePath, nullptr, 11);
    (void)xoq::resolveParentSteps(name);
  }
  for (size_t i = 0; i < node.nestedNames().size(); ++i) {
    const xoq::ArchiveNode* child = node.child(i);
    if (child == nullptr || !child->isOpen()) continue;
    // The child's entries through the parent, as "!" names.
    for (size_t j = 0; j < child->entryCount() && j < 16; ++j) {
      Destination destination;
      xoq::readEntryBytes(node, node.nestedNames()[i] + "!" + std::string(child->entryName(j)), false, allocate,
                          &destination);
    }
    readEverything(*child, prefix + node.nestedNames()[i] + "!");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::unique_ptr<uint8_t[]> bytes(new uint8_t[size == 0 ? 1 : size]);
  if (size > 0) std::memcpy(bytes.get(), data, size);
  xoq::ArchiveNode node(xoq::kPayloadNestingDepth);
  if (!xoq::openArchiveMemory(node, std::move(bytes), size)) return 0;
  readEverything(node, "");
  // Names the archive does not hold, with parent steps and separators.
  Destination destination;
  xoq::readEntryBytes(node, "a/../b\\..\\..\\c", true, allocate, &destination);
  xoq::readEntryBytes(node, "!x!y", true, allocate, &destination);
  return 0;
}
