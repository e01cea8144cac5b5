package aprobe;

import java.io.ByteArrayOutputStream;
import java.io.FileDescriptor;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.InputStream;
import java.io.PrintStream;
import java.net.URL;
import java.util.ArrayList;
import java.util.Collections;
import java.util.Enumeration;
import java.util.List;
import java.util.ServiceLoader;
import java.util.concurrent.atomic.AtomicInteger;

/**
 * Reports, one "key=value" line each, how classes and resources come out of
 * the executable's payload: nested jars, package attributes, resource order,
 * services, "xoq:" URLs, and many threads at once. Then does what
 * "probe.action" says.
 */
public class Main {
    private static PrintStream out;

    public static void main(String[] args) throws Exception {
        out = new PrintStream(new FileOutputStream(FileDescriptor.out), true, "UTF-8");
        ClassLoader loader = Main.class.getClassLoader();
        report("loader", loader.getClass().getName());
        report("loader.isSystem", String.valueOf(loader == ClassLoader.getSystemClassLoader()));
        report("loader.isContext", String.valueOf(loader == Thread.currentThread().getContextClassLoader()));

        // Classes from jars nested in the payload, with their manifests.
        report("util.greet", new util.UtilGreeter().greet("you"));
        report("util.loader", util.UtilGreeter.class.getClassLoader() == loader ? "same" : "other");
        report("package.aprobe.version", Main.class.getPackage().getImplementationVersion());
        report("package.aprobe.title", Main.class.getPackage().getImplementationTitle());
        report("package.util.version", util.UtilGreeter.class.getPackage().getImplementationVersion());
        report("package.other.version", String.valueOf(other.OtherGreeter.class.getPackage().getImplementationVersion()));
        try {
            Class<?> deep = Class.forName("deep.Deep", true, loader);
            report("deep", deep.getMethod("where").invoke(null) + " from "
                    + deep.getProtectionDomain().getCodeSource().getLocation());
        } catch (ClassNotFoundException e) {
            report("deep", "not found");
        }

        // Resources: the payload's top level first, then the nested jars,
        // then the loader's own class path.
        report("resource.top", String.valueOf(loader.getResource("probe/top.txt")));
        report("resource.top.content", read(loader.getResourceAsStream("probe/top.txt")));
        report("resource.shared", String.valueOf(loader.getResource("shared.txt")));
        report("resources.shared", join(loader.getResources("shared.txt")));
        report("resource.backslash", String.valueOf(loader.getResource("probe\\top.txt")));
        report("resource.missing", String.valueOf(loader.getResource("no/such.txt")));
        report("resource.missingStream", String.valueOf(loader.getResourceAsStream("no/such.txt")));
        report("resource.manifest", String.valueOf(loader.getResource("META-INF/MANIFEST.MF")));

        // Services across nested jars.
        List<String> services = new ArrayList<String>();
        for (Greeter greeter : ServiceLoader.load(Greeter.class, loader)) {
            services.add(greeter.getClass().getName());
        }
        report("services", services.toString());

        // "xoq:" URLs made from text.
        report("url.space", read(new URL("xoq:dir%20with%20space/file.txt").openStream()));
        report("url.space.again", read(new URL("xoq:dir%20with%20space/file.txt").openStream()));
        report("url.upper", read(new URL("XOQ:probe/top.txt").openStream()));
        report("url.twoLevels", read(new URL("xoq:lib/outer.jar!inner.jar!deep.txt").openStream()));
        report("url.missing", String.valueOf(new URL("xoq:no/such.txt").openStream()));
        URL classUrl = loader.getResource("aprobe/Main.class");
        report("url.class", String.valueOf(classUrl));
        report("url.class.length", classUrl == null ? "none" : String.valueOf(bytes(classUrl.openStream()).length));
        report("url.contentType", new URL("xoq:probe/top.txt").openConnection().getContentType());

        report("java.class.path", System.getProperty("java.class.path"));
        report("xoq.class.path", System.getProperty("xoq.class.path"));

        String separator = java.io.File.pathSeparator;
        URL[] path = PathAccess.parse("a" + separator + separator + "b" + separator);
        report("xoqClassPath.count", String.valueOf(path.length));
        report("xoqClassPath", java.util.Arrays.toString(path));

        report("args", String.valueOf(args.length));
        for (int i = 0; i < args.length; i++) {
            report("arg" + i, args[i]);
        }

        String action = System.getProperty("probe.action", "");
        if (action.equals("threads")) {
            threads(loader);
        } else if (action.startsWith("exit:")) {
            System.exit(Integer.parseInt(action.substring(5)));
        } else if (action.equals("throw")) {
            throw new IllegalStateException("thrown by the archive probe");
        }
        report("main", "returned");
    }

    // Many threads loading classes and reading resources at once.
    private static void threads(final ClassLoader loader) throws InterruptedException {
        final AtomicInteger failures = new AtomicInteger();
        final AtomicInteger reads = new AtomicInteger();
        List<Thread> workers = new ArrayList<Thread>();
        for (int t = 0; t < 16; t++) {
            final int seed = t;
            Thread worker = new Thread(new Runnable() {
                public void run() {
                    for (int i = 0; i < 200; i++) {
                        try {
                            int n = (seed * 7 + i) % 32;
                            Class.forName("util.Many$C" + n, true, loader);
                            String[] names = {"probe/top.txt", "shared.txt", "deep.txt", "META-INF/MANIFEST.MF"};
                            String name = names[(seed + i) % names.length];
                            URL url = loader.getResource(name);
                            if (url == null || read(url.openStream()).isEmpty()) {
                                failures.incrementAndGet();
                            } else {
                                reads.incrementAndGet();
                            }
                        } catch (Throwable e) {
                            failures.incrementAndGet();
                        }
                    }
                }
            });
            workers.add(worker);
            worker.start();
        }
        for (Thread worker : workers) {
            worker.join();
        }
        report("threads.reads", String.valueOf(reads.get()));
        report("threads.failures", String.valueOf(failures.get()));
    }

    private static void report(String key, String value) {
        out.println(key + "=" + value);
    }

    private static String join(Enumeration<URL> urls) {
        List<String> texts = new ArrayList<String>();
        for (URL url : Collections.list(urls)) {
            texts.add(String.valueOf(url));
        }
        return texts.toString();
    }

    private static byte[] bytes(InputStream in) throws IOException {
        if (in == null) {
            return null;
        }
        try {
            ByteArrayOutputStream buffer = new ByteArrayOutputStream();
            byte[] chunk = new byte[4096];
            for (int n; (n = in.read(chunk)) > 0;) {
                buffer.write(chunk, 0, n);
            }
            return buffer.toByteArray();
        } finally {
            in.close();
        }
    }

    private static String read(InputStream in) throws IOException {
        byte[] data = bytes(in);
        return data == null ? "null" : new String(data, "UTF-8").trim();
    }
}
