// Where the virtual machine and the system look for native libraries: the
// folders of the libraries a program unpacks into the user's cache go
// first, ahead of what the runtime would choose itself.
#ifndef XOQ_PLATFORM_LIBRARY_PATH_H_
#define XOQ_PLATFORM_LIBRARY_PATH_H_

#include <string>

namespace xoq {
namespace platform {

/// Prepares the virtual machine about to be created to search `folders`
/// (joined with the class path separator) first for native libraries, and
/// the system to find the libraries' own dependencies there. Returns the
/// option "-Djava.library.path=..." to add, or empty where the environment
/// says it instead for the creation (Linux: LD_LIBRARY_PATH, which the
/// runtime puts ahead of its own folders, as it does for java).
std::string prepareLibraryFolders(const std::string& folders);

/// Undoes what prepareLibraryFolders changed in the environment once the
/// virtual machine exists, so that the program's child processes inherit
/// the environment as it was. Does nothing when nothing was changed.
void restoreLibraryEnvironment();

}  // namespace platform
}  // namespace xoq

#endif  // XOQ_PLATFORM_LIBRARY_PATH_H_
