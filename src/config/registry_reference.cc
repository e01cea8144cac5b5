#include "config/registry_reference.h"

#include <cstdint>
#include <cstring>

#include "config/config_store.h"
#include "config/expand.h"

namespace xoq {

namespace {

struct RootPrefix {
  const char* prefix;
  platform::RegistryRoot root;
};

// Tested in this order, with exact case: "hklm\" is no root.
const RootPrefix kRootPrefixes[] = {
    {"HKCR\\", platform::RegistryRoot::kClassesRoot},
    {"HKCU\\", platform::RegistryRoot::kCurrentUser},
    {"HKLM\\", platform::RegistryRoot::kLocalMachine},
    {"HKU\\", platform::RegistryRoot::kUsers},
    {"HKCC\\", platform::RegistryRoot::kCurrentConfig},
    {"HKEY_CLASSES_ROOT\\", platform::RegistryRoot::kClassesRoot},
    {"HKEY_CURRENT_USER\\", platform::RegistryRoot::kCurrentUser},
    {"HKEY_LOCAL_MACHINE\\", platform::RegistryRoot::kLocalMachine},
    {"HKEY_USERS\\", platform::RegistryRoot::kUsers},
    {"HKEY_CURRENT_CONFIG\\", platform::RegistryRoot::kCurrentConfig},
};

// Nesting of REG_EXPAND_SZ expansions on this thread, and how many nested
// expansions one outermost registry reference may still start. The depth
// bound alone stops a value that names itself once; a value that names
// itself several times would still multiply its work at every level, so the
// total is bounded too.
constexpr int kMaxNestedExpansions = 64;
thread_local int nestingDepth = 0;
thread_local int nestedExpansionsLeft = 0;

class NestingLevel {
 public:
  NestingLevel() {
    ++nestingDepth;
    --nestedExpansionsLeft;
  }
  ~NestingLevel() { --nestingDepth; }
  NestingLevel(const NestingLevel&) = delete;
  NestingLevel& operator=(const NestingLevel&) = delete;
};

int32_t dwordOf(const std::string& data, bool bigEndian) {
  const unsigned char* b = reinterpret_cast<const unsigned char*>(data.data());
  const uint32_t bits = bigEndian ? (uint32_t{b[0]} << 24 | uint32_t{b[1]} << 16 | uint32_t{b[2]} << 8 | b[3])
                                  : (uint32_t{b[3]} << 24 | uint32_t{b[2]} << 16 | uint32_t{b[1]} << 8 | b[0]);
  int32_t value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

// A stored string may or may not carry its terminator, and may hold more
// after it; the text ends at the first NUL.
std::string storedString(const std::string& data) { return data.substr(0, data.find('\0')); }

std::string valueText(const platform::RegistryValue& stored, const ConfigStore* config) {
  switch (stored.type) {
    case platform::kRegistryString:
      return storedString(stored.data);
    case platform::kRegistryExpandString: {
      std::string text = storedString(stored.data);
      if (nestingDepth == 0) nestedExpansionsLeft = kMaxNestedExpansions;
      if (nestingDepth >= kMaxRegistryNesting || nestedExpansionsLeft <= 0) return text;
      NestingLevel level;
      return expandReferences(text, false, config);
    }
    case platform::kRegistryDword:
    case platform::kRegistryDwordBigEndian:
      // Fewer than four bytes hold no number; reading past them would
      // invent one.
      if (stored.data.size() < 4) return std::string();
      return std::to_string(dwordOf(stored.data, stored.type == platform::kRegistryDwordBigEndian));
    default:
      return std::string();
  }
}

}  // namespace

RegistryReference parseRegistryReference(const std::string& name) {
  RegistryReference reference;
  std::string rest = name;
  for (const RootPrefix& candidate : kRootPrefixes) {
    const size_t prefixLength = std::strlen(candidate.prefix);
    if (rest.compare(0, prefixLength, candidate.prefix) == 0) {
      reference.hasRoot = true;
      reference.root = candidate.root;
      rest.erase(0, prefixLength);
      break;
    }
  }
  const size_t bar = rest.find('|');
  if (bar != std::string::npos) {
    reference.hasDefault = true;
    reference.defaultValue = rest.substr(bar + 1);
    rest.erase(bar);
  }
  if (!reference.hasRoot) return reference;
  const size_t backslash = rest.rfind('\\');
  if (backslash == std::string::npos) {
    reference.keyPath = rest;
  } else {
    reference.keyPath = rest.substr(0, backslash);
    reference.valueName = rest.substr(backslash + 1);
  }
  return reference;
}

bool readRegistryReference(const std::string& name, const ConfigStore* config, std::string& value) {
  const RegistryReference reference = parseRegistryReference(name);
  platform::RegistryValue stored;
  if (reference.hasRoot &&
      platform::readRegistryValue(reference.root, reference.keyPath, reference.valueName, stored)) {
    value = valueText(stored, config);
    return true;
  }
  if (!reference.hasDefault) return false;
  value = reference.defaultValue;
  return true;
}

bool readRegistryReference(const std::string& name, std::string& value) {
  return readRegistryReference(name, theConfig, value);
}

}  // namespace xoq
