#include "runtime/class_path.h"

#include "config/arguments.h"
#include "config/ascii.h"
#include "config/config_store.h"
#include "config/expand.h"
#include "config/string_list.h"
#include "platform/directory.h"
#include "platform/platform.h"
#include "runtime/runtime_layout.h"

namespace xoq {

namespace {

bool isArchiveName(const std::string& name) {
  return endsWithIgnoringCase(name, ".jar") || endsWithIgnoringCase(name, ".zip");
}

}  // namespace

void addClassPathEntries(const ConfigStore& config, std::string& accumulated, const std::string& value) {
  // Split before expanding: a ';' that a reference produces stays inside its
  // piece.
  size_t start = 0;
  while (start <= value.size()) {
    size_t end = value.find(';', start);
    if (end == std::string::npos) end = value.size();
    const std::string piece = value.substr(start, end - start);
    start = end + 1;
    if (piece.empty()) continue;
    const std::string expanded = expandReferences(piece, false, &config);
    if (expanded.find_first_of("*?") != std::string::npos) {
      StringList matches;
      expandWildcard(expanded, matches);
      for (size_t i = 0; i < matches.size(); ++i) accumulated += kClassPathSeparator + matches.str(i);
    } else {
      accumulated += kClassPathSeparator + config.resolvePath(expanded);
    }
  }
}

void collectArchives(const std::string& directory, std::string& accumulated) {
  const std::string base = withTrailingSeparator(directory);
  std::vector<platform::DirectoryEntry> entries;
  if (!platform::listDirectory(base, entries)) return;
  for (const platform::DirectoryEntry& entry : entries) {
    if (entry.isDirectory && entry.isLink) {
      // Linked folders are not followed: a link back up the tree would make
      // the walk endless. A linked archive file still counts.
      continue;
    } else if (entry.isDirectory) {
      collectArchives(base + entry.name, accumulated);
    } else if (isArchiveName(entry.name)) {
      accumulated += kClassPathSeparator + base + entry.name;
    }
  }
}

std::string buildClassPath(const ConfigStore& config, bool forLoader, const std::vector<std::string>& unpackedJars) {
  StringList entryValues;
  if (forLoader) {
    config.classPathValues(entryValues);
  } else {
    config.javaClassPathValues(entryValues);
  }
  std::string entries;
  for (size_t i = 0; i < entryValues.size(); ++i) addClassPathEntries(config, entries, entryValues.str(i));

  std::string result;
  if (!forLoader) {
    result = platform::modulePath();
    for (const std::string& jar : unpackedJars) result += kClassPathSeparator + jar;
  }
  result += entries;

  StringList directories;
  if (forLoader) {
    config.libs(directories);
  } else {
    config.javaLibs(directories);
  }
  for (size_t i = 0; i < directories.size(); ++i) {
    // An empty value names no directory; it contributes nothing rather than
    // the whole application home.
    if (directories.lengthAt(i) == 0) continue;
    collectArchives(directories.str(i), result);
  }

  if (forLoader) {
    for (const char* name : {"CLASSPATH", "CLASS_PATH"}) {
      std::string value;
      if (platform::getEnvironment(name, value)) result += kClassPathSeparator + value;
    }
  }
  return result;
}

}  // namespace xoq
