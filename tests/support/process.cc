#include "support/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

namespace xoq {
namespace testing {

namespace {

std::string shellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

ProcessResult runOnce(const std::vector<std::string>& argv, const RunOptions& options) {
  ProcessResult result;
  std::vector<std::string> command = argv;
  if (!options.shellLimits.empty()) {
    // Limits must apply to the program alone, so a shell sets them and
    // then becomes the program.
    std::string script;
    for (const std::string& limit : options.shellLimits) script += "ulimit " + limit + " && ";
    script += "exec";
    for (const std::string& word : argv) script += " " + shellQuote(word);
    command = {"/bin/sh", "-c", script};
  }

  int in[2], out[2], err[2];
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return result;
  const pid_t pid = fork();
  if (pid < 0) return result;
  if (pid == 0) {
    setpgid(0, 0);
    if (options.input.empty()) {
      // Wine takes over a second to start with an empty pipe as its
      // standard input; /dev/null costs nothing.
      const int devNull = open("/dev/null", O_RDONLY);
      dup2(devNull, 0);
    } else {
      dup2(in[0], 0);
    }
    dup2(out[1], 1);
    dup2(err[1], 2);
    if (!options.workingDirectory.empty() && chdir(options.workingDirectory.c_str()) != 0) _exit(126);
    for (const std::string& name : options.unsetEnv) unsetenv(name.c_str());
    for (const auto& entry : options.setEnv) setenv(entry.first.c_str(), entry.second.c_str(), 1);
    std::vector<char*> args;
    for (const std::string& word : command) args.push_back(const_cast<char*>(word.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);
  size_t written = 0;
  if (options.input.empty()) {
    close(in[1]);
    in[1] = -1;
  } else {
    fcntl(in[1], F_SETFL, O_NONBLOCK);
  }

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(options.timeoutSeconds);
  bool outOpen = true, errOpen = true;
  bool exited = false;
  bool signalled = false;
  int status = 0;
  // Read until the program has exited and its pipes are drained. Processes it
  // left behind (Wine's services, say) may hold the pipes open for seconds;
  // they are not waited for.
  while (outOpen || errOpen) {
    if (!exited && waitpid(pid, &status, WNOHANG) == pid) exited = true;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      result.timedOut = !exited;
      break;
    }
    struct pollfd fds[3];
    int count = 0;
    if (outOpen) fds[count++] = {out[0], POLLIN, 0};
    if (errOpen) fds[count++] = {err[0], POLLIN, 0};
    if (in[1] >= 0) fds[count++] = {in[1], POLLOUT, 0};
    const int wait = exited ? 50 : static_cast<int>(left.count() > 20 ? 20 : left.count());
    const int ready = poll(fds, count, wait);
    if (ready < 0 && errno != EINTR) break;
    if (ready == 0 && exited) break;  // drained
    for (int i = 0; i < count; ++i) {
      if (fds[i].revents == 0) continue;
      if (fds[i].fd == in[1]) {
        const ssize_t n = write(in[1], options.input.data() + written, options.input.size() - written);
        if (n > 0) written += static_cast<size_t>(n);
        if (n < 0 || written == options.input.size()) {
          close(in[1]);
          in[1] = -1;
        }
        continue;
      }
      char buffer[65536];
      const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      std::string& sink = fds[i].fd == out[0] ? result.out : result.err;
      if (n > 0) {
        sink.append(buffer, static_cast<size_t>(n));
        const bool seen =
            (!options.signalWhenOutput.empty() && result.out.find(options.signalWhenOutput) != std::string::npos) ||
            (!options.signalWhenError.empty() && result.err.find(options.signalWhenError) != std::string::npos);
        if (!signalled && seen) {
          kill(pid, options.signalNumber);
          signalled = true;
        }
      } else if (n == 0 || errno != EINTR) {
        (fds[i].fd == out[0] ? outOpen : errOpen) = false;
      }
    }
  }
  if (result.timedOut) kill(-pid, SIGKILL);
  if (in[1] >= 0) close(in[1]);
  close(out[0]);
  close(err[0]);

  while (!exited) {
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) break;
    if (done < 0) return result;
    if (std::chrono::steady_clock::now() > deadline) {
      result.timedOut = true;
      kill(-pid, SIGKILL);
      waitpid(pid, &status, 0);
      break;
    }
    usleep(5000);
  }
  // A child that left daemons behind in its group (a wine server, say) keeps
  // them; only the program itself is waited for.
  if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  return result;
}

}  // namespace

bool wineFailedToStart(const std::string& err) {
  return err.find("wine: failed to map the shared user data") != std::string::npos;
}

ProcessResult runProcess(const std::vector<std::string>& argv, const RunOptions& options) {
  ProcessResult result = runOnce(argv, options);
  for (int retry = 0; retry < 3 && result.exitCode != 0 && wineFailedToStart(result.err); ++retry)
    result = runOnce(argv, options);
  return result;
}

}  // namespace testing
}  // namespace xoq
