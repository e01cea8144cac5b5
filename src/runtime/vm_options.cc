#include "runtime/vm_options.h"

#include <string>

#include "base/trace.h"
#include "config/config_store.h"
#include "config/string_list.h"
#include "platform/elevation.h"
#include "platform/legacy_code_page.h"
#include "platform/library_path.h"
#include "platform/platform.h"
#include "runtime/class_data_cache.h"
#include "runtime/class_path.h"
#include "runtime/java_strings.h"
#include "runtime/option_text.h"
#include "runtime/runtime_layout.h"
#include "runtime/runtime_release.h"
#include "runtime/runtime_search.h"
#include "runtime/vm_context.h"

namespace xoq {

namespace {

const char kLibraryPathOption[] = "-Djava.library.path=";

bool setsLibraryPath(const std::string& option) {
  return option.compare(0, sizeof(kLibraryPathOption) - 1, kLibraryPathOption) == 0;
}

// The unpacked native libraries' folders go first in java.library.path: in
// front of a path that the configuration's options set (those options were
// held back), else in front of the one the runtime would choose itself.
template <typename Add>
void addLibraryFolders(const StringList& options, const std::vector<std::string>& folders, Add add) {
  if (folders.empty()) return;
  std::string joined;
  for (const std::string& folder : folders) joined += (joined.empty() ? "" : kClassPathSeparator) + folder;
  const std::string option = platform::prepareLibraryFolders(joined);
  bool configured = false;
  for (size_t i = 0; i < options.size(); ++i) {
    const std::string value = options.str(i);
    if (!setsLibraryPath(value)) continue;
    const std::string rest = value.substr(sizeof(kLibraryPathOption) - 1);
    add(kLibraryPathOption + joined + (rest.empty() ? "" : kClassPathSeparator + rest));
    configured = true;
  }
  if (!configured && !option.empty()) add(option);
}

}  // namespace

void prepareVmOptions(VmContext& context, ConfigStore& config, const UnpackedFiles& unpacked) {
  StringList exports;
  config.exports(exports);
  for (size_t i = 0; i < exports.size(); ++i) {
    const std::string assignment = exports.str(i);
    if (assignment.find('=') == std::string::npos) continue;
    const bool done = platform::putEnvironment(assignment);
    trace("export %s%s", assignment.c_str(), done ? "" : " (failed)");
  }

  const std::string library = findJvmLibrary();
  const RuntimeRelease release = readRuntimeRelease(library);
  trace("runtime release: %s", release.version.empty() ? "unknown" : release.version.c_str());
  // System properties go over in the code page the runtime makes them Java
  // strings from; the other options are the virtual machine's own, which
  // it reads in the program's code page.
  const bool legacyText = platform::narrowFormIsNotLegacy() && readsOptionsInLegacyCodePage(release);
  const auto add = [&](const std::string& text, bool pathList) {
    bool whole = true;
    const bool property = text.compare(0, 2, "-D") == 0;
    addVmOption(context, legacyText && property ? optionInLegacyCodePage(text, pathList, whole) : text);
    if (!whole) {
      trace("vm option %s: a character has no place in the code page that this runtime reads its options in",
            text.c_str());
    }
  };

  const bool systemLoader = config.asSystemClassLoader();
  StringList options;
  config.options(options);
  for (size_t i = 0; i < options.size(); ++i) {
    const std::string option = options.str(i);
    if (unpacked.libraryFolders.empty() || !setsLibraryPath(option)) add(option, false);
  }
  addLibraryFolders(options, unpacked.libraryFolders, [&](const std::string& option) { add(option, true); });

  const std::string classPath = buildClassPath(config, false, unpacked.jars);
  add("-Djava.class.path=" + classPath, true);
  add("-Dxoq.class.path=" + buildClassPath(config, true), true);
  add("-Dxoq.app.path=" + config.executablePath(), true);
  add("-Dapplication.home=" + config.applicationHome(), true);
  if (systemLoader) addVmOption(context, std::string("-Djava.system.class.loader=") + kLoaderClassName);
  if (platform::queryElevation(nullptr) == 0) addVmOption(context, "-Dxoq.is.elevated=true");
  // From JDK 24 on, the runtime warns on standard error about every JNI
  // library that code of the class path loads, as the support classes load
  // the executable; older runtimes have nothing to warn about, and those
  // before 17 would not know the option. Allowing it costs the runtime its
  // archived module graph, so where no support class can be initialised
  // during creation the launcher binds the natives itself instead.
  context.launcherBindsNatives = release.feature >= 24 && !systemLoader;
  if (context.launcherBindsNatives) {
    addVmOption(context, kNativeBindingProperty);
  } else if (release.feature >= 24) {
    addVmOption(context, "--enable-native-access=ALL-UNNAMED");
  }
  addClassDataCacheOptions(context, config, release, library, classPath);
  // From a class data archive the runtime maps the support classes more
  // cheaply than the launcher could define them.
  context.launcherDefinesSupport = !systemLoader && !config.classDataCache() && !optionsDecideClassData(options);
}

void applyConfiguredProperties(JNIEnv* env, const ConfigStore& config) {
  StringList properties;
  config.properties(properties);
  for (size_t i = 0; i < properties.size(); ++i) {
    const std::string value = properties.str(i);
    const size_t equals = value.find('=');
    const std::string name = value.substr(0, equals);
    const std::string text = equals == std::string::npos ? std::string() : value.substr(equals + 1);
    jclass system = env->FindClass("java/lang/System");
    if (system == nullptr) {
      clearPendingException(env, false);
      continue;
    }
    jmethodID setProperty =
        env->GetStaticMethodID(system, "setProperty", "(Ljava/lang/String;Ljava/lang/String;)Ljava/lang/String;");
    if (setProperty == nullptr) {
      clearPendingException(env, false);
      env->DeleteLocalRef(system);
      continue;
    }
    // Real UTF-8, which NewStringUTF would misread beyond the Basic
    // Multilingual Plane.
    jstring javaName = newStringFromUtf8(env, name);
    jstring javaText = javaName != nullptr ? newStringFromUtf8(env, text) : nullptr;
    jobject previous =
        javaText != nullptr ? env->CallStaticObjectMethod(system, setProperty, javaName, javaText) : nullptr;
    // An empty name makes setProperty throw; the exception must not stay
    // pending into the next JNI call, and the user should see why the
    // property was not set.
    if (clearPendingException(env, true)) {
      trace("property %s: not set", value.c_str());
    } else {
      trace("property %s", value.c_str());
    }
    if (previous != nullptr) env->DeleteLocalRef(previous);
    if (javaText != nullptr) env->DeleteLocalRef(javaText);
    if (javaName != nullptr) env->DeleteLocalRef(javaName);
    env->DeleteLocalRef(system);
  }
}

}  // namespace xoq
