#include <fcntl.h>
#include <pwd.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "platform/shared_object.h"
#include "platform/user_secret.h"

namespace xoq {
namespace platform {

namespace {

constexpr const char* kKeyFile = "instance.key";

// The user's home as the user database has it: the same for every process
// of the user, whatever its environment.
std::string homeDirectory() {
  struct passwd entry;
  struct passwd* found = nullptr;
  std::vector<char> buffer(16384);
  if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) return "";
  return found->pw_dir != nullptr ? found->pw_dir : "";
}

std::string describe(const std::string& what, int code) { return what + ": " + strerror(code); }

// Reads the key from `fd` when it is the user's own plain file of exactly
// the key's size that nobody else may read.
bool readKey(int fd, UserSecret& secret, const std::string& path, std::string& error) {
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != geteuid() || (info.st_mode & 077) != 0) {
    error = path + ": belongs to another user or may be read by others";
    return false;
  }
  if (info.st_size != static_cast<off_t>(secret.size()) ||
      read(fd, secret.data(), secret.size()) != static_cast<ssize_t>(secret.size())) {
    error = path + ": not a key of " + std::to_string(secret.size()) + " bytes";
    return false;
  }
  return true;
}

// Writes a new key under a name of its own and then links it under the
// key's name, so that nobody ever reads half a key, and of two processes
// making it at once one wins and both use its key.
bool makeKey(int directory, const std::string& path, std::string& error) {
  UserSecret fresh;
  if (getrandom(fresh.data(), fresh.size(), 0) != static_cast<ssize_t>(fresh.size())) {
    error = describe("no random bytes for " + path, errno);
    return false;
  }
  const std::string temporary = std::string(kKeyFile) + "." + std::to_string(getpid()) + ".new";
  const int fd = openat(directory, temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    error = describe(path, errno);
    return false;
  }
  const bool written = write(fd, fresh.data(), fresh.size()) == static_cast<ssize_t>(fresh.size());
  close(fd);
  const bool linked = written && (linkat(directory, temporary.c_str(), directory, kKeyFile, 0) == 0 || errno == EEXIST);
  if (!linked) error = describe(path, errno);
  unlinkat(directory, temporary.c_str(), 0);
  return linked;
}

}  // namespace

bool loadUserSecretIn(const std::string& directoryPath, UserSecret& secret, std::string& error) {
  mkdir(directoryPath.c_str(), 0700);  // already there, or refused below
  const int directory = open(directoryPath.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  struct stat info;
  if (directory < 0 || fstat(directory, &info) != 0 || info.st_uid != geteuid() || (info.st_mode & 077) != 0) {
    error = directoryPath + ": not a folder of this user's alone";
    if (directory >= 0) close(directory);
    return false;
  }
  const std::string path = directoryPath + "/" + kKeyFile;
  bool loaded = false;
  for (int attempt = 0; attempt < 2 && !loaded; ++attempt) {
    const int fd = openat(directory, kKeyFile, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
      loaded = readKey(fd, secret, path, error);
      close(fd);
      break;
    }
    if (errno != ENOENT) {
      error = describe(path, errno);
      break;
    }
    if (!makeKey(directory, path, error)) break;
  }
  close(directory);
  return loaded;
}

bool loadUserSecret(UserSecret& secret, std::string& error) {
  const UserObjectDirectory& objects = userObjectDirectory();
  if (objects.isPrivate) return loadUserSecretIn(objects.path, secret, error);
  const std::string home = homeDirectory();
  if (home.empty()) {
    error = "this user has no home folder for the key of instance messages";
    return false;
  }
  mkdir((home + "/.cache").c_str(), 0700);
  return loadUserSecretIn(home + "/.cache/xoq", secret, error);
}

}  // namespace platform
}  // namespace xoq
