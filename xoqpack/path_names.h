// The parts of the file paths xoqpack is given.
#ifndef XOQPACK_PATH_NAMES_H_
#define XOQPACK_PATH_NAMES_H_

#include <string>

namespace xoq {

/// The last component of `path`: what follows its last '/' or '\'.
inline std::string fileNameOf(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

/// The folder of `path` with its trailing '/'; empty when it names none.
inline std::string folderOf(const std::string& path) { return path.substr(0, path.rfind('/') + 1); }

/// An absolute '/'-separated path with "." and ".." folded by name:
/// "/a/./b/../c" becomes "/a/c"; ".." above the root stays at the root.
std::string foldedPath(const std::string& path);

}  // namespace xoq

#endif  // XOQPACK_PATH_NAMES_H_
