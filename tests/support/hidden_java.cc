#include "support/hidden_java.h"

#include <unistd.h>

namespace xoq {
namespace testing {

namespace {

// As root a mount namespace alone; otherwise one inside a user namespace,
// where this user counts as root.
std::vector<std::string> unshareCommand() {
  if (geteuid() == 0) return {"unshare", "--mount"};
  return {"unshare", "--mount", "--map-root-user"};
}

}  // namespace

bool canHideJava() {
  std::vector<std::string> argv = unshareCommand();
  argv.insert(
      argv.end(),
      {"sh", "-c", "mount -t tmpfs -o size=1m xoq-no-java /usr/lib/jvm && test ! -e /usr/lib/jvm/default-java"});
  RunOptions options;
  options.timeoutSeconds = 30;
  static const bool possible = runProcess(argv, options).exitCode == 0;
  return possible;
}

std::vector<std::string> withoutJava(const std::vector<std::string>& argv, const std::string& setup,
                                     const std::string& after) {
  std::string script = "mount -t tmpfs -o size=1m xoq-no-java /usr/lib/jvm || exit 125\n";
  if (!setup.empty()) script += setup + " || exit 125\n";
  script += after.empty() ? "exec \"$@\"\n" : "\"$@\"\nstatus=$?\n" + after + "\nexit $status\n";
  std::vector<std::string> command = unshareCommand();
  command.insert(command.end(), {"sh", "-c", script, "sh"});
  command.insert(command.end(), argv.begin(), argv.end());
  return command;
}

RunOptions withoutJavaEnvironment(RunOptions options) {
  options.unsetEnv.push_back("JAVA_HOME");
  options.unsetEnv.push_back("JRE_HOME");
  return options;
}

}  // namespace testing
}  // namespace xoq
