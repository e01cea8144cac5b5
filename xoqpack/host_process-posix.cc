// POSIX side of xoqpack's process seam: the arguments and the environment
// are the bytes the system hands over.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "host_process.h"

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

}  // namespace host
}  // namespace xoq
