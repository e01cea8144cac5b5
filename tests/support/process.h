// Runs a program as a test would see a user run it: its own process, its
// output captured, and a time limit after which it is killed.
#ifndef XOQ_TESTS_SUPPORT_PROCESS_H_
#define XOQ_TESTS_SUPPORT_PROCESS_H_

#include <map>
#include <string>
#include <vector>

namespace xoq {
namespace testing {

struct RunOptions {
  std::string workingDirectory;               // empty: the test's own
  std::map<std::string, std::string> setEnv;  // added to the environment
  std::vector<std::string> unsetEnv;          // removed from it
  std::vector<std::string> shellLimits;       // "ulimit" arguments applied in the child first, e.g. "-s 1000"
  std::string input;                          // written to standard input
  std::string signalWhenOutput;               // once standard output holds this text...
  std::string signalWhenError;                // ...or standard error this one...
  int signalNumber = 0;                       // ...this signal is sent to the program
  int timeoutSeconds = 60;
};

struct ProcessResult {
  int exitCode = -1;      // the exit status, or -1 when killed or not started
  int signal = 0;         // the signal that ended it, if any
  bool timedOut = false;  // killed because the time limit passed
  std::string out;
  std::string err;
};

/// Now and then Wine cannot set up a new process's address space (it finds
/// the fixed address of its shared user data taken) and gives up before the
/// program's first instruction. True when `err` says so: that is the
/// emulator failing, not the program, and the run may be repeated.
bool wineFailedToStart(const std::string& err);

/// Runs `argv` (argv[0] searched on PATH) and waits for it, at most
/// `options.timeoutSeconds`; then the whole process group is killed. A run
/// that Wine failed to start is repeated (up to three times).
ProcessResult runProcess(const std::vector<std::string>& argv, const RunOptions& options = RunOptions());

}  // namespace testing
}  // namespace xoq

#endif  // XOQ_TESTS_SUPPORT_PROCESS_H_
