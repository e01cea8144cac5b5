#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/output_filter.h"
#include "platform/standard_streams.h"

namespace xoq {
namespace platform {

namespace {

// The forwarding runs in a child process, not a thread: the runtime may end
// the whole process from inside its creation (with _exit, after printing why
// it cannot start), and a thread would die with it before passing that
// message on. The child outlives it, drains the pipes and ends. It uses only
// system calls (writeToStreamHandle is a loop of write calls) and fixed
// buffers, as a child of a threaded process must.

struct LineBuffer {
  int target;
  char line[8192];
  size_t length = 0;
};

void emit(LineBuffer& buffer, const char* dropped) {
  if (buffer.length == 0) return;
  if (memmem(buffer.line, buffer.length, dropped, strlen(dropped)) == nullptr) {
    writeToStreamHandle(buffer.target, buffer.line, buffer.length);
  }
  buffer.length = 0;
}

void take(LineBuffer& buffer, const char* data, size_t length, const char* dropped) {
  for (size_t i = 0; i < length; ++i) {
    // A line longer than the buffer cannot be the dropped one: pass it on.
    if (buffer.length == sizeof buffer.line) {
      writeToStreamHandle(buffer.target, buffer.line, buffer.length);
      buffer.length = 0;
    }
    buffer.line[buffer.length++] = data[i];
    if (data[i] == '\n') emit(buffer, dropped);
  }
}

[[noreturn]] void forward(int outRead, int errRead, int outTarget, int errTarget, const char* dropped) {
  static LineBuffer buffers[2];
  buffers[0].target = outTarget;
  buffers[1].target = errTarget;
  struct pollfd fds[2] = {{outRead, POLLIN, 0}, {errRead, POLLIN, 0}};
  int open = 2;
  while (open > 0) {
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char chunk[4096];
      const ssize_t n = read(fds[i].fd, chunk, sizeof chunk);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        fds[i].fd = -1;
        --open;
        continue;
      }
      take(buffers[i], chunk, static_cast<size_t>(n), dropped);
    }
  }
  emit(buffers[0], dropped);
  emit(buffers[1], dropped);
  _exit(0);
}

}  // namespace

struct OutputFilter::State {
  int originalOut = -1;
  int originalErr = -1;
  int finished = -1;  // read end of a pipe whose write end only the forwarder holds
  pid_t forwarder = -1;
};

OutputFilter::OutputFilter(const char* dropped) : state_(nullptr) {
  fflush(stdout);
  fflush(stderr);
  int out[2], err[2], done[2];
  if (pipe2(out, O_CLOEXEC) != 0) return;
  if (pipe2(err, O_CLOEXEC) != 0) {
    close(out[0]);
    close(out[1]);
    return;
  }
  if (pipe2(done, O_CLOEXEC) != 0) {
    close(out[0]);
    close(out[1]);
    close(err[0]);
    close(err[1]);
    return;
  }
  State* state = new State;
  state->originalOut = fcntl(1, F_DUPFD_CLOEXEC, 3);
  state->originalErr = fcntl(2, F_DUPFD_CLOEXEC, 3);
  // The text must be ready before fork: the child cannot allocate.
  const std::string needle = dropped;
  const pid_t child = (state->originalOut >= 0 && state->originalErr >= 0) ? fork() : static_cast<pid_t>(-1);
  if (child == 0) {
    close(out[1]);
    close(err[1]);
    close(done[0]);
    // done[1] stays open until this process ends, which tells the parent.
    forward(out[0], err[0], state->originalOut, state->originalErr, needle.c_str());
  }
  close(out[0]);
  close(err[0]);
  close(done[1]);
  if (child < 0 || dup2(out[1], 1) < 0 || dup2(err[1], 2) < 0) {
    // No filter then; the streams stay as they were.
    if (child > 0) {
      dup2(state->originalOut, 1);
      dup2(state->originalErr, 2);
    }
    close(out[1]);
    close(err[1]);
    close(done[0]);
    if (state->originalOut >= 0) close(state->originalOut);
    if (state->originalErr >= 0) close(state->originalErr);
    if (child > 0) waitpid(child, nullptr, 0);
    delete state;
    return;
  }
  close(out[1]);
  close(err[1]);
  state->forwarder = child;
  state->finished = done[0];
  state_ = state;
}

OutputFilter::~OutputFilter() {
  if (state_ == nullptr) return;
  fflush(stdout);
  fflush(stderr);
  // Putting the streams back closes this process's write ends of the pipes.
  // Usually nothing else holds one, so the forwarder drains them and ends at
  // once; waiting for it keeps later output from overtaking what it holds.
  // Its end closes the `finished` pipe, which wakes this wait without delay.
  // A program started meanwhile (by a runtime agent, say) keeps its copies,
  // though, and the forwarder must go on serving it: then it is not waited
  // for beyond a short while.
  dup2(state_->originalOut, 1);
  dup2(state_->originalErr, 2);
  close(state_->originalOut);
  close(state_->originalErr);
  struct pollfd finished = {state_->finished, POLLIN, 0};
  int ready;
  do {
    ready = poll(&finished, 1, 200);
  } while (ready < 0 && errno == EINTR);
  if (ready > 0) waitpid(state_->forwarder, nullptr, 0);
  close(state_->finished);
  delete state_;
}

}  // namespace platform
}  // namespace xoq
