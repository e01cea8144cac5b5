package extract;

import java.io.ByteArrayOutputStream;
import java.io.File;
import java.io.InputStream;
import java.lang.reflect.Method;
import java.net.URL;
import java.security.MessageDigest;

/**
 * What libraries that need real files see, printed as key=value lines so
 * that a packaged run and java -cp over the same jars can be compared.
 * "spring": Spring's classpath*: pattern scanning, a class resource read
 * through its URL and the code source of a Spring class (reached by
 * reflection, so that this jar builds without Spring). "native": a JNI
 * library of the program's own, loaded with System.loadLibrary.
 */
public final class Main {
    private Main() {}

    private static native int answer();

    public static void main(String[] args) throws Exception {
        String mode = args.length > 0 ? args[0] : "";
        if (mode.equals("spring")) {
            spring(args.length > 1 ? args[1] : "classpath*:org/springframework/core/io/**/*.class");
        } else if (mode.equals("native")) {
            System.out.println("library.path=" + System.getProperty("java.library.path"));
            System.loadLibrary("xoq_answer");
            System.out.println("answer=" + answer());
        } else {
            System.out.println("usage: spring [pattern] | native");
            System.exit(2);
        }
    }

    private static void spring(String pattern) throws Exception {
        Class<?> resolverClass =
                Class.forName("org.springframework.core.io.support.PathMatchingResourcePatternResolver");
        Object resolver = resolverClass.getConstructor().newInstance();
        Method getResources = resolverClass.getMethod("getResources", String.class);
        Object[] resources = (Object[]) getResources.invoke(resolver, pattern);
        System.out.println("resources=" + resources.length);

        String name = "org/springframework/core/io/Resource.class";
        URL url = Thread.currentThread().getContextClassLoader().getResource(name);
        System.out.println("resource.protocol=" + url.getProtocol());
        System.out.println("resource.sha256=" + sha256(url));

        Class<?> resource = Class.forName("org.springframework.core.io.Resource");
        URL location = resource.getProtectionDomain().getCodeSource().getLocation();
        File file = new File(location.toURI());
        System.out.println("codesource.protocol=" + location.getProtocol());
        System.out.println("codesource.name=" + file.getName());
        System.out.println("codesource.isFile=" + file.isFile());
        System.out.println("codesource.path=" + file.getPath());
    }

    private static String sha256(URL url) throws Exception {
        ByteArrayOutputStream bytes = new ByteArrayOutputStream();
        try (InputStream in = url.openStream()) {
            byte[] buffer = new byte[8192];
            int n;
            while ((n = in.read(buffer)) > 0) {
                bytes.write(buffer, 0, n);
            }
        }
        StringBuilder hex = new StringBuilder();
        for (byte b : MessageDigest.getInstance("SHA-256").digest(bytes.toByteArray())) {
            hex.append(String.format("%02x", b & 0xff));
        }
        return hex.toString();
    }
}
