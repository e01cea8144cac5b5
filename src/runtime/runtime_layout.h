// How a Java runtime lays out its virtual machine library on this OS.
#ifndef XOQ_RUNTIME_RUNTIME_LAYOUT_H_
#define XOQ_RUNTIME_RUNTIME_LAYOUT_H_

#include <string>
#include <vector>

namespace xoq {

class ConfigStore;

/// The virtual machine library's file name: "jvm.dll" or "libjvm.so".
extern const char kJvmLibraryName[];

/// What separates class path entries for the runtime: ';' on Windows, ':'
/// on Linux (the runtime splits java.class.path at File.pathSeparator).
extern const char kClassPathSeparator[];

/// The subdirectories of a runtime directory that may hold the library or
/// the virtual machine subdirectories with it, in the order they are tried;
/// the first is the directory itself.
const std::vector<std::string>& runtimeSubdirectories();

/// The Java launcher's file name: "java.exe" or "java".
extern const char kJavaLauncherName[];

/// The characters that separate the components of a path, the one the
/// launcher writes first: "\\/" on Windows, "/" on Linux (where '\' is an
/// ordinary character of a file name).
extern const char kPathSeparators[];

/// What separates the folders of PATH: ';' on Windows, ':' on Linux.
extern const char kPathListSeparator;

/// True when `a` and `b` name the same file or folder by the system's
/// rules: without regard to ASCII case on Windows, exactly on Linux.
bool sameFileName(const std::string& a, const std::string& b);

/// A folder that installers or package managers fill with runtimes, one
/// subfolder each; only subfolders whose names begin with `namePrefix` are
/// runtimes (a vendor folder may hold other products too).
struct InstallFolder {
  std::string path;
  std::string namePrefix;
};

/// The usual install folders of this system, with the environment they
/// depend on read now (%ProgramFiles%, %LOCALAPPDATA%, $HOME, $SDKMAN_DIR);
/// folders whose variable is not set are left out.
std::vector<InstallFolder> usualInstallFolders();

/// The registered runtime of method s (`keyPath` is the JavaSoft key) or i
/// (the IBM key): from the registry on Windows; on Linux, which has no
/// registry, method s takes the system's default runtime and method i finds
/// nothing. Returns the library path or empty.
std::string readRegistryRuntime(const char* keyPath, ConfigStore& config);

}  // namespace xoq

#endif  // XOQ_RUNTIME_RUNTIME_LAYOUT_H_
