#include "platform/library_path.h"

#include <windows.h>

#include <cstdlib>

#include "base/trace.h"
#include "platform/platform.h"

namespace xoq {
namespace platform {

namespace {

std::string systemFolder(UINT(WINAPI* query)(LPSTR, UINT)) {
  char buffer[MAX_PATH];
  const UINT length = query(buffer, MAX_PATH);
  return length > 0 && length < MAX_PATH ? std::string(buffer, length) : std::string();
}

}  // namespace

std::string prepareLibraryFolders(const std::string& folders) {
  // What HotSpot puts in java.library.path when nobody sets it: the
  // launcher's folder, the system folders, PATH and the current folder,
  // the Windows folder's Sun\Java\bin included as the runtimes of this era
  // have it. The unpacked folders go in front.
  const std::string program = modulePath();
  const size_t slash = program.find_last_of("\\/");
  const std::string windowsFolder = systemFolder(GetWindowsDirectoryA);
  std::string path = folders;
  path += ";" + (slash == std::string::npos ? std::string(".") : program.substr(0, slash));
  path += ";" + windowsFolder + "\\Sun\\Java\\bin";
  path += ";" + systemFolder(GetSystemDirectoryA);
  path += ";" + windowsFolder;
  const char* searchPath = getenv("PATH");
  if (searchPath != nullptr) path += std::string(";") + searchPath;
  path += ";.";
  // A library's own dependencies are looked for by the system's loader,
  // which knows nothing of java.library.path: the first folder joins its
  // search, right after the program's own folder.
  const std::string first = folders.substr(0, folders.find(';'));
  const bool added = SetDllDirectoryA(first.c_str()) != 0;
  trace("native libraries: java.library.path=%s; dependencies from %s%s", path.c_str(), first.c_str(),
        added ? "" : " (SetDllDirectoryA failed)");
  return "-Djava.library.path=" + path;
}

void restoreLibraryEnvironment() {}

}  // namespace platform
}  // namespace xoq
