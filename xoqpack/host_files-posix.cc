// POSIX side of xoqpack's file seam: paths are the bytes the user gave,
// which the system takes as they are.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "host_files.h"
#include "path_names.h"

namespace xoq {
namespace host {

namespace {

struct DirectoryCloser {
  void operator()(DIR* directory) const { closedir(directory); }
};

std::string currentFolder() {
  std::string buffer(PATH_MAX, '\0');
  if (getcwd(&buffer[0], buffer.size()) == nullptr) return std::string();
  buffer.resize(strlen(buffer.c_str()));
  return buffer;
}

// Deeper than this, a tree walked through its links is taken for a loop.
constexpr int kDeepestLinkedTree = 40;

// Every file below `folder`, named from `prefix`. With `leftOut`, linked
// folders are entered and what is neither file nor folder is named there.
bool listBelow(const std::string& folder, const std::string& prefix, std::vector<std::string>& files,
               std::vector<std::string>* leftOut, int depth, std::string& reason) {
  if (depth > kDeepestLinkedTree) {
    reason = prefix + ": folders nested too deep (a loop of links?)";
    return false;
  }
  std::unique_ptr<DIR, DirectoryCloser> directory(opendir(folder.c_str()));
  if (!directory) {
    reason = (prefix.empty() ? "" : prefix + ": ") + strerror(errno);
    return false;
  }
  for (;;) {
    errno = 0;
    const dirent* entry = readdir(directory.get());
    if (entry == nullptr) break;
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    const std::string path = folder + "/" + name;
    struct stat own;
    if (lstat(path.c_str(), &own) != 0) continue;
    struct stat target;
    const bool reached = stat(path.c_str(), &target) == 0;
    if (S_ISDIR(own.st_mode) || (leftOut != nullptr && reached && S_ISDIR(target.st_mode))) {
      if (!listBelow(path, prefix + name + "/", files, leftOut, depth + 1, reason)) return false;
      continue;
    }
    if (reached && S_ISREG(target.st_mode)) {
      files.push_back(prefix + name);
    } else if (leftOut != nullptr) {
      leftOut->push_back(prefix + name);
    }
  }
  if (errno != 0) {
    reason = (prefix.empty() ? "" : prefix + ": ") + strerror(errno);
    return false;
  }
  return true;
}

}  // namespace

FileKind fileKind(const std::string& path) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return FileKind::kMissing;
  if (S_ISREG(info.st_mode)) return FileKind::kFile;
  if (S_ISDIR(info.st_mode)) return FileKind::kDirectory;
  return FileKind::kOther;
}

bool readFile(const std::string& path, std::string& content, std::string& reason) {
  content.clear();
  FilePointer file = openFile(path, "rb", reason);
  if (!file) return false;
  char block[1 << 16];
  size_t got = 0;
  while ((got = fread(block, 1, sizeof block, file.get())) > 0) content.append(block, got);
  if (ferror(file.get()) != 0) {
    reason = strerror(errno);
    return false;
  }
  return true;
}

FilePointer openFile(const std::string& path, const char* mode, std::string& reason) {
  FilePointer file(fopen(path.c_str(), mode));
  if (!file) reason = strerror(errno);
  return file;
}

bool seekFile(std::FILE* file, uint64_t position) { return fseeko(file, static_cast<off_t>(position), SEEK_SET) == 0; }

int64_t tellFile(std::FILE* file) { return static_cast<int64_t>(ftello(file)); }

std::string absolutePath(const std::string& path) {
  if (path.empty()) return std::string();
  if (path[0] == '/') return foldedPath(path);
  const std::string folder = currentFolder();
  return folder.empty() ? std::string() : foldedPath(folder + "/" + path);
}

std::string canonicalPath(const std::string& path) {
  char* resolved = realpath(path.c_str(), nullptr);
  if (resolved == nullptr) return std::string();
  const std::string result = resolved;
  free(resolved);
  return result;
}

std::string joinPath(const std::string& folder, const std::string& relative) {
  if (folder.empty()) return relative;
  return folder + (folder.back() == '/' ? "" : "/") + relative;
}

std::string folderOf(const std::string& path) { return path.substr(0, path.rfind('/') + 1); }

bool listFiles(const std::string& folder, std::vector<std::string>& files, std::string& reason) {
  files.clear();
  if (!listBelow(folder, "", files, nullptr, 0, reason)) return false;
  std::sort(files.begin(), files.end());
  return true;
}

bool listFilesThroughLinks(const std::string& folder, std::vector<std::string>& files,
                           std::vector<std::string>& leftOut, std::string& reason) {
  files.clear();
  leftOut.clear();
  if (!listBelow(folder, "", files, &leftOut, 0, reason)) return false;
  std::sort(files.begin(), files.end());
  return true;
}

bool fileSize(const std::string& path, uint64_t& size) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return false;
  size = static_cast<uint64_t>(info.st_size);
  return true;
}

bool keepsExecutableBits() { return true; }

bool isExecutable(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && (info.st_mode & S_IXUSR) != 0;
}

bool setFileRights(const std::string& path, bool executable, std::string& reason) {
  if (chmod(path.c_str(), executable ? 0755 : 0644) == 0) return true;
  reason = strerror(errno);
  return false;
}

bool movePath(const std::string& from, const std::string& to, std::string& reason) {
  // rename() would replace an empty folder or a file at `to`; nothing may
  // be there.
  struct stat info;
  if (lstat(to.c_str(), &info) == 0) {
    reason = strerror(EEXIST);
    return false;
  }
  if (rename(from.c_str(), to.c_str()) == 0) return true;
  reason = strerror(errno);
  return false;
}

bool replaceFile(const std::string& from, const std::string& to, std::string& reason) {
  if (rename(from.c_str(), to.c_str()) == 0) return true;
  reason = strerror(errno);
  return false;
}

bool removeFile(const std::string& path) { return unlink(path.c_str()) == 0; }

bool makeFolder(const std::string& path, std::string& reason) {
  if (mkdir(path.c_str(), 0777) == 0 || (errno == EEXIST && fileKind(path) == FileKind::kDirectory)) return true;
  reason = strerror(errno);
  return false;
}

bool removeTree(const std::string& path, std::string& reason) {
  struct stat info;
  if (lstat(path.c_str(), &info) != 0) {
    if (errno == ENOENT) return true;
    reason = strerror(errno);
    return false;
  }
  if (S_ISDIR(info.st_mode)) {
    std::unique_ptr<DIR, DirectoryCloser> directory(opendir(path.c_str()));
    if (!directory) {
      reason = strerror(errno);
      return false;
    }
    std::vector<std::string> names;
    while (const dirent* entry = readdir(directory.get())) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    directory.reset();
    for (const std::string& name : names) {
      if (!removeTree(path + "/" + name, reason)) return false;
    }
    if (rmdir(path.c_str()) == 0) return true;
  } else if (unlink(path.c_str()) == 0) {
    return true;
  }
  reason = strerror(errno);
  return false;
}

void copyPermissions(const std::string& model, const std::string& path) {
  struct stat info;
  const mode_t mode = stat(model.c_str(), &info) == 0 ? (info.st_mode & 0777) : 0755;
  chmod(path.c_str(), mode | 0200);
}

std::string fileUrlPath(const std::string& path) { return path; }

std::string pathOfFileUrl(const std::string& urlPath) {
  // "//host/..." is another machine's file, which nothing here can open.
  if (urlPath.compare(0, 2, "//") == 0) return std::string();
  return urlPath;
}

}  // namespace host
}  // namespace xoq
