#include "packager.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>

#include "application_jar.h"
#include "archive/extracted_entries.h"
#include "archive/integrity.h"
#include "base/byte_order.h"
#include "base/sha256.h"
#include "config/ascii.h"
#include "config/config_store.h"
#include "config/payload.h"
#include "config/string_list.h"
#include "config_block.h"
#include "host_files.h"
#include "host_process.h"
#include "jar_file_users.h"
#include "path_names.h"
#include "pe_image.h"
#include "splash_images.h"
#include "support_classes.h"
#include "zip_writer.h"

namespace xoq {

const char kPackagedRuntimeOrder[] = "cbsiejvwf";

std::string packagedRuntimeOrder(bool carriesRuntime) {
  return carriesRuntime ? std::string("p") + kPackagedRuntimeOrder : std::string(kPackagedRuntimeOrder);
}

namespace {

// The layout addresses the file with signed 32-bit positions.
constexpr uint64_t kLargestExecutable = 0x7FFFFFFF;

// Finds the archive length field of a template: the 8 bytes before the only
// occurrence of the marker and its NUL.
bool findArchiveLengthField(const std::string& image, const std::string& path, size_t& field, std::string& error) {
  const std::string marker(kArchiveLengthMarker, kArchiveLengthMarkerSize);
  const size_t found = image.find(marker);
  if (found == std::string::npos || found < 8) {
    error = path + " is not a xoq launcher template (it has no archive length marker)";
    return false;
  }
  if (image.find(marker, found + 1) != std::string::npos) {
    error = path + " holds the archive length marker more than once; it is not a launcher template";
    return false;
  }
  field = found - 8;
  for (size_t i = 0; i < 8; ++i) {
    if (image[field + i] != 0) {
      error = path + " already carries a payload; package from the plain launcher template";
      return false;
    }
  }
  return true;
}

// Finds the carried runtime's descriptor of a template: the bytes before
// the only occurrence of its marker, all zero in a plain template.
bool findCarriedRuntimeField(const std::string& image, const std::string& path, size_t& field, std::string& error) {
  const std::string marker(kCarriedRuntimeMarker, sizeof(kCarriedRuntimeMarker));
  const size_t found = image.find(marker);
  if (found == std::string::npos || found < kCarriedRuntimeFieldSize ||
      image.find(marker, found + 1) != std::string::npos) {
    error = path + " cannot carry a runtime (it has no single runtime marker); package with a launcher of this xoqpack";
    return false;
  }
  field = found - kCarriedRuntimeFieldSize;
  for (size_t i = 0; i < kCarriedRuntimeFieldSize; ++i) {
    if (image[field + i] != 0) {
      error = path + " already carries a runtime; package from the plain launcher template";
      return false;
    }
  }
  return true;
}

// A folder or file beside the output that is removed when packaging fails
// or no longer needs it.
struct StagedPath {
  std::string path;
  ~StagedPath() {
    std::string reason;
    if (!path.empty()) host::removeTree(path, reason);
  }
};

// The jre/ folder beside the output, where the launcher looks first.
std::string runtimeFolderOf(const std::string& outputPath) { return host::folderOf(outputPath) + "jre"; }

// The Java runtime of the program, made ready before anything is written:
// linked or read, then copied into a staged jre/ folder or packed into an
// archive for the executable.
struct PreparedRuntime {
  RuntimeImage image;
  StagedPath linked;   // jlink's output
  StagedPath folder;   // the jre/ folder to put beside the output
  StagedPath archive;  // the archive to carry inside the executable
  std::array<uint8_t, 32> digest{};
  uint64_t archiveSize = 0;
};

bool prepareRuntime(const PackRequest& request, bool windows, const std::vector<PackEntry>& entries,
                    bool wantsSplashLibrary, PreparedRuntime& runtime, std::string& error) {
  const RuntimeRequest& wanted = request.runtime;
  const std::string staged = request.outputPath + ".xoqpack-" + std::to_string(host::processId());
  std::string home = wanted.runtime;
  if (wanted.jlink) {
    // jdeps reads the application's jars and classes as they are packaged.
    std::vector<std::string> classInputs;
    for (const PackEntry& entry : entries) {
      if (endsWithIgnoringCase(entry.name, ".jar") || endsWithIgnoringCase(entry.name, ".class"))
        classInputs.push_back(entry.source);
    }
    // The runtime's splash library comes with java.desktop.
    std::vector<std::string> extraModules;
    if (wantsSplashLibrary) extraModules.push_back("java.desktop");
    runtime.linked.path = staged + ".jlink";
    if (!linkRuntime(wanted, windows, classInputs, extraModules, runtime.linked.path, request.warn,
                     runtime.image.modules, error))
      return false;
    home = runtime.linked.path;
  }
  const std::string modules = runtime.image.modules;
  if (!readRuntimeImage(home, windows, request.warn, runtime.image, error)) return false;
  runtime.image.modules = modules;
  std::string what = "Java " + runtime.image.version;
  if (!modules.empty()) what += " (" + modules + ")";
  what += ": " + std::to_string(runtime.image.files.size()) + " files, " + describeSize(runtime.image.totalSize);
  if (wanted.embed) {
    runtime.archive.path = staged + ".runtime";
    if (!writeRuntimeArchive(runtime.image, runtime.archive.path, request.entryTime, runtime.digest,
                             runtime.archiveSize, error))
      return false;
    if (request.report) {
      request.report("runtime " + what + ", carried inside the executable compressed to " +
                     describeSize(runtime.archiveSize));
    }
    return true;
  }
  // Written where files keep no executable bit, a Linux jre/ loses it on
  // the helpers the runtime starts (jspawnhelper for Process); the archive
  // of the carried form records it.
  if (!windows && !host::keepsExecutableBits() && request.warn) {
    request.warn(
        "the Linux runtime in jre/ has no executable bits here (lib/jspawnhelper needs one to start "
        "processes); --embed-runtime keeps them");
  }
  if (wanted.jlink) {
    runtime.folder.path = runtime.linked.path;
    runtime.linked.path.clear();
  } else {
    runtime.folder.path = staged + ".jre";
    if (!copyRuntimeImage(runtime.image, runtime.folder.path, error)) return false;
  }
  if (!markRuntimeFolder(runtime.folder.path, error)) return false;
  if (request.report) {
    request.report("runtime " + what + ", in " + runtimeFolderOf(request.outputPath));
  }
  return true;
}

// Sets the PE CheckSum of the finished file to what Windows' own routine
// computes over all of it, payload included, reading it back in blocks.
bool writePeChecksum(std::FILE* file, size_t checksumOffset) {
  PeChecksum checksum(checksumOffset);
  std::string block(1 << 20, '\0');
  if (fflush(file) != 0 || !host::seekFile(file, 0)) return false;
  size_t got = 0;
  while ((got = fread(&block[0], 1, block.size(), file)) > 0) {
    checksum.add(reinterpret_cast<const uint8_t*>(block.data()), got);
  }
  if (ferror(file) != 0) return false;
  std::string field;
  appendLittle32(field, checksum.finish());
  return host::seekFile(file, checksumOffset) && fwrite(field.data(), 1, field.size(), file) == field.size();
}

// The file being written, under a temporary name beside its target until
// `commit` puts it in the target's place in one step; removed when it is
// not committed.
class OutputFile {
 public:
  explicit OutputFile(const std::string& target)
      : target_(target), path_(target + ".xoqpack-" + std::to_string(host::processId())) {}
  ~OutputFile() {
    file_.reset();
    if (!committed_ && opened_) host::removeFile(path_);
  }

