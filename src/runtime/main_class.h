// Handing over to the application once the virtual machine runs: the
// launcher's class loader, the main class, the argument array, `main`.
#ifndef XOQ_RUNTIME_MAIN_CLASS_H_
#define XOQ_RUNTIME_MAIN_CLASS_H_

#include <jni.h>

#include <cstdint>
#include <string>
#include <vector>

namespace xoq {

class StringList;
struct VmContext;

/// Loads `mainClassName` through the launcher's class loader and calls its
/// `main` with the `argv` arguments (each line split like a command line),
/// then `arguments` and `extraArguments`. Returns 0 once `main` has returned
/// (an exception that escaped it is printed and noted in the context's
/// mainThrew), 7 when the class was not obtained, 8 when it has no static
/// main(String[]).
int runMainClass(VmContext& context, const std::string& mainClassName, bool asSystemLoader,
                 const StringList& configuredArguments, int32_t argumentCount, char** arguments,
                 int32_t extraArgumentCount, char** extraArguments);

/// The process's exit code once the virtual machine has ended: 1 when an
/// exception escaped `main`, as java ends then (a script must not take a
/// crash for success), else the launch result.
uint32_t exitCodeAfterMain(const VmContext& context, uint32_t launchResult);

/// ClassLoader.getSystemClassLoader() as a local reference, or null with
/// nothing pending.
jobject systemClassLoader(JNIEnv* env);

/// The main class through the system class loader when that is the
/// launcher's loader (`asSystemLoader`), else through a new launcher loader
/// made the thread's context class loader. A local reference, or null.
jclass loadMainClass(JNIEnv* env, const std::string& mainClassName, bool asSystemLoader);

/// A new String[] of the configured tokens, then the arguments, then the
/// extra arguments, converted from the narrow form.
jobjectArray buildArgumentArray(JNIEnv* env, const std::vector<std::string>& configured, int32_t argumentCount,
                                char** arguments, int32_t extraArgumentCount, char** extraArguments);

/// Registers com.tarvolin.xoq.SplashCloseOnWindow for the application's
/// window events; the application starts without it when that fails.
void installSplashCloseOnWindow(JNIEnv* env);

/// Calls java.lang.System.exit(status); when that succeeds the virtual
/// machine ends the process and this does not return. A failed lookup or a
/// pending exception is cleared without printing.
void callSystemExit(JNIEnv* env, int status);

}  // namespace xoq

#endif  // XOQ_RUNTIME_MAIN_CLASS_H_
