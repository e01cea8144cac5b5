#include "archive/class_natives.h"

#include <string>

#include "archive/entry_array.h"
#include "archive/name_forms.h"
#include "archive/payload_archive.h"
#include "launcher/trace.h"
#include "runtime/vm_context.h"

namespace xoq {

namespace {

// The class file bytes of class `name`, narrow form first.
jbyteArray readClassFile(JNIEnv* env, jstring name, bool searchNested) {
  const ArchiveNode& archive = ensurePayloadArchiveOpen();
  NameForms forms = makeNameForms(env, name);
  if (!forms.ok) return nullptr;
  forms.replace('.', '\\');
  forms.narrow += ".class";
  forms.utf8 += ".class";
  jbyteArray bytes = readEntryArray(env, archive, forms.narrow, searchNested);
  if (bytes == nullptr && forms.differ()) bytes = readEntryArray(env, archive, forms.utf8, searchNested);
  if (traceEnabled()) {
    if (bytes != nullptr) {
      trace("class %s: served from the payload (%d bytes)", forms.narrow.c_str(),
            static_cast<int>(env->GetArrayLength(bytes)));
    } else {
      trace("class %s: not in the payload", forms.narrow.c_str());
    }
  }
  return bytes;
}

jclass defineFromArchive(JNIEnv* env, jobject self, jstring name, bool searchNested, bool withPackage) {
  jclass loaderClass = env->GetObjectClass(self);
  jmethodID define = env->GetMethodID(loaderClass, "defineClass", "(Ljava/lang/String;[BII)Ljava/lang/Class;");
  if (define == nullptr) {
    // The runtime's NoSuchMethodError stays pending for the caller.
    env->DeleteLocalRef(loaderClass);
    return nullptr;
  }
  jbyteArray bytes = readClassFile(env, name, searchNested);
  if (bytes != nullptr && withPackage) definePackageIfAbsent(env, loaderClass, self, name);
  env->DeleteLocalRef(loaderClass);
  if (bytes == nullptr) return nullptr;
  const jsize length = env->GetArrayLength(bytes);
  // A class that cannot be defined leaves the runtime's error pending; the
  // loader's Java code turns it into a ClassNotFoundException.
  jclass defined = static_cast<jclass>(env->CallObjectMethod(self, define, name, bytes, 0, length));
  env->DeleteLocalRef(bytes);
  return defined;
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
}
