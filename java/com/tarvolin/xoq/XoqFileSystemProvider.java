package com.tarvolin.xoq;

import java.io.IOException;
import java.net.URI;
import java.nio.channels.SeekableByteChannel;
import java.nio.file.AccessDeniedException;
import java.nio.file.AccessMode;
import java.nio.file.CopyOption;
import java.nio.file.DirectoryIteratorException;
import java.nio.file.DirectoryStream;
import java.nio.file.FileStore;
import java.nio.file.FileSystem;
import java.nio.file.FileSystemException;
import java.nio.file.FileSystemNotFoundException;
import java.nio.file.LinkOption;
import java.nio.file.NoSuchFileException;
import java.nio.file.NotDirectoryException;
import java.nio.file.OpenOption;
import java.nio.file.Path;
import java.nio.file.ReadOnlyFileSystemException;
import java.nio.file.StandardOpenOption;
import java.nio.file.attribute.BasicFileAttributeView;
import java.nio.file.attribute.BasicFileAttributes;
import java.nio.file.attribute.FileAttribute;
import java.nio.file.attribute.FileAttributeView;
import java.nio.file.attribute.FileTime;
import java.nio.file.spi.FileSystemProvider;
import java.util.Iterator;
import java.util.LinkedHashMap;
import java.util.Map;
import java.util.NoSuchElementException;
import java.util.Set;
import java.util.concurrent.ConcurrentHashMap;

/**
 * The provider of "xoq:" file systems, installed through the runtime's list
 * of file system providers: every archive of the payload (the payload
 * archive itself, "xoq:/", and each jar nested in it, "xoq:lib/a.jar!") is a
 * read-only file system, so that Paths.get(url.toURI()) works for every URL
 * the class loader hands out and scanners can walk a package's directory.
 *
 * A URI names its archive before the last '!' and the path inside after it;
 * without a '!' the path is in the payload archive itself. The file systems
 * exist as long as the payload does: Paths.get and getFileSystem make them
 * on first use, and newFileSystem gives a separate one each time, which its
 * caller may close.
 */
public final class XoqFileSystemProvider extends FileSystemProvider {
    private final Map<String, XoqFileSystem> fileSystems = new ConcurrentHashMap<String, XoqFileSystem>();
    private volatile Handler handler;

    public XoqFileSystemProvider() {
    }

    @Override
    public String getScheme() {
        return "xoq";
    }

    private Handler handler() {
        if (handler == null) {
            handler = new Handler();
        }
        return handler;
    }

    /** The archive part of a "xoq:" URI, and the path inside it. */
    private static String[] split(URI uri) {
        if (uri.getScheme() == null || !uri.getScheme().equalsIgnoreCase("xoq")) {
            throw new IllegalArgumentException("not a xoq: URI: " + uri);
        }
        String part = uri.getSchemeSpecificPart();
        if (uri.getFragment() != null) {
            // A '#' written as it is in a name starts no fragment here.
            part += "#" + uri.getFragment();
        }
        int bang = part.lastIndexOf('!');
        String archive = bang < 0 ? "" : part.substring(0, bang).replace('\\', '/');
        while (archive.startsWith("/")) {
            archive = archive.substring(1);
        }
        return new String[] {archive, bang < 0 ? part : part.substring(bang + 1)};
    }

    private XoqFileSystem create(String archive) {
        String[] names = handler().listEntries(archive);
        if (names == null) {
            throw new FileSystemNotFoundException("the executable holds no archive \"" + archive + "\"");
        }
        return new XoqFileSystem(this, archive, handler(), names);
    }

    private XoqFileSystem shared(String archive) {
        XoqFileSystem fileSystem = fileSystems.get(archive);
        if (fileSystem == null) {
            XoqFileSystem made = create(archive);
            fileSystem = fileSystems.putIfAbsent(archive, made);
            if (fileSystem == null) {
                fileSystem = made;
            }
        }
        return fileSystem;
    }

    void closed(XoqFileSystem fileSystem) {
        fileSystems.remove(fileSystem.archive(), fileSystem);
    }

    @Override
    public FileSystem newFileSystem(URI uri, Map<String, ?> env) {
        return create(split(uri)[0]);
    }

    @Override
    public FileSystem getFileSystem(URI uri) {
        return shared(split(uri)[0]);
    }

