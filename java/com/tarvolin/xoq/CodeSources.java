package com.tarvolin.xoq;

import java.io.ByteArrayInputStream;
import java.io.File;
import java.io.IOException;
import java.net.MalformedURLException;
import java.net.URL;
import java.security.CodeSigner;
import java.security.CodeSource;
import java.util.Locale;
import java.util.Map;
import java.util.concurrent.ConcurrentHashMap;
import java.util.jar.JarEntry;
import java.util.jar.JarInputStream;

/**
 * The code sources of classes defined from the payload when the key
 * "codesource" is on: the location is the executable itself as a file: URL
 * (the file the classes come from), one code source per archive of the
 * payload, with the signers of a signed jar as the runtime verifies them.
 */
final class CodeSources {
    private static final Map<String, CodeSource> byArchive = new ConcurrentHashMap<String, CodeSource>();

    private CodeSources() {
    }

    /** The code source of the archive at entry path `archive` ("" for the payload's own top). */
    static CodeSource forArchive(String archive) {
        CodeSource source = byArchive.get(archive);
        if (source == null) {
            CodeSource made = new CodeSource(executable(), signersOf(archive));
            source = byArchive.putIfAbsent(archive, made);
            if (source == null) {
                source = made;
            }
        }
        return source;
    }

    private static URL executable() {
        String path = System.getProperty("xoq.app.path");
        if (path == null) {
            return null;
        }
        try {
            return new File(path).toURI().toURL();
        } catch (MalformedURLException e) {
            return null;
        }
    }

    /**
     * The signers of a signed nested jar: the jar is read once through a
     * verifying JarInputStream, and the signers of its first signed class
     * or resource are taken. Null for an unsigned jar, and for one whose
     * signature does not verify.
     */
    private static CodeSigner[] signersOf(String archive) {
        if (archive.isEmpty()) {
            return null;
        }
        Handler handler = new Handler();
        String[] names = handler.listEntries(archive);
        boolean signed = false;
        for (int i = 0; names != null && i < names.length && !signed; i++) {
            String name = names[i].toUpperCase(Locale.ROOT);
            signed = name.startsWith("META-INF/") && name.endsWith(".SF");
        }
        byte[] jar = signed ? handler.loadResourceData("xoq:" + archive) : null;
        if (jar == null) {
            return null;
        }
        try {
            JarInputStream in = new JarInputStream(new ByteArrayInputStream(jar), true);
            try {
                byte[] buffer = new byte[8192];
                for (JarEntry entry = in.getNextJarEntry(); entry != null; entry = in.getNextJarEntry()) {
                    while (in.read(buffer) >= 0) {
                        // the entry is verified once it has been read to its end
                    }
                    CodeSigner[] signers = entry.getCodeSigners();
                    if (signers != null && !entry.isDirectory() && !entry.getName().startsWith("META-INF/")) {
                        return signers;
                    }
                }
            } finally {
                in.close();
            }
        } catch (IOException e) {
            return null;
        } catch (SecurityException e) {
            return null;
        }
        return null;
    }
}
