#include <cstdint>

#include "archive/archive_node.h"
#include "archive/payload_archive.h"
#include "base/trace.h"
#include "platform/dynamic_library.h"
#include "splash/runtime_splash.h"

namespace xoq {

const char kSplashLibraryName[] = "libsplashscreen.so";

const bool kSplashImageChosenFirst = true;

bool builtInSplashImage(std::string& bytes) {
  // The archive is opened here, a little ahead of the first class; the
  // launch finds it open.
  return readTopEntry(ensurePayloadArchiveOpen(), kSplashImageEntry, bytes);
}

void prepareSplashLibraryLoad(const std::string& jvmLibrary) {
  // libsplashscreen.so needs libjava.so, which needs libjvm.so by its plain
  // name: only an already loaded libjvm.so satisfies that (the JDK's own
  // launcher shows its splash after loading it, too). Loading it now costs
  // nothing; the launch loads the same library again.
  if (platform::loadLibrary(jvmLibrary) == nullptr) {
    trace("runtime library %s: cannot be loaded for the splash library (%s)", jvmLibrary.c_str(),
          platform::libraryLoadError(jvmLibrary).c_str());
  }
}

}  // namespace xoq
