#include <string>

#include "base/trace.h"
#include "config/ascii.h"
#include "config/config_store.h"
#include "platform/platform.h"
#include "runtime/registered_runtimes.h"
#include "runtime/runtime_layout.h"
#include "runtime/runtime_search.h"

namespace xoq {

const char kJvmLibraryName[] = "jvm.dll";

const char kClassPathSeparator[] = ";";

const char kJavaLauncherName[] = "java.exe";

const char kPathSeparators[] = "\\/";

const char kPathListSeparator = ';';

const std::vector<std::string>& runtimeSubdirectories() {
  // "..\jre\bin\" lets a development kit's bin directory reach the kit's
  // own runtime.
  static const std::vector<std::string> list = {"", "bin\\", "jre\\bin\\", "..\\jre\\bin\\"};
  return list;
}

bool sameFileName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (asciiLower(a[i]) != asciiLower(b[i])) return false;
  }
  return true;
}

std::vector<InstallFolder> usualInstallFolders() {
  // Where the installers put a machine-wide runtime (%ProgramFiles%, the
  // 64-bit folder for this 64-bit program) and where the MSI installers
  // built from Eclipse Adoptium's sources put a runtime of the user's own
  // (%LOCALAPPDATA%\Programs). Microsoft's folder holds much more than Java:
  // only its jdk-* folders are runtimes.
  static const struct {
    const char* name;
    const char* prefix;
  } kVendorFolders[] = {{"Java", ""},         {"Eclipse Adoptium", ""},
                        {"AdoptOpenJDK", ""}, {"Eclipse Foundation", ""},
                        {"Microsoft", "jdk"}, {"Zulu", ""},
                        {"BellSoft", ""},     {"Amazon Corretto", ""},
                        {"Semeru", ""}};
  std::vector<InstallFolder> folders;
  std::string programFiles;
  if (platform::getEnvironment("ProgramFiles", programFiles) && !programFiles.empty()) {
    for (const auto& vendor : kVendorFolders) folders.push_back({programFiles + "\\" + vendor.name, vendor.prefix});
  }
  std::string localAppData;
  if (platform::getEnvironment("LOCALAPPDATA", localAppData) && !localAppData.empty()) {
    for (const auto& vendor : kVendorFolders) {
      folders.push_back({localAppData + "\\Programs\\" + vendor.name, vendor.prefix});
    }
  }
  return folders;
}

std::string readRegistryRuntime(const char* keyPath, ConfigStore& config) {
  std::string version;
  if (!readRegistryString(platform::RegistryRoot::kLocalMachine, keyPath, "CurrentVersion", version)) {
    trace("runtime method registry %s: no CurrentVersion", keyPath);
    return std::string();
  }
  return readRegisteredVersion(std::string(keyPath) + "\\" + version, config);
}

}  // namespace xoq
