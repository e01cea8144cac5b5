// POSIX side of xoqpack's process seam: the arguments and the environment
// are the bytes the system hands over.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "host_process.h"

extern char** environ;

namespace xoq {
namespace host {

std::vector<std::string> commandLineArguments(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

std::string executablePath() {
  std::string buffer(256, '\0');
  for (;;) {
    const ssize_t length = readlink("/proc/self/exe", &buffer[0], buffer.size());
    if (length <= 0) return std::string();
    if (static_cast<size_t>(length) < buffer.size()) {
      buffer.resize(static_cast<size_t>(length));
      return buffer;
    }
    buffer.resize(buffer.size() * 2);
  }
}

bool environmentVariable(const std::string& name, std::string& value) {
  const char* found = getenv(name.c_str());
  if (found == nullptr) return false;
  value = found;
  return true;
}

unsigned long processId() { return static_cast<unsigned long>(getpid()); }

void writeText(Stream stream, const std::string& text) {
  std::FILE* out = stream == Stream::kOutput ? stdout : stderr;
  fwrite(text.data(), 1, text.size(), out);
  fflush(out);
}

bool runsOnWindows() { return false; }

std::string programFileName(const std::string& name) { return name; }

std::vector<std::string> searchPath() {
  std::vector<std::string> folders;
  std::string path;
  if (!environmentVariable("PATH", path)) return folders;
  std::istringstream list(path);
  std::string folder;
  while (std::getline(list, folder, ':')) folders.push_back(folder.empty() ? "." : folder);
  return folders;
}

bool runTool(const std::vector<std::string>& argv, ToolResult& result, std::string& error) {
  int pipeEnds[2];
  if (pipe2(pipeEnds, O_CLOEXEC) != 0) {
    error = std::string("cannot make a pipe: ") + strerror(errno);
    return false;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 1);
  posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 2);
  std::vector<char*> arguments;
  for (const std::string& argument : argv) arguments.push_back(const_cast<char*>(argument.c_str()));
  arguments.push_back(nullptr);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, argv[0].c_str(), &actions, nullptr, arguments.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeEnds[1]);
  if (spawned != 0) {
    close(pipeEnds[0]);
    error = "cannot run " + argv[0] + ": " + strerror(spawned);
    return false;
  }
  char buffer[65536];
  for (;;) {
    const ssize_t got = read(pipeEnds[0], buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    result.output.append(buffer, static_cast<size_t>(got));
  }
  close(pipeEnds[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      error = std::string("cannot wait for ") + argv[0] + ": " + strerror(errno);
      return false;
    }
  }
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return true;
}

}  // namespace host
}  // namespace xoq
