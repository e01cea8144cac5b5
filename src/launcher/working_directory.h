// The forced working directory (`forcecwd`): a configured directory, taken
// against the application home when relative, made the current directory.
#ifndef XOQ_LAUNCHER_WORKING_DIRECTORY_H_
#define XOQ_LAUNCHER_WORKING_DIRECTORY_H_

#include <string>

namespace xoq {

class ConfigStore;

/// The full path of `path` taken against `base`: unchanged when it begins
/// with '/' or has a drive ("C:..."), on the drive of `base` when it begins
/// with '\', else `base` + '/' (unless `base` ends in a separator) + `path`;
/// then normalised by the system. Empty on failure.
std::string resolveAgainst(const std::string& base, const std::string& path);

/// Start-up step: makes the `forcecwd` directory current (a failure is
/// silent) and lets the store re-read the working directory. An empty
/// `forcecwd` skips the whole step.
void applyForcedWorkingDirectory(ConfigStore& config);

}  // namespace xoq

#endif  // XOQ_LAUNCHER_WORKING_DIRECTORY_H_
