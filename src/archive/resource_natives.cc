#include "archive/resource_natives.h"

#include <atomic>
#include <vector>

#include "archive/entry_array.h"
#include "archive/name_forms.h"
#include "archive/native_settings.h"
#include "archive/payload_archive.h"
#include "base/trace.h"
#include "config/ascii.h"
#include "config/config_store.h"
#include "platform/text_encoding.h"
#include "runtime/java_strings.h"
#include "runtime/vm_context.h"

namespace xoq {

namespace {

// The one Handler given to every URL the natives make. Two threads arriving
// together may both make one; the first stored is kept and the other
// reference released.
std::atomic<jobject> handlerInstance{nullptr};

void describeAndClear(JNIEnv* env) {
  if (env->ExceptionCheck()) {
    env->ExceptionDescribe();
    env->ExceptionClear();
  }
}

jobject handler(JNIEnv* env) {
  jobject existing = handlerInstance.load(std::memory_order_acquire);
  if (existing != nullptr) return existing;
  jclass handlerClass = env->FindClass("com/tarvolin/xoq/Handler");
  jobject instance = nullptr;
  if (handlerClass != nullptr) {
    jmethodID constructor = env->GetMethodID(handlerClass, "<init>", "()V");
    if (constructor != nullptr) instance = env->NewObject(handlerClass, constructor);
  }
  if (instance == nullptr) {
    describeAndClear(env);
    if (handlerClass != nullptr) env->DeleteLocalRef(handlerClass);
    return nullptr;
  }
  jobject global = env->NewGlobalRef(instance);
  env->DeleteLocalRef(instance);
  env->DeleteLocalRef(handlerClass);
  jobject expected = nullptr;
  if (!handlerInstance.compare_exchange_strong(expected, global)) {
    env->DeleteGlobalRef(global);
    return expected;
  }
  return global;
}

// Calls the superclass's `name` method, taking one String, non-virtually.
jobject callSuper(JNIEnv* env, jobject self, const char* name, const char* signature, jstring argument) {
  jclass own = env->GetObjectClass(self);
  jclass super = env->GetSuperclass(own);
  jobject result = nullptr;
  if (super != nullptr) {
    jmethodID method = env->GetMethodID(super, name, signature);
    if (method != nullptr) result = env->CallNonvirtualObjectMethod(self, super, method, argument);
    env->DeleteLocalRef(super);
  }
  env->DeleteLocalRef(own);
  return result;
}

void collectPath(void* argument, const std::string& entryPath) {
  static_cast<std::vector<std::string>*>(argument)->push_back(entryPath);
}

}  // namespace

bool tryUrlEntryPaths(const NameForms& forms, void* argument, bool (*attempt)(std::string_view, void*)) {
  const std::string& narrow = forms.narrow;
  if (!startsWithIgnoringCase(narrow, "xoq:")) return false;
  if (attempt(std::string_view(narrow).substr(4), argument)) return true;
  if (forms.differ() && forms.utf8.size() >= 4 && attempt(std::string_view(forms.utf8).substr(4), argument)) {
    return true;
  }
  // The text may have been percent-encoded on its way through the runtime.
  const std::string decoded = urlDecode(narrow);
  if (decoded != narrow && decoded.size() >= 4 && attempt(std::string_view(decoded).substr(4), argument)) return true;
  // Escaped as a URI escapes it, where a '+' is a '+': the class loader's
  // own URLs, and a path's URI, for a name with a '+' and a blank or '%'.
  const std::string unescaped = urlDecode(narrow, false);
  return unescaped != narrow && unescaped != decoded && unescaped.size() >= 4 &&
         attempt(std::string_view(unescaped).substr(4), argument);
}

bool isRefusedClassFile(const std::string& name) {
  return endsWithIgnoringCase(name, ".class") && !classFilesReadable();
}

std::string urlDecode(const std::string& text, bool formEncoded) {
  std::string decoded;
  decoded.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '+' && formEncoded) {
      decoded += ' ';
    } else if (c == '%' && formEncoded && i + 1 < text.size() && text[i + 1] == '%') {
      decoded += '%';
      ++i;
    } else if (c == '%' && i + 2 < text.size() && hexDigitValue(text[i + 1]) >= 0 && hexDigitValue(text[i + 2]) >= 0) {
      decoded += static_cast<char>(hexDigitValue(text[i + 1]) * 16 + hexDigitValue(text[i + 2]));
      i += 2;
    } else {
      decoded += c;  // a '%' with fewer than two digits stays as it stands
    }
  }
  return decoded;
}

