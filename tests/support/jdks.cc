#include "support/jdks.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <set>
#include <sstream>

#include "support/files.h"

namespace xoq {
namespace testing {

std::vector<std::string> installedJdkHomes() {
  namespace fs = std::filesystem;
  std::set<std::string> homes;
  std::error_code code;
  for (const fs::directory_entry& entry : fs::directory_iterator("/usr/lib/jvm", code)) {
    const fs::path home = fs::canonical(entry.path(), code);
    if (code) continue;
    for (const char* library : {"lib/server/libjvm.so", "jre/lib/amd64/server/libjvm.so"}) {
      if (fs::exists(home / library, code)) {
        homes.insert(home.string());
        break;
      }
    }
  }
  return std::vector<std::string>(homes.begin(), homes.end());
}

std::string jdkParameterName(const std::string& home) {
  std::string name = home.substr(home.rfind('/') + 1);
  for (char& c : name) {
    if (!isalnum(static_cast<unsigned char>(c))) c = '_';
  }
  return name;
}

std::string jdkVersion(const std::string& home) {
  std::istringstream release(readFile(home + "/release"));
  std::string line;
  while (std::getline(release, line)) {
    if (line.rfind("JAVA_VERSION=\"", 0) == 0) {
      const size_t end = line.find('"', 14);
      return line.substr(14, end == std::string::npos ? std::string::npos : end - 14);
    }
  }
  return std::string();
}

std::map<std::string, std::string> parseKeyValues(const std::string& output) {
  std::map<std::string, std::string> values;
  std::istringstream in(output);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t equals = line.find('=');
    if (equals != std::string::npos) values[line.substr(0, equals)] = line.substr(equals + 1);
  }
  return values;
}

}  // namespace testing
}  // namespace xoq
