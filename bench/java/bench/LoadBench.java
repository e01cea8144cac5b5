package bench;

import java.io.BufferedReader;
import java.io.File;
import java.io.FileInputStream;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.InputStream;
import java.io.InputStreamReader;
import java.io.OutputStreamWriter;
import java.io.PrintWriter;
import java.net.URL;
import java.net.URLClassLoader;
import java.util.ArrayList;
import java.util.Enumeration;
import java.util.List;
import java.util.jar.JarEntry;
import java.util.jar.JarFile;

/**
 * Loads classes and reads resources through a class loader and reports the
 * time taken, one "key=value" line each, for the launcher's benchmarks:
 *
 *   list NAMES JAR...              writes the class and resource names of the jars
 *   run MODE NAMES [JAR...]        MODE: context (the loader that loaded this
 *                                  class: the launcher's, or the JDK's
 *                                  application loader under java -cp) or url
 *                                  (a new URLClassLoader over JAR...)
 *
 * "first line" is printed before anything else, for start-up timing; with
 * the property bench.hold set, it waits for standard input to close after
 * the work, so that its memory can be measured, and tells the Java heap's
 * use after a full collection first. The property bench.threads (default 1)
 * loads the classes on that many threads at once, each taking every n-th
 * name of the list.
 */
public class LoadBench {
    private static final java.lang.management.ThreadMXBean THREADS =
            java.lang.management.ManagementFactory.getThreadMXBean();

    /**
     * The loader the work was done with, kept while the memory is measured:
     * a URLClassLoader that nothing refers to any more would be collected
     * with every class it defined by the full collection before the
     * measurement, where an application keeps its loader and its classes.
     */
    private static ClassLoader keptLoader;

    public static void main(String[] args) throws Exception {
        System.out.println("first line");
        System.out.flush();
        if (args.length == 0) {
            return;
        }
        if (args[0].equals("list")) {
            list(args[1], args);
            return;
        }
        String mode = args[1];
        List<String> classes = new ArrayList<String>();
        List<String> resources = new ArrayList<String>();
        BufferedReader names = new BufferedReader(new InputStreamReader(new FileInputStream(args[2]), "UTF-8"));
        for (String line; (line = names.readLine()) != null;) {
            if (line.startsWith("C ")) {
                classes.add(line.substring(2));
            } else if (line.startsWith("R ")) {
                resources.add(line.substring(2));
            }
        }
        names.close();

        ClassLoader loader = LoadBench.class.getClassLoader();
        if (mode.equals("url")) {
            List<URL> urls = new ArrayList<URL>();
            for (int i = 3; i < args.length; i++) {
                urls.add(new File(args[i]).toURI().toURL());
            }
            loader = new URLClassLoader(urls.toArray(new URL[urls.size()]), LoadBench.class.getClassLoader().getParent());
        }
        keptLoader = loader;

        // The loading threads' own processor time too: on a busy machine it
        // varies far less than the time on the clock.
        THREADS.getCurrentThreadCpuTime();
        int threadCount = Integer.getInteger("bench.threads", 1);
        Loading[] loadings = new Loading[threadCount];
        for (int i = 0; i < threadCount; i++) {
            loadings[i] = new Loading(classes, loader, i, threadCount);
        }
        long start = System.nanoTime();
        if (threadCount == 1) {
            loadings[0].run();
        } else {
            Thread[] threads = new Thread[threadCount];
            for (int i = 0; i < threadCount; i++) {
                threads[i] = new Thread(loadings[i]);
                threads[i].start();
            }
            for (Thread thread : threads) {
                thread.join();
            }
        }
        long classNanos = System.nanoTime() - start;
        int loaded = 0;
        int failed = 0;
        long classCpuNanos = 0;
        for (Loading loading : loadings) {
            loaded += loading.loaded;
            failed += loading.failed;
            classCpuNanos += loading.cpuNanos;
        }

        start = System.nanoTime();
        long bytes = 0;
        int read = 0;
        byte[] buffer = new byte[65536];
        for (String name : resources) {
            InputStream in = loader.getResourceAsStream(name);
            if (in == null) {
                continue;
            }
            for (int n; (n = in.read(buffer)) > 0;) {
                bytes += n;
            }
            in.close();
            read++;
        }
        long resourceNanos = System.nanoTime() - start;

        System.out.println("loader=" + loader.getClass().getName());
        System.out.println("classes.loaded=" + loaded);
        System.out.println("classes.failed=" + failed);
        System.out.println("classes.ms=" + classNanos / 1e6);
        System.out.println("classes.cpu.ms=" + classCpuNanos / 1e6);
        System.out.println("resources.read=" + read);
        System.out.println("resources.bytes=" + bytes);
        System.out.println("resources.ms=" + resourceNanos / 1e6);
        System.out.flush();
        if (System.getProperty("bench.hold") != null) {
            System.gc();
            java.lang.management.MemoryUsage heap =
                    java.lang.management.ManagementFactory.getMemoryMXBean().getHeapMemoryUsage();
            System.out.println("heap.used.kb=" + heap.getUsed() / 1024);
            System.out.println("heap.committed.kb=" + heap.getCommitted() / 1024);
            System.out.println("holding");
            System.out.flush();
            while (System.in.read() >= 0) {
                // until the benchmark closes standard input
            }
        }
    }

    // Loads every `step`-th class of the list from `first` on.
    private static final class Loading implements Runnable {
        private final List<String> classes;
        private final ClassLoader loader;
        private final int first;
        private final int step;
        int loaded;
        int failed;
        long cpuNanos;

        Loading(List<String> classes, ClassLoader loader, int first, int step) {
            this.classes = classes;
            this.loader = loader;
            this.first = first;
            this.step = step;
        }

        public void run() {
            long cpuStart = THREADS.getCurrentThreadCpuTime();
            for (int i = first; i < classes.size(); i += step) {
                try {
                    Class.forName(classes.get(i), false, loader);
                    loaded++;
                } catch (Throwable e) {
                    failed++;
                }
            }
            cpuNanos = THREADS.getCurrentThreadCpuTime() - cpuStart;
        }
    }

    // Every class (not module-info, not in META-INF) and every other file of
    // the jars, in jar order.
    private static void list(String output, String[] args) throws IOException {
        PrintWriter out = new PrintWriter(new OutputStreamWriter(new FileOutputStream(output), "UTF-8"));
        for (int i = 2; i < args.length; i++) {
            JarFile jar = new JarFile(args[i]);
            for (Enumeration<JarEntry> entries = jar.entries(); entries.hasMoreElements();) {
                JarEntry entry = entries.nextElement();
                String name = entry.getName();
                if (entry.isDirectory() || name.startsWith("META-INF/")) {
                    continue;
                }
                if (name.endsWith(".class")) {
                    if (!name.endsWith("module-info.class") && !name.endsWith("package-info.class")) {
                        out.println("C " + name.substring(0, name.length() - 6).replace('/', '.'));
                    }
                } else {
                    out.println("R " + name);
                }
            }
            jar.close();
        }
        out.close();
    }
}
