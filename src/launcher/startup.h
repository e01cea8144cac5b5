// The spine of the launcher: the entry routine's fixed order of start-up
// steps, the launch thread that runs the Java application, and the clean-up.
#ifndef XOQ_LAUNCHER_STARTUP_H_
#define XOQ_LAUNCHER_STARTUP_H_

#include <cstdint>

namespace xoq {

/// The block handed to the launch thread.
struct LaunchRequest {
  int32_t argumentCount = 0;        // program arguments, the program name not counted
  char** arguments = nullptr;       // borrowed
  void (*hook)() = nullptr;         // called once the virtual machine exists
  int32_t extraArgumentCount = 0;   // always 0 here
  char** extraArguments = nullptr;  // always null here
  uint32_t result = 0;              // written by the launch thread
};

/// The process entry: runs every start-up step and returns the exit code.
int runLauncher(int argc, char** argv);

/// Runs the application on the current thread: options, runtime, creation,
/// main class. Returns 0 when `main` has returned, else the identifier of
/// the message that was reported.
int launchApplication(int32_t argumentCount, char** arguments, void (*hook)(), int32_t extraArgumentCount,
                      char** extraArguments);

/// The launch thread: launchApplication, then releaseVm; its exit code is
/// the launch result, or 1 when an exception escaped main.
unsigned launchThreadMain(void* request);

/// The hook run once the virtual machine exists: Java-side stream
/// redirection, then the console signal handlers.
void afterVmCreated();

/// SIGINT/SIGTERM: ends the application through System.exit(0) when a
/// virtual machine runs, then chains to the previous handler.
void onConsoleSignal(int signalNumber);

}  // namespace xoq

#endif  // XOQ_LAUNCHER_STARTUP_H_
