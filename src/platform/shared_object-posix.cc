#include "platform/shared_object.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "base/sha256.h"

namespace xoq {
namespace platform {

namespace {

// The longest file name is NAME_MAX characters (the name without its '/').
constexpr size_t kLongestName = 255;

const char kHexDigits[] = "0123456789ABCDEF";

// Opens directory `name` in `parent` without following a link at its end;
// -1 unless it belongs to this user and nobody else may enter it.
int openPrivateDirectory(int parent, const char* name) {
  const int fd = openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != geteuid() || (info.st_mode & 077) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// The file name of object `name` in the directory: without its '/'.
const char* fileNameOf(const std::string& name) { return name.c_str() + (name.empty() || name[0] != '/' ? 0 : 1); }

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

UserObjectDirectory openUserObjectDirectory(const std::string& runtimeDirectory) {
  UserObjectDirectory directory;
  if (!runtimeDirectory.empty() && runtimeDirectory[0] == '/') {
    const int runtime = openPrivateDirectory(AT_FDCWD, runtimeDirectory.c_str());
    if (runtime >= 0) {
      mkdirat(runtime, "xoq", 0700);  // already there, or refused below
      directory.fd = openPrivateDirectory(runtime, "xoq");
      close(runtime);
      if (directory.fd >= 0) {
        directory.path = runtimeDirectory + "/xoq";
        directory.isPrivate = true;
        return directory;
      }
    }
  }
  directory.fd = open("/dev/shm", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  directory.path = "/dev/shm";
  return directory;
}

const UserObjectDirectory& userObjectDirectory() {
  // Never freed: threads may still open objects while the process ends.
  static const UserObjectDirectory* directory = [] {
    const char* runtime = getenv("XDG_RUNTIME_DIR");
    return new UserObjectDirectory(openUserObjectDirectory(
        runtime != nullptr && runtime[0] != '\0' ? runtime : "/run/user/" + std::to_string(geteuid())));
  }();
  return *directory;
}

std::string sharedObjectPath(const std::string& name) { return userObjectDirectory().path + "/" + fileNameOf(name); }

int openUserSharedObject(const std::string& name, std::string& error) {
  const UserObjectDirectory& directory = userObjectDirectory();
  const int fd =
      directory.fd < 0 ? -1 : openat(directory.fd, fileNameOf(name), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    const int code = directory.fd < 0 ? ENOENT : errno;
    error = sharedObjectPath(name) + ": " + strerror(code);
    errno = code;
    return -1;
  }
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != geteuid() || (info.st_mode & 077) != 0) {
    close(fd);
    error = sharedObjectPath(name) + ": belongs to another user or may be opened by others";
    errno = EPERM;
    return -1;
  }
  return fd;
}

bool isSharedObjectNamed(int fd, const std::string& name) {
  struct stat held, named;
  return fstat(fd, &held) == 0 &&
         fstatat(userObjectDirectory().fd, fileNameOf(name), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
         held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

void removeSharedObject(const std::string& name) { unlinkat(userObjectDirectory().fd, fileNameOf(name), 0); }

}  // namespace platform
}  // namespace xoq
