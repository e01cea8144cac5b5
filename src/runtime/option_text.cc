#include "runtime/option_text.h"

#include <cstdio>

#include "platform/legacy_code_page.h"
#include "platform/text_encoding.h"

namespace xoq {

bool readsOptionsInLegacyCodePage(const RuntimeRelease& release) {
  if (release.feature <= 0) return false;
  if (release.feature >= 18) return false;
  int feature = 0;
  int interim = 0;
  int update = 0;
  // 17.0.5, 11.0.17; before 9 the versions read 1.8.0_402.
  if (release.feature == 17 || release.feature == 11) {
    if (sscanf(release.version.c_str(), "%d.%d.%d", &feature, &interim, &update) < 1) return true;
    if (interim > 0) return false;
    return update < (release.feature == 17 ? 5 : 17);
  }
  return true;
}

std::string optionInLegacyCodePage(const std::string& option, bool pathList, bool& whole) {
  whole = true;
  std::string converted;
  if (!hasHighBytes(option) || platform::narrowToLegacyCodePage(option, converted)) {
    return hasHighBytes(option) ? converted : option;
  }
  const size_t equals = option.find('=');
  if (!pathList || equals == std::string::npos) {
    whole = false;
    return option;
  }
  std::string result;
  platform::narrowToLegacyCodePage(option.substr(0, equals + 1), result);
  for (size_t start = equals + 1; start <= option.size();) {
    size_t end = option.find(';', start);
    if (end == std::string::npos) end = option.size();
    const std::string path = option.substr(start, end - start);
    std::string piece;
    if (!platform::narrowToLegacyCodePage(path, piece)) {
      const std::string shortPath = platform::shortPathOf(path);
      if (shortPath.empty() || !platform::narrowToLegacyCodePage(shortPath, piece)) {
        whole = false;
        piece = path;
      }
    }
    result += piece;
    if (end < option.size()) result += ';';
    start = end + 1;
  }
  return result;
}

}  // namespace xoq
