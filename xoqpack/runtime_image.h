// The Java runtime that goes with a packaged program: a ready runtime image
// (--runtime), or one that the JDK's jlink makes for the application
// (--jlink), written beside the executable as jre/ or carried inside it
// (--embed-runtime).
//
// Paths are UTF-8 strings, and every file and the tools xoqpack starts go
// through its host seam (host_files.h, host_process.h), so that this code
// is the same on every system xoqpack runs on.
#ifndef XOQPACK_RUNTIME_IMAGE_H_
#define XOQPACK_RUNTIME_IMAGE_H_

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "entry_time.h"

namespace xoq {

/// What the user asked for.
struct RuntimeRequest {
  std::string runtime;     // --runtime DIR: a ready image
  bool jlink = false;      // --jlink: make one
  std::string jdk;         // --jdk DIR: whose jlink and jdeps (default: JAVA_HOME, else javac on PATH)
  std::string jmods;       // --jmods DIR: the target's jmods (a Windows JDK's for a Windows target)
  std::string addModules;  // --add-modules LIST, comma-separated
  bool embed = false;      // --embed-runtime: inside the executable instead of jre/

  bool wanted() const { return jlink || !runtime.empty(); }
};

/// One file of a runtime image.
struct RuntimeFile {
  std::string source;
  std::string name;  // '/'-separated, relative to the image
  uint64_t size = 0;
  bool executable = false;
};

/// A runtime image on disk, checked for its target.
struct RuntimeImage {
  std::string home;
  std::string version;  // the release file's JAVA_VERSION
  std::string modules;  // what jlink linked, for the report; empty for a ready image
  std::vector<RuntimeFile> files;
  uint64_t totalSize = 0;
};

/// The file in a jre/ folder that says xoqpack wrote it, so that the next
/// run may replace the folder.
extern const char kRuntimeFolderMark[];

using Warn = std::function<void(const std::string& warning)>;

/// Checks that `home` is a runtime image for the target (bin/server/jvm.dll
/// for Windows, lib/server/libjvm.so for Linux, a release file naming its
/// version) and lists its files (links followed, a broken one left out with
/// a warning, the mark of an earlier jre/ left out). False with one line.
bool readRuntimeImage(const std::string& home, bool windowsTarget, const Warn& warn, RuntimeImage& image,
                      std::string& error);

/// The modules that jlink is asked for: java.base, what jdeps finds in
/// `classInputs` (jars and class files), `extraModules` and the request's
/// --add-modules. Then links them into `output` (which must not exist yet)
/// with the JDK's jlink: no debug information, man pages, header files or
/// commands, and, when the target is the system xoqpack runs on, a class
/// data archive for the new image. Checks the JDK and the jmods against the
/// target first. False with one line; `output` may then be left over for
/// the caller to remove.
bool linkRuntime(const RuntimeRequest& request, bool windowsTarget, const std::vector<std::string>& classInputs,
                 const std::vector<std::string>& extraModules, const std::string& output, const Warn& warn,
                 std::string& modules, std::string& error);

/// Copies the image's files into the new folder `target`.
bool copyRuntimeImage(const RuntimeImage& image, const std::string& target, std::string& error);

/// Writes a ZIP archive of the image's files, each deflated, with its Unix
/// mode and the time stamp `entryTime`, to the new file `path`; `digest` is the SHA-256 of the archive's
/// bytes and `size` their count.
bool writeRuntimeArchive(const RuntimeImage& image, const std::string& path, DosTime entryTime,
                         std::array<uint8_t, 32>& digest, uint64_t& size, std::string& error);

/// Whether the jre/ folder beside the output may be written: there is
/// nothing there, or a folder that an earlier xoqpack run wrote (it carries
/// kRuntimeFolderMark). False with one line otherwise.
bool runtimeFolderReplaceable(const std::string& folder, std::string& error);

/// Writes the mark into a finished runtime folder.
bool markRuntimeFolder(const std::string& folder, std::string& error);

/// Sizes for people: "54.2 MB".
std::string describeSize(uint64_t bytes);

}  // namespace xoq

#endif  // XOQPACK_RUNTIME_IMAGE_H_