jobject makeResourceUrl(JNIEnv* env, const std::string& path, bool usedUtf8) {
  jobject urlHandler = handler(env);
  if (urlHandler == nullptr) return nullptr;
  // Handler escapes the names as it makes the URL.
  jclass handlerClass = env->GetObjectClass(urlHandler);
  jmethodID entryUrl = env->GetMethodID(handlerClass, "entryUrl", "(Ljava/lang/String;)Ljava/net/URL;");
  env->DeleteLocalRef(handlerClass);
  if (entryUrl == nullptr) {
    describeAndClear(env);
    return nullptr;
  }
  const std::string text = "xoq:" + path;
  jstring javaText = usedUtf8 ? newStringFromUtf8(env, text) : newStringFromNarrow(env, text);
  jobject url = javaText != nullptr ? env->CallObjectMethod(urlHandler, entryUrl, javaText) : nullptr;
  if (url == nullptr) describeAndClear(env);
  if (javaText != nullptr) env->DeleteLocalRef(javaText);
  return url;
}

void primeResourceNatives(const ConfigStore& config) { primeNativeSettings(config); }

void registerUrlHandlerPackage(JNIEnv* env) {
  jclass system = env->FindClass("java/lang/System");
  if (system == nullptr) {
    env->ExceptionClear();
    return;
  }
  jstring key = env->NewStringUTF("java.protocol.handler.pkgs");
  jmethodID getProperty = env->GetStaticMethodID(system, "getProperty", "(Ljava/lang/String;)Ljava/lang/String;");
  jmethodID setProperty =
      env->GetStaticMethodID(system, "setProperty", "(Ljava/lang/String;Ljava/lang/String;)Ljava/lang/String;");
  if (key != nullptr && getProperty != nullptr && setProperty != nullptr) {
    jstring current = static_cast<jstring>(env->CallStaticObjectMethod(system, getProperty, key));
    std::u16string value = u"com.tarvolin";
    if (current != nullptr) {
      const jsize length = env->GetStringLength(current);
      if (length > 0) {
        const jchar* units = env->GetStringChars(current, nullptr);
        if (units != nullptr) {
          value += u'|';
          value.append(reinterpret_cast<const char16_t*>(units), static_cast<size_t>(length));
          env->ReleaseStringChars(current, units);
        }
      }
      env->DeleteLocalRef(current);
    }
    jstring javaValue = env->NewString(reinterpret_cast<const jchar*>(value.data()), static_cast<jsize>(value.size()));
    jobject previous = env->CallStaticObjectMethod(system, setProperty, key, javaValue);
    if (previous != nullptr) env->DeleteLocalRef(previous);
    if (javaValue != nullptr) env->DeleteLocalRef(javaValue);
  }
  clearPendingException(env, false);
  if (key != nullptr) env->DeleteLocalRef(key);
  env->DeleteLocalRef(system);
}

}  // namespace xoq

