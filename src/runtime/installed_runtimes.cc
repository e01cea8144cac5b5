#include "runtime/installed_runtimes.h"

#include <algorithm>
#include <vector>

#include "base/trace.h"
#include "platform/directory.h"
#include "platform/platform.h"
#include "runtime/runtime_candidates.h"
#include "runtime/runtime_layout.h"

namespace xoq {

namespace {

// `path` without its last component; empty when it has none.
std::string parentOf(const std::string& path) {
  const size_t separator = path.find_last_of(kPathSeparators);
  return separator == std::string::npos || separator == 0 ? std::string() : path.substr(0, separator);
}

std::string lastComponentOf(const std::string& path) {
  const size_t separator = path.find_last_of(kPathSeparators);
  return separator == std::string::npos ? path : path.substr(separator + 1);
}

}  // namespace

std::string findRuntimeOnPath(ConfigStore& config) {
  RuntimeCandidates candidates('w', RuntimeCandidates::boundsOf(config));
  std::string path;
  if (!platform::getEnvironment("PATH", path) || path.empty()) {
    trace("runtime method w: PATH is not set");
    return std::string();
  }
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(kPathListSeparator, start);
    if (end == std::string::npos) end = path.size();
    std::string folder = path.substr(start, end - start);
    start = end + 1;
    // Windows lets a folder of PATH stand in quotes.
    if (folder.size() >= 2 && folder.front() == '"' && folder.back() == '"')
      folder = folder.substr(1, folder.size() - 2);
    if (folder.empty()) continue;
    const std::string launcher = folder + kPathSeparators[0] + kJavaLauncherName;
    if (!platform::exists(launcher)) continue;
    std::string real = platform::resolveLinks(launcher);
    if (real.empty()) real = launcher;
    const std::string bin = parentOf(real);
    if (!sameFileName(lastComponentOf(bin), "bin")) {
      trace("runtime method w: %s (%s) is not inside a runtime, passed over", launcher.c_str(), real.c_str());
      continue;
    }
    candidates.addHome(parentOf(bin), launcher);
  }
  return candidates.choose();
}

std::string findRuntimeInInstallFolders(ConfigStore& config) {
  RuntimeCandidates candidates('f', RuntimeCandidates::boundsOf(config));
  for (const InstallFolder& folder : usualInstallFolders()) {
    std::vector<platform::DirectoryEntry> entries;
    if (!platform::listDirectory(folder.path, entries)) continue;
    std::vector<std::string> names;
    for (const platform::DirectoryEntry& entry : entries) {
      if (entry.isDirectory && entry.name.compare(0, folder.namePrefix.size(), folder.namePrefix) == 0) {
        names.push_back(entry.name);
      }
    }
    // In name order, so that the same folders always give the same choice.
    std::sort(names.begin(), names.end());
    trace("runtime method f: %s: %u folders", folder.path.c_str(), static_cast<unsigned>(names.size()));
    for (const std::string& name : names) {
      const std::string home = folder.path + kPathSeparators[0] + name;
      candidates.addHome(home, folder.path);
    }
  }
  return candidates.choose();
}

}  // namespace xoq
