#include "jar_manifest.h"

#include "archive/zip_reader.h"
#include "config/ascii.h"
#include "platform/platform.h"

namespace xoq {

namespace {

bool sameName(const std::string& a, const char* lowerCase) {
  return a.size() == std::char_traits<char>::length(lowerCase) && startsWithIgnoringCase(a, lowerCase);
}

void keep(JarManifest& manifest, const std::string& line) {
  const size_t colon = line.find(": ");
  if (colon == std::string::npos) return;
  const std::string name = line.substr(0, colon);
  const std::string value = line.substr(colon + 2);
  if (sameName(name, "main-class")) manifest.mainClass = value;
  if (sameName(name, "class-path")) manifest.classPath = value;
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
  if (platform::isDirectory(path) || !platform::readWholeFile(path, file)) {
    error = "cannot read " + path;
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
    const uint8_t* stored = nullptr;
    std::string bytes(entry.size, '\0');
    Inflater inflater;
    const char* failure = zip.locate(entry, stored);
    if (failure == nullptr)
      failure = ZipReader::extract(entry, stored, reinterpret_cast<uint8_t*>(&bytes[0]), inflater);
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
