package probe;

import java.io.FileDescriptor;
import java.io.FileOutputStream;
import java.io.PrintStream;
import java.io.UnsupportedEncodingException;

/**
 * Reports, one "key=value" line each, what the launcher handed the virtual
 * machine: its version, the launcher's properties, the class loaders, the
 * arguments, and what the configuration asks for through "probe.*"
 * properties. Then does what "probe.action" says.
 */
public class Probe {
    public static void main(String[] args) throws Exception {
        PrintStream out = utf8Out();
        for (String name : new String[] {"java.version", "java.home", "xoq.app.path", "application.home",
                "java.class.path", "xoq.class.path", "xoq.is.elevated", "java.system.class.loader",
                "java.protocol.handler.pkgs"}) {
            out.println(name + "=" + System.getProperty(name));
        }
        String app = System.getProperty("xoq.app.path");
        if (app != null) {
            // The path as the file system names it, whatever form it came in.
            out.println("xoq.app.path.canonical=" + new java.io.File(app).getCanonicalPath());
        }
        ClassLoader system = ClassLoader.getSystemClassLoader();
        ClassLoader own = Probe.class.getClassLoader();
        ClassLoader context = Thread.currentThread().getContextClassLoader();
        out.println("loader.system=" + system.getClass().getName());
        out.println("loader.context=" + (context == null ? "null" : context.getClass().getName()));
        out.println("loader.contextIsSystem=" + (context == system));
        out.println("loader.own=" + (own == null ? "null" : own.getClass().getName()));
        for (String name : list("probe.props")) {
            out.println("prop." + name + "=" + System.getProperty(name));
        }
        for (String name : list("probe.env")) {
            out.println("env." + name + "=" + System.getenv(name));
        }
        out.println("args=" + args.length);
        for (int i = 0; i < args.length; i++) {
            out.println("arg" + i + "=" + args[i]);
        }
        out.flush();

        String action = System.getProperty("probe.action", "");
        if (action.startsWith("exit:")) {
            System.exit(Integer.parseInt(action.substring(5)));
        } else if (action.equals("throw")) {
            throw new IllegalStateException("thrown by the probe");
        } else if (action.equals("handled-throw")) {
            // What crash reporters do: the handler, not a printed trace,
            // must see an exception that escapes main.
            final PrintStream shared = out;
            Thread.setDefaultUncaughtExceptionHandler(new Thread.UncaughtExceptionHandler() {
                public void uncaughtException(Thread thread, Throwable thrown) {
                    shared.println("handler=" + thread.getName() + " " + thrown.getMessage());
                    shared.flush();
                }
            });
            throw new IllegalStateException("thrown by the probe");
        } else if (action.equals("thread") || action.equals("thread-throw")) {
            // A thread that outlives main; with "thread-throw" main then
            // ends by an exception.
            final PrintStream shared = out;
            Thread worker = new Thread(new Runnable() {
                public void run() {
                    try {
                        Thread.sleep(500);
                    } catch (InterruptedException e) {
                        return;
                    }
                    shared.println("thread=done");
                    shared.flush();
                }
            });
            worker.start();
            if (action.equals("thread-throw")) {
                throw new IllegalStateException("thrown by the probe while a thread runs");
            }
        } else if (action.startsWith("sleep:")) {
            out.println("waiting=yes");
            out.flush();
            Thread.sleep(Long.parseLong(action.substring(6)));
        } else if (action.equals("natives")) {
            Natives.report(out);
        } else if (action.equals("wait") || action.equals("hook-wait")) {
            if (action.equals("hook-wait")) {
                // What an application tidies up on its way out.
                final PrintStream shared = out;
                Runtime.getRuntime().addShutdownHook(new Thread(new Runnable() {
                    public void run() {
                        shared.println("hook=ran");
                        shared.flush();
                    }
                }));
            }
            out.println("waiting=yes");
            out.flush();
            Thread.sleep(60000);
        }
        out.println("main=returned");
        out.flush();
    }

    private static String[] list(String property) {
        String value = System.getProperty(property, "");
        return value.isEmpty() ? new String[0] : value.split(",");
    }

    private static PrintStream utf8Out() throws UnsupportedEncodingException {
        return new PrintStream(new FileOutputStream(FileDescriptor.out), true, "UTF-8");
    }
}
