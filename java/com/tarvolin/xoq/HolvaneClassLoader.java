package com.tarvolin.xoq;

import java.io.ByteArrayInputStream;
import java.io.File;
import java.io.IOException;
import java.net.MalformedURLException;
import java.net.URL;
import java.net.URLClassLoader;
import java.security.CodeSource;
import java.util.ArrayList;
import java.util.Enumeration;
import java.util.List;
import java.util.jar.Manifest;

/**
 * The class loader of an application packaged with xoq: classes and resources
 * come straight out of the executable's payload archive, through natives that
 * the executable itself provides. What the payload does not hold is looked
 * for on the loader's own class path, the system property "xoq.class.path".
 */
public class HolvaneClassLoader extends URLClassLoader {
    static {
        // Classes are defined from the payload without any state of the
        // loader's own, so threads may load classes through it side by side.
        registerAsParallelCapable();
        NativeLibrary.load(HolvaneClassLoader.class);
    }

    public HolvaneClassLoader() {
        super(getXoqClassPath());
    }

    /** The constructor the runtime uses when this class is the system class loader. */
    public HolvaneClassLoader(ClassLoader parent) {
        super(getXoqClassPath(), parent);
    }

    /** The URLs of "xoq.class.path", split at the path separator; empty pieces add nothing. */
    protected static URL[] getXoqClassPath() {
        String path = System.getProperty("xoq.class.path", "");
        List<URL> urls = new ArrayList<URL>();
        int position = 0;
        while (position < path.length()) {
            int separator = path.indexOf(File.pathSeparator, position);
            if (separator < 0) {
                separator = path.length();
            }
            if (separator > position) {
                try {
                    urls.add(new File(path.substring(position, separator)).toURI().toURL());
                } catch (MalformedURLException e) {
                    // an entry that makes no URL is skipped
                }
            }
            position = separator + File.pathSeparator.length();
        }
        return urls.toArray(new URL[urls.size()]);
    }

    @Override
    protected Class<?> findClass(String name) throws ClassNotFoundException {
        int dot = name.lastIndexOf('.');
        if (dot > 0) {
            String packageName = name.substring(0, dot);
            // As under java -cp: the runtime's application loader never looks
            // on the class path for a package that a module of the boot
            // layer owns (an old xml-apis.jar's javax.xml classes), so
            // neither the payload nor this loader's class path serves it.
            if (inBootLayer(packageName)) {
                throw new ClassNotFoundException(name);
            }
            if (getPackage(packageName) == null) {
                definePackageFromManifest(packageName, name);
            }
        }
        Class<?> found;
        try {
            found = defineClass(name);
        } catch (Throwable thrown) {
            throw new ClassNotFoundException(name, thrown);
        }
        if (found != null) {
            return found;
        }
        return super.findClass(name);
    }

    // Packages get their attributes from the manifest of the archive that
    // holds the class, read through an "xoq:" URL next to the class entry.
    private void definePackageFromManifest(String packageName, String className) {
        URL classUrl = findResource(className.replace('.', '/') + ".class");
        if (classUrl == null || !"xoq".equals(classUrl.getProtocol())) {
            return;
        }
        String text = classUrl.toString();
        int cut = Math.max(text.lastIndexOf(':'), text.lastIndexOf('!'));
        String manifestUrl = text.substring(0, cut + 1) + "META-INF/MANIFEST.MF";
        // The handler's own read of the entry gives the bytes that a stream
        // on that URL would give, without a connection class to load and
        // verify for the start's first package.
        Manifest manifest = null;
        byte[] data = payloadHandler().loadResourceData(manifestUrl);
        if (data != null) {
            try {
                manifest = new Manifest(new ByteArrayInputStream(data));
            } catch (IOException e) {
                manifest = null;
            }
        }
        try {
            if (manifest != null) {
                definePackage(packageName, manifest, null);
            } else {
                definePackage(packageName, null, null, null, null, null, null, null);
            }
        } catch (IllegalArgumentException alreadyDefined) {
            // another thread defined the package meanwhile
        }
    }

    private static Handler payloadHandler;

    // Reading through the handler itself, not through a URL made from text:
    // a URL of the "xoq:" scheme made from text alone finds the handler only
    // after the runtime has asked every URLStreamHandlerProvider service of
    // the modules and the class path for one, which costs the first class
    // more than reading its manifest.
    private static Handler payloadHandler() {
        Handler handler = payloadHandler;
        if (handler == null) {
            handler = new Handler();
            payloadHandler = handler;
        }
        return handler;
    }

    /**
     * Lets a Java agent (-javaagent) put its jar on the class path: the
     * runtime requires this method of a custom system class loader and
     * refuses to start the agent without it.
     */
    void appendToClassPathForInstrumentation(String path) throws MalformedURLException {
        addURL(new File(path).toURI().toURL());
    }

    /**
     * The code source of the class file `entry` (its name as stored) of the
     * payload's archive at entry path `archive` ("" for the payload's top,
     * "lib/a.jar" for a nested jar) when the key "codesource" is on: its
     * location is the executable, and it carries the signers that the jar's
     * signature gives that entry, as under java -cp. Classes with the same
     * signers share one code source.
     */
    protected CodeSource codeSourceFor(String archive, String entry) {
        return CodeSources.forEntry(archive, entry);
    }

    // Without the launcher's natives (the class used on its own) the
    // payload's natives fail in defineClass, as they always did.
    private static boolean inBootLayer(String packageName) {
        try {
            return packageInBootLayer(packageName);
        } catch (UnsatisfiedLinkError notBound) {
            return false;
        }
    }

    /** Whether the package belongs to a module of the runtime's boot layer; false without modules (Java 8). */
    private static native boolean packageInBootLayer(String packageName);

    /** Defines the class from the payload archive; null when the payload does not hold it. */
    protected native Class<?> defineClass(String name);

    @Override
    public native URL findResource(String name);

    @Override
    public native Enumeration<URL> findResources(String name) throws IOException;
}
