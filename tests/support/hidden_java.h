// Running a program as on a machine where no Java is installed: a mount
// namespace of its own puts an empty file system over /usr/lib/jvm, where
// every JDK of this machine lives (the java on PATH leads there too), and
// JAVA_HOME and JRE_HOME are not set.
#ifndef XOQ_TESTS_SUPPORT_HIDDEN_JAVA_H_
#define XOQ_TESTS_SUPPORT_HIDDEN_JAVA_H_

#include <string>
#include <vector>

#include "support/process.h"

namespace xoq {
namespace testing {

/// True when this machine can make such a namespace (unshare as root, or
/// with a user namespace).
bool canHideJava();

/// The command that runs `argv` without Java. `setup` runs in the namespace
/// first (shell commands, e.g. mounting a small file system over a cache
/// folder); `after` runs once the program has ended, its output following
/// the program's, and the command's exit status is the program's.
std::vector<std::string> withoutJava(const std::vector<std::string>& argv, const std::string& setup = "",
                                     const std::string& after = "");

/// `options` with JAVA_HOME and JRE_HOME taken out of the environment.
RunOptions withoutJavaEnvironment(RunOptions options);

}  // namespace testing
}  // namespace xoq

#endif  // XOQ_TESTS_SUPPORT_HIDDEN_JAVA_H_
