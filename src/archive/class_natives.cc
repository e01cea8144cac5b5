#include "archive/class_natives.h"

#include <atomic>
#include <mutex>
#include <string>

#include "archive/archive_node.h"
#include "archive/entry_array.h"
#include "archive/name_forms.h"
#include "archive/native_settings.h"
#include "archive/payload_archive.h"
#include "base/trace.h"
#include "runtime/java_strings.h"
#include "runtime/vm_context.h"

namespace xoq {

namespace {

// The class file bytes of class `name`, narrow form first; `location` is
// told where they were found when it is given.
jbyteArray readClassFile(JNIEnv* env, jstring name, bool searchNested, EntryLocation* location) {
  const ArchiveNode& archive = ensurePayloadArchiveOpen();
  NameForms forms = makeNameForms(env, name);
  if (!forms.ok) return nullptr;
  forms.replace('.', '\\');
  forms.narrow += ".class";
  forms.utf8 += ".class";
  const int32_t release = multiReleaseVersion(env, archive);
  jbyteArray bytes = readEntryArray(env, archive, forms.narrow, searchNested, release, location);
  if (bytes == nullptr && forms.differ()) {
    bytes = readEntryArray(env, archive, forms.utf8, searchNested, release, location);
  }
  if (traceEnabled()) {
    if (bytes != nullptr) {
      trace("class %s: served from the payload (%d bytes): %s%s%s", forms.narrow.c_str(),
            static_cast<int>(env->GetArrayLength(bytes)), location->archive.c_str(),
            location->archive.empty() ? "" : "!", location->name.c_str());
    } else {
      trace("class %s: not in the payload", forms.narrow.c_str());
    }
  }
  return bytes;
}

// The code source that the loader gives the class file at `location` (the
// archive's entry path with '/' separators, empty for the top of the
// payload, and the entry's name), through its codeSourceFor(String,
// String); null when the loader has none to give.
jobject codeSourceFor(JNIEnv* env, jclass loaderClass, jobject loader, const EntryLocation& location) {
  jmethodID method = env->GetMethodID(loaderClass, "codeSourceFor",
                                      "(Ljava/lang/String;Ljava/lang/String;)Ljava/security/CodeSource;");
  if (method == nullptr) {
    clearPendingException(env, false);
    return nullptr;
  }
  jstring archive = newStringFromNarrow(env, withSlashes(location.archive));
  jstring entry = archive != nullptr ? newStringFromNarrow(env, location.name) : nullptr;
  jobject source = entry != nullptr ? env->CallObjectMethod(loader, method, archive, entry) : nullptr;
  clearPendingException(env, true);
  if (entry != nullptr) env->DeleteLocalRef(entry);
  if (archive != nullptr) env->DeleteLocalRef(archive);
  return source;
}

jclass defineFromArchive(JNIEnv* env, jobject self, jstring name, bool searchNested, bool withPackage) {
  jclass loaderClass = env->GetObjectClass(self);
  jmethodID define = env->GetMethodID(loaderClass, "defineClass", "(Ljava/lang/String;[BII)Ljava/lang/Class;");
  if (define == nullptr) {
    // The runtime's NoSuchMethodError stays pending for the caller.
    env->DeleteLocalRef(loaderClass);
    return nullptr;
  }
  const bool withCodeSource = codeSourcesWanted();
  EntryLocation location;
  jbyteArray bytes = readClassFile(env, name, searchNested, withCodeSource || traceEnabled() ? &location : nullptr);
  if (bytes != nullptr && withPackage) definePackageIfAbsent(env, loaderClass, self, name);
  // With a code source, the class is defined with the code source of its
  // entry; the loader keeps one protection domain per code source.
  jobject source = bytes != nullptr && withCodeSource ? codeSourceFor(env, loaderClass, self, location) : nullptr;
  jmethodID defineWithSource =
      source != nullptr ? env->GetMethodID(loaderClass, "defineClass",
                                           "(Ljava/lang/String;[BIILjava/security/CodeSource;)Ljava/lang/Class;")
                        : nullptr;
  if (source != nullptr && defineWithSource == nullptr) clearPendingException(env, false);
  env->DeleteLocalRef(loaderClass);
  if (bytes == nullptr) return nullptr;
  const jsize length = env->GetArrayLength(bytes);
  // A class that cannot be defined leaves the runtime's error pending; the
  // loader's Java code turns it into a ClassNotFoundException.
  jclass defined =
      defineWithSource != nullptr
          ? static_cast<jclass>(env->CallObjectMethod(self, defineWithSource, name, bytes, 0, length, source))
          : static_cast<jclass>(env->CallObjectMethod(self, define, name, bytes, 0, length));
  if (source != nullptr) env->DeleteLocalRef(source);
  env->DeleteLocalRef(bytes);
  return defined;
}

// The runtime's map from the packages of the boot layer's modules to their
// modules, which its built-in class loaders consult before anything else: a
// class whose package is in it is looked for in that module only, never on
// the class path. Taken once; null on a runtime that has none (Java 8) or
// keeps it elsewhere, and then no package counts as the boot layer's.
struct BootLayerPackages {
  jobject map = nullptr;  // a global reference
  jmethodID containsKey = nullptr;
};

std::mutex bootLayerLock;
std::atomic<bool> bootLayerKnown{false};
BootLayerPackages bootLayer;

const BootLayerPackages& bootLayerPackages(JNIEnv* env) {
  if (bootLayerKnown.load(std::memory_order_acquire)) return bootLayer;
  std::lock_guard<std::mutex> guard(bootLayerLock);
  if (bootLayerKnown.load(std::memory_order_relaxed)) return bootLayer;
  jclass loaderClass = env->FindClass("jdk/internal/loader/BuiltinClassLoader");
  jfieldID field =
      loaderClass != nullptr ? env->GetStaticFieldID(loaderClass, "packageToModule", "Ljava/util/Map;") : nullptr;
  jobject map = field != nullptr ? env->GetStaticObjectField(loaderClass, field) : nullptr;
  jclass mapClass = map != nullptr ? env->FindClass("java/util/Map") : nullptr;
  bootLayer.containsKey =
      mapClass != nullptr ? env->GetMethodID(mapClass, "containsKey", "(Ljava/lang/Object;)Z") : nullptr;
  if (bootLayer.containsKey != nullptr) bootLayer.map = env->NewGlobalRef(map);
  clearPendingException(env, false);
  trace("boot layer packages: %s", bootLayer.map != nullptr
                                       ? "the runtime's module map; their classes are not served from the payload"
                                       : "none (a runtime without modules)");
  if (mapClass != nullptr) env->DeleteLocalRef(mapClass);
  if (map != nullptr) env->DeleteLocalRef(map);
  if (loaderClass != nullptr) env->DeleteLocalRef(loaderClass);
  bootLayerKnown.store(true, std::memory_order_release);
  return bootLayer;
}

}  // namespace

void definePackageIfAbsent(JNIEnv* env, jclass loaderClass, jobject loader, jstring name) {
  const char* chars = env->GetStringUTFChars(name, nullptr);
  if (chars == nullptr) {
    env->ExceptionClear();
    return;
  }
  const std::string className = chars;
  env->ReleaseStringUTFChars(name, chars);
  const size_t dot = className.rfind('.');
  if (dot == std::string::npos || dot == 0) return;
  jstring packageName = env->NewStringUTF(className.substr(0, dot).c_str());
  if (packageName == nullptr) {
    env->ExceptionClear();
    return;
  }
  jmethodID getPackage = env->GetMethodID(loaderClass, "getPackage", "(Ljava/lang/String;)Ljava/lang/Package;");
  jobject package = getPackage != nullptr ? env->CallObjectMethod(loader, getPackage, packageName) : nullptr;
  clearPendingException(env, false);
  if (package == nullptr) {
    jmethodID definePackage = env->GetMethodID(loaderClass, "definePackage",
                                               "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/"
                                               "String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/"
                                               "net/URL;)Ljava/lang/Package;");
    if (definePackage != nullptr) {
      package = env->CallObjectMethod(loader, definePackage, packageName, nullptr, nullptr, nullptr, nullptr, nullptr,
                                      nullptr, nullptr);
    }
    // Another thread may have defined it meanwhile; that is no error here.
    clearPendingException(env, false);
  }
  if (package != nullptr) env->DeleteLocalRef(package);
  env->DeleteLocalRef(packageName);
}

}  // namespace xoq

extern "C" {

JNIEXPORT jclass JNICALL Java_com_tarvolin_xoq_HolvaneClassLoader_defineClass(JNIEnv* env, jobject self, jstring name) {
  return xoq::defineFromArchive(env, self, name, true, false);
}

JNIEXPORT jclass JNICALL Java_com_tarvolin_xoq_HolvaneClassLoader_findClass(JNIEnv* env, jobject self, jstring name) {
  return xoq::defineFromArchive(env, self, name, false, true);
}

JNIEXPORT jboolean JNICALL Java_com_tarvolin_xoq_HolvaneClassLoader_packageInBootLayer(JNIEnv* env, jclass,
                                                                                       jstring packageName) {
  const xoq::BootLayerPackages& packages = xoq::bootLayerPackages(env);
  if (packages.map == nullptr || packageName == nullptr) return JNI_FALSE;
  const jboolean owned = env->CallBooleanMethod(packages.map, packages.containsKey, packageName);
  xoq::clearPendingException(env, false);
  return owned;
}
}
