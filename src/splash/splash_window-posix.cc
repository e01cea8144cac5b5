// A Linux launcher has no splash window of its own: its splash is the Java
// runtime's (runtime_splash.h). Every operation finds no splash.
#include "splash/splash_window.h"

namespace xoq {

LiveSplash::LiveSplash() {}

LiveSplash::~LiveSplash() {}

SplashWindow* LiveSplash::get() const { return nullptr; }

void* loadSplashBitmap() { return nullptr; }

bool startSplashWindow(void*, const std::string&) { return false; }

void scheduleSplashClose(SplashWindow*, int32_t) {}

void* splashOwnerWindow(SplashWindow*) { return nullptr; }

bool splashShowing(SplashWindow*) { return false; }

void closeSplashWindow(SplashWindow*) {}

void scheduleAutomaticSplashClose(int32_t) {}

}  // namespace xoq
