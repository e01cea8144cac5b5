#include "platform/library_path.h"

#include <cstdlib>

#include "base/trace.h"

namespace xoq {
namespace platform {

namespace {

const char kVariable[] = "LD_LIBRARY_PATH";

// The variable as it was before prepareLibraryFolders; the launch thread
// alone reads and writes these.
bool changed = false;
bool wasSet = false;
std::string before;

}  // namespace

std::string prepareLibraryFolders(const std::string& folders) {
  // HotSpot begins java.library.path with LD_LIBRARY_PATH and adds the
  // folders of its own build after it (Debian's runtimes list the
  // multiarch folders there), so the variable puts the folders first and
  // keeps the rest as the runtime has it. A library's own dependencies are
  // found through its RUNPATH ($ORIGIN), as for any program on Linux: the
  // dynamic loader reads the variable only when a process starts.
  const char* value = getenv(kVariable);
  wasSet = value != nullptr;
  before = wasSet ? value : "";
  const std::string now = wasSet && !before.empty() ? folders + ":" + before : folders;
  changed = setenv(kVariable, now.c_str(), 1) == 0;
  trace("native libraries: %s=%s for the virtual machine's creation", kVariable, now.c_str());
  return std::string();
}

void restoreLibraryEnvironment() {
  if (!changed) return;
  changed = false;
  if (wasSet) {
    setenv(kVariable, before.c_str(), 1);
  } else {
    unsetenv(kVariable);
  }
}

}  // namespace platform
}  // namespace xoq
