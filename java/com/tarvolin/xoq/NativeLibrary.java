package com.tarvolin.xoq;

/**
 * The executable that carries the payload is also the JNI library of these
 * classes; the launcher passes its path as "xoq.app.path".
 */
final class NativeLibrary {
    private NativeLibrary() {
    }

    /** Makes the natives of the support class `owner` callable; called as it is initialised. */
    static void load(Class<?> owner) {
        // Where the launcher binds the natives itself, loading the library
        // would make the runtime warn about it (JDK 24 and later).
        if ("launcher".equals(System.getProperty("xoq.natives"))) {
            try {
                if (bind(owner)) {
                    return;
                }
            } catch (UnsatisfiedLinkError notYet) {
                // initialised while the runtime was still being created
            }
            // the library is loaded instead
        }
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

    /** Registers the natives of `owner`; false when the launcher could not. */
    private static native boolean bind(Class<?> owner);
}
