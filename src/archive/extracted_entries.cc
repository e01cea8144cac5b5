#include "archive/extracted_entries.h"

#include "base/byte_order.h"

namespace xoq {

namespace {

// Glob matching within the whole name; '*' and '?' never take a '/'.
bool globMatches(std::string_view pattern, std::string_view name) {
  size_t p = 0, n = 0;
  size_t starPattern = std::string_view::npos, starName = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      starPattern = p++;
      starName = n;
    } else if (p < pattern.size() && name[n] != '/' && (pattern[p] == '?' || pattern[p] == name[n])) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == '/' && name[n] == '/') {
      ++p;
      ++n;
    } else if (starPattern != std::string_view::npos && name[starName] != '/') {
      // The last '*' takes one more character, as long as it is not a '/'.
      p = starPattern + 1;
      n = ++starName;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

bool endsWith(std::string_view text, std::string_view end) {
  if (text.size() < end.size()) return false;
  for (size_t i = 0; i < end.size(); ++i) {
    char c = text[text.size() - end.size() + i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != end[i]) return false;
  }
  return true;
}

}  // namespace

bool extractPatternMatches(std::string_view pattern, std::string_view name) {
  if (pattern.empty() || name.empty() || name.back() == '/') return false;
  if (pattern.back() == '/') return name.size() > pattern.size() && name.substr(0, pattern.size()) == pattern;
  return globMatches(pattern, name);
}

std::vector<size_t> selectExtractedEntries(const std::vector<std::string_view>& names,
                                           const std::vector<std::string>& patterns,
                                           std::vector<std::string>* unmatched) {
  std::vector<size_t> chosen;
  std::vector<bool> taken(names.size(), false);
  for (const std::string& pattern : patterns) {
    bool any = false;
    for (size_t i = 0; i < names.size(); ++i) {
      if (!extractPatternMatches(pattern, names[i])) continue;
      any = true;
      if (taken[i]) continue;
      taken[i] = true;
      chosen.push_back(i);
    }
    if (!any && unmatched != nullptr) unmatched->push_back(pattern);
  }
  return chosen;
}

bool recordedContentDigest(const ZipReader& zip, const ZipEntry& entry, ContentDigest& digest) {
  uint16_t size = 0;
  const uint8_t* block = zip.extraBlock(entry, kContentDigestTag, size);
  if (block == nullptr || size != digest.size()) return false;
  for (size_t i = 0; i < digest.size(); ++i) digest[i] = block[i];
  return true;
}

std::string contentDigestBlock(const ContentDigest& digest) {
  std::string block;
  appendLittle16(block, kContentDigestTag);
  appendLittle16(block, static_cast<uint16_t>(digest.size()));
  block.append(reinterpret_cast<const char*>(digest.data()), digest.size());
  return block;
}

bool isNativeLibraryName(std::string_view name) {
  const size_t slash = name.rfind('/');
  const std::string_view file = slash == std::string_view::npos ? name : name.substr(slash + 1);
  if (endsWith(file, ".dll") || endsWith(file, ".so")) return true;
  // libname.so.1, libname.so.1.2
  const size_t so = file.find(".so.");
  if (so == std::string_view::npos || so == 0) return false;
  for (size_t i = so + 4; i < file.size(); ++i) {
    if ((file[i] < '0' || file[i] > '9') && file[i] != '.') return false;
  }
  return true;
}

}  // namespace xoq
