#include "launcher/working_directory.h"

#include "base/trace.h"
#include "config/config_store.h"
#include "platform/platform.h"

namespace xoq {

namespace {

bool isSeparator(char c) { return c == '\\' || c == '/'; }

}  // namespace

std::string resolveAgainst(const std::string& base, const std::string& path) {
  std::string candidate;
  if ((!path.empty() && path[0] == '/') || (path.size() >= 2 && path[1] == ':')) {
    candidate = path;
  } else if (path.empty() || !isSeparator(path[0])) {
    candidate = base;
    if (candidate.empty() || !isSeparator(candidate.back())) candidate += '/';
    candidate += path;
  } else {
    // A path from the root of the drive: the drive of `base`, when it has one.
    const size_t colon = base.find(':');
    candidate = colon == 1 ? base.substr(0, 2) + path : path;
  }
  return platform::fullPathName(candidate);
}

void applyForcedWorkingDirectory(ConfigStore& config) {
  const std::string value = config.forceCwd();
  if (value.empty()) {
    trace("working directory: kept, %s", config.workingDirectory().c_str());
    return;
  }
  const std::string directory = resolveAgainst(config.applicationHome(), value);
  if (!directory.empty() && directory.size() < platform::kMaxPath) {
    const bool changed = platform::setCurrentDirectory(directory);
    trace("working directory: forcecwd %s -> %s%s", value.c_str(), directory.c_str(),
          changed ? "" : " (could not change to it)");
  } else {
    trace("working directory: forcecwd %s cannot be resolved", value.c_str());
  }
  config.refreshWorkingDirectory();
}

}  // namespace xoq
