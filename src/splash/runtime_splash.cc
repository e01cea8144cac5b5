#include "splash/runtime_splash.h"

#include <cstdint>

#include "base/trace.h"
#include "config/config_store.h"
#include "platform/dynamic_library.h"
#include "platform/platform.h"
#include "runtime/runtime_search.h"
#include "splash/splash_window.h"

namespace xoq {

namespace {

using SplashInitFunction = void (*)();
using SplashLoadMemoryFunction = int (*)(void* data, int size);
using SplashLoadFileFunction = int (*)(const char* fileName);
using SplashSetFileJarNameFunction = void (*)(const char* fileName, const char* jarName);

std::string directoryOf(const std::string& path) {
  const size_t separator = path.find_last_of("\\/");
  return separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
}

// A splash library whose dependencies lie in its own directory loads once
// that directory is searched too (PATH on Windows).
void* loadSplashLibrary(const std::string& path) {
  platform::suppressLoaderErrorBoxes();
  void* library = platform::loadLibrary(path);
  if (library != nullptr) return library;
  const std::string directory = directoryOf(path);
  if (!platform::widenLibrarySearch(directory)) return nullptr;
  trace("splash library did not load; retrying with %s on the search path", directory.c_str());
  return platform::loadLibrary(path);
}

// The image to show: the `splash` file when it names a readable file (a
// directory is readable too, but it is no image), else the image built into
// the executable, in `image`. False when there is neither.
bool chooseSplashImage(ConfigStore& config, std::string& file, std::string& image) {
  file = config.splash();
  if (!file.empty() && platform::isReadable(file) && !platform::isDirectory(file)) return true;
  file.clear();
  return builtInSplashImage(image) && !image.empty();
}

}  // namespace

std::string splashLibraryBeside(const std::string& jvmLibrary) {
  return directoryOf(jvmLibrary) + "../" + kSplashLibraryName;
}

std::string findSplashLibrary() {
  const std::string jvmLibrary = findJvmLibrary();
  if (jvmLibrary.empty()) return std::string();
  const std::string candidate = splashLibraryBeside(jvmLibrary);
  const bool readable = platform::isReadable(candidate);
  trace("splash library %s: %s", candidate.c_str(), readable ? "found" : "not there");
  return readable ? candidate : std::string();
}

void showRuntimeSplash(ConfigStore& config, const std::string& path) {
  std::string file;
  std::string image;
  bool haveImage = false;
  if (kSplashImageChosenFirst) {
    haveImage = chooseSplashImage(config, file, image);
    if (!haveImage) {
      trace("runtime splash: no image file and no built-in image; no splash");
      return;
    }
  }
  prepareSplashLibraryLoad(findJvmLibrary());
  void* library = loadSplashLibrary(path);
  if (library == nullptr) {
    trace("splash library %s: cannot be loaded (%s); no splash", path.c_str(),
          platform::libraryLoadError(path).c_str());
    return;
  }
  // The library stays loaded: the runtime takes its splash over.
  const auto init = reinterpret_cast<SplashInitFunction>(platform::findSymbol(library, "SplashInit"));
  const auto loadMemory = reinterpret_cast<SplashLoadMemoryFunction>(platform::findSymbol(library, "SplashLoadMemory"));
  const auto loadFile = reinterpret_cast<SplashLoadFileFunction>(platform::findSymbol(library, "SplashLoadFile"));
  if (init == nullptr || loadMemory == nullptr || loadFile == nullptr) {
    trace("splash library %s: an entry point is missing; no splash", path.c_str());
    return;
  }
  if (!kSplashImageChosenFirst) haveImage = chooseSplashImage(config, file, image);
  if (!haveImage) {
    trace("runtime splash: no image file and no built-in image; no splash");
    return;
  }
  init();
  if (!file.empty()) {
    trace("runtime splash: image file %s", file.c_str());
    loadFile(file.c_str());
    // What java.awt.SplashScreen.getImageURL() gives, as after -splash:
    // (a runtime too old to know it simply gives none).
    const auto setFileJarName =
        reinterpret_cast<SplashSetFileJarNameFunction>(platform::findSymbol(library, "SplashSetFileJarName"));
    if (setFileJarName != nullptr) setFileJarName(file.c_str(), nullptr);
    return;
  }
  trace("runtime splash: built-in image of %zu bytes", image.size());
  loadMemory(&image[0], static_cast<int>(image.size()));
}

void showStartupSplash(ConfigStore& config) {
  const std::string library = findSplashLibrary();
  if (!library.empty()) {
    showRuntimeSplash(config, library);
    return;
  }
  void* bitmap = loadSplashBitmap();
  if (bitmap == nullptr) {
    trace("splash: no runtime splash library and no splash bitmap; no splash");
    return;
  }
  startSplashWindow(bitmap, config.splashTitle());
}

}  // namespace xoq
