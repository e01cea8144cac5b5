#include "application_jar.h"

#include <cctype>
#include <set>
#include <sstream>

#include "archive/archive_node.h"
#include "config/ascii.h"
#include "host_files.h"
#include "jar_manifest.h"
#include "path_names.h"

namespace xoq {

namespace {

std::string percentDecoded(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && hexDigitValue(text[i + 1]) >= 0 && hexDigitValue(text[i + 2]) >= 0) {
      out += static_cast<char>(hexDigitValue(text[i + 1]) * 16 + hexDigitValue(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
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

// The name a jar is stored under: the launcher opens only entries named like
// archives, while the runtime takes any file as a jar.
std::string archiveName(const std::string& name) { return isNestedArchiveName(name) ? name : name + ".jar"; }

// "lib/util.jar", or "lib/util-2.jar" and on when another jar of that name
// came first.
std::string libraryName(const std::string& file, std::set<std::string>& taken) {
  const std::string base = archiveName(fileNameOf(file));
  const size_t dot = base.rfind('.');
  const std::string stem = dot == std::string::npos || dot == 0 ? base : base.substr(0, dot);
  const std::string extension = base.substr(stem.size());
  std::string name = "lib/" + base;
  for (int n = 2; !taken.insert(name).second; ++n) name = "lib/" + stem + "-" + std::to_string(n) + extension;
  return name;
}

// What java -jar does with the application jar's manifest that a packaged
// program does not, and what the user may do instead.
std::string launcherOnlyWarning(const std::string& jar, const std::string& name, const std::string& value) {
  std::string warning = jar + " sets " + name + ": " + value + " in its manifest, which java -jar acts on and the " +
                        "packaged program does not";
  if (startsWithIgnoringCase(name, "add-")) {
    const std::string option = asciiLower(name[4]) == 'o' ? "--add-opens" : "--add-exports";
    warning += "; write a line option " + option + "=MODULE/PACKAGE=ALL-UNNAMED into the configuration for each";
  } else if (startsWithIgnoringCase(name, "enable-")) {
    warning += "; write the line option --enable-native-access=ALL-UNNAMED into the configuration";
  } else if (startsWithIgnoringCase(name, "splash")) {
    warning += "; give the image with --splash-image";
  }
  return warning;
}

struct Pending {
  std::string path;     // absolute; for another machine's file the URL's path ("//host/...")
  bool remote;          // another machine's file, which xoqpack cannot read
  std::string entry;    // as the manifest names it; empty for the application jar
  std::string namedBy;  // the jar whose manifest names it
  bool byApplication;   // named by the application jar itself
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
      const bool local = host.empty() || (host.size() == 9 && startsWithIgnoringCase(host, "localhost"));
      if (!local) return "//" + host + path;
    }
  }
  if (path.empty() || path[0] != '/') path = folder + path;
  return foldedPath(percentDecoded(path));
}

bool collectApplicationJar(const std::string& path, bool followClassPath, ApplicationJar& result, std::string& error) {
  result = ApplicationJar();
  const std::string given = host::absolutePath(path);
  // The runtime opens the application jar by its canonical path, so that the
  // Class-Path of a linked jar is read beside the link's target. The jars
  // that Class-Path names are taken as named.
  const std::string canonical = host::canonicalPath(path);
  std::vector<Pending> pending = {{canonical.empty() ? given : canonical, false, "", "", false}};
  std::set<std::string> seen;
  std::set<std::string> names;
  while (!pending.empty()) {
    const Pending next = pending.back();
    pending.pop_back();
    const bool application = next.namedBy.empty();
    JarManifest manifest;
    // java -jar passes over the Class-Path entries it cannot open as jars.
    // xoqpack says so, and stops only for the application jar's own: those
    // are the user's to mend, the others are often optional libraries that
    // a distribution does not install.
    std::string problem;
    bool folder = false;
    const host::FileKind kind = next.remote ? host::FileKind::kMissing : host::fileKind(next.path);
    if (!application && kind == host::FileKind::kMissing) {
      problem = next.path + " does not exist";
    } else if (!application && kind == host::FileKind::kDirectory) {
      folder = true;
      problem = next.entry.back() == '/'
                    ? next.path + " is a folder, which java -jar searches and xoqpack does not: add it with --add-tree"
                    : next.path + " is a folder without a trailing '/', which java -jar ignores";
    } else {
      // Each file once, however it is named (links included).
      const std::string identity = host::canonicalPath(next.path);
      if (!seen.insert(identity.empty() ? next.path : identity).second) continue;
      if (!readJarManifest(application ? path : next.path, manifest, problem) && application) {
        error = problem;
        return false;
      }
    }
    if (!problem.empty()) {
      const std::string line = next.namedBy + " names " + next.entry + " in its Class-Path, but " + problem;
      if (next.byApplication && !folder) {
        error = line;
        return false;
      }
      result.warnings.push_back(folder ? line : line + "; left out, as java -jar leaves it out");
      continue;
    }
    if (application) {
      result.mainClass = manifest.mainClass;
      result.jars.push_back({path, archiveName(fileNameOf(given))});
      for (const auto& attribute : manifest.launcherOnly)
        result.warnings.push_back(launcherOnlyWarning(path, attribute.first, attribute.second));
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
      const std::string url = resolveClassPathEntry(folderOf(host::fileUrlPath(next.path)), token);
      if (url.empty()) continue;
      const std::string file = host::pathOfFileUrl(url);
      found.push_back({file.empty() ? url : file, file.empty(), token, application ? path : next.path, application});
    }
    pending.insert(pending.end(), found.rbegin(), found.rend());
  }
  return true;
}

}  // namespace xoq
