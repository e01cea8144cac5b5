package splashapp;

import java.awt.EventQueue;
import java.awt.Frame;
import java.awt.Toolkit;
import java.awt.event.WindowEvent;
import java.io.File;
import java.lang.reflect.Method;
import javax.swing.JFrame;

/**
 * Drives the splash screen as an application would, one action per argument,
 * and prints what it sees as "key=value" lines:
 * dir:PATH (where step looks), report, step:NAME (prints "ready NAME" and
 * waits for the file go-NAME), autoClose:MS, close, sleep:MS, waitClosed,
 * frame, post:ID (a window event for a frame that is never shown), race
 * (threads that ask for the splash at once, first of all, and arm and cancel
 * its close; prints "race.same" and "race.errors").
 */
public final class Main {
    private static long lastAutoClose;
    private static File stepDirectory = new File(".");

    private Main() {
    }

    public static void main(String[] args) throws Exception {
        for (String action : args) {
            int colon = action.indexOf(':');
            String name = colon < 0 ? action : action.substring(0, colon);
            String value = colon < 0 ? "" : action.substring(colon + 1);
            if (name.equals("dir")) {
                stepDirectory = new File(value);
            } else if (name.equals("report")) {
                report();
            } else if (name.equals("step")) {
                step(value);
            } else if (name.equals("autoClose")) {
                lastAutoClose = System.nanoTime();
                call(xoqSplash(), "autoClose", Integer.parseInt(value));
            } else if (name.equals("close")) {
                call(xoqSplash(), "close", null);
            } else if (name.equals("race")) {
                race();
            } else if (name.equals("sleep")) {
                Thread.sleep(Long.parseLong(value));
            } else if (name.equals("waitClosed")) {
                waitClosed();
            } else if (name.equals("frame")) {
                EventQueue.invokeAndWait(new Runnable() {
                    @Override
                    public void run() {
                        JFrame frame = new JFrame("splash app frame");
                        frame.setSize(300, 200);
                        frame.setVisible(true);
                    }
                });
            } else if (name.equals("post")) {
                Frame hidden = new Frame("never shown");
                Toolkit.getDefaultToolkit().getSystemEventQueue()
                        .postEvent(new WindowEvent(hidden, Integer.parseInt(value)));
                EventQueue.invokeAndWait(new Runnable() {
                    @Override
                    public void run() {
                    }
                });
            } else {
                throw new IllegalArgumentException(action);
            }
        }
        System.out.flush();
        System.exit(0);
    }

    private static Object xoqSplash() throws Exception {
        return Class.forName("com.tarvolin.xoq.SplashScreen").getMethod("getSplashScreen").invoke(null);
    }

    private static void call(Object target, String method, Integer argument) throws Exception {
        if (target == null) {
            System.out.println(method + "=no splash");
            return;
        }
        if (argument == null) {
            target.getClass().getMethod(method).invoke(target);
        } else {
            Method m = target.getClass().getMethod(method, int.class);
            m.invoke(target, argument);
        }
    }

    private static void report() throws Exception {
        // Before java.awt.SplashScreen, which loads the library itself.
        System.out.println("splash.library.loaded=" + splashLibraryMapped());
        java.awt.SplashScreen awt = java.awt.SplashScreen.getSplashScreen();
        System.out.println("awt.splash=" + (awt != null));
        if (awt != null) {
            System.out.println("awt.visible=" + awt.isVisible());
            System.out.println("awt.size=" + awt.getSize().width + "x" + awt.getSize().height);
            java.net.URL url = awt.getImageURL();
            System.out.println("awt.url=" + url);
            if (url != null) {
                // What an application shows the image with.
                javax.swing.ImageIcon icon = new javax.swing.ImageIcon(url);
                System.out.println("awt.url.image=" + icon.getIconWidth() + "x" + icon.getIconHeight());
            }
        }
        Object first = xoqSplash();
        Object second = xoqSplash();
        System.out.println("xoq.splash=" + (first != null) + "," + (second != null));
        System.out.println("xoq.same=" + (first == second));
    }

    private static void race() throws Exception {
        final int threads = 8;
        final java.util.concurrent.CountDownLatch start = new java.util.concurrent.CountDownLatch(1);
        final Object[] seen = new Object[threads];
        final java.util.concurrent.atomic.AtomicInteger errors = new java.util.concurrent.atomic.AtomicInteger();
        Thread[] running = new Thread[threads];
        for (int i = 0; i < threads; i++) {
            final int index = i;
            running[i] = new Thread(new Runnable() {
                @Override
                public void run() {
                    try {
                        start.await();
                        Object splash = xoqSplash();
                        seen[index] = splash;
                        for (int round = 0; round < 2000; round++) {
                            call(splash, "autoClose", (round + index) % 2 == 0 ? 60000 : -1);
                        }
                    } catch (Throwable failed) {
                        errors.incrementAndGet();
                        failed.printStackTrace(System.out);
                    }
                }
            });
            running[i].start();
        }
        start.countDown();
        for (Thread thread : running) {
            thread.join();
        }
        // No close left pending.
        call(xoqSplash(), "autoClose", -1);
        boolean same = seen[0] != null;
        for (Object splash : seen) {
            same &= splash == seen[0];
        }
        System.out.println("race.same=" + same);
        System.out.println("race.errors=" + errors.get());
    }

    private static boolean splashLibraryMapped() throws Exception {
        for (String line : java.nio.file.Files.readAllLines(java.nio.file.Paths.get("/proc/self/maps"))) {
            if (line.endsWith("/libsplashscreen.so")) {
                return true;
            }
        }
        return false;
    }

    private static void step(String name) throws Exception {
        System.out.println("ready " + name);
        System.out.flush();
        File go = new File(stepDirectory, "go-" + name);
        long deadline = System.currentTimeMillis() + 120000;
        while (!go.exists()) {
            if (System.currentTimeMillis() > deadline) {
                System.out.println("no go for " + name);
                System.exit(3);
            }
            Thread.sleep(20);
        }
    }

    private static void waitClosed() throws Exception {
        java.awt.SplashScreen awt = java.awt.SplashScreen.getSplashScreen();
        long deadline = System.currentTimeMillis() + 20000;
        while (awt != null && visible(awt) && System.currentTimeMillis() < deadline) {
            Thread.sleep(5);
        }
        System.out.println("closed.after=" + (System.nanoTime() - lastAutoClose) / 1000000);
        System.out.println("closed=" + (awt == null || !visible(awt)));
    }

    private static boolean visible(java.awt.SplashScreen awt) {
        try {
            return awt.isVisible();
        } catch (IllegalStateException closed) {
            return false;
        }
    }
}
