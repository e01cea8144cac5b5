#include "platform/shared_object.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "archive/sha256.h"

namespace xoq {
namespace platform {

namespace {

// The longest name shm_open takes is NAME_MAX characters after the '/'.
constexpr size_t kLongestName = 255;

const char kHexDigits[] = "0123456789ABCDEF";

}  // namespace

std::string sharedObjectName(const std::string& path, const char* suffix) {
  const std::string prefix = "/xoq-" + std::to_string(geteuid()) + "-";
  std::string name = prefix;
  for (char c : path) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (c == '/' || c == '%') {
      name += '%';
      name += kHexDigits[byte >> 4];
      name += kHexDigits[byte & 15];
    } else {
      name += c;
    }
  }
  name += suffix;
  if (name.size() - 1 <= kLongestName) return name;
  Sha256 hash;
  hash.update(reinterpret_cast<const uint8_t*>(path.data()), path.size());
  name = prefix + "sha256-";
  for (uint8_t byte : hash.finish()) {
    name += kHexDigits[byte >> 4];
    name += kHexDigits[byte & 15];
  }
  return name + suffix;
}

int openUserSharedObject(const std::string& name, std::string& error) {
  const int fd = shm_open(name.c_str(), O_RDWR | O_CREAT, 0600);
  if (fd < 0) {
    const int code = errno;
    error = name + ": " + strerror(code);
    errno = code;
    return -1;
  }
  struct stat info;
  if (fstat(fd, &info) != 0 || info.st_uid != geteuid() || (info.st_mode & 077) != 0) {
    close(fd);
    error = name + ": belongs to another user or may be opened by others";
    errno = EPERM;
    return -1;
  }
  return fd;
}

}  // namespace platform
}  // namespace xoq
