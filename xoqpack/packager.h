// Writes a packaged executable: a copy of a launcher template followed by the
// payload (configuration block, its length, the integrity value, the ZIP
// archive, an optional comment), with the archive length patched into the
// copy. The output appears complete or not at all: it is written under a
// temporary name beside the target and renamed into place at the end.
#ifndef XOQPACK_PACKAGER_H_
#define XOQPACK_PACKAGER_H_

#include <functional>
#include <string>
#include <vector>

#include "entry_time.h"
#include "runtime_image.h"
#include "windows_resources.h"

namespace xoq {

struct PackEntry {
  std::string source;  // file to read
  std::string name;    // entry name in the archive
};

struct PackRequest {
  std::string templatePath;
  std::string configPath;  // empty: an empty configuration block
  std::string outputPath;
  std::vector<PackEntry> entries;
  std::string comment;  // archive comment, usually empty
  ResourceOptions resources;
  // The application jar: added first, its Main-Class the mainclass unless
  // the configuration names one, and its Class-Path followed unless off.
  std::string applicationJar;
  bool followClassPath = true;
  // The time stamp of every archive entry.
  DosTime entryTime = kFixedEntryTime;
  // Entries (names or patterns) that the program unpacks into the user's
  // cache and uses as files: added to the configuration as extract lines.
  std::vector<std::string> extract;
  // The Java runtime that goes with the program; none unless asked for.
  RuntimeRequest runtime;
  // Told, one line at a time, of what xoqpack leaves out and the user may
  // want to know about; may be empty.
  std::function<void(const std::string& warning)> warn;
  // Told what xoqpack wrote besides the executable (the runtime and its
  // size); may be empty.
  std::function<void(const std::string& line)> report;
};

/// The runtime search order that xoqpack writes into the configuration
/// block when the configuration names none (no `jre_order` line at all):
/// the launcher's own default, cbsie, followed by the methods that find the
/// runtimes people install today (JavaSoft's newer keys, the vendors' keys,
/// PATH, the usual install folders). A configuration with a `jre_order`
/// line, even an empty one, keeps exactly what it says.
extern const char kPackagedRuntimeOrder[];

/// The `jre_order` xoqpack writes into a configuration that has none:
/// kPackagedRuntimeOrder, with `p` (the runtime the program carries) first
/// when `carriesRuntime`.
std::string packagedRuntimeOrder(bool carriesRuntime);

/// Checks an entry name: relative, '/'-separated (a '\' is turned into '/'),
/// no empty, "." or ".." component. Returns the normalised name, or an
/// empty string with `error` set.
std::string normaliseEntryName(const std::string& name, std::string& error);

/// Writes the executable; false with a one-line `error` otherwise, in which
/// case nothing is written (an existing output file is left as it was).
bool pack(const PackRequest& request, std::string& error);

/// Writes the support classes, as every payload carries them, into a jar
/// of their own at `path` (to compile against), each entry stamped with
/// `entryTime`; false with a one-line `error`, and nothing written.
bool writeSupportJar(const std::string& path, DosTime entryTime, std::string& error);

}  // namespace xoq

#endif  // XOQPACK_PACKAGER_H_
