#include "runtime_image.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <sstream>

#include "base/sha256.h"
#include "host_files.h"
#include "host_process.h"
#include "module_info.h"
#include "runtime/runtime_release.h"
#include "zip_writer.h"

namespace xoq {

namespace {

// Where a runtime image keeps its virtual machine library.
const char kWindowsLibrary[] = "bin/server/jvm.dll";
const char kLinuxLibrary[] = "lib/server/libjvm.so";

bool isFile(const std::string& path) { return host::fileKind(path) == host::FileKind::kFile; }

bool isFolder(const std::string& path) { return host::fileKind(path) == host::FileKind::kDirectory; }

// The program `name` of a JDK's bin folder.
std::string jdkTool(const std::string& jdk, const char* name) {
  return host::joinPath(jdk, "bin/" + host::programFileName(name));
}

// JAVA_VERSION="17.0.15" of a runtime's release file; empty when none.
std::string releaseVersion(const std::string& home) {
  std::string text, reason;
  if (!host::readFile(host::joinPath(home, "release"), text, reason)) return std::string();
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind("JAVA_VERSION=", 0) != 0) continue;
    std::string value = line.substr(13);
    while (!value.empty() && (value.back() == '\r' || value.back() == ' ')) value.pop_back();
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
    return value;
  }
  return std::string();
}

// Whether the library's first bytes are those of the target's format: a
// Linux runtime cannot run on Windows and the other way round.
bool hasFormat(const std::string& library, bool windowsTarget) {
  std::string reason;
  const host::FilePointer in = host::openFile(library, "rb", reason);
  char head[4] = {0, 0, 0, 0};
  if (!in || fread(head, 1, sizeof head, in.get()) != sizeof head) return false;
  if (windowsTarget) return head[0] == 'M' && head[1] == 'Z';
  return head[0] == 0x7F && head[1] == 'E' && head[2] == 'L' && head[3] == 'F';
}

// The first line of a tool's output that says what went wrong, for the one
// line xoqpack prints.
std::string firstErrorLine(const std::string& output) {
  std::istringstream lines(output);
  std::string line, first;
  while (std::getline(lines, line)) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    if (line.empty()) continue;
    if (first.empty()) first = line;
    if (line.find("rror") != std::string::npos) return line;
  }
  return first.empty() ? "no output" : first;
}

bool isModuleName(const std::string& name) {
  if (name.empty() || name.front() == '.' || name.back() == '.') return false;
  for (char c : name) {
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '.'))
      return false;
  }
  return true;
}

// Splits "a,b, c" into the set; false when a name is not a module name.
bool addModuleList(const std::string& list, std::set<std::string>& modules, std::string& bad) {
  std::istringstream parts(list);
  std::string part;
  while (std::getline(parts, part, ',')) {
    part.erase(0, part.find_first_not_of(" \t\r\n"));
    part.erase(part.find_last_not_of(" \t\r\n") + 1);
    if (part.empty()) continue;
    if (!isModuleName(part)) {
      bad = part;
      return false;
    }
    modules.insert(part);
  }
  return true;
}

// The JDK whose jlink and jdeps are used: --jdk, else JAVA_HOME, else the
// JDK of the javac found on PATH.
bool findJdk(const std::string& given, std::string& jdk, std::string& error) {
  std::string how;
  std::string home;
  if (!given.empty()) {
    jdk = given;
    how = "--jdk";
  } else if (host::environmentVariable("JAVA_HOME", home) && !home.empty()) {
    jdk = home;
    how = "JAVA_HOME";
  } else {
    for (const std::string& folder : host::searchPath()) {
      const std::string javac = host::joinPath(folder, host::programFileName("javac"));
      if (!isFile(javac)) continue;
      const std::string real = host::canonicalPath(javac);
      if (real.empty()) continue;
      // The JDK is the folder above the javac's bin/.
      const std::string bin = host::folderOf(real);
      jdk = host::folderOf(bin.substr(0, bin.size() - 1));
      if (jdk.size() > 1) jdk.pop_back();
      how = "the javac on PATH";
      break;
    }
  }
  if (jdk.empty()) {
    error = "--jlink needs a JDK: give --jdk DIR, set JAVA_HOME, or put a JDK's javac on PATH";
    return false;
  }
  for (const char* tool : {"jlink", "jdeps"}) {
    if (!isFile(jdkTool(jdk, tool))) {
      error = jdk + " (from " + how + ") has no bin/" + host::programFileName(tool) + ": --jlink needs a JDK";
      return false;
    }
  }
  return true;
}

