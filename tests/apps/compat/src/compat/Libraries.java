package compat;

import java.io.File;
import java.net.URL;
import java.security.CodeSource;
import java.security.cert.Certificate;
import java.security.cert.X509Certificate;
import java.util.Collections;

/** Multi-release jars, Log4j 2, code sources and archives of many entries. */
class Libraries {
    static void multiRelease(ClassLoader loader) throws Exception {
        Class<?> versioned = Class.forName("mr.Versioned", true, loader);
        Main.report("mr.class", versioned.getMethod("version").invoke(null));
        URL resource = loader.getResource("mr/which.txt");
        Main.report("mr.resource", Main.text(resource));
        Main.report("mr.resourceEntry", Main.entryOf(resource));
        Main.report("mr.classEntry", Main.entryOf(loader.getResource("mr/Versioned.class")));
        Main.report("mr.resources", Collections.list(loader.getResources("mr/which.txt")).size());
        // A package's directory is the base one, whatever versions hold.
        Main.report("mr.directory", Main.entryOf(loader.getResource("mr/")));
    }

    // Through reflection, as an application that logs would call it;
    // getLogger() finds its caller with the Java 9 classes of log4j-api.
    static void log4j(ClassLoader loader) throws Exception {
        Class<?> manager = Class.forName("org.apache.logging.log4j.LogManager", true, loader);
        Object logger = manager.getMethod("getLogger").invoke(null);
        logger.getClass().getMethod("error", String.class).invoke(logger, "hello from log4j");
        Main.report("log4j.logger", logger.getClass().getMethod("getName").invoke(logger));
    }

    static void codeSource(ClassLoader loader) throws Exception {
        // By default a class has the loader's default domain, whose code
        // source has no location.
        CodeSource own = Main.class.getProtectionDomain().getCodeSource();
        Main.report("codesource.location", own == null ? "no code source" : own.getLocation());
        if (own != null && own.getLocation() != null) {
            // What "where is my jar" helpers do with it.
            Main.report("codesource.file", new File(own.getLocation().toURI()).getPath());
        }
        Class<?> signed = Class.forName("signed.Signed", false, loader);
        // Unsigned classes share a domain; a signed class has another.
        Main.report("codesource.domains", (Main.class.getProtectionDomain()
                == Class.forName("compat.UrlChecks", false, loader).getProtectionDomain()) + " "
                + (Main.class.getProtectionDomain() == signed.getProtectionDomain()));
        Main.report("codesource.signer", signerOf(signed));
        // A class that the signature does not cover has no signers, and a
        // package of signed classes refuses it (the launcher's loader
        // reports the refusal as the cause of a ClassNotFoundException).
        String added;
        try {
            added = signerOf(Class.forName("signed.Added", false, loader));
        } catch (SecurityException e) {
            added = e.getClass().getName();
        } catch (ClassNotFoundException e) {
            added = String.valueOf(e.getCause() == null ? e : e.getCause().getClass().getName());
        }
        Main.report("codesource.added", added);
    }

    private static String signerOf(Class<?> type) {
        CodeSource source = type.getProtectionDomain().getCodeSource();
        Certificate[] certificates = source == null ? null : source.getCertificates();
        return certificates == null ? "none"
                : ((X509Certificate) certificates[0]).getSubjectX500Principal().getName();
    }

    static void large(ClassLoader loader) throws Exception {
        URL top = loader.getResource("many/f69999.txt");
        Main.report("large.top", Main.text(top));
        Main.report("large.topScheme", top == null ? "null" : top.getProtocol());
        Main.report("large.nested", Main.text(loader.getResource("f12345.txt")));
        Main.report("large.nestedEntry", Main.entryOf(loader.getResource("f12345.txt")));
    }
}
