package bench;

import java.io.DataInputStream;
import java.io.IOException;
import java.io.InputStream;
import java.util.Enumeration;
import java.util.jar.JarEntry;
import java.util.jar.JarFile;

/**
 * Picks the jars that an older runtime can load: prints, one a line, each of
 * JAR... whose classes all have a class file version of at most MAJOR
 * (55 for Java 11). A multi-release jar's versioned classes are left out of
 * the test, as that runtime reads only the versions meant for it.
 *
 *   MAJOR JAR...
 */
public class ClassVersions {
    public static void main(String[] args) throws IOException {
        int most = Integer.parseInt(args[0]);
        for (int i = 1; i < args.length; i++) {
            if (highest(args[i]) <= most) {
                System.out.println(args[i]);
            }
        }
    }

    private static int highest(String path) throws IOException {
        int highest = 0;
        try (JarFile jar = new JarFile(path)) {
            for (Enumeration<JarEntry> entries = jar.entries(); entries.hasMoreElements();) {
                JarEntry entry = entries.nextElement();
                String name = entry.getName();
                if (!name.endsWith(".class") || name.startsWith("META-INF/")) {
                    continue;
                }
                try (InputStream in = jar.getInputStream(entry)) {
                    DataInputStream data = new DataInputStream(in);
                    if (data.readInt() != 0xCAFEBABE) {
                        continue;
                    }
                    data.readUnsignedShort();
                    highest = Math.max(highest, data.readUnsignedShort());
                }
            }
        }
        return highest;
    }
}
