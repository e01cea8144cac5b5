#include <windows.h>

#include <cstdint>

#include "platform/user_message.h"
#include "splash/runtime_splash.h"

namespace xoq {

const char kSplashLibraryName[] = "splashscreen.dll";

const bool kSplashImageChosenFirst = false;

bool builtInSplashImage(std::string& bytes) {
  const uint8_t* data = nullptr;
  size_t size = 0;
  if (!platform::findOwnResource(static_cast<int>(reinterpret_cast<uintptr_t>(RT_RCDATA)), 100, data, size)) {
    return false;
  }
  bytes.assign(reinterpret_cast<const char*>(data), size);
  return true;
}

// Windows searches PATH for the library's dependencies; loadSplashLibrary
// retries with the library's directory added to it.
void prepareSplashLibraryLoad(const std::string&) {}

}  // namespace xoq
