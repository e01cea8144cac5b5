#include <fcntl.h>
#include <ftw.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/cache_files.h"
#include "platform/platform.h"

namespace xoq {
namespace platform {

namespace {

bool failWith(std::string& reason, int code) {
  reason = strerror(code);
  return false;
}

// The owner that the kernel shows for files whose real owner lies outside
// this user namespace (a rootless container, a sandbox): whoever that is,
// the process cannot tell, so such a folder counts as the system's.
uid_t overflowOwner() {
  static uid_t owner = [] {
    std::string text;
    const long value = readWholeFile("/proc/sys/kernel/overflowuid", text) ? strtol(text.c_str(), nullptr, 10) : 65534;
    return static_cast<uid_t>(value > 0 ? value : 65534);
  }();
  return owner;
}

int removeEntry(const char* path, const struct stat*, int type, struct FTW*) {
  return (type == FTW_DP ? rmdir(path) : unlink(path)) == 0 ? 0 : -1;
}

}  // namespace

const char kPathSeparator = '/';

std::string userCacheFolder() {
  std::string folder;
  if (getEnvironment("XDG_CACHE_HOME", folder) && !folder.empty() && folder[0] == '/') {
    return folder.back() == '/' ? folder : folder + "/";
  }
  if (getEnvironment("HOME", folder) && !folder.empty() && folder[0] == '/') {
    return folder + (folder.back() == '/' ? "" : "/") + ".cache/";
  }
  return std::string();
}

bool makeFolders(const std::string& path) {
  std::string failedFolder, reason;
  return makeFolders(path, failedFolder, reason);
}

bool makeFolders(const std::string& path, std::string& failedFolder, std::string& reason) {
  if (path.empty()) {
    failedFolder = path;
    reason = "no folder named";
    return false;
  }
  if (isDirectory(path)) return true;
  const size_t separator = path.find_last_of('/');
  if (separator != std::string::npos && separator > 0 && !makeFolders(path.substr(0, separator), failedFolder, reason))
    return false;
  if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
    failedFolder = path;
    return failWith(reason, errno);
  }
  if (!isDirectory(path)) {
    failedFolder = path;
    reason = "it is not a folder";
    return false;
  }
  return true;
}

bool makeNewFolder(const std::string& path, std::string& reason) {
  return mkdir(path.c_str(), 0700) == 0 || failWith(reason, errno);
}

bool fileStamp(const std::string& path, uint64_t& size, uint64_t& modified) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return false;
  size = static_cast<uint64_t>(info.st_size);
  modified = static_cast<uint64_t>(info.st_mtim.tv_sec) * 1000000000u + static_cast<uint64_t>(info.st_mtim.tv_nsec);
  return true;
}

bool replaceFile(const std::string& from, const std::string& to) { return rename(from.c_str(), to.c_str()) == 0; }

bool removeFile(const std::string& path) { return unlink(path.c_str()) == 0; }

bool writeNewFile(const std::string& path, const uint8_t* data, size_t size, bool executable, std::string& reason) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, executable ? 0700 : 0600);
  if (fd < 0) return failWith(reason, errno);
  size_t done = 0;
  while (done < size) {
    const ssize_t written = write(fd, data + done, size - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      // A write that makes no progress is a full disk even without errno.
      const int code = written < 0 ? errno : ENOSPC;
      close(fd);
      return failWith(reason, code);
    }
    done += static_cast<size_t>(written);
  }
  // Quota and network file systems report some failures only here.
  return close(fd) == 0 || failWith(reason, errno);
}

bool renameFolder(const std::string& from, const std::string& to, std::string& reason) {
  // rename() alone would replace an empty folder at `to`.
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return failWith(reason, errno);
  // A file system that cannot say "no replace" itself: nobody else may
  // write in these folders, so looking first is enough.
  struct stat info;
  if (lstat(to.c_str(), &info) == 0) return failWith(reason, EEXIST);
  return rename(from.c_str(), to.c_str()) == 0 || failWith(reason, errno);
}

bool removeTree(const std::string& path) {
  struct stat info;
  if (lstat(path.c_str(), &info) != 0) return errno == ENOENT;
  if (!S_ISDIR(info.st_mode)) return unlink(path.c_str()) == 0;
  nftw(path.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
  return lstat(path.c_str(), &info) != 0 && errno == ENOENT;
}

bool checkCacheFolder(const std::string& folder, bool ours, std::string& reason) {
  const uid_t user = geteuid();
  struct stat info;
  if (ours) {
    if (lstat(folder.c_str(), &info) != 0) return failWith(reason, errno);
    if (S_ISLNK(info.st_mode)) {
      reason = "it is a symbolic link, not a folder";
      return false;
    }
    if (!S_ISDIR(info.st_mode)) {
      reason = "it is not a folder";
      return false;
    }
    if (info.st_uid != user) {
      reason = "it belongs to another user";
      return false;
    }
    if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
      reason = "other users may write to it";
      return false;
    }
    return true;
  }
  // Above xoq's own folders links are common (a home on another disk):
  // the folders that really hold the cache are checked.
  char real[PATH_MAX];
  if (realpath(folder.c_str(), real) == nullptr) return failWith(reason, errno);
  std::string path = real;
  for (;;) {
    if (stat(path.c_str(), &info) != 0) {
      reason = path + ": " + strerror(errno);
      return false;
    }
    if (info.st_uid != user && info.st_uid != 0 && info.st_uid != overflowOwner()) {
      reason = path + " belongs to another user";
      return false;
    }
    if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0 && (info.st_mode & S_ISVTX) == 0) {
      reason = "other users may write to " + path;
      return false;
    }
    if (path == "/") return true;
    const size_t slash = path.rfind('/');
    path = slash == 0 ? "/" : path.substr(0, slash);
  }
}

FileLock::~FileLock() {
  if (fd_ >= 0) close(fd_);  // drops the lock
}

bool FileLock::acquire(const std::string& path, uint32_t waitMillis, std::string& reason) {
  fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd_ < 0) return failWith(reason, errno);
  const uint64_t deadline = monotonicMillis() + waitMillis;
  for (;;) {
    if (flock(fd_, LOCK_EX | LOCK_NB) == 0) {
      locked_ = true;
      return true;
    }
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK) {
      // A file system without locks (some network ones): on without.
      return true;
    }
    if (monotonicMillis() >= deadline) {
      reason = "another start has held it for " + std::to_string(waitMillis / 1000) + " seconds";
      return false;
    }
    usleep(10000);
  }
}

}  // namespace platform
}  // namespace xoq
