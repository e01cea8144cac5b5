#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/trace.h"
#include "config/config_store.h"
#include "platform/platform.h"
#include "runtime/runtime_layout.h"
#include "runtime/runtime_search.h"

namespace xoq {

const char kJvmLibraryName[] = "libjvm.so";

const char kClassPathSeparator[] = ":";

const char kJavaLauncherName[] = "java";

const char kPathSeparators[] = "/";

const char kPathListSeparator = ':';

const std::vector<std::string>& runtimeSubdirectories() {
  // A JDK 9+ home keeps lib/server/libjvm.so; a JDK 8 home
  // jre/lib/amd64/server/libjvm.so, a JRE 8 home lib/amd64/server; "../"
  // lets a home's bin directory reach its library.
  static const std::vector<std::string> list = {
      "", "lib/", "lib/amd64/", "jre/lib/amd64/", "../lib/", "../jre/lib/amd64/"};
  return list;
}

bool sameFileName(const std::string& a, const std::string& b) { return a == b; }

std::vector<InstallFolder> usualInstallFolders() {
  // The distributions' packages (/usr/lib/jvm; /usr/lib64/jvm on some),
  // Oracle's RPMs (/usr/java), and SDKMAN's candidates, one folder per
  // version ($SDKMAN_DIR, by default ~/.sdkman).
  std::vector<InstallFolder> folders = {{"/usr/lib/jvm", ""}, {"/usr/lib64/jvm", ""}, {"/usr/java", ""}};
  std::string sdkman;
  std::string home;
  if (platform::getEnvironment("SDKMAN_DIR", sdkman) && !sdkman.empty()) {
    folders.push_back({sdkman + "/candidates/java", ""});
  } else if (platform::getEnvironment("HOME", home) && !home.empty()) {
    folders.push_back({home + "/.sdkman/candidates/java", ""});
  }
  return folders;
}

namespace {

// The home of the runtime whose `java` comes first on PATH: bin/java's
// real location, two levels up.
std::string runtimeBehindPath() {
  std::string path;
  if (!platform::getEnvironment("PATH", path)) return std::string();
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(':', start);
    if (end == std::string::npos) end = path.size();
    std::string directory = path.substr(start, end - start);
    if (directory.empty()) directory = ".";
    const std::string candidate = directory + "/java";
    char real[PATH_MAX];
    if (platform::exists(candidate) && realpath(candidate.c_str(), real) != nullptr) {
      std::string home = real;
      for (int level = 0; level < 2; ++level) {
        const size_t slash = home.rfind('/');
        home = slash == std::string::npos ? std::string() : home.substr(0, slash);
      }
      if (!home.empty()) return home;
    }
    start = end + 1;
  }
  return std::string();
}

}  // namespace

std::string readRegistryRuntime(const char* keyPath, ConfigStore& config) {
  // No registry here. The system's default runtime stands for the runtime
  // that the first key registers; nothing stands for the second.
  if (strstr(keyPath, "JavaSoft") == nullptr) {
    trace("runtime method registry %s: no registry on this system", keyPath);
    return std::string();
  }
  std::string home = "/usr/lib/jvm/default-java";
  if (!platform::isDirectory(home)) home = runtimeBehindPath();
  if (home.empty()) {
    trace("runtime method system default: none (no /usr/lib/jvm/default-java, no java on PATH)");
    return std::string();
  }
  trace("runtime method system default: %s", home.c_str());
  return locateJvmInDirectory(home, config.preferredVmName());
}

}  // namespace xoq