// The modules jdeps finds in the application's jars and classes.
bool findApplicationModules(const std::string& jdk, int feature, const std::vector<std::string>& classInputs,
                            std::set<std::string>& modules, std::string& error) {
  if (classInputs.empty()) return true;
  std::vector<std::string> argv = {jdkTool(jdk, "jdeps"), "--print-module-deps", "--ignore-missing-deps",
                                   "--multi-release", std::to_string(feature)};
  argv.insert(argv.end(), classInputs.begin(), classInputs.end());
  host::ToolResult result;
  if (!host::runTool(argv, result, error)) return false;
  if (result.exitCode != 0) {
    error = "jdeps cannot tell the application's modules: " + firstErrorLine(result.output);
    return false;
  }
  // The answer is the last line; warnings may come before it.
  std::istringstream lines(result.output);
  std::string line, last;
  while (std::getline(lines, line)) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    if (!line.empty()) last = line;
  }
  std::string bad;
  if (last.empty() || !addModuleList(last, modules, bad)) {
    error = "jdeps gave no list of modules: " + firstErrorLine(result.output);
    return false;
  }
  return true;
}

// The jmods jlink links from are the target's: their java.base says for
// which platform and which version they are.
bool checkJmods(const std::string& jmods, bool windowsTarget, int jdkFeature, const std::string& jdkVersion,
                std::string& error) {
  const std::string base = host::joinPath(jmods, "java.base.jmod");
  if (!isFile(base)) {
    error = jmods + " holds no java.base.jmod: --jmods names the jmods folder of a JDK";
    return false;
  }
  ModuleInfo info;
  if (!readJmodModuleInfo(base, info, error)) return false;
  const bool windowsJmods = info.targetPlatform.rfind("windows-", 0) == 0;
  const bool linuxJmods = info.targetPlatform.rfind("linux-", 0) == 0;
  if (windowsTarget ? !windowsJmods : !linuxJmods) {
    error = "the jmods in " + jmods + " are for " +
            (info.targetPlatform.empty() ? std::string("no named platform") : info.targetPlatform) + ", not for a " +
            (windowsTarget ? "Windows" : "Linux") + " target";
    return false;
  }
  if (featureVersion(info.version) != jdkFeature) {
    error = "the jmods in " + jmods + " are of Java " + info.version + " and the JDK's jlink of Java " + jdkVersion +
            ": jlink links only jmods of its own feature version (give --jdk a JDK " +
            std::to_string(featureVersion(info.version)) + ")";
    return false;
  }
  return true;
}

}  // namespace

const char kRuntimeFolderMark[] = ".xoqpack-runtime";

std::string describeSize(uint64_t bytes) {
  char text[32];
  snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
  return text;
}

bool readRuntimeImage(const std::string& home, bool windowsTarget, const Warn& warn, RuntimeImage& image,
                      std::string& error) {
  const char* library = windowsTarget ? kWindowsLibrary : kLinuxLibrary;
  const char* other = windowsTarget ? kLinuxLibrary : kWindowsLibrary;
  const std::string target = windowsTarget ? "a Windows target" : "a Linux target";
  if (!isFolder(home)) {
    error = "the runtime " + home + " is not a folder";
    return false;
  }
  if (!isFile(host::joinPath(home, library))) {
    error = home +
            (isFile(host::joinPath(home, other)) ? " is a runtime of the other system: "
                                                 : " is not a Java runtime image: ") +
            target + " needs " + library + " in it";
    return false;
  }
  if (!hasFormat(host::joinPath(home, library), windowsTarget)) {
    error = host::joinPath(home, library) + " is not a library " + target + " can load";
    return false;
  }
  image.home = home;
  image.version = releaseVersion(home);
  if (image.version.empty()) {
    error = home + " has no release file naming its JAVA_VERSION; it is not a runtime image";
    return false;
  }
  image.files.clear();
  image.totalSize = 0;
  std::vector<std::string> names, leftOut;
  std::string reason;
  if (!host::listFilesThroughLinks(home, names, leftOut, reason)) {
    error = "cannot read the runtime " + home + ": " + reason;
    return false;
  }
  for (const std::string& name : leftOut) {
    if (warn) warn("left out of the runtime: " + host::joinPath(home, name) + " (a broken link or not a file)");
  }
  // A Linux runtime read where files carry no executable bit: the helpers
  // that a Linux runtime starts itself are the ones that need it.
  const bool bitsKnown = host::keepsExecutableBits();
  for (const std::string& name : names) {
    if (name == kRuntimeFolderMark) continue;
    RuntimeFile file;
    file.source = host::joinPath(home, name);
    file.name = name;
    if (!host::fileSize(file.source, file.size)) {
      error = "cannot read the runtime " + home + ": " + file.source + " cannot be examined";
      return false;
    }
    file.executable =
        bitsKnown ? host::isExecutable(file.source)
                  : !windowsTarget && (name.rfind("bin/", 0) == 0 || name == "lib/jspawnhelper" || name == "lib/jexec");
    image.totalSize += file.size;
    image.files.push_back(file);
  }
  return true;
}

