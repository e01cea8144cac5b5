// End-to-end helpers: package real executables with the xoqpack binary and
// run them as a user would, natively on Linux or under Wine for Windows.
#ifndef XOQ_TESTS_SUPPORT_PACKAGING_H_
#define XOQ_TESTS_SUPPORT_PACKAGING_H_

#include <string>
#include <utility>
#include <vector>

#include "support/process.h"

namespace xoq {
namespace testing {

enum class Target { kLinux, kWindows, kWindowsConsole };

/// Folder of the built launchers and xoqpack.
std::string binDirectory();
/// The xoqpack binary.
std::string xoqpackPath();
/// The launcher template of `target`.
std::string templatePath(Target target);

/// Runs xoqpack with `arguments`, under `shellLimits` ("ulimit" arguments),
/// for at most `timeoutSeconds` (jlink takes long on a busy machine).
ProcessResult runXoqpack(const std::vector<std::string>& arguments, const std::vector<std::string>& shellLimits = {},
                         int timeoutSeconds = 120);

/// xoqpack cross-built for Windows, beside the templates.
std::string xoqpackExePath();
/// Runs xoqpack.exe under Wine with `arguments` (Windows paths), with a
/// UTF-8 locale so that Wine hands non-ASCII arguments on as they are.
ProcessResult runXoqpackExe(const std::vector<std::string>& arguments, RunOptions options = RunOptions());

/// Packages `output` for `target` with `config` as the configuration text
/// (written to a file beside it) and `files` as (source, entry name) pairs.
/// Returns the output path; an empty string when xoqpack failed (its error
/// is printed to the test's output).
std::string packageExecutable(Target target, const std::string& output, const std::string& config,
                              const std::vector<std::pair<std::string, std::string>>& files = {});

/// Packages `output` for `target` with `config` and further xoqpack
/// arguments (--add, --add-tree, ...). Returns the output path or empty.
std::string packageWith(Target target, const std::string& output, const std::string& config,
                        const std::vector<std::string>& xoqpackArguments);

/// Where the build puts the test application `name`: its classes folder and
/// its jar.
std::string testAppClasses(const std::string& name);
std::string testAppJar(const std::string& name);

/// Runs a packaged executable: directly on Linux, with Wine for Windows.
/// XOQ_TRACE is set unless `options` says otherwise.
ProcessResult runExecutable(Target target, const std::string& executable, const std::vector<std::string>& arguments,
                            RunOptions options = RunOptions());

/// How the launcher of `target` spells a path of this machine: unchanged on
/// Linux, as Wine's drive Z: with backslashes for Windows.
std::string launcherPath(Target target, const std::string& path);

/// The trace lines of a run (standard error lines that begin with "[xoq").
std::vector<std::string> traceLines(const ProcessResult& result);
/// True when a trace line contains `text`.
bool traced(const ProcessResult& result, const std::string& text);

}  // namespace testing
}  // namespace xoq

#endif  // XOQ_TESTS_SUPPORT_PACKAGING_H_
