#include "runtime/class_data_cache.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/sha256.h"
#include "base/trace.h"
#include "config/config_store.h"
#include "config/payload.h"
#include "platform/cache_files.h"
#include "platform/instance_ipc.h"
#include "platform/platform.h"
#include "runtime/runtime_layout.h"
#include "runtime/runtime_release.h"
#include "runtime/vm_context.h"

namespace xoq {

namespace {

// Options with which the user has decided about class data archives, or
// with which the runtime cannot write one.
const char* const kDecidingPrefixes[] = {
    "-XX:SharedArchiveFile",
    "-XX:ArchiveClassesAtExit",
    "-XX:+AutoCreateSharedArchive",
    "-XX:-AutoCreateSharedArchive",
    "-XX:AOT",
    "-XX:SharedClassListFile",
    "-XX:+RecordDynamicDumpInfo",
    "-Xshare:",
    "-agentlib:",
    "-agentpath:",
    "-javaagent:",
    "-Xrun",
};

// The archive written by this process, put in place when the process ends.
std::string* pendingDump = nullptr;
std::string* pendingArchive = nullptr;

// The first bytes of a dynamic archive, which the runtime writes last:
// without them the archive is not complete.
const uint8_t kDynamicArchiveMagic[4] = {0xA8, 0xAB, 0x0B, 0xF0};

bool completeArchive(const std::string& path) {
  platform::MappedFile file;
  return file.open(path) && file.size() > 4096 && memcmp(file.data(), kDynamicArchiveMagic, 4) == 0;
}

void putDumpInPlace() {
  if (pendingDump == nullptr) return;
  // The runtime writes the archive while it shuts down. A dump that failed
  // part-way must never take the archive's place: JDK 17 crashes on a
  // truncated one.
  if (completeArchive(*pendingDump)) {
    platform::replaceFile(*pendingDump, *pendingArchive);
  } else {
    platform::removeFile(*pendingDump);
  }
  pendingDump = nullptr;
}

std::string hex(const uint8_t* bytes, size_t count) {
  static const char digits[] = "0123456789abcdef";
  std::string text;
  for (size_t i = 0; i < count; ++i) {
    text += digits[bytes[i] >> 4];
    text += digits[bytes[i] & 15];
  }
  return text;
}

void addStamp(std::string& identity, const std::string& path) {
  uint64_t size = 0, modified = 0;
  platform::fileStamp(path, size, modified);
  identity += path + '\n' + std::to_string(size) + '\n' + std::to_string(modified) + '\n';
}

// The 16 bytes that xoqpack stored in front of the archive; empty when the
// executable has no payload.
std::string integrityValue(const std::string& executablePath) {
  platform::MappedFile file;
  if (!file.open(executablePath) || file.data() == nullptr) return std::string();
  const PayloadLayout layout = computePayloadLayout(file.data(), file.size(), ownArchiveLength());
  if (!layout.fits) return std::string();
  return hex(file.data() + layout.archiveStart - kIntegrityValueSize, kIntegrityValueSize);
}

}  // namespace

bool optionsDecideClassData(const StringList& options) {
  for (size_t i = 0; i < options.size(); ++i) {
    for (const char* prefix : kDecidingPrefixes) {
      if (strncmp(options.at(i), prefix, strlen(prefix)) == 0) return true;
    }
  }
  return false;
}

std::string classDataArchiveName(const std::string& executablePath, const std::string& identity) {
  Sha256 digest;
  digest.update(reinterpret_cast<const uint8_t*>(identity.data()), identity.size());
  const Sha256::Digest value = digest.finish();
  const size_t separator = executablePath.find_last_of("\\/");
  const std::string name = separator == std::string::npos ? executablePath : executablePath.substr(separator + 1);
  return name + "-" + hex(value.data(), 12) + ".jsa";
}

void addClassDataCacheOptions(VmContext& context, const ConfigStore& config, const RuntimeRelease& release,
                              const std::string& libraryPath, const std::string& classPath) {
  if (!config.classDataCache()) return;
  // Dynamic archives, which hold what one application loads on top of the
  // runtime's own archive, came with JDK 13.
  if (release.feature < 13) {
    trace("class data cache: not with this runtime (%s)",
          release.version.empty() ? "version unknown" : release.version.c_str());
    return;
  }
  // With the launcher's loader as the system class loader the runtime
  // disables every archived class that is not its own: such an archive
  // would only cost its mapping.
  if (config.asSystemClassLoader()) {
    trace("class data cache: only with assystemclassloader false");
    return;
  }
  StringList options;
  config.options(options);
  if (optionsDecideClassData(options)) {
    trace("class data cache: left to the configured options");
    return;
  }
  const std::string base = platform::userCacheFolder();
  const std::string folder = base.empty() ? base : base + "xoq";
  if (folder.empty() || !platform::makeFolders(folder)) {
    trace("class data cache: no cache folder");
    return;
  }
  const std::string& executable = config.executablePath();
  std::string identity = integrityValue(executable) + '\n';
  addStamp(identity, executable);
  addStamp(identity, libraryPath);
  // The runtime checks every entry of the class path against the archive;
  // one that changed gets an archive of its own instead of a refusal.
  for (size_t start = 0; start <= classPath.size();) {
    size_t end = classPath.find(kClassPathSeparator, start);
    if (end == std::string::npos) end = classPath.size();
    if (end > start) addStamp(identity, classPath.substr(start, end - start));
    start = end + 1;
  }
  identity += release.version + '\n' + classPath + '\n' + (config.asSystemClassLoader() ? "system" : "separate");
  const std::string archive = folder + (base.back() == '\\' ? "\\" : "/") + classDataArchiveName(executable, identity);

  // What the runtime says about archives (one it cannot use, classes it
  // leaves out) is the cache's business alone, not the user's.
  bool userLogsArchives = false;
  for (size_t i = 0; i < options.size(); ++i) {
    const std::string option = options.str(i);
    userLogsArchives = userLogsArchives || (option.rfind("-Xlog", 0) == 0 && option.find("cds") != std::string::npos);
  }
  if (!userLogsArchives) addVmOption(context, "-Xlog:cds*=off");

  if (release.feature >= 19) {
    addVmOption(context, "-XX:+AutoCreateSharedArchive");
    addVmOption(context, "-XX:SharedArchiveFile=" + archive);
    trace("class data cache: %s, kept by the runtime", archive.c_str());
    return;
  }
  if (platform::isReadable(archive)) {
    addVmOption(context, "-XX:SharedArchiveFile=" + archive);
    trace("class data cache: using %s", archive.c_str());
    return;
  }
  // Written under a name of this process's own: two first starts at once
  // must not write into the same file, and a start must never map a file
  // that is still being written.
  static std::string dump, target;
  dump = archive + "." + std::to_string(platform::currentProcessId()) + ".tmp";
  target = archive;
  pendingDump = &dump;
  pendingArchive = &target;
  // The runtime writes the archive when it shuts down, also through
  // System.exit, which ends the process with exit(): the archive is put in
  // place by an exit handler, after the runtime's own work is done.
  atexit(putDumpInPlace);
  addVmOption(context, "-XX:ArchiveClassesAtExit=" + dump);
  trace("class data cache: %s made when the application ends", archive.c_str());
}

}  // namespace xoq
