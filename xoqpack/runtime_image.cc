#include "runtime_image.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

#include "base/sha256.h"
#include "module_info.h"
#include "runtime/runtime_release.h"
#include "tool_process.h"
#include "zip_writer.h"

namespace xoq {

namespace fs = std::filesystem;

namespace {

#ifdef _WIN32
const char kCommandSuffix[] = ".exe";
const char kPathListSeparator = ';';
#else
const char kCommandSuffix[] = "";
const char kPathListSeparator = ':';
#endif

// Where a runtime image keeps its virtual machine library.
const char kWindowsLibrary[] = "bin/server/jvm.dll";
const char kLinuxLibrary[] = "lib/server/libjvm.so";

std::string show(const fs::path& path) { return path.string(); }

bool readText(const fs::path& path, std::string& text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

// JAVA_VERSION="17.0.15" of a runtime's release file; empty when none.
std::string releaseVersion(const fs::path& home) {
  std::string text;
  if (!readText(home / "release", text)) return std::string();
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
bool hasFormat(const fs::path& library, bool windowsTarget) {
  std::ifstream in(library, std::ios::binary);
  char head[4] = {0, 0, 0, 0};
  in.read(head, sizeof head);
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
bool findJdk(const std::string& given, fs::path& jdk, std::string& error) {
  std::error_code code;
  std::string how;
  if (!given.empty()) {
    jdk = given;
    how = "--jdk";
  } else if (const char* home = std::getenv("JAVA_HOME"); home != nullptr && home[0] != '\0') {
    jdk = home;
    how = "JAVA_HOME";
  } else if (const char* path = std::getenv("PATH"); path != nullptr) {
    std::istringstream folders(path);
    std::string folder;
    while (std::getline(folders, folder, kPathListSeparator)) {
      const fs::path javac = fs::path(folder.empty() ? "." : folder) / (std::string("javac") + kCommandSuffix);
      if (!fs::is_regular_file(javac, code)) continue;
      const fs::path real = fs::canonical(javac, code);
      if (code) continue;
      jdk = real.parent_path().parent_path();
      how = "the javac on PATH";
      break;
    }
  }
  if (jdk.empty()) {
    error = "--jlink needs a JDK: give --jdk DIR, set JAVA_HOME, or put a JDK's javac on PATH";
    return false;
  }
  for (const char* tool : {"jlink", "jdeps"}) {
    if (!fs::is_regular_file(jdk / "bin" / (std::string(tool) + kCommandSuffix), code)) {
      error = show(jdk) + " (from " + how + ") has no bin/" + tool + kCommandSuffix + ": --jlink needs a JDK";
      return false;
    }
  }
  return true;
}

// The modules jdeps finds in the application's jars and classes.
bool findApplicationModules(const fs::path& jdk, int feature, const std::vector<std::string>& classInputs,
                            std::set<std::string>& modules, std::string& error) {
  if (classInputs.empty()) return true;
  std::vector<std::string> argv = {(jdk / "bin" / (std::string("jdeps") + kCommandSuffix)).string(),
                                   "--print-module-deps", "--ignore-missing-deps", "--multi-release",
                                   std::to_string(feature)};
  argv.insert(argv.end(), classInputs.begin(), classInputs.end());
  ToolResult result;
  if (!runTool(argv, result, error)) return false;
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
bool checkJmods(const fs::path& jmods, bool windowsTarget, int jdkFeature, const std::string& jdkVersion,
                std::string& error) {
  std::error_code code;
  const fs::path base = jmods / "java.base.jmod";
  if (!fs::is_regular_file(base, code)) {
    error = show(jmods) + " holds no java.base.jmod: --jmods names the jmods folder of a JDK";
    return false;
  }
  ModuleInfo info;
  if (!readJmodModuleInfo(base.string(), info, error)) return false;
  const bool windowsJmods = info.targetPlatform.rfind("windows-", 0) == 0;
  const bool linuxJmods = info.targetPlatform.rfind("linux-", 0) == 0;
  if (windowsTarget ? !windowsJmods : !linuxJmods) {
    error = "the jmods in " + show(jmods) + " are for " +
            (info.targetPlatform.empty() ? std::string("no named platform") : info.targetPlatform) + ", not for a " +
            (windowsTarget ? "Windows" : "Linux") + " target";
    return false;
  }
  if (featureVersion(info.version) != jdkFeature) {
    error = "the jmods in " + show(jmods) + " are of Java " + info.version + " and the JDK's jlink of Java " +
            jdkVersion + ": jlink links only jmods of its own feature version (give --jdk a JDK " +
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

bool readRuntimeImage(const fs::path& home, bool windowsTarget, const Warn& warn, RuntimeImage& image,
                      std::string& error) {
  std::error_code code;
  const char* library = windowsTarget ? kWindowsLibrary : kLinuxLibrary;
  const char* other = windowsTarget ? kLinuxLibrary : kWindowsLibrary;
  const std::string target = windowsTarget ? "a Windows target" : "a Linux target";
  if (!fs::is_directory(home, code)) {
    error = "the runtime " + show(home) + " is not a folder";
    return false;
  }
  if (!fs::is_regular_file(home / library, code)) {
    error = show(home) +
            (fs::is_regular_file(home / other, code) ? " is a runtime of the other system: "
                                                     : " is not a Java runtime image: ") +
            target + " needs " + library + " in it";
    return false;
  }
  if (!hasFormat(home / library, windowsTarget)) {
    error = show(home / library) + " is not a library " + target + " can load";
    return false;
  }
  image.home = home;
  image.version = releaseVersion(home);
  if (image.version.empty()) {
    error = show(home) + " has no release file naming its JAVA_VERSION; it is not a runtime image";
    return false;
  }
  image.files.clear();
  image.totalSize = 0;
  fs::recursive_directory_iterator it(home, fs::directory_options::follow_directory_symlink, code), end;
  for (; !code && it != end; it.increment(code)) {
    const fs::path& path = it->path();
    // Lexically: the name of a file in a linked folder is its path here.
    const std::string name = path.lexically_relative(home).generic_string();
    if (it->is_directory(code)) continue;
    if (name == kRuntimeFolderMark) continue;
    const fs::file_status status = fs::status(path, code);
    if (code || !fs::is_regular_file(status)) {
      if (warn) warn("left out of the runtime: " + path.string() + " (a broken link or not a file)");
      code.clear();
      continue;
    }
    RuntimeFile file;
    file.source = path;
    file.name = name;
    file.size = fs::file_size(path, code);
    if (code) break;
    file.executable = (status.permissions() & fs::perms::owner_exec) != fs::perms::none;
    image.totalSize += file.size;
    image.files.push_back(file);
  }
  if (code) {
    error = "cannot read the runtime " + show(home) + ": " + code.message();
    return false;
  }
  std::sort(image.files.begin(), image.files.end(),
            [](const RuntimeFile& a, const RuntimeFile& b) { return a.name < b.name; });
  return true;
}

bool linkRuntime(const RuntimeRequest& request, bool windowsTarget, const std::vector<std::string>& classInputs,
                 const std::vector<std::string>& extraModules, const fs::path& output, const Warn& warn,
                 std::string& modules, std::string& error) {
  fs::path jdk;
  if (!findJdk(request.jdk, jdk, error)) return false;
  const std::string jdkVersion = releaseVersion(jdk);
  const int feature = featureVersion(jdkVersion);
  if (feature < 9) {
    error = show(jdk) + " is not a JDK that has jlink (its release file names " +
            (jdkVersion.empty() ? std::string("no version") : "Java " + jdkVersion) + ")";
    return false;
  }
  std::error_code code;
  if (!request.jmods.empty()) {
    if (!checkJmods(request.jmods, windowsTarget, feature, jdkVersion, error)) return false;
  } else if (windowsTarget) {
    error = "a Windows runtime made with jlink needs the jmods of a Windows JDK " + std::to_string(feature) +
            ": give --jmods DIR";
    return false;
  } else if (!fs::is_directory(jdk / "jmods", code) && feature < 24) {
    error = "the JDK " + show(jdk) + " has no jmods folder, which jlink " + std::to_string(feature) +
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
  // new image's own java; a Windows image cannot run here, so it gets its
  // commands stripped by jlink and no archive.
  std::vector<std::string> argv = {(jdk / "bin" / (std::string("jlink") + kCommandSuffix)).string(),
                                   "--add-modules",
                                   modules,
                                   "--output",
                                   output.string(),
                                   "--strip-debug",
                                   "--no-man-pages",
                                   "--no-header-files"};
  // The module image compressed: half its size, and no start-up time a
  // measurement here could tell, since the classes a start needs come from
  // the class data archive. JDK 21 renamed the levels.
  argv.push_back(feature >= 21 ? "--compress=zip-6" : "--compress=2");
  if (!request.jmods.empty()) {
    argv.push_back("--module-path");
    argv.push_back(request.jmods);
  }
  if (windowsTarget) {
    argv.push_back("--strip-native-commands");
  } else {
    argv.push_back("--generate-cds-archive");
  }
  ToolResult result;
  if (!runTool(argv, result, error)) return false;
  if (result.exitCode != 0) {
    error = "jlink failed: " + firstErrorLine(result.output);
    return false;
  }
  if (windowsTarget) {
    if (warn) warn("the Windows runtime has no class data archive: only the target's own java can make one");
    return true;
  }
  // Now the commands go (the launcher loads the library itself), and so
  // does the archive for heaps of 32 GB and more, which only
  // -XX:-UseCompressedOops would map: a tenth of the image for a case
  // that then starts without an archive.
  fs::remove_all(output / "bin", code);
  for (fs::directory_iterator it(output / "lib" / "server", code), end; !code && it != end; it.increment(code)) {
    if (it->path().filename().string().rfind("classes_nocoops", 0) == 0) fs::remove(it->path(), code);
  }
  if (code) {
    error = "cannot tidy the runtime " + show(output) + ": " + code.message();
    return false;
  }
  return true;
}

bool copyRuntimeImage(const RuntimeImage& image, const fs::path& target, std::string& error) {
  std::error_code code;
  fs::create_directories(target, code);
  for (size_t i = 0; !code && i < image.files.size(); ++i) {
    const RuntimeFile& file = image.files[i];
    const fs::path to = target / fs::u8path(file.name);
    fs::create_directories(to.parent_path(), code);
    if (!code) fs::copy_file(file.source, to, fs::copy_options::overwrite_existing, code);
    if (!code) {
      const fs::perms mode =
          fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read;
      const fs::perms run = fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec;
      fs::permissions(to, file.executable ? mode | run : mode, code);
    }
  }
  if (code) {
    error = "cannot write the runtime into " + show(target) + ": " + code.message();
    return false;
  }
  return true;
}

bool writeRuntimeArchive(const RuntimeImage& image, const fs::path& path, std::array<uint8_t, 32>& digest,
                         uint64_t& size, std::string& error) {
  std::FILE* out = std::fopen(path.string().c_str(), "w+b");
  if (out == nullptr) {
    error = "cannot write " + show(path);
    return false;
  }
  ZipWriter zip(out);
  bool ok = true;
  for (size_t i = 0; ok && i < image.files.size(); ++i) {
    const RuntimeFile& file = image.files[i];
    std::string data;
    if (!readText(file.source, data) || data.size() != file.size) {
      error = "cannot read " + show(file.source);
      std::fclose(out);
      return false;
    }
    ok = zip.addBytes(file.name, data, true, file.executable ? 0755 : 0644);
  }
  uint32_t length = 0;
  std::string centralDirectory, endRecord;
  ok = ok && zip.finish(std::string(), length, centralDirectory, endRecord);
  if (!ok) {
    error = "cannot write the runtime's archive: " + zip.error();
    std::fclose(out);
    return false;
  }
  // The digest is over the bytes as written, read back.
  Sha256 hash;
  std::string block(1 << 20, '\0');
  size = 0;
  size_t got = 0;
  ok = std::fflush(out) == 0 && std::fseek(out, 0, SEEK_SET) == 0;
  while (ok && (got = std::fread(&block[0], 1, block.size(), out)) > 0) {
    hash.update(reinterpret_cast<const uint8_t*>(block.data()), got);
    size += got;
  }
  ok = ok && std::ferror(out) == 0;
  ok = std::fclose(out) == 0 && ok;
  if (!ok || size != length) {
    error = "cannot write the runtime's archive " + show(path);
    return false;
  }
  const Sha256::Digest value = hash.finish();
  std::copy(value.begin(), value.end(), digest.begin());
  return true;
}

bool runtimeFolderReplaceable(const fs::path& folder, std::string& error) {
  std::error_code code;
  if (!fs::exists(fs::symlink_status(folder, code))) return true;
  if (fs::is_directory(fs::symlink_status(folder, code)) && fs::is_regular_file(folder / kRuntimeFolderMark, code)) {
    return true;
  }
  error = show(folder) +
          " exists and was not written by xoqpack; move it away, or carry the runtime inside the program "
          "with --embed-runtime";
  return false;
}

bool markRuntimeFolder(const fs::path& folder, std::string& error) {
  std::ofstream mark(folder / kRuntimeFolderMark, std::ios::binary);
  mark << "This Java runtime was written by xoqpack for the program beside it; xoqpack replaces the folder\n"
          "when it packages the program again.\n";
  mark.close();
  if (!mark) {
    error = "cannot write " + show(folder / kRuntimeFolderMark);
    return false;
  }
  return true;
}

}  // namespace xoq
