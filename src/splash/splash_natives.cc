#include "splash/splash_natives.h"

#include <atomic>

#include "runtime/vm_context.h"
#include "splash/splash_window.h"

namespace {

// The facade handed to Java, made once and kept until the process ends.
std::atomic<jobject> nativeFacade{nullptr};

bool splashWindowShowing() { return xoq::liveSplashShowing(); }

}  // namespace

extern "C" JNIEXPORT jobject JNICALL Java_com_tarvolin_xoq_SplashScreen_nativeGetSplashScreen(JNIEnv* env,
                                                                                              jclass type) {
  if (!splashWindowShowing()) return nullptr;
  jobject existing = nativeFacade.load();
  if (existing != nullptr) return existing;
  jmethodID constructor = env->GetMethodID(type, "<init>", "()V");
  jobject created = constructor != nullptr ? env->NewObject(type, constructor) : nullptr;
  if (created == nullptr) {
    xoq::clearPendingException(env, false);
    return nullptr;
  }
  jobject global = env->NewGlobalRef(created);
  env->DeleteLocalRef(created);
  if (global == nullptr) return nullptr;
  // Two threads asking at once both make one; the first kept wins, so that
  // every caller gets the same object and none is leaked.
  if (!nativeFacade.compare_exchange_strong(existing, global)) {
    env->DeleteGlobalRef(global);
    return existing;
  }
  return global;
}

extern "C" JNIEXPORT void JNICALL Java_com_tarvolin_xoq_SplashScreen_nativeAutoClose(JNIEnv*, jobject, jint ms) {
  xoq::scheduleLiveSplashClose(ms);
}

extern "C" JNIEXPORT void JNICALL Java_com_tarvolin_xoq_SplashScreen_nativeClose(JNIEnv*, jobject) {
  xoq::closeLiveSplash();
}