    @Override
    public Path getPath(URI uri) {
        String[] parts = split(uri);
        return new XoqPath(shared(parts[0]), "/" + parts[1]);
    }

    private static XoqPath check(Path path) {
        XoqPath xoqPath = XoqPath.check(path);
        xoqPath.getFileSystem().checkOpen();
        return xoqPath;
    }

    @Override
    public SeekableByteChannel newByteChannel(Path path, Set<? extends OpenOption> options, FileAttribute<?>... attributes)
            throws IOException {
        for (OpenOption option : options) {
            if (option != StandardOpenOption.READ && option != LinkOption.NOFOLLOW_LINKS) {
                throw new ReadOnlyFileSystemException();
            }
        }
        XoqPath xoqPath = check(path);
        XoqFileSystem fileSystem = xoqPath.getFileSystem();
        String key = xoqPath.key();
        if (fileSystem.isDirectory(key)) {
            throw new FileSystemException(path.toString(), null, "is a directory");
        }
        if (!fileSystem.exists(key)) {
            throw new NoSuchFileException(path.toString());
        }
        String text = fileSystem.urlText(key, false);
        byte[] data = fileSystem.handler().loadResourceData(text);
        EntryInfo info = EntryInfo.of(fileSystem.handler(), text);
        if (info != null && info.isRefusedClassFile()) {
            throw new AccessDeniedException(path.toString(), null,
                    "class files are read as resources only with \"compatible true\" in the configuration");
        }
        if (data == null) {
            throw new FileSystemException(path.toString(), null, "the entry cannot be read");
        }
        return new ByteArrayChannel(data);
    }

    @Override
    public DirectoryStream<Path> newDirectoryStream(Path directory, final DirectoryStream.Filter<? super Path> filter)
            throws IOException {
        final XoqPath xoqPath = check(directory);
        Set<String> names = xoqPath.getFileSystem().children(xoqPath.key());
        if (names == null) {
            if (!xoqPath.getFileSystem().exists(xoqPath.key())) {
                throw new NoSuchFileException(directory.toString());
            }
            throw new NotDirectoryException(directory.toString());
        }
        final Iterator<String> children = names.iterator();
        // As the JDK's streams behave: the filter runs as the iteration goes
        // (what it throws comes as a DirectoryIteratorException), one
        // iterator per stream, and nothing more once the stream is closed.
        return new DirectoryStream<Path>() {
            private boolean iterated;
            private volatile boolean closed;

            @Override
            public synchronized Iterator<Path> iterator() {
                if (closed) {
                    throw new IllegalStateException("the directory stream is closed");
                }
                if (iterated) {
                    throw new IllegalStateException("the iterator was taken already");
                }
                iterated = true;
                return new Iterator<Path>() {
                    private Path next;

                    @Override
                    public boolean hasNext() {
                        while (next == null && !closed && children.hasNext()) {
                            Path entry = xoqPath.resolve(children.next());
                            try {
                                if (filter == null || filter.accept(entry)) {
                                    next = entry;
                                }
                            } catch (IOException e) {
                                throw new DirectoryIteratorException(e);
                            }
                        }
                        return next != null;
                    }

                    @Override
                    public Path next() {
                        if (!hasNext()) {
                            throw new NoSuchElementException();
                        }
                        Path entry = next;
                        next = null;
                        return entry;
                    }

                    @Override
                    public void remove() {
                        throw new UnsupportedOperationException();
                    }
                };
            }

            @Override
            public void close() {
                closed = true;
            }
        };
    }

    @Override
    public void createDirectory(Path directory, FileAttribute<?>... attributes) {
        throw new ReadOnlyFileSystemException();
    }

    @Override
    public void delete(Path path) {
        throw new ReadOnlyFileSystemException();
    }

    @Override
    public void copy(Path source, Path target, CopyOption... options) {
        throw new ReadOnlyFileSystemException();
    }

    @Override
    public void move(Path source, Path target, CopyOption... options) {
        throw new ReadOnlyFileSystemException();
    }

    @Override
    public boolean isSameFile(Path path, Path other) throws IOException {
        return path.equals(other) || (other instanceof XoqPath && path instanceof XoqPath
                && ((XoqPath) path).getFileSystem().archive().equals(((XoqPath) other).getFileSystem().archive())
                && ((XoqPath) path).key().equals(((XoqPath) other).key()));
    }

    @Override
    public boolean isHidden(Path path) {
        return false;
    }

