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
            System.load(path);
        } catch (UnsatisfiedLinkError notLoadable) {
            // A Linux executable cannot be loaded as a library; the launcher
            // registers the natives itself right after creating the runtime.
        }
    }
}
