package com.tarvolin.xoq;

/**
 * The executable that carries the payload is also the JNI library of these
 * classes; the launcher passes its path as "xoq.app.path".
 */
final class NativeLibrary {
    private NativeLibrary() {
    }

    static void load() {
        String path = System.getProperty("xoq.app.path");
        if (path == null) {
            return;
        }
        try {
            if (System.getProperty("os.name", "").startsWith("Windows")) {
                System.load(path);
            } else {
                // A Linux executable cannot be loaded as a library; it
                // carries its natives as a library built into the process.
                System.loadLibrary("xoq");
            }
        } catch (UnsatisfiedLinkError notLoadable) {
            // The first native call reports it.
        }
    }
}
