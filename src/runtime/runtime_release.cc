#include "runtime/runtime_release.h"

#include <cstdlib>
#include <vector>

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

// Up to four numbers, as "%d.%d.%d_%d" reads them; a run of digits ends at
// the first other character.
std::vector<long> versionNumbers(const std::string& version) {
  std::vector<long> numbers;
  size_t i = 0;
  while (numbers.size() < 4 && i < version.size() && version[i] >= '0' && version[i] <= '9') {
    long value = 0;
    for (; i < version.size() && version[i] >= '0' && version[i] <= '9'; ++i) {
      if (value < 100000000) value = value * 10 + (version[i] - '0');
    }
    numbers.push_back(value);
    const char separator = numbers.size() < 3 ? '.' : '_';
    if (i + 1 >= version.size() || version[i] != separator) break;
    ++i;
  }
  return numbers;
}

}  // namespace

int compareJavaVersions(const std::string& a, const std::string& b) {
  const std::vector<long> first = versionNumbers(a);
  const std::vector<long> second = versionNumbers(b);
  if (first.empty() || second.empty()) return static_cast<int>(!first.empty()) - static_cast<int>(!second.empty());
  for (size_t i = 0; i < 4; ++i) {
    const long x = i < first.size() ? first[i] : 0;
    const long y = i < second.size() ? second[i] : 0;
    if (x != y) return x < y ? -1 : 1;
  }
  return 0;
}

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
