#include "runtime/runtime_search.h"

#include <cstring>
#include <vector>

#include "base/trace.h"
#include "config/ascii.h"
#include "config/config_store.h"
#include "platform/directory.h"
#include "platform/platform.h"
#include "runtime/installed_runtimes.h"
#include "runtime/registered_runtimes.h"
#include "runtime/runtime_layout.h"

namespace xoq {

namespace {

// Every letter that names a method: the five the order has always known and
// those added since (j, v, w, f, and p for the runtime the program carries).
// An order that names none of them is replaced by the default.
const char kMethodLetters[] = "cbsiejvwfp";

const char kJavaSoftKey[] = "SOFTWARE\\JavaSoft\\Java Runtime Environment";
const char kIbmKey[] = "SOFTWARE\\IBM\\Java2 Runtime Environment";

// A candidate is taken when it can be read; nothing checks that it is a
// virtual machine library until it is loaded.
bool accept(const std::string& candidate) {
  if (platform::isReadable(candidate)) {
    trace("runtime candidate %s: found", candidate.c_str());
    return true;
  }
  trace("runtime candidate %s: not there", candidate.c_str());
  return false;
}

std::string configuredLibrary(ConfigStore& config) {
  const std::string path = config.jvmDll();
  if (path.empty()) {
    trace("runtime method c: no jvmdll configured");
    return std::string();
  }
  return accept(path) ? path : std::string();
}

CarriedRuntimeSource carriedRuntimeSource = nullptr;
CarriedRuntimeFailure carriedFailure;

// Method p: stops the search when the carried runtime exists but cannot be
// used (`stop` set, the failure kept for the message).
std::string carriedRuntime(ConfigStore& config, bool& stop) {
  std::string folder;
  CarriedRuntimeFailure failure;
  if (carriedRuntimeSource == nullptr || !carriedRuntimeSource(folder, failure)) {
    if (failure.messageId != 0) {
      trace("runtime method p: cannot use the carried runtime: %s: %s", failure.folder.c_str(), failure.reason.c_str());
      carriedFailure = failure;
      stop = true;
    } else {
      trace("runtime method p: this program carries no runtime");
    }
    return std::string();
  }
  trace("runtime method p: %s", folder.c_str());
  return locateJvmInDirectory(folder, config.preferredVmName());
}

std::string localRuntime(ConfigStore& config) {
  const std::string directory = config.jre();
  trace("runtime method b: %s", directory.c_str());
  return locateJvmInDirectory(directory, config.preferredVmName());
}

}  // namespace

std::string runtimeSearchOrder(const std::string& jreOrder) {
  std::string order;
  bool anyMethod = false;
  for (char c : jreOrder) {
    const char lower = asciiLower(c);
    if (strchr(kMethodLetters, lower) != nullptr && lower != '\0') anyMethod = true;
    order += lower;
  }
  return anyMethod ? order : "cbsie";
}

std::string locateJvmInDirectory(const std::string& directory, const std::string& preferredVm) {
  const std::string base = withTrailingSeparator(directory);
  for (const std::string& sub : runtimeSubdirectories()) {
    const std::string level = base + sub;
    if (accept(level + kJvmLibraryName)) return level + kJvmLibraryName;
    if (preferredVm.size() > 1 && accept(level + preferredVm + "/" + kJvmLibraryName)) {
      return level + preferredVm + "/" + kJvmLibraryName;
    }
    std::vector<platform::DirectoryEntry> entries;
    if (!platform::listDirectory(level, entries)) continue;
    for (const platform::DirectoryEntry& entry : entries) {
      if (!entry.isDirectory) continue;
      const std::string candidate = level + entry.name + "/" + kJvmLibraryName;
      if (accept(candidate)) return candidate;
    }
  }
  return std::string();
}

std::string findRuntimeFromEnvironment(ConfigStore& config) {
  for (const char* name : {"JRE_HOME", "JAVA_HOME"}) {
    std::string home;
    if (!platform::getEnvironment(name, home) || home.empty()) {
      trace("runtime method e: %s not set", name);
      continue;
    }
    trace("runtime method e: %s=%s", name, home.c_str());
    const std::string library = locateJvmInDirectory(home, config.preferredVmName());
    if (!library.empty()) return library;
  }
  return std::string();
}

std::string searchJvmLibrary(ConfigStore& config) {
  const std::string order = runtimeSearchOrder(config.jreOrder());
  trace("runtime search order: %s", order.c_str());
  for (char method : order) {
    std::string library;
    bool stop = false;
    switch (method) {
      case 'c':
        library = configuredLibrary(config);
        break;
      case 'b':
        library = localRuntime(config);
        break;
      case 's':
        library = readRegistryRuntime(kJavaSoftKey, config);
        break;
      case 'i':
        library = readRegistryRuntime(kIbmKey, config);
        break;
      case 'e':
        library = findRuntimeFromEnvironment(config);
        break;
      case 'j':
        library = findJavaSoftRuntimes(config);
        break;
      case 'v':
        library = findVendorRuntimes(config);
        break;
      case 'w':
        library = findRuntimeOnPath(config);
        break;
      case 'f':
        library = findRuntimeInInstallFolders(config);
        break;
      case 'p':
        library = carriedRuntime(config, stop);
        break;
      default:
        continue;  // not a method letter
    }
    if (stop) return std::string();
    if (!library.empty()) {
      trace("runtime library chosen (method %c): %s", method, library.c_str());
      return library;
    }
  }
  trace("runtime search: no runtime found");
  return std::string();
}

void setCarriedRuntimeSource(CarriedRuntimeSource source) { carriedRuntimeSource = source; }

const CarriedRuntimeFailure& carriedRuntimeFailure() { return carriedFailure; }

std::string findJvmLibrary() {
  // The first call (from the splash step) searches; later calls return the
  // same answer, found or not.
  static std::string result = "-";
  if (result != "-") return result;
  result = theConfig != nullptr ? searchJvmLibrary(*theConfig) : std::string();
  return result;
}

}  // namespace xoq
