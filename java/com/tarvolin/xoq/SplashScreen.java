package com.tarvolin.xoq;

import java.lang.reflect.Method;
import java.util.Timer;
import java.util.TimerTask;

/**
 * The application's one way to close the splash screen, or to have it closed
 * after a delay, whichever kind is showing: the Java runtime's own splash
 * (reached through java.awt.SplashScreen) or the launcher's native splash
 * window (reached through the natives).
 */
public final class SplashScreen {
    /*
     * Everything static below is guarded by the class's monitor: the
     * application's threads, the event dispatch thread (SplashCloseOnWindow)
     * and the close timer's thread all get here, and they must all see one
     * facade and one timer.
     */
    /** The one facade; null until a splash was found. */
    private static SplashScreen self;
    /** Daemon timer for the delayed closing of a runtime splash; null when none. */
    private static Timer autoCloseTimer;
    /** The last scheduled close task. */
    private static TimerTask autoCloseTask;

    static {
        NativeLibrary.load(SplashScreen.class);
    }

    /** The java.awt.SplashScreen, or null for the native splash. */
    private Object awtSplash;

    public SplashScreen() {
        awtSplash = null;
    }

    /**
     * The splash screen that is showing, or null when there is none; a null
     * result is not kept, so the next call looks again.
     */
    public static synchronized SplashScreen getSplashScreen() {
        SplashScreen found = self;
        if (found != null) {
            return found;
        }
        try {
            Class<?> type = ClassLoader.getSystemClassLoader().loadClass("java.awt.SplashScreen");
            if (type != null) {
                Object splash = type.getMethod("getSplashScreen").invoke(null);
                if (splash != null) {
                    found = new SplashScreen();
                    found.awtSplash = splash;
                    self = found;
                    return found;
                }
            }
        } catch (Exception noRuntimeSplash) {
            // No java.awt, a headless runtime, or no splash of its own: the
            // native splash window may still be there.
        }
        found = nativeGetSplashScreen();
        self = found;
        return found;
    }

    /**
     * Closes the splash after ms milliseconds; 0 closes it now, a negative
     * value cancels a pending close (for the native splash also the
     * launcher's own).
     */
    public void autoClose(int ms) {
        synchronized (SplashScreen.class) {
            autoCloseLocked(ms);
        }
    }

    private void autoCloseLocked(int ms) {
        if (awtSplash == null) {
            nativeAutoClose(ms);
        } else if (ms > 0) {
            if (autoCloseTask != null) {
                autoCloseTask.cancel();
            }
            if (autoCloseTimer == null) {
                autoCloseTimer = new Timer(true);
            }
            autoCloseTask = new TimerTask() {
                @Override
                public void run() {
                    close();
                }
            };
            autoCloseTimer.schedule(autoCloseTask, ms);
        } else if (ms == 0) {
            closeLocked();
        } else if (autoCloseTimer != null) {
            autoCloseTimer.cancel();
            autoCloseTimer = null;
        }
    }

    /** Closes the splash now; a splash that is already gone is no error. */
    public void close() {
        synchronized (SplashScreen.class) {
            closeLocked();
        }
    }

    private void closeLocked() {
        if (awtSplash == null) {
            nativeClose();
            return;
        }
        if (autoCloseTimer != null) {
            autoCloseTimer.cancel();
            autoCloseTimer = null;
        }
        try {
            Method closeMethod = awtSplash.getClass().getMethod("close");
            closeMethod.invoke(awtSplash);
        } catch (Exception alreadyClosed) {
            // closed already, by the runtime or the user
        }
    }

    protected static native SplashScreen nativeGetSplashScreen();

    protected native void nativeAutoClose(int ms);

    protected native void nativeClose();
}
