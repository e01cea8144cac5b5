// The launcher's own splash window: bitmap resource 100 of the executable in
// a borderless popup, centred on the screen, owned by a thread of its own so
// that it keeps painting while the runtime starts. Windows only; a Linux
// launcher has no native splash window, and there every operation below finds
// no splash and does nothing.
//
// Lifetime: the splash thread frees its SplashWindow when the window has
// ended, while the launcher's threads and the runtime's threads (through the
// splash natives) may be about to use it. Every use therefore goes through a
// LiveSplash, which holds the splash lock for as long as it exists: the
// splash thread takes the same lock to withdraw the object before it frees
// anything, so a SplashWindow obtained from a LiveSplash stays valid while
// that LiveSplash is in scope. Nothing done under the lock waits for the
// splash thread (timers are set and messages posted, never sent), nor for
// anything else: the launcher and the natives use the one-shot functions
// below, which hold the lock for their own call only.
#ifndef XOQ_SPLASH_SPLASH_WINDOW_H_
#define XOQ_SPLASH_SPLASH_WINDOW_H_

#include <cstdint>
#include <string>

namespace xoq {

/// The one native splash of the process (defined by the Windows
/// implementation only).
class SplashWindow;

/// Holds the splash lock while it exists and gives the live splash.
class LiveSplash {
 public:
  LiveSplash();
  ~LiveSplash();
  LiveSplash(const LiveSplash&) = delete;
  LiveSplash& operator=(const LiveSplash&) = delete;

  /// The live splash (currentSplash), null when there is none. Valid until
  /// this object goes away; a temporary LiveSplash lives to the end of the
  /// full expression, so `scheduleSplashClose(LiveSplash().get(), 100)` is
  /// safe.
  SplashWindow* get() const;
};

/// The executable's bitmap resource 100 (a bitmap handle), or null when it
/// has none; always null on Linux.
void* loadSplashBitmap();

/// Shows `bitmap` (owned from now on) in the splash window titled `title`,
/// on a new splash thread, and waits until the thread has tried to create the
/// window (at most 30 s). True when the window is showing. Always false on
/// Linux. An empty title makes a tool window without a taskbar button.
bool startSplashWindow(void* bitmap, const std::string& title);

/// Arms, re-arms or cancels the close timer of `splash` (from a LiveSplash):
/// with `delayMs` 0 or more the window closes that many milliseconds after
/// this call, replacing any earlier delay; a negative delay only cancels a
/// pending close. Either way the splash counts as having its close
/// scheduled. Nothing when `splash` is null or has no window.
void scheduleSplashClose(SplashWindow* splash, int32_t delayMs);

/// The window handle of `splash` (from a LiveSplash), for owning message
/// boxes; null when there is no splash window.
void* splashOwnerWindow(SplashWindow* splash);

/// Whether `splash` (from a LiveSplash) is on the screen: it has a window
/// that has not begun to close.
bool splashShowing(SplashWindow* splash);

/// Asks the window of `splash` (from a LiveSplash) to close now; nothing
/// when there is none.
void closeSplashWindow(SplashWindow* splash);

/// The window handle of the live splash, for owning a message box; null
/// when there is none. The lock is held for the read only: the window may
/// end before the handle is used (a box shown with it then goes without an
/// owner).
void* liveSplashOwner();

/// splashShowing for the live splash: what the application's
/// SplashScreen.getSplashScreen() goes by.
bool liveSplashShowing();

/// scheduleSplashClose for the live splash, if any.
void scheduleLiveSplashClose(int32_t delayMs);

/// closeSplashWindow for the live splash, if any.
void closeLiveSplash();

/// The launcher's own close schedule: schedules the live splash to close
/// after `delayMs` unless the application has already scheduled or
/// cancelled its closing, and leaves it counted as not scheduled, so that
/// the next automatic schedule applies as well.
void scheduleAutomaticSplashClose(int32_t delayMs);

}  // namespace xoq

#endif  // XOQ_SPLASH_SPLASH_WINDOW_H_
