#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/standard_streams.h"

extern char** environ;

namespace xoq {
namespace platform {

namespace {

int descriptorOf(StandardStream stream) { return stream == StandardStream::kOutput ? 1 : 2; }

// A target lives above 0, 1 and 2: if one of those was closed when the
// process started, a new descriptor would take its number, and putting the
// other stream onto it would close the target.
StreamHandle aboveStandard(int descriptor) {
  if (descriptor < 0 || descriptor > 2) return descriptor;
  const int moved = fcntl(descriptor, F_DUPFD_CLOEXEC, 3);
  close(descriptor);
  return moved;
}

}  // namespace

StreamHandle openAppendingFile(const std::string& path) {
  return aboveStandard(open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666));
}

StreamHandle startCommand(const std::string& commandLine) {
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) return kNoStreamHandle;
  const int readEnd = static_cast<int>(aboveStandard(ends[0]));
  const int writeEnd = static_cast<int>(aboveStandard(ends[1]));
  if (readEnd < 0 || writeEnd < 0) {
    if (readEnd >= 0) close(readEnd);
    if (writeEnd >= 0) close(writeEnd);
    return kNoStreamHandle;
  }

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, readEnd, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  // The launcher ignores SIGPIPE from here on (below); the command must
  // not inherit that.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

  char shell[] = "/bin/sh";
  char option[] = "-c";
  std::string line = commandLine;
  char* arguments[] = {shell, option, &line[0], nullptr};
  pid_t child = -1;
  const int failed = posix_spawn(&child, shell, &actions, &attributes, arguments, environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  // Only the command reads the pipe: when it ends, writes fail instead of
  // filling a pipe that nobody empties.
  close(readEnd);
  if (failed != 0) {
    close(writeEnd);
    return kNoStreamHandle;
  }
  // A command that ends early must not take the launcher with it; writes
  // to its pipe then fail with EPIPE and are lost.
  signal(SIGPIPE, SIG_IGN);
  return writeEnd;
}

void closeStreamHandle(StreamHandle handle) {
  if (handle >= 0) close(static_cast<int>(handle));
}

// One C library serves the launcher, the runtime and every native library
// here, and its stdout and stderr write to descriptors 1 and 2, which now
// lead to the target: no stream of its own is needed.
FILE* openRuntimeStream(StreamHandle /*handle*/, bool /*buffered*/) { return nullptr; }

StreamHandle saveStandardStream(StandardStream stream) { return fcntl(descriptorOf(stream), F_DUPFD_CLOEXEC, 3); }

bool setStandardStream(StandardStream stream, StreamHandle handle) {
  return handle >= 0 && dup2(static_cast<int>(handle), descriptorOf(stream)) >= 0;
}

bool standardStreamIs(StandardStream stream, StreamHandle handle) {
  struct stat standard, target;
  if (handle < 0 || fstat(descriptorOf(stream), &standard) != 0 || fstat(static_cast<int>(handle), &target) != 0) {
    return false;
  }
  return standard.st_dev == target.st_dev && standard.st_ino == target.st_ino;
}

void restoreStandardStream(StandardStream stream, StreamHandle saved) {
  if (saved < 0) {
    // Nothing to copy: the descriptor was closed before.
    close(descriptorOf(stream));
    return;
  }
  dup2(static_cast<int>(saved), descriptorOf(stream));
  close(static_cast<int>(saved));
}

// The runtime's own warnings go through the same stderr and are not
// flushed: its buffering stays what the C library chose (stderr unbuffered,
// stdout buffered on a file or pipe), as under `java`, so that they arrive
// in order with the application's output.
StreamHandle rebindLauncherStream(StandardStream /*stream*/, FILE* /*target*/, bool /*buffered*/) {
  return kNoStreamHandle;
}

void restoreLauncherStream(StandardStream /*stream*/, StreamHandle /*saved*/) {}

bool writeToStreamHandle(StreamHandle handle, const void* data, size_t length) {
  if (handle < 0) return false;
  const char* next = static_cast<const char*>(data);
  while (length > 0) {
    const ssize_t n = write(static_cast<int>(handle), next, length);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    next += n;
    length -= static_cast<size_t>(n);
  }
  return true;
}

}  // namespace platform
}  // namespace xoq
