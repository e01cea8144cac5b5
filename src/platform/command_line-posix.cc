#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/command_line.h"

namespace xoq {
namespace platform {

CommandLine processCommandLine() {
  CommandLine commandLine;
  commandLine.split = true;
  // /proc files report a size of 0, so read until the end.
  const int fd = open("/proc/self/cmdline", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return commandLine;
  std::string content;
  char chunk[4096];
  for (;;) {
    const ssize_t n = read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    content.append(chunk, static_cast<size_t>(n));
  }
  close(fd);
  // NUL-separated arguments, each ended by its NUL.
  size_t start = 0;
  while (start < content.size()) {
    size_t end = content.find('\0', start);
    if (end == std::string::npos) end = content.size();
    commandLine.arguments.push_back(content.substr(start, end - start));
    start = end + 1;
  }
  return commandLine;
}

}  // namespace platform
}  // namespace xoq
