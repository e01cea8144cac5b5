#include "application_jar.h"

#include <cctype>
#include <filesystem>
#include <set>
#include <sstream>

#include "config/ascii.h"
#include "jar_manifest.h"
#include "platform/platform.h"

namespace xoq {

namespace {

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string percentDecoded(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 && hexValue(text[i + 2]) >= 0) {
      out += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

// "/a/./b/../c" becomes "/a/c"; ".." above the root stays at the root.
std::string folded(const std::string& path) {
  std::vector<std::string> parts;
  std::istringstream in(path);
  std::string part;
  while (std::getline(in, part, '/')) {
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else {
      parts.push_back(part);
    }
  }
  std::string out;
  for (const std::string& p : parts) out += "/" + p;
  return out.empty() ? "/" : out;
}

// Length of a URL scheme at the start of `text` (letters, then letters,
// digits, '+', '-' or '.', then ':'); 0 when there is none.
size_t schemeLength(const std::string& text) {
  if (text.empty() || !std::isalpha(static_cast<unsigned char>(text[0]))) return 0;
  for (size_t i = 1; i < text.size(); ++i) {
    const char c = text[i];
    if (c == ':') return i;
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.') return 0;
  }
  return 0;
}

std::string folderOf(const std::string& path) { return path.substr(0, path.rfind('/') + 1); }

std::string baseName(const std::string& path) { return path.substr(path.rfind('/') + 1); }

// "lib/util.jar", or "lib/util-2.jar" and on when another jar of that name
// came first.
std::string libraryName(const std::string& file, std::set<std::string>& taken) {
  const std::string base = baseName(file);
  const size_t dot = base.rfind('.');
  const std::string stem = dot == std::string::npos || dot == 0 ? base : base.substr(0, dot);
  const std::string extension = base.substr(stem.size());
  std::string name = "lib/" + base;
  for (int n = 2; !taken.insert(name).second; ++n) name = "lib/" + stem + "-" + std::to_string(n) + extension;
  return name;
}

struct Pending {
  std::string path;     // absolute
  std::string entry;    // as the manifest names it; empty for the application jar
  std::string namedBy;  // the jar whose manifest names it
};

}  // namespace

std::string resolveClassPathEntry(const std::string& folder, const std::string& entry) {
  std::string path = entry.substr(0, entry.find('#'));
  const size_t scheme = schemeLength(path);
  if (scheme != 0) {
    if (scheme != 4 || !startsWithIgnoringCase(path, "file")) return std::string();
    path = path.substr(scheme + 1);
    if (path.compare(0, 2, "//") == 0) {
      const size_t slash = path.find('/', 2);
      const std::string host = path.substr(2, slash == std::string::npos ? std::string::npos : slash - 2);
      path = slash == std::string::npos ? "/" : path.substr(slash);
      // Another machine's file: kept recognisably, so that it is reported.
      if (!host.empty() && host != "localhost") return "//" + host + path;
    }
  }
  if (path.empty() || path[0] != '/') path = folder + path;
  return folded(percentDecoded(path));
}

bool collectApplicationJar(const std::string& path, bool followClassPath, ApplicationJar& result, std::string& error) {
  namespace fs = std::filesystem;
  result = ApplicationJar();
  std::error_code code;
  std::vector<Pending> pending = {{fs::absolute(path, code).lexically_normal().string(), "", ""}};
  std::set<std::string> seen;
  std::set<std::string> names;
  while (!pending.empty()) {
    const Pending next = pending.back();
    pending.pop_back();
    const bool application = next.namedBy.empty();
    if (!application && (!platform::exists(next.path) || next.path.compare(0, 2, "//") == 0)) {
      error = next.namedBy + " names " + next.entry + " in its Class-Path, but " + next.path + " does not exist";
      return false;
    }
    if (!application && platform::isDirectory(next.path)) {
      error = next.namedBy + " names the folder " + next.entry +
              " in its Class-Path; xoqpack follows jars only (add the folder with --add-tree)";
      return false;
    }
    // Each file once, however it is named (links included).
    const std::string identity = fs::canonical(next.path, code).string();
    if (!seen.insert(code ? next.path : identity).second) continue;
    JarManifest manifest;
    if (!readJarManifest(application ? path : next.path, manifest, error)) return false;
    if (application) {
      result.mainClass = manifest.mainClass;
      result.jars.push_back({path, baseName(next.path)});
      if (!followClassPath) break;
    } else {
      result.jars.push_back({next.path, libraryName(next.path, names)});
    }
    // The runtime searches a jar's Class-Path right after the jar itself,
    // in the order written: pushed in reverse, the first comes next.
    std::istringstream tokens(manifest.classPath);
    std::vector<Pending> found;
    std::string token;
    while (tokens >> token) {
      const std::string file = resolveClassPathEntry(folderOf(next.path), token);
      if (!file.empty()) found.push_back({file, token, application ? path : next.path});
    }
    pending.insert(pending.end(), found.rbegin(), found.rend());
  }
  return true;
}

}  // namespace xoq
