package com.tarvolin.xoq;

import java.io.File;
import java.io.IOException;
import java.net.URI;
import java.nio.file.LinkOption;
import java.nio.file.NoSuchFileException;
import java.nio.file.Path;
import java.nio.file.ProviderMismatchException;
import java.nio.file.WatchEvent;
import java.nio.file.WatchKey;
import java.nio.file.WatchService;
import java.util.ArrayList;
import java.util.Iterator;
import java.util.List;

/**
 * A path in one archive of the payload, '/' separated; absolute paths start
 * at the archive's root "/". Paths are plain text: only the file system's
 * tree says what exists.
 */
final class XoqPath implements Path {
    private final XoqFileSystem fileSystem;
    private final String path;  // no empty names, no trailing '/' except the root's

    XoqPath(XoqFileSystem fileSystem, String path) {
        this.fileSystem = fileSystem;
        this.path = clean(path);
    }

    private static String clean(String path) {
        StringBuilder cleaned = new StringBuilder(path.length());
        for (int i = 0; i < path.length(); i++) {
            char c = path.charAt(i);
            if (c == '/' && cleaned.length() > 0 && cleaned.charAt(cleaned.length() - 1) == '/') {
                continue;
            }
            cleaned.append(c);
        }
        if (cleaned.length() > 1 && cleaned.charAt(cleaned.length() - 1) == '/') {
            cleaned.setLength(cleaned.length() - 1);
        }
        return cleaned.toString();
    }

    /** The path inside the archive without its leading '/': "" for the root. */
    String key() {
        return toAbsolutePath().normalize().toString().substring(1);
    }

    private List<String> names() {
        List<String> names = new ArrayList<String>();
        for (String name : path.split("/")) {
            if (!name.isEmpty()) {
                names.add(name);
            }
        }
        return names;
    }

    private XoqPath of(List<String> names, boolean absolute) {
        StringBuilder text = new StringBuilder(absolute ? "/" : "");
        for (int i = 0; i < names.size(); i++) {
            text.append(i > 0 ? "/" : "").append(names.get(i));
        }
        return new XoqPath(fileSystem, text.toString());
    }

    /** `other` as a path of this provider; a ProviderMismatchException for any other. */
    static XoqPath check(Path other) {
        if (!(other instanceof XoqPath)) {
            throw new ProviderMismatchException();
        }
        return (XoqPath) other;
    }

    @Override
    public XoqFileSystem getFileSystem() {
        return fileSystem;
    }

    @Override
    public boolean isAbsolute() {
        return path.startsWith("/");
    }

    @Override
    public Path getRoot() {
        return isAbsolute() ? new XoqPath(fileSystem, "/") : null;
    }

    @Override
    public Path getFileName() {
        List<String> names = names();
        if (names.isEmpty()) {
            return path.isEmpty() ? this : null;
        }
        return new XoqPath(fileSystem, names.get(names.size() - 1));
    }

    @Override
    public Path getParent() {
        List<String> names = names();
        if (names.isEmpty() || (names.size() == 1 && !isAbsolute())) {
            return null;
        }
        return of(names.subList(0, names.size() - 1), isAbsolute());
    }

    @Override
    public int getNameCount() {
        return path.isEmpty() ? 1 : names().size();
    }

    @Override
    public Path getName(int index) {
        return subpath(index, index + 1);
    }

    @Override
    public Path subpath(int beginIndex, int endIndex) {
        List<String> names = path.isEmpty() ? java.util.Collections.singletonList("") : names();
        if (beginIndex < 0 || endIndex > names.size() || beginIndex >= endIndex) {
            throw new IllegalArgumentException();
        }
        return of(names.subList(beginIndex, endIndex), false);
    }

    @Override
    public boolean startsWith(Path other) {
        if (!(other instanceof XoqPath) || ((XoqPath) other).fileSystem != fileSystem) {
            return false;
        }
        XoqPath that = (XoqPath) other;
        if (that.isAbsolute() != isAbsolute() || (that.path.isEmpty() && !path.isEmpty())) {
            return false;
        }
        List<String> mine = names();
        List<String> theirs = that.names();
        return theirs.size() <= mine.size() && mine.subList(0, theirs.size()).equals(theirs);
    }

