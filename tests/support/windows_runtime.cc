#include "support/windows_runtime.h"

#include <cstdlib>
#include <filesystem>

namespace xoq {
namespace testing {

std::string windowsRuntimeHome() {
  std::string cache;
  if (const char* explicitCache = getenv("XOQ_TEST_CACHE"); explicitCache != nullptr && *explicitCache != '\0') {
    cache = explicitCache;
  } else if (const char* xdg = getenv("XDG_CACHE_HOME"); xdg != nullptr && *xdg != '\0') {
    cache = std::string(xdg) + "/xoq-tests";
  } else if (const char* home = getenv("HOME"); home != nullptr) {
    cache = std::string(home) + "/.cache/xoq-tests";
  }
  const std::string runtime = cache + "/windows-jdk-" + kWindowsRuntimeVersion;
  std::error_code error;
  // The script marks the folder complete only after every file is in place.
  return std::filesystem::exists(runtime + "/.complete", error) ? runtime : std::string();
}

}  // namespace testing
}  // namespace xoq
