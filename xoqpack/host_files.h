// xoqpack's seam to the file system of the machine it runs on, with one
// implementation per system (host_files-posix.cc, host_files-win32.cc).
// Everything above it names files by UTF-8 paths, spelt as the user gave
// them; only this seam knows how the system spells them. On Windows that is
// the wide ("W") functions on extended-length paths, so that names in any
// script and paths longer than MAX_PATH work whatever the code page.
#ifndef XOQPACK_HOST_FILES_H_
#define XOQPACK_HOST_FILES_H_

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace xoq {
namespace host {

enum class FileKind { kMissing, kFile, kDirectory, kOther };

/// What `path` names, links followed. kMissing also when it cannot be
/// examined at all.
FileKind fileKind(const std::string& path);

/// Reads the whole file into `content`; false with the system's reason.
bool readFile(const std::string& path, std::string& content, std::string& reason);

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePointer = std::unique_ptr<std::FILE, FileCloser>;

/// Opens `path` with an fopen mode ("rb", "w+b"); null with the system's
/// reason otherwise.
FilePointer openFile(const std::string& path, const char* mode, std::string& reason);

/// 64-bit positions in an open file: false or -1 on failure.
bool seekFile(std::FILE* file, uint64_t position);
int64_t tellFile(std::FILE* file);

/// The absolute form of `path`, '.' and '..' folded by name (the current
/// folder put in front of a relative one); the file need not exist. Empty
/// when the system cannot tell.
std::string absolutePath(const std::string& path);

/// The path of the file `path` names, every link resolved; empty when it
/// does not exist.
std::string canonicalPath(const std::string& path);

/// `relative` ('/'-separated) below `folder`, in the system's spelling.
std::string joinPath(const std::string& folder, const std::string& relative);

/// The folder of `path` with its trailing separator; empty when it names
/// none.
std::string folderOf(const std::string& path);

/// Every file below `folder` (links to files included, linked folders not
/// entered), as '/'-separated paths relative to it, sorted by their bytes;
/// false with the system's reason when a folder cannot be read.
bool listFiles(const std::string& folder, std::vector<std::string>& files, std::string& reason);

/// As listFiles, for a tree that may spread over linked folders (a Java
/// runtime's conf/ often links elsewhere): linked folders are entered too,
/// and what is neither a file nor a folder (a broken link) is named in
/// `leftOut` rather than passed over. A tree nested deeper than any real one
/// (a loop of links) is refused.
bool listFilesThroughLinks(const std::string& folder, std::vector<std::string>& files,
                           std::vector<std::string>& leftOut, std::string& reason);

/// The size of the file `path` names, links followed; false when it cannot
/// be examined.
bool fileSize(const std::string& path, uint64_t& size);

/// Whether the system keeps an executable bit for its files, which a copy of
/// a Linux runtime must carry over (POSIX: yes; Windows: no, the name says
/// what runs).
bool keepsExecutableBits();

/// Whether `path` is executable by its owner; false too where the system
/// keeps no such bit.
bool isExecutable(const std::string& path);

/// Gives the file `path` the rights of a copied file: read and write for
/// the owner, read for everyone, and execute for everyone when
/// `executable`. Nothing on Windows. False with the system's reason.
bool setFileRights(const std::string& path, bool executable, std::string& reason);

/// Moves the file or folder `from` to `to`, where nothing may be yet, in one
/// step; false with the system's reason.
bool movePath(const std::string& from, const std::string& to, std::string& reason);

/// Puts `from` in the place of `to` in one step, replacing a file there;
/// false with the system's reason.
bool replaceFile(const std::string& from, const std::string& to, std::string& reason);

/// Removes the file `path`; false when it could not.
bool removeFile(const std::string& path);

/// Makes the folder `path` unless it exists; its parent must. False with
/// the system's reason.
bool makeFolder(const std::string& path, std::string& reason);

/// Removes `path` and, when it is a folder, everything below it (links
/// removed, never followed); false with the system's reason when something
/// stays. A missing `path` is no failure.
bool removeTree(const std::string& path, std::string& reason);

/// Gives `path` the permission bits of `model` (owner write added), so that
/// a copy of an executable template stays executable. Nothing on Windows,
/// where the name says what runs.
void copyPermissions(const std::string& model, const std::string& path);

/// The path part of the file URL of the absolute path `path`, the form the
/// Java runtime resolves a jar's Class-Path against: "/home/a/x.jar" as it
/// is, "C:\a\x.jar" as "/C:/a/x.jar", "\\host\share\x.jar" as
/// "//host/share/x.jar".
std::string fileUrlPath(const std::string& path);

/// The path a file URL's path part names here, the inverse of fileUrlPath;
/// empty when it names another machine's file (a "//host/..." path on
/// POSIX) or cannot be a path of this system.
std::string pathOfFileUrl(const std::string& urlPath);

}  // namespace host
}  // namespace xoq

#endif  // XOQPACK_HOST_FILES_H_
