#include "runtime/runtime_release.h"

#include <cstdlib>

#include "platform/platform.h"

namespace xoq {

namespace {

// The value of `key` in the text of a release file: KEY="value" lines.
std::string releaseValue(const std::string& text, const std::string& key) {
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    start = end + 1;
    if (line.compare(0, key.size() + 1, key + "=") != 0) continue;
    std::string value = line.substr(key.size() + 1);
    while (!value.empty() && (value.back() == '\r' || value.back() == ' ')) value.pop_back();
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
    return value;
  }
  return std::string();
}

}  // namespace

int featureVersion(const std::string& version) {
  if (version.empty() || version[0] < '0' || version[0] > '9') return 0;
  const long first = strtol(version.c_str(), nullptr, 10);
  // Before 9 the versions read 1.8.0_402: the feature is the second number.
  if (first == 1 && version.size() > 2 && version[1] == '.')
    return static_cast<int>(strtol(version.c_str() + 2, nullptr, 10));
  return first > 0 && first < 10000 ? static_cast<int>(first) : 0;
}

RuntimeRelease readRuntimeRelease(const std::string& libraryPath) {
  RuntimeRelease release;
  std::string folder = libraryPath;
  for (int level = 0; level <= 4; ++level) {
    const size_t separator = folder.find_last_of("\\/");
    if (separator == std::string::npos) break;
    folder.resize(separator);
    std::string text;
    if (!platform::readWholeFile(folder + "/release", text)) continue;
    release.version = releaseValue(text, "JAVA_VERSION");
    release.feature = featureVersion(release.version);
    if (release.feature > 0) break;
  }
  return release;
}

}  // namespace xoq
