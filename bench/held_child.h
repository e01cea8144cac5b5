// A benchmark's child process whose standard output is read line by line
// while it runs, so that a figure can be taken while it holds (its memory,
// from /proc) before its standard input is closed and it ends.
#ifndef XOQ_BENCH_HELD_CHILD_H_
#define XOQ_BENCH_HELD_CHILD_H_

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/jdks.h"

namespace xoq_bench {

using Clock = std::chrono::steady_clock;

// A child process whose output lines are read as they come.
class Child {
 public:
  // Standard error goes to `errorFile`, or nowhere when it is empty.
  Child(const std::vector<std::string>& argv, const std::map<std::string, std::string>& environment,
        const std::string& errorFile = std::string()) {
    int out[2], in[2];
    if (pipe(out) != 0 || pipe(in) != 0) return;
    start_ = Clock::now();
    pid_ = fork();
    if (pid_ == 0) {
      dup2(in[0], 0);
      dup2(out[1], 1);
      const int errors =
          errorFile.empty() ? open("/dev/null", O_WRONLY) : open(errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      dup2(errors, 2);
      close(in[1]);
      close(out[0]);
      for (const auto& entry : environment) setenv(entry.first.c_str(), entry.second.c_str(), 1);
      std::vector<char*> args;
      for (const std::string& word : argv) args.push_back(const_cast<char*>(word.c_str()));
      args.push_back(nullptr);
      execvp(args[0], args.data());
      _exit(127);
    }
    close(in[0]);
    close(out[1]);
    output_ = out[0];
    input_ = in[1];
  }

  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  ~Child() {
    if (input_ >= 0) close(input_);
    if (output_ >= 0) close(output_);
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }

  // Reads until a line equal to `line` arrives; the milliseconds since the
  // start, or -1 when the output ended first or `seconds` passed.
  double waitForLine(const std::string& line, int seconds = 120) {
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(seconds);
    for (;;) {
      const size_t end = buffer_.find('\n');
      if (end != std::string::npos) {
        std::string got = buffer_.substr(0, end);
        // Windows programs under Wine end their lines with CR LF.
        if (!got.empty() && got.back() == '\r') got.pop_back();
        buffer_.erase(0, end + 1);
        lines_.push_back(got);
        if (got == line) return std::chrono::duration<double, std::milli>(Clock::now() - start_).count();
        continue;
      }
      struct pollfd fd = {output_, POLLIN, 0};
      if (Clock::now() > deadline || poll(&fd, 1, 1000) < 0) return -1;
      char chunk[4096];
      const ssize_t n = (fd.revents != 0) ? read(output_, chunk, sizeof chunk) : 1;
      if (n == 0) return -1;
      if (n > 0 && fd.revents != 0) buffer_.append(chunk, static_cast<size_t>(n));
    }
  }

  std::map<std::string, std::string> values() const {
    std::string all;
    for (const std::string& line : lines_) all += line + "\n";
    return xoq::testing::parseKeyValues(all);
  }

  // A field of /proc/<pid>/status in kB ("VmRSS", "RssAnon", "RssFile"),
  // or -1.
  long statusKilobytes(const std::string& field) const {
    const std::string status = xoq::testing::readFile("/proc/" + std::to_string(pid_) + "/status");
    const size_t at = status.find(field + ":");
    return at == std::string::npos ? -1 : atol(status.c_str() + at + field.size() + 1);
  }
  long residentKilobytes() const { return statusKilobytes("VmRSS"); }

  // The resident kB of the mappings of the file at `path`, from
  // /proc/<pid>/smaps.
  long mappedKilobytes(const std::string& path) const {
    const std::string maps = xoq::testing::readFile("/proc/" + std::to_string(pid_) + "/smaps");
    long total = 0;
    bool counting = false;
    for (size_t at = 0, end = 0; at < maps.size(); at = end + 1) {
      end = maps.find('\n', at);
      if (end == std::string::npos) end = maps.size();
      const std::string line = maps.substr(at, end - at);
      // A mapping's first line starts with its address range in lower-case
      // hexadecimal and ends with the pathname; its fields' names start
      // with a capital.
      if (!line.empty() && (isdigit(static_cast<unsigned char>(line[0])) || (line[0] >= 'a' && line[0] <= 'f'))) {
        counting = line.size() >= path.size() && line.compare(line.size() - path.size(), path.size(), path) == 0;
      } else if (counting && line.compare(0, 4, "Rss:") == 0) {
        total += atol(line.c_str() + 4);
      }
    }
    return total;
  }

  void finish() {
    close(input_);
    input_ = -1;
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  int output_ = -1;
  int input_ = -1;
  Clock::time_point start_;
  std::string buffer_;
  std::vector<std::string> lines_;
};

}  // namespace xoq_bench

#endif  // XOQ_BENCH_HELD_CHILD_H_
