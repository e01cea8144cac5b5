package nativesplash;

import com.tarvolin.xoq.SplashScreen;
import java.io.File;

/**
 * Drives the launcher's native splash window from Java, on a runtime
 * without java.awt, one action per argument, printing what it sees as
 * "key=value" lines: dir:PATH (where step looks), report, step:NAME (prints
 * "ready NAME" and waits for the file go-NAME), autoClose:MS, close.
 */
public final class Main {
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
                SplashScreen splash = SplashScreen.getSplashScreen();
                if (splash != null) {
                    splash.autoClose(Integer.parseInt(value));
                }
                say("autoClose=" + (splash != null));
            } else if (name.equals("close")) {
                SplashScreen splash = SplashScreen.getSplashScreen();
                if (splash != null) {
                    splash.close();
                }
                say("close=" + (splash != null));
            } else {
                throw new IllegalArgumentException(action);
            }
        }
        say("done");
    }

    private static void report() {
        boolean awt;
        try {
            Class.forName("java.awt.SplashScreen");
            awt = true;
        } catch (ClassNotFoundException e) {
            awt = false;
        }
        SplashScreen first = SplashScreen.getSplashScreen();
        SplashScreen second = SplashScreen.getSplashScreen();
        say("awt=" + awt);
        say("splash=" + (first != null) + "," + (second != null));
        say("splash.same=" + (first == second));
    }

    private static void step(String name) throws Exception {
        say("ready " + name);
        File go = new File(stepDirectory, "go-" + name);
        long deadline = System.currentTimeMillis() + 120000;
        while (!go.exists()) {
            if (System.currentTimeMillis() > deadline) {
                say("no go for " + name);
                System.exit(3);
            }
            Thread.sleep(20);
        }
    }

    private static void say(String line) {
        System.out.println(line);
        System.out.flush();
    }
}
