#include "runtime/registered_runtimes.h"

#include <vector>

#include "base/trace.h"
#include "config/config_store.h"
#include "runtime/runtime_candidates.h"
#include "runtime/runtime_layout.h"
#include "runtime/runtime_search.h"

namespace xoq {

namespace {

using platform::RegistryRoot;

// Oracle's installers write these since Java 9 (JDK, JRE) and for the
// development kits up to Java 8; the vendors' installers that offer to
// "set the JavaSoft keys" write the same ones, and Amazon Corretto's MSI
// writes them always.
const char* const kJavaSoftKeys[] = {"SOFTWARE\\JavaSoft\\JDK", "SOFTWARE\\JavaSoft\\JRE",
                                     "SOFTWARE\\JavaSoft\\Java Development Kit"};

// The vendors whose MSI installers are built from Eclipse Adoptium's
// installer sources: SOFTWARE\<vendor>\{JDK,JRE}\<version>\<vm>\MSI holds
// the install folder as "Path", written under HKLM for a machine-wide
// install and under HKCU for one of the user's own. AdoptOpenJDK's first
// installers left out the <vm> level.
const char* const kMsiVendors[] = {"Eclipse Adoptium", "AdoptOpenJDK", "Eclipse Foundation", "Microsoft", "Semeru"};

// Vendors whose installers keep one key per installed runtime with its
// folder as "InstallationPath".
const char* const kNamedVendorKeys[] = {"SOFTWARE\\Azul Systems\\Zulu", "SOFTWARE\\BellSoft\\Liberica"};

const char* rootName(RegistryRoot root) { return root == RegistryRoot::kCurrentUser ? "HKCU" : "HKLM"; }

std::vector<std::string> subkeysOf(RegistryRoot root, const std::string& key) {
  std::vector<std::string> names;
  platform::listRegistrySubkeys(root, key, names);
  return names;
}

// The install folder that the value `value` of a vendor's key names, as a
// candidate.
void addRegisteredFolder(RuntimeCandidates& candidates, RegistryRoot root, const std::string& key, const char* value) {
  std::string home;
  if (!readRegistryString(root, key, value, home) || home.empty()) return;
  candidates.addHome(home, std::string(rootName(root)) + "\\" + key + " " + value);
}

}  // namespace

bool readRegistryString(RegistryRoot root, const std::string& keyPath, const char* name, std::string& value) {
  platform::RegistryValue raw;
  if (!platform::readRegistryValue(root, keyPath, name, raw)) return false;
  if (raw.type != platform::kRegistryString && raw.type != platform::kRegistryExpandString) return false;
  value = raw.data;
  const size_t end = value.find('\0');
  if (end != std::string::npos) value.resize(end);
  return true;
}

std::string readRegisteredVersion(const std::string& versionKey, ConfigStore& config) {
  std::string library;
  if (readRegistryString(RegistryRoot::kLocalMachine, versionKey, "RuntimeLib", library)) {
    if (platform::exists(library) && config.preferredVmName().size() <= 1) {
      trace("runtime method registry %s: RuntimeLib %s", versionKey.c_str(), library.c_str());
      return library;
    }
    // The library's folder is a virtual machine folder of bin: search bin,
    // so that the preferred virtual machine is found there. A separator at
    // the very start does not cut.
    std::string bin = library;
    for (int level = 0; level < 2; ++level) {
      const size_t separator = bin.find_last_of("\\/");
      if (separator != std::string::npos && separator != 0) bin.resize(separator);
    }
    trace("runtime method registry %s: RuntimeLib %s, searching %s", versionKey.c_str(), library.c_str(), bin.c_str());
    return locateJvmInDirectory(bin, config.preferredVmName());
  }
  std::string home;
  if (readRegistryString(RegistryRoot::kLocalMachine, versionKey, "JavaHome", home)) {
    trace("runtime method registry %s: JavaHome %s", versionKey.c_str(), home.c_str());
    return locateJvmInDirectory(home, config.preferredVmName());
  }
  trace("runtime method registry %s: neither RuntimeLib nor JavaHome", versionKey.c_str());
  return std::string();
}

std::string findJavaSoftRuntimes(ConfigStore& config) {
  if (!platform::kHasRegistry) {
    trace("runtime method j: no registry on this system");
    return std::string();
  }
  RuntimeCandidates candidates('j', RuntimeCandidates::boundsOf(config));
  for (const char* key : kJavaSoftKeys) {
    // Every version key, not only CurrentVersion's: an update may leave the
    // keys without CurrentVersion, and the bounds may want another version.
    // CurrentVersion's goes first, so that it wins a tie.
    std::vector<std::string> versions;
    std::string current;
    if (readRegistryString(RegistryRoot::kLocalMachine, key, "CurrentVersion", current) && !current.empty()) {
      versions.push_back(current);
    }
    if (!platform::listRegistrySubkeys(RegistryRoot::kLocalMachine, key, versions)) {
      trace("runtime method j: no key HKLM\\%s", key);
      continue;
    }
    for (size_t i = 0; i < versions.size(); ++i) {
      const std::string& version = versions[i];
      if (i > 0 && version == current) continue;  // read already, as CurrentVersion
      const std::string versionKey = std::string(key) + "\\" + version;
      candidates.addLibrary(readRegisteredVersion(versionKey, config), "HKLM\\" + versionKey);
    }
  }
  return candidates.choose();
}

std::string findVendorRuntimes(ConfigStore& config) {
  if (!platform::kHasRegistry) {
    trace("runtime method v: no registry on this system");
    return std::string();
  }
  RuntimeCandidates candidates('v', RuntimeCandidates::boundsOf(config));
  for (RegistryRoot root : {RegistryRoot::kLocalMachine, RegistryRoot::kCurrentUser}) {
    for (const char* vendor : kMsiVendors) {
      for (const char* kind : {"JDK", "JRE"}) {
        const std::string key = std::string("SOFTWARE\\") + vendor + "\\" + kind;
        for (const std::string& version : subkeysOf(root, key)) {
          const std::string versionKey = key + "\\" + version;
          for (const std::string& vm : subkeysOf(root, versionKey)) {
            if (sameFileName(vm, "MSI")) {
              addRegisteredFolder(candidates, root, versionKey + "\\MSI", "Path");
            } else {
              addRegisteredFolder(candidates, root, versionKey + "\\" + vm + "\\MSI", "Path");
            }
          }
        }
      }
    }
    for (const char* key : kNamedVendorKeys) {
      for (const std::string& name : subkeysOf(root, key)) {
        addRegisteredFolder(candidates, root, std::string(key) + "\\" + name, "InstallationPath");
      }
    }
  }
  return candidates.choose();
}

}  // namespace xoq
