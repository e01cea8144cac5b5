// Loading the Java runtime's virtual machine library into the process.
#ifndef XOQ_PLATFORM_DYNAMIC_LIBRARY_H_
#define XOQ_PLATFORM_DYNAMIC_LIBRARY_H_

#include <string>

namespace xoq {
namespace platform {

/// Keeps the system from showing its own error boxes for a library that
/// cannot be loaded (SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX added to
/// the error mode, for the rest of the process); nothing on Linux.
void suppressLoaderErrorBoxes();

/// Loads the library at `path`; null on failure, with the reason kept for
/// `libraryLoadError`. On Windows the libraries it imports are looked for
/// in its own folder, the system folders and PATH, never in the
/// executable's folder or the working directory.
void* loadLibrary(const std::string& path);

/// The address of `name` in `library`, or null.
void* findSymbol(void* library, const char* name);

/// The address of `name` among the symbols that the launcher's own program
/// exports, or null.
void* findOwnSymbol(const char* name);

/// Drops the process's reference to `library`.
void freeLibrary(void* library);

/// The system's description of why the last load failed: FormatMessageA of
/// GetLastError with "%1" replaced by `path` on Windows, dlerror on Linux.
std::string libraryLoadError(const std::string& path);

/// Widens the search for a library's dependencies with `directory`, for a
/// second load attempt: Windows searches PATH, so "PATH=<PATH>;<directory>"
/// is put into the environment (and stays). Returns false where the loader
/// does not search PATH (Linux), so that no second attempt is made.
bool widenLibrarySearch(const std::string& directory);

}  // namespace platform
}  // namespace xoq

#endif  // XOQ_PLATFORM_DYNAMIC_LIBRARY_H_