    @Override
    public FileStore getFileStore(Path path) {
        return check(path).getFileSystem().store();
    }

    @Override
    public void checkAccess(Path path, AccessMode... modes) throws IOException {
        XoqPath xoqPath = check(path);
        if (!xoqPath.getFileSystem().exists(xoqPath.key())) {
            throw new NoSuchFileException(path.toString());
        }
        for (AccessMode mode : modes) {
            if (mode == AccessMode.WRITE || mode == AccessMode.EXECUTE) {
                throw new AccessDeniedException(path.toString(), null, "the executable's entries are read only");
            }
        }
    }

    @Override
    @SuppressWarnings("unchecked")
    public <V extends FileAttributeView> V getFileAttributeView(Path path, Class<V> type, LinkOption... options) {
        if (type != BasicFileAttributeView.class && type != FileAttributeView.class) {
            return null;
        }
        final XoqPath xoqPath = check(path);
        return (V) new BasicFileAttributeView() {
            @Override
            public String name() {
                return "basic";
            }

            @Override
            public BasicFileAttributes readAttributes() throws IOException {
                return attributes(xoqPath);
            }

            @Override
            public void setTimes(FileTime lastModified, FileTime lastAccess, FileTime create) {
                throw new ReadOnlyFileSystemException();
            }
        };
    }

    @Override
    @SuppressWarnings("unchecked")
    public <A extends BasicFileAttributes> A readAttributes(Path path, Class<A> type, LinkOption... options)
            throws IOException {
        if (type != BasicFileAttributes.class) {
            throw new UnsupportedOperationException("only basic attributes");
        }
        return (A) attributes(check(path));
    }

    @Override
    public Map<String, Object> readAttributes(Path path, String attributes, LinkOption... options) throws IOException {
        String wanted = attributes;
        int colon = wanted.indexOf(':');
        if (colon >= 0) {
            if (!wanted.substring(0, colon).equals("basic")) {
                throw new UnsupportedOperationException("only basic attributes");
            }
            wanted = wanted.substring(colon + 1);
        }
        BasicFileAttributes basic = attributes(check(path));
        Map<String, Object> all = new LinkedHashMap<String, Object>();
        all.put("lastModifiedTime", basic.lastModifiedTime());
        all.put("lastAccessTime", basic.lastAccessTime());
        all.put("creationTime", basic.creationTime());
        all.put("size", basic.size());
        all.put("isRegularFile", basic.isRegularFile());
        all.put("isDirectory", basic.isDirectory());
        all.put("isSymbolicLink", basic.isSymbolicLink());
        all.put("isOther", basic.isOther());
        all.put("fileKey", basic.fileKey());
        if (wanted.equals("*")) {
            return all;
        }
        Map<String, Object> chosen = new LinkedHashMap<String, Object>();
        for (String name : wanted.split(",")) {
            if (!all.containsKey(name)) {
                throw new IllegalArgumentException("no attribute " + name);
            }
            chosen.put(name, all.get(name));
        }
        return chosen;
    }

    @Override
    public void setAttribute(Path path, String attribute, Object value, LinkOption... options) {
        throw new ReadOnlyFileSystemException();
    }

    private static BasicFileAttributes attributes(XoqPath path) throws IOException {
        XoqFileSystem fileSystem = path.getFileSystem();
        String key = path.key();
        if (!fileSystem.exists(key)) {
            throw new NoSuchFileException(path.toString());
        }
        final boolean directory = fileSystem.isDirectory(key);
        EntryInfo info = fileSystem.info(key);
        if (info == null && !directory) {
            throw new NoSuchFileException(path.toString());
        }
        final long size = info == null ? 0 : info.size;
        final FileTime time = FileTime.fromMillis(info == null ? 0 : info.lastModified);
        return new BasicFileAttributes() {
            @Override
            public FileTime lastModifiedTime() {
                return time;
            }

            @Override
            public FileTime lastAccessTime() {
                return time;
            }

            @Override
            public FileTime creationTime() {
                return time;
            }

            @Override
            public boolean isRegularFile() {
                return !directory;
            }

            @Override
            public boolean isDirectory() {
                return directory;
            }

            @Override
            public boolean isSymbolicLink() {
                return false;
            }

            @Override
            public boolean isOther() {
                return false;
            }

            @Override
            public long size() {
                return size;
            }

            @Override
            public Object fileKey() {
                return null;
            }
        };
    }
}
