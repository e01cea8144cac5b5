#include "runtime/vm_context.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "base/trace.h"
#include "platform/dynamic_library.h"
#include "platform/output_filter.h"
#include "platform/platform.h"
#include "platform/text_encoding.h"

namespace xoq {

VmContext* theVm = nullptr;

namespace {

using CreateJavaVm = jint(JNICALL*)(JavaVM**, void**, void*);

constexpr char kSystemLoaderOption[] = "-Djava.system.class.loader=";

struct VersionNumber {
  int fields[4] = {0, 0, 0, 0};
  int count = -1;
};

// Read as sscanf reads "%d.%d.%d_%d": 4 for 1.6.0_45, 3 for 1.7.0, 1 for 9,
// 0 when the text does not begin with a number, -1 for an empty text.
VersionNumber parseVersion(const std::string& text) {
  VersionNumber number;
  if (text.empty()) return number;
  number.count =
      sscanf(text.c_str(), "%d.%d.%d_%d", &number.fields[0], &number.fields[1], &number.fields[2], &number.fields[3]);
  if (number.count < 0) number.count = 0;
  return number;
}

// -1, 0 or 1 over the fields that both numbers have.
int compareCommonFields(const VersionNumber& a, const VersionNumber& b) {
  const int k = a.count < b.count ? a.count : b.count;
  for (int i = 0; i < k; ++i) {
    if (a.fields[i] != b.fields[i]) return a.fields[i] < b.fields[i] ? -1 : 1;
  }
  return 0;
}

}  // namespace

void addVmOption(VmContext& context, const std::string& text) {
  context.optionOffsets.push_back(static_cast<int32_t>(context.optionText.size()));
  context.optionText += text;
  context.optionText += '\0';
}

void reportLibraryLoadError(const std::string& libraryPath) {
  fprintf(stderr, "%s\n", platform::libraryLoadError(libraryPath).c_str());
  fflush(stderr);
}

int createVm(VmContext& context, const std::string& libraryPath) {
  platform::suppressLoaderErrorBoxes();
  context.library = platform::loadLibrary(libraryPath);
  if (context.library == nullptr) {
    // A library whose dependencies sit in its parent directory loads once
    // that directory is searched too.
    const size_t separator = libraryPath.find_last_of("\\/");
    const std::string parent =
        (separator == std::string::npos ? std::string() : libraryPath.substr(0, separator + 1)) + "..";
    if (platform::widenLibrarySearch(parent)) {
      trace("runtime library did not load; retrying with %s on the search path", parent.c_str());
      context.library = platform::loadLibrary(libraryPath);
    }
    if (context.library == nullptr) {
      trace("runtime library %s: cannot be loaded", libraryPath.c_str());
      reportLibraryLoadError(libraryPath);
      context.optionOffsets.clear();
      context.optionText.clear();
      return 2;
    }
  }
  void* entry = platform::findSymbol(context.library, "JNI_CreateJavaVM");
  if (entry == nullptr) entry = platform::findSymbol(context.library, "JNI_CreateJavaVM_Impl");
  if (entry == nullptr) {
    trace("runtime library %s: no JNI_CreateJavaVM", libraryPath.c_str());
    context.optionOffsets.clear();
    context.optionText.clear();
    return 2;
  }

  std::vector<JavaVMOption> options(context.optionOffsets.size());
  for (size_t i = 0; i < options.size(); ++i) {
    options[i].optionString = &context.optionText[static_cast<size_t>(context.optionOffsets[i])];
    options[i].extraInfo = nullptr;
    trace("vm option %zu: %s", i + 1, options[i].optionString);
  }
  char exitOption[] = "exit";
  if (context.exitHook != nullptr) {
    options.push_back(JavaVMOption{exitOption, reinterpret_cast<void*>(context.exitHook)});
    trace("vm option %zu: exit hook", options.size());
  }
  JavaVMInitArgs arguments;
  arguments.version = JNI_VERSION_1_2;
  arguments.nOptions = static_cast<jint>(options.size());
  arguments.options = options.empty() ? nullptr : options.data();
  arguments.ignoreUnrecognized = JNI_TRUE;

  // HotSpot says on every start that it cannot use its archived
  // application classes once a system class loader is named, which the
  // launcher does by default. That is expected, and the users of the
  // application must not see it; the JDK's own classes still come from the
  // archive. Only that line is held back, and only when it can come at all;
  // anything else passes.
  bool loaderNamed = false;
  for (const JavaVMOption& option : options) {
    loaderNamed = loaderNamed || strncmp(option.optionString, kSystemLoaderOption, strlen(kSystemLoaderOption)) == 0;
  }
  const uint64_t start = platform::monotonicMillis();
  jint result = 0;
  // A runtime that cannot start may end the process from inside its
  // creation: nothing the launcher printed may still sit in a buffer then.
  fflush(nullptr);
  {
    std::unique_ptr<platform::OutputFilter> filter;
    if (loaderNamed) {
      filter.reset(new platform::OutputFilter(
          "Archived non-system classes are disabled because the java.system.class.loader property is specified"));
    }
    result = reinterpret_cast<CreateJavaVm>(entry)(&context.vm, reinterpret_cast<void**>(&context.env), &arguments);
  }
  trace("virtual machine creation: %s in %lu ms", result == 0 ? "done" : "failed",
        static_cast<unsigned long>(platform::monotonicMillis() - start));
  context.optionOffsets.clear();
  context.optionText.clear();
  if (result == 0) return 0;
  context.vm = nullptr;
  context.env = nullptr;
  return 4;
}

int queryJavaVersion(VmContext& context, std::string& out) {
  JNIEnv* env = context.env;
  if (env == nullptr) return 0;
  jclass system = env->FindClass("java/lang/System");
  if (system == nullptr) {
    clearPendingException(env, false);
    return 0;
  }
  jmethodID getProperty = env->GetStaticMethodID(system, "getProperty", "(Ljava/lang/String;)Ljava/lang/String;");
  if (getProperty == nullptr) {
    clearPendingException(env, false);
    env->DeleteLocalRef(system);
    return 0;
  }
  jstring key = env->NewStringUTF("java.version");
  jstring value = static_cast<jstring>(env->CallStaticObjectMethod(system, getProperty, key));
  out.clear();
  if (value != nullptr) {
    const jsize length = env->GetStringLength(value);
    const jchar* units = env->GetStringChars(value, nullptr);
    if (units != nullptr) {
      out = wideToNarrow(utf16ToWide(reinterpret_cast<const uint16_t*>(units), static_cast<size_t>(length)));
      env->ReleaseStringChars(value, units);
    }
  }
  clearPendingException(env, false);
  if (value != nullptr) env->DeleteLocalRef(value);
  env->DeleteLocalRef(key);
  env->DeleteLocalRef(system);
  return 1;
}

int checkVersionRange(const std::string& version, const std::string& minjre, const std::string& maxjre) {
  const VersionNumber current = parseVersion(version);
  const VersionNumber lower = parseVersion(minjre);
  const VersionNumber upper = parseVersion(maxjre);
  if (lower.count >= 1 && current.count >= 1 && compareCommonFields(current, lower) < 0) return 6;
  if (upper.count >= 1 && current.count >= 1 && compareCommonFields(current, upper) > 0) return 12;
  return 0;
}

void releaseVm(VmContext& context) {
  if (context.vm != nullptr) {
    context.vm->DetachCurrentThread();
    context.vm->DestroyJavaVM();
    context.vm = nullptr;
    context.env = nullptr;
  }
  if (context.library != nullptr) {
    platform::freeLibrary(context.library);
    context.library = nullptr;
  }
}

int clearPendingException(JNIEnv* env, bool describe) {
  if (env == nullptr || !env->ExceptionCheck()) return 0;
  if (describe) env->ExceptionDescribe();
  env->ExceptionClear();
  return 1;
}

}  // namespace xoq