    @Override
    public boolean startsWith(String other) {
        return startsWith(fileSystem.getPath(other));
    }

    @Override
    public boolean endsWith(Path other) {
        if (!(other instanceof XoqPath) || ((XoqPath) other).fileSystem != fileSystem) {
            return false;
        }
        XoqPath that = (XoqPath) other;
        if (that.isAbsolute()) {
            return that.path.equals(path);
        }
        if (that.path.isEmpty()) {
            return path.isEmpty();
        }
        List<String> mine = names();
        List<String> theirs = that.names();
        return theirs.size() <= mine.size() && mine.subList(mine.size() - theirs.size(), mine.size()).equals(theirs);
    }

    @Override
    public boolean endsWith(String other) {
        return endsWith(fileSystem.getPath(other));
    }

    @Override
    public Path normalize() {
        List<String> names = new ArrayList<String>();
        for (String name : names()) {
            if (name.equals(".")) {
                continue;
            }
            if (name.equals("..") && !names.isEmpty() && !names.get(names.size() - 1).equals("..")) {
                names.remove(names.size() - 1);
            } else if (!(name.equals("..") && isAbsolute())) {
                names.add(name);
            }
        }
        return of(names, isAbsolute());
    }

    @Override
    public Path resolve(Path other) {
        XoqPath that = check(other);
        if (that.isAbsolute()) {
            return that;
        }
        if (that.path.isEmpty()) {
            return this;
        }
        if (path.isEmpty()) {
            return that;
        }
        return new XoqPath(fileSystem, path + "/" + that.path);
    }

    @Override
    public Path resolve(String other) {
        return resolve(fileSystem.getPath(other));
    }

    @Override
    public Path resolveSibling(Path other) {
        Path parent = getParent();
        return parent == null ? check(other) : parent.resolve(other);
    }

    @Override
    public Path resolveSibling(String other) {
        return resolveSibling(fileSystem.getPath(other));
    }

    @Override
    public Path relativize(Path other) {
        XoqPath that = check(other);
        if (that.isAbsolute() != isAbsolute()) {
            throw new IllegalArgumentException("'" + other + "' is not relative to '" + this + "' in the same way");
        }
        List<String> mine = names();
        List<String> theirs = that.names();
        int common = 0;
        while (common < mine.size() && common < theirs.size() && mine.get(common).equals(theirs.get(common))) {
            common++;
        }
        List<String> steps = new ArrayList<String>();
        for (int i = common; i < mine.size(); i++) {
            steps.add("..");
        }
        steps.addAll(theirs.subList(common, theirs.size()));
        return of(steps, false);
    }

    @Override
    public URI toUri() {
        return fileSystem.uriOf(this);
    }

    @Override
    public XoqPath toAbsolutePath() {
        return isAbsolute() ? this : new XoqPath(fileSystem, "/" + path);
    }

    @Override
    public Path toRealPath(LinkOption... options) throws IOException {
        XoqPath real = (XoqPath) toAbsolutePath().normalize();
        if (!fileSystem.exists(real.key())) {
            throw new NoSuchFileException(toString());
        }
        return real;
    }

    @Override
    public File toFile() {
        throw new UnsupportedOperationException("a path inside the executable is no file of its own");
    }

    @Override
    public WatchKey register(WatchService watcher, WatchEvent.Kind<?>[] events, WatchEvent.Modifier... modifiers) {
        throw new UnsupportedOperationException("the payload never changes");
    }

    @Override
    public WatchKey register(WatchService watcher, WatchEvent.Kind<?>... events) {
        throw new UnsupportedOperationException("the payload never changes");
    }

    @Override
    public Iterator<Path> iterator() {
        List<Path> paths = new ArrayList<Path>();
        for (int i = 0; i < getNameCount(); i++) {
            paths.add(getName(i));
        }
        return paths.iterator();
    }

    @Override
    public int compareTo(Path other) {
        return path.compareTo(check(other).path);
    }

    @Override
    public boolean equals(Object other) {
        return other instanceof XoqPath && ((XoqPath) other).fileSystem == fileSystem
                && ((XoqPath) other).path.equals(path);
    }

    @Override
    public int hashCode() {
        return path.hashCode() * 31 + System.identityHashCode(fileSystem);
    }

    @Override
    public String toString() {
        return path;
    }
}
