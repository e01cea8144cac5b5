// The natives of com.tarvolin.xoq.SplashScreen: the application's way to the
// launcher's native splash window. They find no splash on Linux, which has
// none.
#ifndef XOQ_SPLASH_SPLASH_NATIVES_H_
#define XOQ_SPLASH_SPLASH_NATIVES_H_

#include <jni.h>

extern "C" {

/// nativeGetSplashScreen(): the one SplashScreen object of the process
/// (made with the class's no-argument constructor on the first call that
/// finds a native splash window, then kept); null without a splash window.
JNIEXPORT jobject JNICALL Java_com_tarvolin_xoq_SplashScreen_nativeGetSplashScreen(JNIEnv* env, jclass type);

/// nativeAutoClose(int ms): closes the splash window `ms` milliseconds from
/// now, or only cancels a pending close when `ms` is negative; either way
/// the launcher's own automatic close no longer applies.
JNIEXPORT void JNICALL Java_com_tarvolin_xoq_SplashScreen_nativeAutoClose(JNIEnv* env, jobject self, jint ms);

/// nativeClose(): closes the splash window now.
JNIEXPORT void JNICALL Java_com_tarvolin_xoq_SplashScreen_nativeClose(JNIEnv* env, jobject self);
}

#endif  // XOQ_SPLASH_SPLASH_NATIVES_H_
