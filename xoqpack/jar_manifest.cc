#include "jar_manifest.h"

#include <algorithm>

#include "archive/zip_reader.h"
#include "config/ascii.h"
#include "host_files.h"

namespace xoq {

namespace {

bool sameName(const std::string& a, const char* lowerCase) {
  return a.size() == std::char_traits<char>::length(lowerCase) && startsWithIgnoringCase(a, lowerCase);
}

// What the Java launcher itself takes from the application jar's manifest,
// beyond Main-Class and Class-Path.
constexpr const char* kLauncherAttributes[] = {"add-opens", "add-exports", "enable-native-access",
                                               "launcher-agent-class", "splashscreen-image"};

// The value without the spaces and control characters around it, as Java's
// String.trim() leaves it.
std::string trimmed(const std::string& value) {
  size_t first = 0;
  size_t end = value.size();
  while (first < end && static_cast<unsigned char>(value[first]) <= ' ') ++first;
  while (end > first && static_cast<unsigned char>(value[end - 1]) <= ' ') --end;
  return value.substr(first, end - first);
}

void keep(JarManifest& manifest, const std::string& line) {
  const size_t colon = line.find(": ");
  if (colon == std::string::npos) return;
  const std::string name = line.substr(0, colon);
  const std::string value = line.substr(colon + 2);
  if (sameName(name, "main-class")) {
    manifest.mainClass = trimmed(value);
    std::replace(manifest.mainClass.begin(), manifest.mainClass.end(), '/', '.');
  }
  if (sameName(name, "class-path")) manifest.classPath = value;
  for (const char* attribute : kLauncherAttributes) {
    if (!sameName(name, attribute)) continue;
    // A later line of the same name wins, as in java.util.jar.Manifest.
    auto& found = manifest.launcherOnly;
    found.erase(std::remove_if(found.begin(), found.end(), [&](const auto& a) { return sameName(a.first, attribute); }),
                found.end());
    found.emplace_back(name, value);
  }
}

}  // namespace

JarManifest parseJarManifest(const std::string& text) {
  JarManifest manifest;
  std::string header;
  size_t position = 0;
  while (position < text.size()) {
    size_t end = text.find_first_of("\r\n", position);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(position, end - position);
    position = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    if (line.empty()) break;  // the end of the main section
    if (line[0] == ' ') {
      header += line.substr(1);
      continue;
    }
    keep(manifest, header);
    header = line;
  }
  keep(manifest, header);
  return manifest;
}

bool readJarManifest(const std::string& path, JarManifest& manifest, std::string& error) {
  manifest = JarManifest();
  std::string file;
  std::string reason;
  if (host::fileKind(path) == host::FileKind::kDirectory) {
    error = "cannot read " + path + ": it is a folder";
    return false;
  }
  if (!host::readFile(path, file, reason)) {
    error = "cannot read " + path + ": " + reason;
    return false;
  }
  ZipReader zip;
  const uint8_t* data = reinterpret_cast<const uint8_t*>(file.data());
  if (const char* failure = zip.open(data, file.size())) {
    error = path + " is not a jar: " + failure;
    return false;
  }
  for (const ZipEntry& entry : zip.entries()) {
    const std::string_view name = zip.name(entry);
    if (name.size() != 20 || !startsWithIgnoringCase(name, "meta-inf/manifest.mf")) continue;
    // Located first: locate() checks the size the entry claims against its
    // data before that size is allocated.
    const uint8_t* stored = nullptr;
    const char* failure = zip.locate(entry, stored);
    std::string bytes;
    Inflater inflater;
    if (failure == nullptr) {
      bytes.resize(entry.size);
      failure = ZipReader::extract(entry, stored, reinterpret_cast<uint8_t*>(&bytes[0]), inflater);
    }
    if (failure != nullptr) {
      error = "cannot read the manifest of " + path + ": " + failure;
      return false;
    }
    manifest = parseJarManifest(bytes);
    return true;
  }
  return true;
}

}  // namespace xoq
