package compat;

import java.io.IOException;
import java.net.URI;
import java.nio.file.AccessDeniedException;
import java.nio.file.DirectoryIteratorException;
import java.nio.file.DirectoryStream;
import java.nio.file.FileSystem;
import java.nio.file.FileSystems;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.nio.file.ProviderNotFoundException;
import java.nio.file.ReadOnlyFileSystemException;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.Collections;
import java.util.Iterator;
import java.util.List;
import java.util.TreeSet;
import java.util.jar.JarEntry;
import java.util.jar.JarFile;
import java.util.stream.Stream;

/** The "xoq:" file system against what JarFile tells of the same jar. */
class FileSystemChecks {
    static void walk(ClassLoader loader) throws Exception {
        for (String pair : System.getProperty("compat.jars", "").split(";")) {
            String nested = pair.substring(0, pair.indexOf('='));
            JarFile jar = new JarFile(pair.substring(pair.indexOf('=') + 1));
            TreeSet<String> listed = new TreeSet<String>();
            List<String> attributeMismatches = new ArrayList<String>();
            // What the listing names, and the directories that its names
            // imply without an entry of their own.
            for (JarEntry entry : Collections.list(jar.entries())) {
                for (int slash = entry.getName().indexOf('/'); slash > 0; slash = entry.getName().indexOf('/', slash + 1)) {
                    listed.add(entry.getName().substring(0, slash + 1));
                }
                listed.add(entry.getName());
            }
            TreeSet<String> walked = new TreeSet<String>();
            Path root = Paths.get(URI.create("xoq:" + nested + "!"));
            try (Stream<Path> paths = Files.walk(root)) {
                for (Path path : (Iterable<Path>) paths::iterator) {
                    String name = root.relativize(path).toString();
                    if (name.isEmpty()) {
                        continue;
                    }
                    boolean directory = Files.isDirectory(path);
                    walked.add(directory ? name + "/" : name);
                    JarEntry entry = jar.getJarEntry(directory ? name + "/" : name);
                    if (entry != null && (Files.getLastModifiedTime(path).toMillis() != entry.getTime()
                            || (!directory && Files.size(path) != entry.getSize()))) {
                        attributeMismatches.add(name);
                    }
                }
            }
            jar.close();
            Main.report("walk." + nested + ".same", walked.equals(listed) ? "true" : walked + " against " + listed);
            Main.report("walk." + nested + ".count", walked.size());
            Main.report("walk." + nested + ".attributeMismatches", attributeMismatches);
        }
        // The URL of a package's directory, as scanners get it, is a path.
        Path directory = Paths.get(loader.getResource("compat/").toURI());
        List<String> names = new ArrayList<String>();
        try (Stream<Path> children = Files.list(directory)) {
            for (Path child : (Iterable<Path>) children::iterator) {
                names.add(child.getFileName().toString());
            }
        }
        Collections.sort(names);
        Main.report("walk.directory", directory.toUri() + " " + names);
        Path data = directory.resolve("data.txt");
        Main.report("walk.read", new String(Files.readAllBytes(data), "UTF-8").trim() + " "
                + Arrays.equals(Files.readAllBytes(data), Main.bytes(data.toUri().toURL().openStream())));
        try {
            Files.readAllBytes(directory.resolve("Main.class"));
            Main.report("walk.classFile", "read");
        } catch (AccessDeniedException e) {
            Main.report("walk.classFile", "refused");
        }
        try {
            Files.write(directory.resolve("new.txt"), new byte[1]);
            Main.report("walk.write", "written");
        } catch (ReadOnlyFileSystemException e) {
            Main.report("walk.write", "read-only");
        }
        Main.report("walk.missing", Files.exists(directory.resolve("missing.txt")));
        // A file system of its own, closed after use; the payload's top.
        try (FileSystem own = FileSystems.newFileSystem(URI.create("xoq:lib/compat.jar!compat/data.txt"),
                Collections.<String, Object>emptyMap())) {
            Main.report("walk.newFileSystem", Files.isRegularFile(own.getPath("/compat/data.txt")));
        }
        Main.report("walk.top", Files.isDirectory(Paths.get(URI.create("xoq:/com/tarvolin/xoq/")))
                + " " + Files.isRegularFile(Paths.get(URI.create("xoq:lib/compat.jar"))));
        // A directory stream as the JDK's zip file system gives one over
        // the jar itself.
        Main.report("walk.stream", stream(directory));
        String compatJar = System.getProperty("compat.jars", "").replaceAll("^lib/compat.jar=([^;]*).*$", "$1");
        try (FileSystem zip = FileSystems.newFileSystem(Paths.get(compatJar), (ClassLoader) null)) {
            Main.report("walk.zipStream", stream(zip.getPath("/compat")));
        } catch (ProviderNotFoundException e) {
            // A runtime without the jdk.zipfs module.
            Main.report("walk.zipStream", "no zip file system");
        }
    }

    // What a filter that throws, closing and taking an iterator late do.
    static String stream(Path directory) throws Exception {
        StringBuilder out = new StringBuilder();
        DirectoryStream.Filter<Path> failing = new DirectoryStream.Filter<Path>() {
            public boolean accept(Path entry) throws IOException {
                throw new IOException("refused");
            }
        };
        try (DirectoryStream<Path> stream = Files.newDirectoryStream(directory, failing)) {
            out.append("opened");
            stream.iterator().hasNext();
            out.append(", iterated");
        } catch (DirectoryIteratorException e) {
            out.append(", ").append(e.getCause().getMessage());
        }
        DirectoryStream<Path> stream = Files.newDirectoryStream(directory);
        Iterator<Path> iterator = stream.iterator();
        iterator.next();
        stream.close();
        int more = 0;
        while (iterator.hasNext()) {
            iterator.next();
            more++;
        }
        out.append(", ").append(more < 2 ? "ends when closed" : more + " after close");
        stream = Files.newDirectoryStream(directory);
        stream.close();
        try {
            stream.iterator();
            out.append(", an iterator after close");
        } catch (IllegalStateException e) {
            out.append(", no iterator after close");
        }
        return out.toString();
    }
}
