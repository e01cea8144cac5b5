#include "module_info.h"

#include <memory>
#include <vector>

#include "archive/zip_reader.h"
#include "base/byte_order.h"
#include "host_files.h"

namespace xoq {

namespace {

uint16_t big16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
uint32_t big32(const uint8_t* p) { return (static_cast<uint32_t>(big16(p)) << 16) | big16(p + 2); }

// The constant pool of a class file: where each entry starts, so that
// Utf8 and Module entries can be read by index.
struct ConstantPool {
  const uint8_t* data = nullptr;
  std::vector<size_t> offsets;  // of each entry's tag; 0 for the unusable slots
  std::string utf8(uint16_t index) const {
    if (index == 0 || index >= offsets.size() || offsets[index] == 0 || data[offsets[index]] != 1) return std::string();
    const size_t at = offsets[index];
    return std::string(reinterpret_cast<const char*>(data) + at + 3, big16(data + at + 1));
  }
  // A CONSTANT_Module (19) names its Utf8 name.
  std::string moduleName(uint16_t index) const {
    if (index == 0 || index >= offsets.size() || offsets[index] == 0 || data[offsets[index]] != 19)
      return std::string();
    return utf8(big16(data + offsets[index] + 1));
  }
};

}  // namespace

bool parseModuleInfo(const std::string& classFile, ModuleInfo& info) {
  const uint8_t* data = reinterpret_cast<const uint8_t*>(classFile.data());
  const size_t size = classFile.size();
  if (size < 10 || big32(data) != 0xCAFEBABE) return false;
  ConstantPool pool;
  pool.data = data;
  const uint16_t count = big16(data + 8);
  pool.offsets.assign(count, 0);
  size_t at = 10;
  for (uint16_t index = 1; index < count; ++index) {
    if (at >= size) return false;
    pool.offsets[index] = at;
    size_t length = 0;
    switch (data[at]) {
      case 1:  // Utf8
        if (at + 3 > size) return false;
        length = 3 + big16(data + at + 1);
        break;
      case 7:
      case 8:
      case 16:
      case 19:
      case 20:  // Class, String, MethodType, Module, Package
        length = 3;
        break;
      case 15:  // MethodHandle
        length = 4;
        break;
      case 3:
      case 4:
      case 9:
      case 10:
      case 11:
      case 12:
      case 17:
      case 18:
        length = 5;
        break;
      case 5:
      case 6:  // Long and Double take two slots
        length = 9;
        if (index + 1 < count) pool.offsets[++index] = 0;
        break;
      default:
        return false;
    }
    at += length;
  }
  // Access flags, this and super class, then the lists: a module
  // descriptor has no interfaces, fields or methods, but they are skipped
  // all the same.
  at += 6;
  if (at + 2 > size) return false;
  at += 2 + 2 * static_cast<size_t>(big16(data + at));
  for (int list = 0; list < 2; ++list) {
    if (at + 2 > size) return false;
    const uint16_t members = big16(data + at);
    at += 2;
    for (uint16_t i = 0; i < members; ++i) {
      if (at + 8 > size) return false;
      const uint16_t attributes = big16(data + at + 6);
      at += 8;
      for (uint16_t j = 0; j < attributes; ++j) {
        if (at + 6 > size) return false;
        at += 6 + big32(data + at + 2);
      }
    }
  }
  if (at + 2 > size) return false;
  const uint16_t attributes = big16(data + at);
  at += 2;
  bool sawModule = false;
  for (uint16_t i = 0; i < attributes; ++i) {
    if (at + 6 > size) return false;
    const std::string name = pool.utf8(big16(data + at));
    const uint32_t length = big32(data + at + 2);
    const uint8_t* body = data + at + 6;
    if (length > size - at - 6) return false;
    if (name == "Module" && length >= 6) {
      info.name = pool.moduleName(big16(body));
      info.version = pool.utf8(big16(body + 4));
      sawModule = true;
    } else if (name == "ModuleTarget" && length >= 2) {
      info.targetPlatform = pool.utf8(big16(body));
    }
    at += 6 + length;
  }
  return sawModule;
}

bool readJmodModuleInfo(const std::string& path, ModuleInfo& info, std::string& error) {
  std::string content, reason;
  if (!host::readFile(path, content, reason)) {
    error = "cannot read " + path + ": " + reason;
    return false;
  }
  // A jmod file is "JM", its format version, then a ZIP archive.
  const uint8_t* data = reinterpret_cast<const uint8_t*>(content.data());
  ZipReader zip;
  if (content.size() < 4 || data[0] != 'J' || data[1] != 'M' || zip.open(data, content.size()) != nullptr) {
    error = path + " is not a jmod file";
    return false;
  }
  for (const ZipEntry& entry : zip.entries()) {
    if (zip.name(entry) != "classes/module-info.class") continue;
    const uint8_t* stored = nullptr;
    std::unique_ptr<uint8_t[]> bytes(new uint8_t[entry.size + 1]);
    Inflater inflater;
    if (zip.locate(entry, stored) != nullptr || ZipReader::extract(entry, stored, bytes.get(), inflater) != nullptr ||
        !parseModuleInfo(std::string(reinterpret_cast<const char*>(bytes.get()), entry.size), info)) {
      break;
    }
    return true;
  }
  error = path + " holds no readable module descriptor";
  return false;
}

}  // namespace xoq
