#include "launcher/startup.h"

#include <cstdlib>
#include <string>

#include "archive/carried_runtime.h"
#include "archive/extracted_files.h"
#include "archive/native_binding.h"
#include "archive/payload_archive.h"
#include "archive/resource_natives.h"
#include "archive/support_class_definition.h"
#include "base/trace.h"
#include "config/arguments.h"
#include "config/config_store.h"
#include "config/string_list.h"
#include "instances/instance_registry.h"
#include "instances/single_instance.h"
#include "launcher/integrity_check.h"
#include "launcher/messages.h"
#include "launcher/working_directory.h"
#include "platform/library_path.h"
#include "platform/platform.h"
#include "redirect/stream_redirector.h"
#include "runtime/main_class.h"
#include "runtime/runtime_search.h"
#include "runtime/vm_context.h"
#include "runtime/vm_options.h"
#include "splash/runtime_splash.h"
#include "splash/splash_window.h"
#include "xoq_version.h"

namespace xoq {

namespace {

unsigned openPayloadArchiveAhead(void*) {
  ensurePayloadArchiveOpen();
  return 0;
}

// The main thread only waits while the virtual machine starts; meanwhile a
// thread of its own opens the payload archive (the first class wants it),
// so that its index is ready by then. It starts after the launch thread,
// whose work is the longer and must not wait for a processor. Either way the
// opening starts while theConfig is sure to be set, so no native needs
// theConfig to find the executable later.
void openArchiveAhead(platform::Thread& opener) {
  if (!platform::kOpenArchiveBesideCreation) return;  // opened before the launch
  if (!opener.start(openPayloadArchiveAhead, nullptr, false)) ensurePayloadArchiveOpen();
}

void startLaunch(LaunchRequest& request, platform::Thread& archiveOpener, uint32_t& exitCode) {
  if (!platform::kOpenArchiveBesideCreation) ensurePayloadArchiveOpen();
  platform::Thread thread;
  // Two tries: the first with the stack size taken as a reservation; if
  // the thread cannot be created at all, the launch runs right here.
  if (thread.start(launchThreadMain, &request, true) || thread.start(launchThreadMain, &request, false)) {
    trace("launch thread started");
    openArchiveAhead(archiveOpener);
    exitCode = thread.join();
    return;
  }
  openArchiveAhead(archiveOpener);
  trace("launch thread could not be started; launching on the main thread");
  request.result = static_cast<uint32_t>(launchApplication(request.argumentCount, request.arguments, request.hook,
                                                           request.extraArgumentCount, request.extraArguments));
  releaseVm(*theVm);
  exitCode = exitCodeAfterMain(*theVm, request.result);
}

}  // namespace

int runLauncher(int argc, char** argv) {
  trace("xoq launcher " XOQ_VERSION);
  platform::selectUserLocale();

  ConfigStore config;
  config.loadConfiguration();
  // A changed or damaged file runs nothing of itself: checked before any
  // later step acts on its configuration.
  if (checkOwnIntegrity() == IntegrityStatus::kDamaged) return exitCodeFor(static_cast<int>(MessageId::FileDamaged));
  VmContext vm;
  platform::SharedInstanceBlock instanceBlock;
  InstanceRegistry instances(mapInstanceBlock(instanceBlock, config.executablePath()), platform::currentProcessId());
  instances.joinInstanceBlock();
  theConfig = &config;
  theVm = &vm;
  theInstances = &instances;

  platform::initCommonControls();
  setCarriedRuntimeSource(carriedRuntimeFolder);

  // The splash step runs the runtime search (the runtime's splash library
  // comes from it), before forcecwd changes the working directory that
  // relative runtime paths are looked for in.
  showStartupSplash(config);
  applyForcedWorkingDirectory(config);
  redirectStandardStreams(config, vm);
  if (!applySingleInstance(config, instances)) {
    const int id = static_cast<int>(MessageId::AlreadyRunning);
    showFatalMessage(loadMessage(id));
    exit(exitCodeFor(id));
  }

  int argumentCount = argc;
  char** arguments = argv;
  applyWildcardArguments(config, argumentCount, arguments);

  LaunchRequest request;
  request.argumentCount = argumentCount > 0 ? argumentCount - 1 : 0;
  request.arguments = argumentCount > 0 ? arguments + 1 : arguments;
  request.hook = afterVmCreated;

  platform::Thread archiveOpener;
  uint32_t exitCode = 0;
  startLaunch(request, archiveOpener, exitCode);
  archiveOpener.join();
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
  return exitCodeAfterMain(*theVm, request.result);
}

int launchApplication(int32_t argumentCount, char** arguments, void (*hook)(), int32_t extraArgumentCount,
                      char** extraArguments) {
  ConfigStore& config = *theConfig;
  VmContext& vm = *theVm;
  // The files the program wants as real files are put in place first: the
  // class path and the native library path name them.
  UnpackedFiles unpacked;
  CacheFailure extracted;
  const bool filesReady = unpackExtractedEntries(config, unpacked, extracted);
  prepareVmOptions(vm, config, unpacked);
  // Searched already during the splash step; this returns the kept result.
  const std::string library = findJvmLibrary();
  // No library: none found (1), or the runtime the program carries could
  // not be put where it can be loaded from (its own message).
  const CarriedRuntimeFailure& carried = carriedRuntimeFailure();
  int result = 1;
  if (!filesReady) {
    result = extracted.messageId;
  } else if (!library.empty()) {
    result = createVm(vm, library);
  } else if (carried.messageId != 0) {
    result = carried.messageId;
  }
  platform::restoreLibraryEnvironment();
  const std::string failedFolder = filesReady ? carried.folder : extracted.folder;
  const std::string failedReason = filesReady ? carried.reason : extracted.reason;
  std::string javaVersion;
  if (result == 0) {
    if (vm.launcherDefinesSupport) defineStartupSupportClasses(vm.env);
    if (vm.launcherBindsNatives) prepareNativeBinding(vm.env);
    applyConfiguredProperties(vm.env, config);
    const std::string minjre = config.minJre();
    const std::string maxjre = config.maxJre();
    if (!minjre.empty() || !maxjre.empty()) {
      if (queryJavaVersion(vm, javaVersion) == 0) {
        result = 5;
      } else {
        result = checkVersionRange(javaVersion, minjre, maxjre);
        trace("java.version %s against minjre \"%s\" and maxjre \"%s\": %s", javaVersion.c_str(), minjre.c_str(),
              maxjre.c_str(), result == 0 ? "accepted" : "refused");
      }
    }
  }
  if (result == 0) {
    primeResourceNatives(config);
    registerUrlHandlerPackage(vm.env);
    if (hook != nullptr) hook();
    const bool closeOnWindow = config.splashCloseOnWindow();
    if (closeOnWindow) installSplashCloseOnWindow(vm.env);
    scheduleAutomaticSplashClose(closeOnWindow ? 30000 : 1750);
    StringList configuredArguments;
    config.argvValues(configuredArguments);
    result = runMainClass(vm, config.mainClass(), config.asSystemClassLoader(), configuredArguments, argumentCount,
                          arguments, extraArgumentCount, extraArguments);
    scheduleAutomaticSplashClose(closeOnWindow ? 30000 : 750);
  }
  trace("launch result %d", result);
  if (result != 0) {
    reportLaunchFailure(result, {javaVersion, config.minJre(), config.maxJre(), failedFolder, failedReason});
  }
  return result;
}

void afterVmCreated() {
  if (theVm != nullptr && theVm->env != nullptr) theStreamRedirector.installJavaRedirection(theVm->env);
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
