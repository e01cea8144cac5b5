package compat;

import java.net.URI;
import java.net.URL;
import java.net.URLConnection;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.Collections;
import java.util.Enumeration;
import java.util.List;
import java.util.jar.JarEntry;
import java.util.jar.JarFile;

/** What "xoq:" URL connections tell, and URL round trips on every kind of thread. */
class UrlChecks {
    // "compat.jars" holds pairs of an entry path in the payload and the jar
    // file it was made from: nested=file;nested=file.
    static void times() throws Exception {
        for (String pair : System.getProperty("compat.jars", "").split(";")) {
            String nested = pair.substring(0, pair.indexOf('='));
            JarFile jar = new JarFile(pair.substring(pair.indexOf('=') + 1));
            List<String> mismatches = new ArrayList<String>();
            int entries = 0;
            for (JarEntry entry : Collections.list(jar.entries())) {
                entries++;
                URLConnection connection = new URL("xoq:" + nested + "!" + entry.getName()).openConnection();
                boolean classFile = entry.getName().endsWith(".class");
                long length = classFile && !Boolean.getBoolean("compat.classesReadable") ? 0 : entry.getSize();
                if (connection.getLastModified() != entry.getTime() || connection.getDate() != entry.getTime()
                        || connection.getContentLengthLong() != length
                        || !String.valueOf(length).equals(connection.getHeaderField("content-length"))
                        || connection.getHeaderField("last-modified") == null) {
                    mismatches.add(entry.getName() + " " + connection.getLastModified() + "/" + entry.getTime() + " "
                            + connection.getContentLengthLong() + "/" + length);
                }
            }
            jar.close();
            Main.report("times." + nested + ".entries", entries);
            Main.report("times." + nested + ".mismatches", mismatches.size() > 3 ? mismatches.subList(0, 3) : mismatches);
        }
        // Clojure compares the times of a compiled class and its source to
        // pick one; here two entries written an hour apart.
        long older = new URL("xoq:lib/times.jar!older.txt").openConnection().getLastModified();
        long newer = new URL("xoq:lib/times.jar!newer.txt").openConnection().getLastModified();
        Main.report("times.newerMinusOlder", newer - older);
        Main.report("times.classBytes", Main.bytes(new URL("xoq:lib/compat.jar!compat/Main.class").openStream()).length);
        URLConnection missing = new URL("xoq:lib/times.jar!missing.txt").openConnection();
        Main.report("times.missing", missing.getLastModified() + " " + missing.getContentLengthLong());
    }

    static void roundTrips(final ClassLoader loader) throws Exception {
        Main.report("roundtrip.main", roundTrip(loader));
        final String[] result = new String[1];
        Runnable task = new Runnable() {
            public void run() {
                try {
                    result[0] = roundTrip(loader);
                } catch (Exception e) {
                    result[0] = e.toString();
                }
            }
        };
        Thread thread = new Thread(task);
        thread.start();
        thread.join();
        Main.report("roundtrip.thread", result[0]);
        result[0] = null;
        System.load(System.getProperty("compat.native"));
        Attached.run(task);
        Main.report("roundtrip.attached", result[0]);
    }

    static final List<String> ESCAPED = Arrays.asList("compat/name with space.txt", "compat/100% + more.txt",
            "compat/a%41.txt", "compat/x#y.txt");

    // How the URLs of names that a URI must escape are written.
    static void escapes(ClassLoader loader) {
        for (String name : ESCAPED) {
            Main.report("escapes." + name, Main.entryOf(loader.getResource(name)));
        }
    }

    // Every URL the loader hands out for these names comes back the same
    // through its text and through its URI, names a path that reads the
    // same entry, and the path's URI is the URL's.
    static String roundTrip(ClassLoader loader) throws Exception {
        List<String> failures = new ArrayList<String>();
        int count = 0;
        List<String> names = new ArrayList<String>(ESCAPED);
        names.addAll(Arrays.asList("compat/Main.class", "compat/data.txt", "compat/", "mr/Versioned.class",
                "META-INF/MANIFEST.MF"));
        for (String name : names) {
            for (Enumeration<URL> urls = loader.getResources(name); urls.hasMoreElements();) {
                URL url = urls.nextElement();
                count++;
                byte[] original = Main.bytes(url.openStream());
                URI uri = url.toURI();
                if (!new URL(url.toString()).equals(url) || !Arrays.equals(Main.bytes(new URL(url.toString()).openStream()), original)
                        || !Arrays.equals(Main.bytes(uri.toURL().openStream()), original)
                        || (url.getProtocol().equals("xoq") && !samePath(Paths.get(uri), uri, original))) {
                    failures.add(url.toString());
                }
            }
        }
        return count + " urls, failed: " + failures;
    }

    private static boolean samePath(Path path, URI uri, byte[] original) throws Exception {
        if (!Files.exists(path) || !path.toUri().equals(uri)
                || !Arrays.equals(Main.bytes(path.toUri().toURL().openStream()), original)) {
            return false;
        }
        // Class files are refused as files unless "compatible true".
        return Files.isDirectory(path) || path.toString().endsWith(".class")
                || Arrays.equals(Files.readAllBytes(path), original);
    }
}
