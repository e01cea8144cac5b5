#include "archive/native_settings.h"

#include <atomic>

#include "archive/archive_node.h"
#include "base/trace.h"
#include "config/config_store.h"
#include "runtime/vm_context.h"

namespace xoq {

namespace {

// -1 until known, then 0 or 1 (switches) or the feature version.
std::atomic<int32_t> compatibleFlag{-1};
std::atomic<int32_t> codeSourceFlag{-1};
std::atomic<int32_t> runtimeRelease{-1};

bool flag(std::atomic<int32_t>& cached, bool (ConfigStore::*getter)() const) {
  int32_t value = cached.load(std::memory_order_acquire);
  if (value < 0) {
    value = theConfig != nullptr && (theConfig->*getter)() ? 1 : 0;
    cached.store(value, std::memory_order_release);
  }
  return value == 1;
}

// A system property's value in modified UTF-8 (which is plain ASCII for the
// properties asked for here); empty when it is not set.
std::string systemProperty(JNIEnv* env, const char* name) {
  std::string value;
  jclass system = env->FindClass("java/lang/System");
  jmethodID get = system != nullptr
                      ? env->GetStaticMethodID(system, "getProperty", "(Ljava/lang/String;)Ljava/lang/String;")
                      : nullptr;
  jstring key = get != nullptr ? env->NewStringUTF(name) : nullptr;
  jstring result = key != nullptr ? static_cast<jstring>(env->CallStaticObjectMethod(system, get, key)) : nullptr;
  if (result != nullptr) {
    const char* chars = env->GetStringUTFChars(result, nullptr);
    if (chars != nullptr) {
      value = chars;
      env->ReleaseStringUTFChars(result, chars);
    }
    env->DeleteLocalRef(result);
  }
  clearPendingException(env, false);
  if (key != nullptr) env->DeleteLocalRef(key);
  if (system != nullptr) env->DeleteLocalRef(system);
  return value;
}

// The leading decimal number of `text`, or -1.
int32_t leadingNumber(const std::string& text) {
  int32_t value = 0;
  size_t i = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9' && value < 100000; ++i)
    value = value * 10 + (text[i] - '0');
  return i == 0 ? -1 : value;
}

}  // namespace

void primeNativeSettings(const ConfigStore& config) {
  compatibleFlag.store(config.compatible() ? 1 : 0, std::memory_order_release);
  codeSourceFlag.store(config.codeSource() ? 1 : 0, std::memory_order_release);
}

bool classFilesReadable() { return flag(compatibleFlag, &ConfigStore::compatible); }

bool codeSourcesWanted() { return flag(codeSourceFlag, &ConfigStore::codeSource); }

int32_t releaseFromProperties(const std::string& javaVersion, const std::string& jarVersion,
                              const std::string& enableMultiRelease) {
  // "force" only makes JarFiles opened for the base version versioned as
  // well; class path jars are versioned with "true" already, so it serves
  // them as "true" does.
  if (enableMultiRelease == "false") return 0;
  // "1.8.0_392" and before: the number after "1."; from 9 on the feature
  // itself ("17.0.15", "25", "21-ea").
  int32_t release =
      javaVersion.compare(0, 2, "1.") == 0 ? leadingNumber(javaVersion.substr(2)) : leadingNumber(javaVersion);
  const int32_t wanted = leadingNumber(jarVersion);
  if (wanted >= 0 && wanted < release) release = wanted < 8 ? 8 : wanted;
  return release < 0 ? 0 : release;
}

int32_t multiReleaseVersion(JNIEnv* env, const ArchiveNode& archive) {
  if (!archive.anyMultiRelease()) return 0;
  int32_t release = runtimeRelease.load(std::memory_order_acquire);
  if (release < 0) {
    // Two threads arriving together ask twice and store the same answer.
    release = releaseFromProperties(systemProperty(env, "java.version"), systemProperty(env, "jdk.util.jar.version"),
                                    systemProperty(env, "jdk.util.jar.enableMultiRelease"));
    runtimeRelease.store(release, std::memory_order_release);
    trace("multi-release jars: served for Java %d", static_cast<int>(release));
  }
  return release;
}

}  // namespace xoq
