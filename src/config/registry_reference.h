// Registry references in configuration values, such as
// ${HKLM\SOFTWARE\Vendor\App\Path|C:\fallback}: a root prefix (exact case),
// the key path, the value name after the last backslash (none: the key's
// default value) and an optional default after the first '|'.
#ifndef XOQ_CONFIG_REGISTRY_REFERENCE_H_
#define XOQ_CONFIG_REGISTRY_REFERENCE_H_

#include <string>

#include "platform/platform.h"

namespace xoq {

class ConfigStore;

/// A reference name taken apart.
struct RegistryReference {
  bool hasRoot = false;
  platform::RegistryRoot root = platform::RegistryRoot::kCurrentUser;
  std::string keyPath;
  std::string valueName;
  bool hasDefault = false;
  std::string defaultValue;
};

/// Splits `name` into root, key path, value name and default. `hasRoot` is
/// false when it starts with none of HKCR\ HKCU\ HKLM\ HKU\ HKCC\ or their
/// long forms (HKEY_LOCAL_MACHINE\ ...), in exact case.
RegistryReference parseRegistryReference(const std::string& name);

/// How many REG_EXPAND_SZ values may be expanded inside one another. A value
/// that refers back to itself would otherwise expand without end; at the
/// bound the value is inserted as stored.
constexpr int kMaxRegistryNesting = 4;

/// The text the registry value named by `name` stands for: a string as
/// stored, an expandable string expanded (launcher names from `config`), a
/// 32-bit number in either byte order as a signed decimal, any other type as
/// the empty string. When the name has no root or the value cannot be read,
/// the default after '|' if there is one, else false (unresolved).
bool readRegistryReference(const std::string& name, const ConfigStore* config, std::string& value);

/// readRegistryReference with `theConfig`.
bool readRegistryReference(const std::string& name, std::string& value);

}  // namespace xoq

#endif  // XOQ_CONFIG_REGISTRY_REFERENCE_H_
