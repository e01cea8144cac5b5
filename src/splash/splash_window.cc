#include "splash/splash_window.h"

namespace xoq {

void* liveSplashOwner() { return splashOwnerWindow(LiveSplash().get()); }

bool liveSplashShowing() { return splashShowing(LiveSplash().get()); }

void scheduleLiveSplashClose(int32_t delayMs) { scheduleSplashClose(LiveSplash().get(), delayMs); }

void closeLiveSplash() { closeSplashWindow(LiveSplash().get()); }

}  // namespace xoq
