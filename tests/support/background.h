// A program that runs while a test goes on: its own process group, its
// output in files, killed with its group when the object goes away, or when
// its time limit has passed, even if the test itself has died by then.
#ifndef XOQ_TESTS_SUPPORT_BACKGROUND_H_
#define XOQ_TESTS_SUPPORT_BACKGROUND_H_

#include <sys/types.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

namespace xoq {
namespace testing {

class Background {
 public:
  /// Starts `argv` (argv[0] searched on PATH) with `env` added to the
  /// environment, standard output into `outputFile` and standard error into
  /// `errorFile` (the same file when empty). After `limit` its whole group
  /// is killed.
  Background(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
             const std::string& outputFile, const std::string& errorFile = std::string(),
             std::chrono::seconds limit = std::chrono::seconds(600));
  /// A polite SIGTERM first, then SIGKILL to the whole group.
  ~Background();
  Background(const Background&) = delete;
  Background& operator=(const Background&) = delete;

  bool running();
  /// Waits at most `limit` for the end; false when it still runs.
  bool waitFor(std::chrono::milliseconds limit);
  /// The exit status once ended; -1 when killed by a signal or running.
  int exitCode() const { return exitCode_; }
  pid_t pid() const { return pid_; }
  /// Sends `signal` to the program itself.
  void signal(int signalNumber);

  /// What the program has written to standard output so far, carriage
  /// returns removed.
  std::string output() const;
  /// Waits at most `limit` until the output holds `text`; false if not.
  bool waitForOutput(const std::string& text, std::chrono::milliseconds limit);
  /// The output lines that start with `prefix`, the prefix taken off.
  std::vector<std::string> linesAfter(const std::string& prefix) const;
  /// Waits at most `limit` until `count` lines start with `prefix`.
  bool waitForLines(const std::string& prefix, size_t count, std::chrono::milliseconds limit) const;

 private:
  void stopWatchdog();

  pid_t pid_ = -1;
  pid_t watchdog_ = -1;  // kills the group when the limit has passed
  bool done_ = false;
  int exitCode_ = -1;
  std::string outputFile_;
};

}  // namespace testing
}  // namespace xoq

#endif  // XOQ_TESTS_SUPPORT_BACKGROUND_H_
