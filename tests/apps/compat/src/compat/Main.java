package compat;

import java.io.ByteArrayOutputStream;
import java.io.FileDescriptor;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.InputStream;
import java.io.PrintStream;
import java.net.URL;

/**
 * Does what libraries do with the class loader, its URLs and the "xoq:" file
 * system, and reports one "key=value" line each; "compat.checks" lists the
 * checks to run. Runs packaged and under java -cp alike.
 */
public class Main {
    static PrintStream out;

    public static void main(String[] args) throws Exception {
        out = new PrintStream(new FileOutputStream(FileDescriptor.out), true, "UTF-8");
        ClassLoader loader = Main.class.getClassLoader();
        for (String check : System.getProperty("compat.checks", "").split(",")) {
            if (check.equals("multirelease")) {
                Libraries.multiRelease(loader);
            } else if (check.equals("log4j")) {
                Libraries.log4j(loader);
            } else if (check.equals("codesource")) {
                Libraries.codeSource(loader);
            } else if (check.equals("large")) {
                Libraries.large(loader);
            } else if (check.equals("times")) {
                UrlChecks.times();
            } else if (check.equals("roundtrip")) {
                UrlChecks.roundTrips(loader);
            } else if (check.equals("escapes")) {
                UrlChecks.escapes(loader);
            } else if (check.equals("walk")) {
                FileSystemChecks.walk(loader);
            }
        }
    }

    static void report(String key, Object value) {
        out.println(key + "=" + value);
    }

    static byte[] bytes(InputStream in) throws IOException {
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

    static String text(URL url) throws IOException {
        byte[] data = url == null ? null : bytes(url.openStream());
        return data == null ? "null" : new String(data, "UTF-8").trim();
    }

    /** What follows the last '!' of a URL, without a leading '/': the entry it names. */
    static String entryOf(URL url) {
        if (url == null) {
            return "null";
        }
        String text = url.toString();
        String entry = text.substring(text.lastIndexOf('!') + 1);
        return entry.startsWith("/") ? entry.substring(1) : entry;
    }
}
