package com.tarvolin.xoq;

import java.io.ByteArrayInputStream;
import java.io.File;
import java.io.IOException;
import java.net.MalformedURLException;
import java.net.URL;
import java.security.CodeSigner;
import java.security.CodeSource;
import java.util.Arrays;
import java.util.Collections;
import java.util.HashMap;
import java.util.List;
import java.util.Locale;
import java.util.Map;
import java.util.concurrent.ConcurrentHashMap;
import java.util.jar.JarEntry;
import java.util.jar.JarInputStream;

/**
 * The code sources of classes defined from the payload when the key
 * "codesource" is on: the location is the executable itself as a file: URL
 * (the file the classes come from), with the signers that a signed jar's
 * signature gives each class, as the runtime verifies them. Classes with
 * the same signers, or none, share one code source.
 */
final class CodeSources {
    /** Archive to the signers of each of its signed entries; empty for an unsigned archive. */
    private static final Map<String, Map<String, CodeSigner[]>> signersByArchive =
            new ConcurrentHashMap<String, Map<String, CodeSigner[]>>();
    /** Signers to their code source; the unsigned one under the empty list. */
    private static final Map<List<CodeSigner>, CodeSource> bySigners =
            new ConcurrentHashMap<List<CodeSigner>, CodeSource>();

    private CodeSources() {
    }

    /** The code source of entry `entry` of the archive at entry path `archive` ("" for the payload's own top). */
    static CodeSource forEntry(String archive, String entry) {
        Map<String, CodeSigner[]> signers = signersByArchive.get(archive);
        if (signers == null) {
            signers = signersOf(archive);
            Map<String, CodeSigner[]> earlier = signersByArchive.putIfAbsent(archive, signers);
            if (earlier != null) {
                signers = earlier;
            }
        }
        CodeSigner[] entrySigners = entry == null ? null : signers.get(entry);
        List<CodeSigner> key =
                entrySigners == null ? Collections.<CodeSigner>emptyList() : Arrays.asList(entrySigners);
        CodeSource source = bySigners.get(key);
        if (source == null) {
            CodeSource made = new CodeSource(executable(), entrySigners);
            source = bySigners.putIfAbsent(key, made);
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
     * The signers of each signed entry of a signed nested jar: the jar is
     * read once through a verifying JarInputStream. An entry that the
     * signature does not cover (added after signing) has none, as under
     * java -cp; so has every entry of a jar whose signature does not verify.
     */
    private static Map<String, CodeSigner[]> signersOf(String archive) {
        Map<String, CodeSigner[]> found = new HashMap<String, CodeSigner[]>();
        if (archive.isEmpty()) {
            return found;
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
            return found;
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
                    if (signers != null && !entry.isDirectory()) {
                        found.put(entry.getName(), signers);
                    }
                }
            } finally {
                in.close();
            }
        } catch (IOException e) {
            found.clear();
        } catch (SecurityException e) {
            found.clear();
        }
        return found;
    }
}
