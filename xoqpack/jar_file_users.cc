#include "jar_file_users.h"

#include <string_view>

#include "archive/zip_reader.h"
#include "config/ascii.h"
#include "host_files.h"

namespace xoq {

namespace {

// Two names that a class file holds together when it uses the way; the
// second is empty for a single one.
struct Sign {
  std::string_view first;
  std::string_view second;
};

const Sign kSigns[] = {
    {"java/security/CodeSource", "getLocation"},
    {"java/net/JarURLConnection", "getJarFile"},
    {"jar:file:", ""},
};

bool showsASign(std::string_view classFile) {
  for (const Sign& sign : kSigns) {
    if (classFile.find(sign.first) != std::string_view::npos &&
        (sign.second.empty() || classFile.find(sign.second) != std::string_view::npos)) {
      return true;
    }
  }
  return false;
}

// "a/b/C$D.class" as "a.b.C$D", also from a multi-release jar's
// META-INF/versions/N/.
std::string className(std::string_view entryName) {
  entryName.remove_suffix(6);
  const std::string_view versions = "META-INF/versions/";
  if (entryName.substr(0, versions.size()) == versions) {
    const size_t slash = entryName.find('/', versions.size());
    if (slash != std::string_view::npos) entryName.remove_prefix(slash + 1);
  }
  std::string name(entryName);
  for (char& c : name) {
    if (c == '/') c = '.';
  }
  return name;
}

}  // namespace

std::string classUsingItsJarFile(const std::string& path) {
  std::string file;
  std::string reason;
  if (host::fileKind(path) != host::FileKind::kFile || !host::readFile(path, file, reason)) return std::string();
  ZipReader zip;
  if (zip.open(reinterpret_cast<const uint8_t*>(file.data()), file.size()) != nullptr) return std::string();
  Inflater inflater;
  std::string bytes;
  for (const ZipEntry& entry : zip.entries()) {
    const std::string_view name = zip.name(entry);
    if (name.size() <= 6 || !endsWithIgnoringCase(name, ".class")) continue;
    // Located first: locate() checks the size the entry claims against its
    // data before that size is allocated.
    const uint8_t* stored = nullptr;
    if (zip.locate(entry, stored) != nullptr) continue;
    bytes.resize(entry.size);
    if (ZipReader::extract(entry, stored, reinterpret_cast<uint8_t*>(&bytes[0]), inflater) != nullptr) continue;
    if (showsASign(bytes)) return className(name);
  }
  return std::string();
}

void warnOfJarFileUsers(const std::vector<PackEntry>& entries, const std::set<std::string>& extracted,
                        const Warn& warn) {
  if (!warn) return;
  for (const PackEntry& entry : entries) {
    if (!endsWithIgnoringCase(entry.name, ".jar") || extracted.count(entry.name) != 0) continue;
    const std::string user = classUsingItsJarFile(entry.source);
    if (user.empty()) continue;
    warn(entry.name + " (" + entry.source + "): its class " + user +
         " may look for the jar it came from as a file, which a jar inside the executable is not; if the program "
         "needs that, add --extract " +
         entry.name);
  }
}

}  // namespace xoq
