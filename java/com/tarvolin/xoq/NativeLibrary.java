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
        // Only a Windows executable can be loaded as a library. On Linux the
        // launcher registers the natives itself right after creating the
        // runtime, so there is nothing to load.
        if (path == null || !System.getProperty("os.name", "").startsWith("Windows")) {
            return;
        }
        try {
            System.load(path);
        } catch (UnsatisfiedLinkError notLoadable) {
            // The first native call reports it.
        }
    }
}
