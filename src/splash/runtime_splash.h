// The Java runtime's own splash support, loaded into the launcher's process
// before the virtual machine: the runtime that starts later in the same
// process finds the splash already up, and java.awt.SplashScreen reports it.
// Also the start-up step that chooses between it and the native splash
// window.
#ifndef XOQ_SPLASH_RUNTIME_SPLASH_H_
#define XOQ_SPLASH_RUNTIME_SPLASH_H_

#include <string>

namespace xoq {

class ConfigStore;

/// The runtime's splash library file name: "splashscreen.dll" or
/// "libsplashscreen.so".
extern const char kSplashLibraryName[];

/// The payload entry that holds a Linux launcher's built-in splash image
/// (the counterpart of the RCDATA resource 100 of a Windows executable).
/// xoqpack stores it, not deflated.
constexpr char kSplashImageEntry[] = "com/tarvolin/xoq/splash-image";

/// Where a runtime keeps its splash library, given its virtual machine
/// library: the latter's directory (up to and including its last '\' or
/// '/'; nothing when it has none), then "../" and the library name.
std::string splashLibraryBeside(const std::string& jvmLibrary);

/// The splash library of the runtime that the runtime search selects (the
/// search runs here first and keeps its result for the launch); empty when
/// no runtime is found or its splash library cannot be read.
std::string findSplashLibrary();

/// Whether the image is looked for before the splash library is loaded, so
/// that a launch without one loads nothing (Linux: the library brings the
/// runtime's X11 and image libraries along). Windows loads the library
/// first.
extern const bool kSplashImageChosenFirst;

/// Shows the splash image through the runtime's splash library at `path`:
/// the `splash` file when it names a readable file, else the image built
/// into the executable. Every failure is silent and leaves no splash; the
/// library, once loaded, stays loaded.
void showRuntimeSplash(ConfigStore& config, const std::string& path);

/// The start-up step: the runtime's splash when its library is there,
/// otherwise the native splash window with bitmap resource 100, otherwise
/// none.
void showStartupSplash(ConfigStore& config);

/// The image built into the executable: RCDATA resource 100 on Windows, the
/// payload entry kSplashImageEntry on Linux. False when there is none.
bool builtInSplashImage(std::string& bytes);

/// Makes what the splash library needs from the runtime loadable before it
/// is loaded: on Linux its dependencies reach for the virtual machine
/// library, which is loaded first; nothing on Windows.
void prepareSplashLibraryLoad(const std::string& jvmLibrary);

}  // namespace xoq

#endif  // XOQ_SPLASH_RUNTIME_SPLASH_H_
