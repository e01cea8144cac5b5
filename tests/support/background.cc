#include "support/background.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <thread>

#include "support/files.h"

namespace xoq {
namespace testing {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

Background::Background(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
                       const std::string& outputFile, const std::string& errorFile, std::chrono::seconds limit)
    : outputFile_(outputFile) {
  pid_ = fork();
  if (pid_ > 0) {
    // The group exists before the watchdog may need it, whichever of the
    // two processes runs first.
    setpgid(pid_, pid_);
    watchdog_ = fork();
    if (watchdog_ == 0) {
      const struct timespec wait = {static_cast<time_t>(limit.count()), 0};
      nanosleep(&wait, nullptr);
      kill(-pid_, SIGKILL);
      _exit(0);
    }
    return;
  }
  if (pid_ < 0) return;
  setpgid(0, 0);
  const int devNull = open("/dev/null", O_RDONLY);
  const int output = open(outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const int error = errorFile.empty() ? output : open(errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  dup2(devNull, 0);
  dup2(output, 1);
  dup2(error, 2);
  for (const auto& entry : env) setenv(entry.first.c_str(), entry.second.c_str(), 1);
  std::vector<char*> args;
  for (const std::string& word : argv) args.push_back(const_cast<char*>(word.c_str()));
  args.push_back(nullptr);
  execvp(args[0], args.data());
  _exit(127);
}

Background::~Background() {
  if (!running()) {
    stopWatchdog();
    return;
  }
  // A polite end first, so that `timeout` passes it on and reaps its
  // child; then the whole group, whatever is left of it.
  kill(pid_, SIGTERM);
  if (!waitFor(std::chrono::seconds(5))) {
    kill(-pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  stopWatchdog();
}

void Background::stopWatchdog() {
  if (watchdog_ <= 0) return;
  kill(watchdog_, SIGKILL);
  waitpid(watchdog_, nullptr, 0);
  watchdog_ = -1;
}

bool Background::running() {
  if (pid_ <= 0 || done_) return false;
  int status = 0;
  if (waitpid(pid_, &status, WNOHANG) == pid_) {
    done_ = true;
    exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    stopWatchdog();  // before the id may pass to another process
  }
  return !done_;
}

bool Background::waitFor(milliseconds limit) {
  const auto deadline = steady_clock::now() + limit;
  while (running()) {
    if (steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(milliseconds(20));
  }
  return true;
}

void Background::signal(int signalNumber) {
  if (running()) kill(pid_, signalNumber);
}

std::string Background::output() const {
  std::string text;
  for (char c : readFile(outputFile_)) {
    if (c != '\r') text += c;
  }
  return text;
}

bool Background::waitForOutput(const std::string& text, milliseconds limit) {
  const auto deadline = steady_clock::now() + limit;
  for (;;) {
    if (output().find(text) != std::string::npos) return true;
    if (steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(milliseconds(20));
  }
}

std::vector<std::string> Background::linesAfter(const std::string& prefix) const {
  std::vector<std::string> lines;
  const std::string text = output();
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) break;  // a line still being written
    if (text.compare(start, prefix.size(), prefix) == 0) {
      lines.push_back(text.substr(start + prefix.size(), end - start - prefix.size()));
    }
    start = end + 1;
  }
  return lines;
}

bool Background::waitForLines(const std::string& prefix, size_t count, milliseconds limit) const {
  const auto deadline = steady_clock::now() + limit;
  while (linesAfter(prefix).size() < count) {
    if (steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(milliseconds(20));
  }
  return true;
}

}  // namespace testing
}  // namespace xoq
