#include "launcher/startup.h"

#include "config/config_store.h"
#include "instances/instance_registry.h"
#include "launcher/process_globals.h"
#include "launcher/trace.h"
#include "launcher/working_directory.h"
#include "platform/platform.h"
#include "runtime/main_class.h"
#include "runtime/vm_context.h"

namespace xoq {

namespace {

void startLaunch(LaunchRequest& request, uint32_t& exitCode) {
  platform::Thread thread;
  // Two tries: the first with the stack size taken as a reservation; if
  // the thread cannot be created at all, the launch runs right here.
  if (thread.start(launchThreadMain, &request, true) || thread.start(launchThreadMain, &request, false)) {
    trace("launch thread started");
    exitCode = thread.join();
    return;
  }
  trace("launch thread could not be started; launching on the main thread");
  request.result = static_cast<uint32_t>(launchApplication(request.argumentCount, request.arguments, request.hook,
                                                           request.extraArgumentCount, request.extraArguments));
  releaseVm(*theVm);
  exitCode = request.result;
}

}  // namespace

int runLauncher(int argc, char** argv) {
  platform::selectUserLocale();

  ConfigStore config;
  config.loadConfiguration();
  VmContext vm;
  InstanceRegistry instances;
  theConfig = &config;
  theVm = &vm;
  theInstances = &instances;

  platform::initCommonControls();

  trace("splash: none (no splash screen is built into this launcher yet)");
  applyForcedWorkingDirectory(config);
  trace("standard streams: left as they are (redirection is not built yet)");
  trace("single instance: not checked (the instance guard is not built yet)");

  LaunchRequest request;
  request.argumentCount = argc > 0 ? argc - 1 : 0;
  request.arguments = argc > 0 ? argv + 1 : argv;
  request.hook = afterVmCreated;
  trace("program arguments: %d, as the process received them", static_cast<int>(request.argumentCount));

  uint32_t exitCode = 0;
  startLaunch(request, exitCode);
  trace("exit code %u", exitCode);

  theConfig = nullptr;
  theVm = nullptr;
  releaseVm(vm);
  return static_cast<int>(exitCode);
}

unsigned launchThreadMain(void* raw) {
  LaunchRequest& request = *static_cast<LaunchRequest*>(raw);
  request.result = static_cast<uint32_t>(launchApplication(request.argumentCount, request.arguments, request.hook,
                                                           request.extraArgumentCount, request.extraArguments));
  releaseVm(*theVm);
  return request.result;
}

int launchApplication(int32_t /*argumentCount*/, char** /*arguments*/, void (* /*hook*/)(),
                      int32_t /*extraArgumentCount*/, char** /*extraArguments*/) {
  // The runtime search finds nothing until the runtime issue lands.
  const int result = 1;
  trace("runtime search: no Java runtime support in this build");
  trace("launch result %d", result);
  return result;
}

void afterVmCreated() {
  platform::installConsoleSignalHandler(onConsoleSignal);
  trace("console signal handlers installed");
}

void onConsoleSignal(int signalNumber) {
  VmContext* context = theVm;
  if (context != nullptr && context->vm != nullptr) {
    JNIEnv* env = nullptr;
    if (context->vm->AttachCurrentThread(reinterpret_cast<void**>(&env), nullptr) == 0) {
      if (env != nullptr) callSystemExit(env, 0);
      context->vm->DetachCurrentThread();
    }
  }
  platform::callPreviousSignalHandler(signalNumber);
}

}  // namespace xoq
