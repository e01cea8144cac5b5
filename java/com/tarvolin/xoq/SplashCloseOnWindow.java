package com.tarvolin.xoq;

import java.awt.AWTEvent;
import java.awt.event.AWTEventListener;

/**
 * Closes the splash screen when the application's first window opens. The
 * launcher registers one for the window events when splashcloseonwindow is
 * true.
 */
public class SplashCloseOnWindow implements AWTEventListener {
    /** WindowEvent.WINDOW_OPENED. */
    private static final int WINDOW_OPENED = 200;

    public SplashCloseOnWindow() {
    }

    @Override
    public void eventDispatched(AWTEvent event) {
        if (event.getID() != WINDOW_OPENED) {
            return;
        }
        SplashScreen splash = SplashScreen.getSplashScreen();
        if (splash != null) {
            splash.close();
        }
    }
}