  bool open(std::string& error) {
    std::string reason;
    file_ = host::openFile(path_, "w+b", reason);
    opened_ = file_ != nullptr;
    if (!opened_) error = "cannot write " + target_ + ": " + reason;
    return opened_;
  }

  std::FILE* get() const { return file_.get(); }

  /// A failed write, in the words the user gets.
  bool failed(std::string& error) const {
    error = "cannot write " + target_ + ": " + strerror(errno);
    return false;
  }

  /// Closes the file, gives it the permissions of `model` and puts it in
  /// the target's place.
  bool commit(const std::string& model, std::string& error) { return close(model, error) && place(error); }

  /// The two steps of commit, for a caller that puts other things in place
  /// in between.
  bool close(const std::string& model, std::string& error) {
    const int closed = fclose(file_.release());
    if (closed != 0) return failed(error);
    if (!model.empty()) host::copyPermissions(model, path_);
    return true;
  }

  bool place(std::string& error) {
    std::string reason;
    if (!host::replaceFile(path_, target_, reason)) {
      error = "cannot write " + target_ + ": " + reason;
      return false;
    }
    committed_ = true;
    return true;
  }

 private:
  std::string target_;
  std::string path_;
  host::FilePointer file_;
  bool opened_ = false;
  bool committed_ = false;
};

// Reads an input file; false with the line the user gets.
bool readInput(const std::string& path, const std::string& what, std::string& content, std::string& error) {
  std::string reason;
  if (host::fileKind(path) == host::FileKind::kDirectory) {
    error = "cannot read " + what + path + ": it is a folder";
    return false;
  }
  if (!host::readFile(path, content, reason)) {
    error = "cannot read " + what + path + ": " + reason;
    return false;
  }
  return true;
}

// The support classes, with the application's own service files merged
// into ours of the same name.
bool addSupportClasses(ZipWriter& zip, const std::map<std::string, std::string>& ownServices) {
  bool ok = zip.addDirectory(kSupportPackageDirectory);
  for (size_t i = 0; ok && i < kSupportClassCount; ++i) {
    const SupportClass& support = kSupportClasses[i];
    const auto own = ownServices.find(support.name);
    ok = zip.addBytes(support.name,
                      (own != ownServices.end() ? own->second : std::string()) +
                          std::string(reinterpret_cast<const char*>(support.data), support.size),
                      true);
  }
  return ok;
}

// The entries that the configuration's extract lines name get the SHA-256
// of their bytes recorded in their central directory entries, by name in
// `blocks`. A line that names no entry is refused: the program would start
// without the file it was packaged for.
bool recordExtractedDigests(const std::string& block, const std::vector<PackEntry>& entries,
                            std::map<std::string, std::string>& blocks, std::string& error) {
  ConfigStore store;
  store.appendText(block.data(), block.size());
  StringList values;
  store.collectValues("extract", true, false, values);
  if (values.size() == 0) return true;
  std::vector<std::string> patterns;
  for (size_t i = 0; i < values.size(); ++i) patterns.push_back(values.str(i));
  std::vector<std::string_view> names;
  for (const PackEntry& entry : entries) names.push_back(entry.name);
  std::vector<std::string> unmatched;
  const std::vector<size_t> chosen = selectExtractedEntries(names, patterns, &unmatched);
  if (!unmatched.empty()) {
    error = "extract " + unmatched.front() + " names no entry of the archive";
    return false;
  }
  for (const size_t i : chosen) {
    std::string data;
    if (!readInput(entries[i].source, "", data, error)) return false;
    Sha256 hash;
    hash.update(reinterpret_cast<const uint8_t*>(data.data()), data.size());
    blocks[entries[i].name] = contentDigestBlock(hash.finish());
  }
  return true;
}

}  // namespace

std::string normaliseEntryName(const std::string& name, std::string& error) {
  std::string normal = name;
  for (char& c : normal) {
    if (c == '\\') c = '/';
  }
  if (normal.empty()) {
    error = "an entry name is empty";
    return std::string();
  }
  if (normal[0] == '/' || (normal.size() >= 2 && normal[1] == ':')) {
    error = "entry name \"" + name + "\" is absolute; entry names are relative to the archive";
    return std::string();
  }
  size_t position = 0;
  while (position <= normal.size()) {
    size_t end = normal.find('/', position);
    if (end == std::string::npos) end = normal.size();
    const std::string part = normal.substr(position, end - position);
    if (part.empty() || part == "." || part == "..") {
      error = "entry name \"" + name + "\" has an empty, \".\" or \"..\" component";
      return std::string();
    }
    position = end + 1;
  }
  return normal;
}

bool pack(const PackRequest& request, std::string& error) {
  std::string image;
  if (!readInput(request.templatePath, "the launcher template ", image, error)) return false;
  size_t lengthField = 0;
  if (!findArchiveLengthField(image, request.templatePath, lengthField, error)) return false;

  // Resources go into the image before anything is appended, so that the
  // integrity value covers the final image.
  const bool windows = looksLikePeImage(image);
  std::string splashImage;
  if (windows) {
    if (!addWindowsResources(image, request.templatePath, request.resources, fileNameOf(request.outputPath), error))
      return false;
  } else if (!request.resources.firstWindowsOnlyOption().empty()) {
    error = request.resources.firstWindowsOnlyOption() +
            " is for the Windows targets: a Linux executable has no Windows resources";
    return false;
  } else if (!request.resources.splashImage.empty() && !readSplashImage(request.resources, splashImage, error)) {
    return false;
  }

  std::string block = "\xEF\xBB\xBF";
  if (!request.configPath.empty()) {
    std::string file;
    if (!readInput(request.configPath, "the configuration file ", file, error)) return false;
    if (!makeConfigurationBlock(file, block, error)) {
      error = request.configPath + ": " + error;
      return false;
    }
  }

  // --extract lines go after the byte-order mark, in the order given.
  for (auto it = request.extract.rbegin(); it != request.extract.rend(); ++it) {
    if (it->find_first_of(std::string("\r\n\0", 3)) != std::string::npos) {
      error = "--extract " + *it + ": a name of one line is needed";
      return false;
    }
    block.insert(3, "extract " + *it + "\r\n");
  }
  {
    ConfigStore store;
    store.appendText(block.data(), block.size());
    size_t orders = 0;
    store.forEachValue(
        "jre_order", false, false, [](void* count, const char*) { ++*static_cast<size_t*>(count); }, &orders);
    // A program that carries its runtime tries that one first; the
    // configuration's own order, when it has one, stands as written.
    const bool carried = request.runtime.wanted() && request.runtime.embed;
    if (orders == 0) {
      block.insert(3, "jre_order " + packagedRuntimeOrder(carried) + "\r\n");
    } else if (carried && request.warn) {
      const std::string order = store.lookup("jre_order", false, false);
      if (order.find_first_of("pP") == std::string::npos) {
        request.warn("the configuration's jre_order \"" + order +
                     "\" leaves out p, so the program never uses the runtime it carries; add p where it should be "
                     "tried");
      }
    }
  }

  std::vector<PackEntry> requested;
  if (!request.applicationJar.empty()) {
    ApplicationJar jar;
    if (!collectApplicationJar(request.applicationJar, request.followClassPath, jar, error)) return false;
    if (request.warn) {
      for (const std::string& warning : jar.warnings) request.warn(warning);
    }
    // A mainclass line of the configuration wins; otherwise the jar's goes
    // first, ahead of an empty one.
    ConfigStore store;
    store.appendText(block.data(), block.size());
    if (store.lookup("mainclass", false, false).empty()) {
      if (jar.mainClass.empty()) {
        error = request.applicationJar +
                " has no Main-Class in its manifest; name the main class with mainclass "
                "in the configuration";
        return false;
      }
      block.insert(3, "mainclass " + jar.mainClass + "\r\n");
    }
    requested = jar.jars;
  }
  requested.insert(requested.end(), request.entries.begin(), request.entries.end());

  std::set<std::string> names;
  names.insert(kSupportPackageDirectory);
  names.insert(kSplashImageEntry);
  for (size_t i = 0; i < kSupportClassCount; ++i) names.insert(kSupportClasses[i].name);
  // A service file of the application's own with the name of one of the
  // support classes' (META-INF/services/...) is merged with it, so that the
  // application's providers and ours are both found.
  std::map<std::string, std::string> ownServices;
  std::vector<PackEntry> entries;
  for (const PackEntry& entry : requested) {
    const std::string name = normaliseEntryName(entry.name, error);
    if (name.empty()) return false;
    if (name.compare(0, 18, "META-INF/services/") == 0 && names.count(name) != 0 && ownServices.count(name) == 0) {
      std::string lines;
      if (!readInput(entry.source, "", lines, error)) return false;
      if (!lines.empty() && lines.back() != '\n') lines += '\n';
      ownServices[name] = lines;
      continue;
    }
    if (!names.insert(name).second) {
      error = "two entries are named " + name;
      return false;
    }
    const host::FileKind kind = host::fileKind(entry.source);
    if (kind == host::FileKind::kMissing || kind == host::FileKind::kDirectory) {
      error = "cannot read " + entry.source +
              (kind == host::FileKind::kMissing ? ": No such file or directory" : ": it is a folder");
      return false;
    }
    entries.push_back({entry.source, name});
  }

  std::map<std::string, std::string> digestBlocks;
  if (!recordExtractedDigests(block, entries, digestBlocks, error)) return false;
  std::set<std::string> extracted;
  for (const auto& digest : digestBlocks) extracted.insert(digest.first);
  warnOfJarFileUsers(entries, extracted, request.warn);

  // The runtime: refused early when jre/ cannot be written, then made
  // ready before the executable is written.
  const RuntimeRequest& runtimeRequest = request.runtime;
  const std::string runtimeFolder = runtimeFolderOf(request.outputPath);
  size_t carriedField = 0;
  PreparedRuntime runtime;
  if (runtimeRequest.wanted()) {
    if (runtimeRequest.embed) {
      if (!findCarriedRuntimeField(image, request.templatePath, carriedField, error)) return false;
    } else if (!runtimeFolderReplaceable(runtimeFolder, error)) {
      return false;
    }
    ConfigStore store;
    store.appendText(block.data(), block.size());
    const bool wantsSplashLibrary =
        !request.resources.splashImage.empty() || !store.lookup("splash", false, false).empty();
    if (!prepareRuntime(request, windows, entries, wantsSplashLibrary, runtime, error)) return false;
  }

  OutputFile output(request.outputPath);
  if (!output.open(error)) return false;

  // Image, block with its NUL and length, and a hole for the integrity value.
  std::string head = image;
  head += block;
  head += '\0';
  appendLittle32(head, static_cast<uint32_t>(block.size() + 1));
  const size_t payloadPosition = head.size();
  head.append(kIntegrityValueSize, '\0');
  if (fwrite(head.data(), 1, head.size(), output.get()) != head.size()) return output.failed(error);

  ZipWriter zip(output.get(), request.entryTime);
  bool ok = addSupportClasses(zip, ownServices);
  if (ok && !splashImage.empty()) ok = zip.addBytes(kSplashImageEntry, splashImage, false);
  for (size_t i = 0; ok && i < entries.size(); ++i) {
    const PackEntry& entry = entries[i];
    // Nested archives are stored, so that the launcher can serve a stored
    // jar straight from the mapped executable; everything else is deflated.
    const auto digest = digestBlocks.find(entry.name);
    const std::string extra = digest != digestBlocks.end() ? digest->second : std::string();
    if (endsWithIgnoringCase(entry.name, ".jar") || endsWithIgnoringCase(entry.name, ".zip")) {
      ok = zip.addFileStored(entry.name, entry.source, extra);
    } else {
      std::string data;
      if (!readInput(entry.source, "", data, error)) return false;
      ok = zip.addBytes(entry.name, data, true, 0, extra);
    }
  }
  // The carried runtime lies after the entries, in none of them.
  uint32_t runtimeOffset = 0;
  uint64_t runtimeLength = 0;
  if (ok && runtimeRequest.embed) {
    ok = zip.addUnlistedBytes(runtime.archive.path, runtimeOffset, runtimeLength);
    if (ok && runtimeLength != runtime.archiveSize) {
      error = "the runtime's archive changed while it was copied";
      return false;
    }
  }
  uint32_t archiveLength = 0;
  std::string centralDirectory;
  std::string endRecord;
  if (!ok || !zip.finish(request.comment, archiveLength, centralDirectory, endRecord)) {
    error = zip.error();
    return false;
  }
  if (payloadPosition + kIntegrityValueSize + archiveLength + request.comment.size() > kLargestExecutable) {
    error = "the executable would be larger than 2 GB, more than the payload layout can address";
    return false;
  }

  // Patch the archive length into the image, then seal everything with the
  // integrity value.
  for (size_t i = 0; i < 8; ++i) {
    head[lengthField + i] = static_cast<char>((static_cast<uint64_t>(archiveLength) >> (8 * i)) & 0xFF);
  }
  if (runtimeRequest.embed) {
    std::string descriptor;
    appendLittle64(descriptor, runtimeLength);
    appendLittle64(descriptor, runtimeOffset);
    descriptor.append(reinterpret_cast<const char*>(runtime.digest.data()), runtime.digest.size());
    head.replace(carriedField, kCarriedRuntimeFieldSize, descriptor);
  }
  const IntegrityValue value =
      computeIntegrityValue(reinterpret_cast<const uint8_t*>(head.data()), payloadPosition,
                            reinterpret_cast<const uint8_t*>(centralDirectory.data()), centralDirectory.size(),
                            reinterpret_cast<const uint8_t*>(endRecord.data()));
  const size_t descriptorSize = runtimeRequest.embed ? kCarriedRuntimeFieldSize : 0;
  if (!host::seekFile(output.get(), lengthField) || fwrite(head.data() + lengthField, 1, 8, output.get()) != 8 ||
      !host::seekFile(output.get(), carriedField) ||
      fwrite(head.data() + carriedField, 1, descriptorSize, output.get()) != descriptorSize ||
      !host::seekFile(output.get(), payloadPosition) ||
      fwrite(value.data(), 1, value.size(), output.get()) != value.size())
    return output.failed(error);
  if (windows && !writePeChecksum(output.get(), peChecksumOffset(head))) return output.failed(error);
  if (!output.close(request.templatePath, error)) return false;

  // The runtime folder goes in first, an earlier one set aside until the
  // executable is in place too, so that a failure leaves both as they were.
  std::string reason;
  StagedPath aside;
  const bool placeFolder = !runtime.folder.path.empty();
  if (placeFolder) {
    if (host::fileKind(runtimeFolder) != host::FileKind::kMissing) {
      aside.path = runtimeFolder + ".xoqpack-old-" + std::to_string(host::processId());
      if (!host::movePath(runtimeFolder, aside.path, reason)) {
        error = "cannot replace " + runtimeFolder + ": " + reason;
        aside.path.clear();
        return false;
      }
    }
    if (!host::movePath(runtime.folder.path, runtimeFolder, reason)) {
      error = "cannot write " + runtimeFolder + ": " + reason;
      if (!aside.path.empty()) host::movePath(aside.path, runtimeFolder, reason);
      aside.path.clear();
      return false;
    }
    runtime.folder.path.clear();
  }
  if (!output.place(error)) {
    if (placeFolder) {
      host::removeTree(runtimeFolder, reason);
      if (!aside.path.empty()) host::movePath(aside.path, runtimeFolder, reason);
      aside.path.clear();
    }
    return false;
  }
  return true;
}

bool writeSupportJar(const std::string& path, DosTime entryTime, std::string& error) {
  OutputFile output(path);
  if (!output.open(error)) return false;
  ZipWriter zip(output.get(), entryTime);
  uint32_t archiveLength = 0;
  std::string centralDirectory;
  std::string endRecord;
  if (!addSupportClasses(zip, {}) || !zip.finish(std::string(), archiveLength, centralDirectory, endRecord)) {
    error = zip.error();
    return false;
  }
  return output.commit(std::string(), error);
}

}  // namespace xoq