bool linkRuntime(const RuntimeRequest& request, bool windowsTarget, const std::vector<std::string>& classInputs,
                 const std::vector<std::string>& extraModules, const std::string& output, const Warn& warn,
                 std::string& modules, std::string& error) {
  std::string jdk;
  if (!findJdk(request.jdk, jdk, error)) return false;
  const std::string jdkVersion = releaseVersion(jdk);
  const int feature = featureVersion(jdkVersion);
  if (feature < 9) {
    error = jdk + " is not a JDK that has jlink (its release file names " +
            (jdkVersion.empty() ? std::string("no version") : "Java " + jdkVersion) + ")";
    return false;
  }
  // The JDK that runs jlink is one of this system; a runtime for the other
  // system is linked from that system's jmods.
  const bool targetIsHere = windowsTarget == host::runsOnWindows();
  if (!request.jmods.empty()) {
    if (!checkJmods(request.jmods, windowsTarget, feature, jdkVersion, error)) return false;
  } else if (!targetIsHere) {
    error = std::string(windowsTarget ? "a Windows runtime made with jlink"
                                      : "a Linux runtime made with jlink on Windows") +
            " needs the jmods of a " + (windowsTarget ? "Windows" : "Linux") + " JDK " + std::to_string(feature) +
            ": give --jmods DIR";
    return false;
  } else if (!isFolder(host::joinPath(jdk, "jmods")) && feature < 24) {
    error = "the JDK " + jdk + " has no jmods folder, which jlink " + std::to_string(feature) +
            " links from: install its jmods or give --jmods DIR";
    return false;
  }

  std::set<std::string> wanted = {"java.base"};
  if (!findApplicationModules(jdk, feature, classInputs, wanted, error)) return false;
  wanted.insert(extraModules.begin(), extraModules.end());
  std::string bad;
  if (!addModuleList(request.addModules, wanted, bad)) {
    error = "--add-modules: \"" + bad + "\" is not a module name";
    return false;
  }
  modules.clear();
  for (const std::string& module : wanted) modules += (modules.empty() ? "" : ",") + module;

  // The commands stay until the class data archive is made, which runs the
  // new image's own java; an image for another system cannot run here, so
  // it gets its commands stripped by jlink and no archive. A Windows image
  // keeps its bin/, where jvm.dll lives, and gets no archive either: made on
  // Windows it has not been tried.
  const bool makesArchive = targetIsHere && !windowsTarget;
  std::vector<std::string> argv = {
      jdkTool(jdk, "jlink"), "--add-modules",    modules, "--output", output, "--strip-debug",
      "--no-man-pages",      "--no-header-files"};
  // The module image compressed: half its size, and no start-up time a
  // measurement here could tell, since the classes a start needs come from
  // the class data archive. JDK 21 renamed the levels.
  argv.push_back(feature >= 21 ? "--compress=zip-6" : "--compress=2");
  if (!request.jmods.empty()) {
    argv.push_back("--module-path");
    argv.push_back(request.jmods);
  }
  argv.push_back(makesArchive ? "--generate-cds-archive" : "--strip-native-commands");
  host::ToolResult result;
  if (!host::runTool(argv, result, error)) return false;
  if (result.exitCode != 0) {
    error = "jlink failed: " + firstErrorLine(result.output);
    return false;
  }
  if (!makesArchive) {
    if (warn) {
      warn(windowsTarget
               ? "the Windows runtime has no class data archive: only the target's own java can make one"
               : "the Linux runtime has no class data archive: xoqpack makes one only when it links on Linux");
    }
    if (windowsTarget) return true;
  }
  // Now the commands go (the launcher loads the library itself), and so
  // does the archive for heaps of 32 GB and more, which only
  // -XX:-UseCompressedOops would map: a tenth of the image for a case
  // that then starts without an archive.
  std::string reason;
  bool tidied = host::removeTree(host::joinPath(output, "bin"), reason);
  std::vector<std::string> server;
  tidied = tidied && host::listFiles(host::joinPath(output, "lib/server"), server, reason);
  for (size_t i = 0; tidied && i < server.size(); ++i) {
    if (server[i].rfind("classes_nocoops", 0) == 0)
      tidied = host::removeTree(host::joinPath(output, "lib/server/" + server[i]), reason);
  }
  if (!tidied) {
    error = "cannot tidy the runtime " + output + ": " + reason;
    return false;
  }
  return true;
}