extern "C" {

JNIEXPORT jobject JNICALL Java_com_tarvolin_xoq_HolvaneClassLoader_findResource(JNIEnv* env, jobject self,
                                                                                jstring name) {
  using namespace xoq;
  const ArchiveNode& archive = ensurePayloadArchiveOpen();
  NameForms forms = makeEntryPathForms(env, name);
  if (!forms.ok) return nullptr;
  const int32_t release = multiReleaseVersion(env, archive);
  std::string path;
  bool usedUtf8 = false;
  bool found = findEntryPaths(archive, forms.narrow, path, std::string(), nullptr, nullptr, release);
  if (!found && forms.differ()) {
    found = findEntryPaths(archive, forms.utf8, path, std::string(), nullptr, nullptr, release);
    usedUtf8 = found;
  }
  if (found) {
    return makeResourceUrl(env, withSlashes(path), usedUtf8);
  }
  return callSuper(env, self, "findResource", "(Ljava/lang/String;)Ljava/net/URL;", name);
}

JNIEXPORT jobject JNICALL Java_com_tarvolin_xoq_HolvaneClassLoader_findResources(JNIEnv* env, jobject self,
                                                                                 jstring name) {
  using namespace xoq;
  const ArchiveNode& archive = ensurePayloadArchiveOpen();
  jclass vectorClass = env->FindClass("java/util/Vector");
  jmethodID constructor = vectorClass != nullptr ? env->GetMethodID(vectorClass, "<init>", "()V") : nullptr;
  jmethodID add = vectorClass != nullptr ? env->GetMethodID(vectorClass, "add", "(Ljava/lang/Object;)Z") : nullptr;
  jmethodID elements =
      vectorClass != nullptr ? env->GetMethodID(vectorClass, "elements", "()Ljava/util/Enumeration;") : nullptr;
  jobject vector = constructor != nullptr && add != nullptr && elements != nullptr
                       ? env->NewObject(vectorClass, constructor)
                       : nullptr;
  if (vector == nullptr) {
    describeAndClear(env);
    if (vectorClass != nullptr) env->DeleteLocalRef(vectorClass);
    return nullptr;
  }

  NameForms forms = makeEntryPathForms(env, name);
  if (!forms.ok) return nullptr;
  std::vector<std::string> narrowPaths;
  std::vector<std::string> utf8Paths;
  std::string unused;
  const int32_t release = multiReleaseVersion(env, archive);
  findEntryPaths(archive, forms.narrow, unused, std::string(), collectPath, &narrowPaths, release);
  if (forms.differ()) findEntryPaths(archive, forms.utf8, unused, std::string(), collectPath, &utf8Paths, release);
  for (int pass = 0; pass < 2; ++pass) {
    for (const std::string& path : pass == 0 ? narrowPaths : utf8Paths) {
      jobject url = makeResourceUrl(env, withSlashes(path), pass == 1);
      env->CallBooleanMethod(vector, add, url);  // a null URL is added too
      if (url != nullptr) env->DeleteLocalRef(url);
    }
  }

  jobject inherited = callSuper(env, self, "findResources", "(Ljava/lang/String;)Ljava/util/Enumeration;", name);
  if (inherited != nullptr) {
    jclass enumerationClass = env->GetObjectClass(inherited);
    jmethodID hasMore = env->GetMethodID(enumerationClass, "hasMoreElements", "()Z");
    jmethodID next = env->GetMethodID(enumerationClass, "nextElement", "()Ljava/lang/Object;");
    while (hasMore != nullptr && next != nullptr && env->CallBooleanMethod(inherited, hasMore) &&
           !env->ExceptionCheck()) {
      jobject element = env->CallObjectMethod(inherited, next);
      if (env->ExceptionCheck()) break;
      env->CallBooleanMethod(vector, add, element);
      if (element != nullptr) env->DeleteLocalRef(element);
    }
    clearPendingException(env, true);
    env->DeleteLocalRef(enumerationClass);
    env->DeleteLocalRef(inherited);
  } else {
    // The superclass's IOException, if any, is the caller's to see.
    if (env->ExceptionCheck()) {
      env->DeleteLocalRef(vector);
      env->DeleteLocalRef(vectorClass);
      return nullptr;
    }
  }
  jobject result = env->CallObjectMethod(vector, elements);
  if (result == nullptr) describeAndClear(env);
  env->DeleteLocalRef(vector);
  env->DeleteLocalRef(vectorClass);
  return result;
}

JNIEXPORT jbyteArray JNICALL Java_com_tarvolin_xoq_Handler_loadResourceData(JNIEnv* env, jobject /*self*/,
                                                                            jstring url) {
  using namespace xoq;
  const ArchiveNode& archive = ensurePayloadArchiveOpen();
  NameForms forms = makeEntryPathForms(env, url);
  if (!forms.ok) return nullptr;
  const std::string& narrow = forms.narrow;
  if (!startsWithIgnoringCase(narrow, "xoq:")) return nullptr;
  // Class files are not resources unless the configuration says otherwise;
  // the class loader natives read them regardless. Libraries that read
  // class files (scanners, proxy generators) then fail quietly, so every
  // refusal is traced with the key that allows it.
  if (isRefusedClassFile(narrow)) {
    if (traceEnabled()) {
      trace("resource %s: a class file, read as empty: \"compatible true\" in the configuration allows it",
            withSlashes(narrow).c_str());
    }
    return env->NewByteArray(0);
  }
  struct Reading {
    JNIEnv* env;
    const ArchiveNode& archive;
    jbyteArray bytes;
  } reading{env, archive, nullptr};
  tryUrlEntryPaths(forms, &reading, [](std::string_view entryPath, void* argument) {
    Reading& target = *static_cast<Reading*>(argument);
    target.bytes = readEntryArray(target.env, target.archive, entryPath, false);
    return target.bytes != nullptr;
  });
  jbyteArray bytes = reading.bytes;
  if (traceEnabled()) {
    trace("resource %s: %s", narrow.c_str(), bytes != nullptr ? "served from the payload" : "not in the payload");
  }
  return bytes;
}
}
