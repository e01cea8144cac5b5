#include "runtime/main_class.h"

#include "base/trace.h"
#include "config/arguments.h"
#include "config/string_list.h"
#include "platform/text_encoding.h"
#include "runtime/java_strings.h"
#include "runtime/vm_context.h"

namespace xoq {

namespace {

const char kLoaderClass[] = "com/tarvolin/xoq/HolvaneClassLoader";

// Makes `loader` the context class loader of the current thread. Failures
// are printed, except a missing Thread class, which is only cleared.
void setContextClassLoader(JNIEnv* env, jobject loader) {
  jclass threadClass = env->FindClass("java/lang/Thread");
  if (threadClass == nullptr) {
    clearPendingException(env, false);
    return;
  }
  jmethodID currentThread = env->GetStaticMethodID(threadClass, "currentThread", "()Ljava/lang/Thread;");
  jmethodID setLoader = env->GetMethodID(threadClass, "setContextClassLoader", "(Ljava/lang/ClassLoader;)V");
  jobject thread = nullptr;
  if (currentThread != nullptr && setLoader != nullptr) {
    thread = env->CallStaticObjectMethod(threadClass, currentThread);
  }
  if (thread != nullptr) {
    env->CallVoidMethod(thread, setLoader, loader);
    env->DeleteLocalRef(thread);
  }
  clearPendingException(env, true);
  env->DeleteLocalRef(threadClass);
}

// Hands the exception pending on this thread to the thread's uncaught-
// exception handler, as the runtime does for a thread whose run() ends by
// one: crash reporters and error dialogs see it, and without a handler of
// the application's the thread group prints it as java does. What the
// handler itself throws is printed. Returns whether one was pending.
bool dispatchUncaughtException(JNIEnv* env) {
  jthrowable thrown = env->ExceptionOccurred();
  if (thrown == nullptr) return false;
  env->ExceptionClear();
  jclass threadClass = env->FindClass("java/lang/Thread");
  jclass handlerClass = threadClass != nullptr ? env->FindClass("java/lang/Thread$UncaughtExceptionHandler") : nullptr;
  jmethodID currentThread =
      handlerClass != nullptr ? env->GetStaticMethodID(threadClass, "currentThread", "()Ljava/lang/Thread;") : nullptr;
  jmethodID getHandler = currentThread != nullptr ? env->GetMethodID(threadClass, "getUncaughtExceptionHandler",
                                                                     "()Ljava/lang/Thread$UncaughtExceptionHandler;")
                                                  : nullptr;
  jmethodID uncaught = getHandler != nullptr ? env->GetMethodID(handlerClass, "uncaughtException",
                                                                "(Ljava/lang/Thread;Ljava/lang/Throwable;)V")
                                             : nullptr;
  jobject thread = uncaught != nullptr ? env->CallStaticObjectMethod(threadClass, currentThread) : nullptr;
  jobject handler = thread != nullptr ? env->CallObjectMethod(thread, getHandler) : nullptr;
  if (handler != nullptr) {
    env->CallVoidMethod(handler, uncaught, thread, thrown);
    clearPendingException(env, true);
  } else {
    // Nobody to hand it to: the runtime prints it.
    clearPendingException(env, false);
    env->Throw(thrown);
    clearPendingException(env, true);
  }
  if (handler != nullptr) env->DeleteLocalRef(handler);
  if (thread != nullptr) env->DeleteLocalRef(thread);
  if (handlerClass != nullptr) env->DeleteLocalRef(handlerClass);
  if (threadClass != nullptr) env->DeleteLocalRef(threadClass);
  env->DeleteLocalRef(thrown);
  return true;
}

}  // namespace

jobject systemClassLoader(JNIEnv* env) {
  jclass classLoader = env->FindClass("java/lang/ClassLoader");
  if (classLoader == nullptr) {
    clearPendingException(env, false);
    return nullptr;
  }
  jobject loader = nullptr;
  jmethodID get = env->GetStaticMethodID(classLoader, "getSystemClassLoader", "()Ljava/lang/ClassLoader;");
  if (get != nullptr) loader = env->CallStaticObjectMethod(classLoader, get);
  clearPendingException(env, false);
  env->DeleteLocalRef(classLoader);
  return loader;
}

jclass loadMainClass(JNIEnv* env, const std::string& mainClassName, bool asSystemLoader) {
  jclass loaderClass = env->FindClass(kLoaderClass);
  if (loaderClass == nullptr) {
    clearPendingException(env, false);
    trace("main class: the launcher's class loader is missing");
    return nullptr;
  }
  jmethodID loadClass = env->GetMethodID(loaderClass, "loadClass", "(Ljava/lang/String;)Ljava/lang/Class;");
  if (loadClass == nullptr) {
    clearPendingException(env, false);
    env->DeleteLocalRef(loaderClass);
    return nullptr;
  }

  jobject loader = nullptr;
  if (asSystemLoader) {
    loader = systemClassLoader(env);
    if (loader != nullptr && !env->IsInstanceOf(loader, loaderClass)) {
      env->DeleteLocalRef(loader);
      loader = nullptr;
    }
    trace("main class loader: %s", loader != nullptr ? "the system class loader"
                                                     : "a new one (the system class "
                                                       "loader is another)");
  }
  if (loader == nullptr) {
    jmethodID constructor = env->GetMethodID(loaderClass, "<init>", "()V");
    if (constructor != nullptr) loader = env->NewObject(loaderClass, constructor);
    if (loader == nullptr) {
      clearPendingException(env, false);
      env->DeleteLocalRef(loaderClass);
      return nullptr;
    }
    setContextClassLoader(env, loader);
  }

  // The name is in the narrow form, which NewStringUTF would misread for
  // anything beyond ASCII.
  jstring name = newStringFromNarrow(env, mainClassName);
  jclass found = name != nullptr ? static_cast<jclass>(env->CallObjectMethod(loader, loadClass, name)) : nullptr;
  if (found == nullptr) clearPendingException(env, true);  // shows the ClassNotFoundException
  if (name != nullptr) env->DeleteLocalRef(name);
  env->DeleteLocalRef(loader);
  env->DeleteLocalRef(loaderClass);
  return found;
}

jobjectArray buildArgumentArray(JNIEnv* env, const std::vector<std::string>& configured, int32_t argumentCount,
                                char** arguments, int32_t extraArgumentCount, char** extraArguments) {
  std::vector<const char*> all;
  for (const std::string& token : configured) all.push_back(token.c_str());
  for (int32_t i = 0; i < argumentCount; ++i) all.push_back(arguments[i]);
  for (int32_t i = 0; i < extraArgumentCount; ++i) all.push_back(extraArguments[i]);

  jclass stringClass = env->FindClass("java/lang/String");
  if (stringClass == nullptr) {
    clearPendingException(env, false);
    return nullptr;
  }
  jobjectArray array = env->NewObjectArray(static_cast<jsize>(all.size()), stringClass, nullptr);
  for (size_t i = 0; array != nullptr && i < all.size(); ++i) {
    jstring value = newStringFromNarrow(env, all[i]);
    if (value == nullptr) {
      // Out of memory: no array rather than one with holes.
      env->DeleteLocalRef(array);
      array = nullptr;
      break;
    }
    env->SetObjectArrayElement(array, static_cast<jsize>(i), value);
    env->DeleteLocalRef(value);
  }
  env->DeleteLocalRef(stringClass);
  return array;
}

int runMainClass(VmContext& context, const std::string& mainClassName, bool asSystemLoader,
                 const StringList& configuredArguments, int32_t argumentCount, char** arguments,
                 int32_t extraArgumentCount, char** extraArguments) {
  JNIEnv* env = context.env;
  jclass mainClass = loadMainClass(env, mainClassName, asSystemLoader);
  if (mainClass == nullptr) {
    trace("main class %s: not loaded", mainClassName.c_str());
    return 7;
  }
  jmethodID mainMethod = env->GetStaticMethodID(mainClass, "main", "([Ljava/lang/String;)V");
  if (mainMethod == nullptr) {
    clearPendingException(env, true);
    env->DeleteLocalRef(mainClass);
    trace("main class %s: no static main(String[])", mainClassName.c_str());
    return 8;
  }

  // Each argv line may hold several arguments, split like a command line.
  std::vector<std::string> configured;
  for (size_t i = 0; i < configuredArguments.size(); ++i) {
    const std::vector<std::string> tokens = splitArgumentLine(configuredArguments.str(i));
    configured.insert(configured.end(), tokens.begin(), tokens.end());
  }
  jobjectArray array =
      buildArgumentArray(env, configured, argumentCount, arguments, extraArgumentCount, extraArguments);
  if (array == nullptr) {
    // Only the runtime running out of memory gets here; main is not called
    // with a missing argument array, and the launch counts as failed.
    clearPendingException(env, true);
    env->DeleteLocalRef(mainClass);
    trace("main class %s: the argument array could not be made", mainClassName.c_str());
    return 7;
  }
  trace("calling %s.main with %zu arguments", mainClassName.c_str(),
        configured.size() + static_cast<size_t>(argumentCount) + static_cast<size_t>(extraArgumentCount));
  env->CallStaticVoidMethod(mainClass, mainMethod, array);
  // An exception that escaped main goes to the thread's handler; the launch
  // still counts as done, but the process will end with 1 once the other
  // threads are done.
  context.mainThrew = dispatchUncaughtException(env);
  trace(context.mainThrew ? "main ended by an exception" : "main returned");
  if (array != nullptr) env->DeleteLocalRef(array);
  env->DeleteLocalRef(mainClass);
  return 0;
}

uint32_t exitCodeAfterMain(const VmContext& context, uint32_t launchResult) {
  return launchResult == 0 && context.mainThrew ? 1 : launchResult;
}

void installSplashCloseOnWindow(JNIEnv* env) {
  jclass toolkitClass = env->FindClass("java/awt/Toolkit");
  jclass listenerClass = nullptr;
  jobject toolkit = nullptr;
  jobject listener = nullptr;
  bool installed = false;
  if (toolkitClass != nullptr) {
    jmethodID getDefault = env->GetStaticMethodID(toolkitClass, "getDefaultToolkit", "()Ljava/awt/Toolkit;");
    if (getDefault != nullptr) toolkit = env->CallStaticObjectMethod(toolkitClass, getDefault);
  }
  if (toolkit != nullptr) listenerClass = env->FindClass("com/tarvolin/xoq/SplashCloseOnWindow");
  if (listenerClass != nullptr) {
    jmethodID add = env->GetMethodID(toolkitClass, "addAWTEventListener", "(Ljava/awt/event/AWTEventListener;J)V");
    // A failed lookup leaves its exception pending: no further call then.
    jmethodID constructor = add != nullptr ? env->GetMethodID(listenerClass, "<init>", "()V") : nullptr;
    if (constructor != nullptr) listener = env->NewObject(listenerClass, constructor);
    if (listener != nullptr) {
      // 64 is AWTEvent.WINDOW_EVENT_MASK.
      env->CallVoidMethod(toolkit, add, listener, static_cast<jlong>(64));
      installed = !env->ExceptionCheck();
    }
  }
  clearPendingException(env, false);
  trace("splash close on window: %s", installed ? "listening" : "not available");
  if (listener != nullptr) env->DeleteLocalRef(listener);
  if (listenerClass != nullptr) env->DeleteLocalRef(listenerClass);
  if (toolkit != nullptr) env->DeleteLocalRef(toolkit);
  if (toolkitClass != nullptr) env->DeleteLocalRef(toolkitClass);
}

void callSystemExit(JNIEnv* env, int status) {
  jclass system = env->FindClass("java/lang/System");
  if (system == nullptr) {
    clearPendingException(env, false);
    return;
  }
  jmethodID exitMethod = env->GetStaticMethodID(system, "exit", "(I)V");
  if (exitMethod != nullptr) env->CallStaticVoidMethod(system, exitMethod, static_cast<jint>(status));
  clearPendingException(env, false);
  env->DeleteLocalRef(system);
}

}  // namespace xoq