namespace {

// Makes `folder` and the folders above it that are missing.
bool makeFolders(const std::string& folder, std::string& reason) {
  if (folder.empty() || isFolder(folder)) return true;
  std::string above = folder;
  while (!above.empty() && (above.back() == '/' || above.back() == '\\')) above.pop_back();
  above = host::folderOf(above);
  if (!above.empty() && above != folder && !makeFolders(above, reason)) return false;
  return host::makeFolder(folder, reason);
}

bool writeWholeFile(const std::string& path, const std::string& data, std::string& reason) {
  host::FilePointer out = host::openFile(path, "wb", reason);
  if (!out) return false;
  if (fwrite(data.data(), 1, data.size(), out.get()) != data.size() || fclose(out.release()) != 0) {
    reason = "cannot write";
    return false;
  }
  return true;
}

}  // namespace

bool copyRuntimeImage(const RuntimeImage& image, const std::string& target, std::string& error) {
  std::string reason;
  bool ok = makeFolders(target, reason);
  for (size_t i = 0; ok && i < image.files.size(); ++i) {
    const RuntimeFile& file = image.files[i];
    const std::string to = host::joinPath(target, file.name);
    std::string data;
    if (!host::readFile(file.source, data, reason)) {
      error = "cannot read " + file.source + ": " + reason;
      return false;
    }
    ok = makeFolders(host::folderOf(to), reason) && writeWholeFile(to, data, reason) &&
         host::setFileRights(to, file.executable, reason);
  }
  if (!ok) {
    error = "cannot write the runtime into " + target + ": " + reason;
    return false;
  }
  return true;
}

bool writeRuntimeArchive(const RuntimeImage& image, const std::string& path, DosTime entryTime,
                         std::array<uint8_t, 32>& digest, uint64_t& size, std::string& error) {
  std::string reason;
  const host::FilePointer out = host::openFile(path, "w+b", reason);
  if (!out) {
    error = "cannot write " + path + ": " + reason;
    return false;
  }
  ZipWriter zip(out.get(), entryTime);
  bool ok = true;
  for (size_t i = 0; ok && i < image.files.size(); ++i) {
    const RuntimeFile& file = image.files[i];
    std::string data;
    if (!host::readFile(file.source, data, reason) || data.size() != file.size) {
      error = "cannot read " + file.source;
      return false;
    }
    ok = zip.addBytes(file.name, data, true, file.executable ? 0755 : 0644);
  }
  uint32_t length = 0;
  std::string centralDirectory, endRecord;
  ok = ok && zip.finish(std::string(), length, centralDirectory, endRecord);
  if (!ok) {
    error = "cannot write the runtime's archive: " + zip.error();
    return false;
  }
  // The digest is over the bytes as written, read back.
  Sha256 hash;
  std::string block(1 << 20, '\0');
  size = 0;
  size_t got = 0;
  ok = std::fflush(out.get()) == 0 && host::seekFile(out.get(), 0);
  while (ok && (got = std::fread(&block[0], 1, block.size(), out.get())) > 0) {
    hash.update(reinterpret_cast<const uint8_t*>(block.data()), got);
    size += got;
  }
  ok = ok && std::ferror(out.get()) == 0;
  if (!ok || size != length) {
    error = "cannot write the runtime's archive " + path;
    return false;
  }
  const Sha256::Digest value = hash.finish();
  std::copy(value.begin(), value.end(), digest.begin());
  return true;
}

bool runtimeFolderReplaceable(const std::string& folder, std::string& error) {
  const host::FileKind kind = host::fileKind(folder);
  if (kind == host::FileKind::kMissing) return true;
  if (kind == host::FileKind::kDirectory && isFile(host::joinPath(folder, kRuntimeFolderMark))) return true;
  error = folder +
          " exists and was not written by xoqpack; move it away, or carry the runtime inside the program "
          "with --embed-runtime";
  return false;
}

bool markRuntimeFolder(const std::string& folder, std::string& error) {
  std::string reason;
  if (!writeWholeFile(host::joinPath(folder, kRuntimeFolderMark),
                      "This Java runtime was written by xoqpack for the program beside it; xoqpack replaces the "
                      "folder\nwhen it packages the program again.\n",
                      reason)) {
    error = "cannot write " + host::joinPath(folder, kRuntimeFolderMark);
    return false;
  }
  return true;
}

}  // namespace xoq
