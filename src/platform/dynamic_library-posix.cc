#include <dlfcn.h>

#include "platform/dynamic_library.h"

namespace xoq {
namespace platform {

namespace {

// dlerror() can be read only once; the text of the last failed load is kept.
thread_local std::string lastError;

}  // namespace

void suppressLoaderErrorBoxes() {}

void* loadLibrary(const std::string& path) {
  // RTLD_GLOBAL: the runtime's own libraries (libjava, ...) resolve symbols
  // of libjvm through the global scope.
  void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_GLOBAL);
  if (library == nullptr) {
    const char* error = dlerror();
    lastError = error != nullptr ? error : "";
  }
  return library;
}

void* findSymbol(void* library, const char* name) { return dlsym(library, name); }

void* findOwnSymbol(const char* name) { return dlsym(RTLD_DEFAULT, name); }

void freeLibrary(void* library) { dlclose(library); }

std::string libraryLoadError(const std::string& /*path*/) { return lastError; }

bool widenLibrarySearch(const std::string& /*directory*/) { return false; }

}  // namespace platform
}  // namespace xoq
