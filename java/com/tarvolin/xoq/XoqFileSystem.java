package com.tarvolin.xoq;

import java.io.IOException;
import java.net.URI;
import java.nio.file.ClosedFileSystemException;
import java.nio.file.FileStore;
import java.nio.file.FileSystem;
import java.nio.file.Path;
import java.nio.file.PathMatcher;
import java.nio.file.WatchService;
import java.nio.file.attribute.BasicFileAttributeView;
import java.nio.file.attribute.FileAttributeView;
import java.nio.file.attribute.FileStoreAttributeView;
import java.nio.file.attribute.UserPrincipalLookupService;
import java.util.Collections;
import java.util.HashMap;
import java.util.HashSet;
import java.util.Map;
import java.util.Set;
import java.util.TreeSet;
import java.util.regex.Pattern;

/**
 * The entries of one archive of the payload (the payload archive itself or a
 * jar nested in it) as a read-only file system. Its directories are those
 * that entries name, with or without an entry of their own.
 */
final class XoqFileSystem extends FileSystem {
    private final XoqFileSystemProvider provider;
    private final String archive;  // entry path of the archive, '/' separators; "" for the payload
    private final Handler handler;
    private final Map<String, TreeSet<String>> directories = new HashMap<String, TreeSet<String>>();
    private final Set<String> files = new HashSet<String>();
    private final Set<String> directoryEntries = new HashSet<String>();
    private volatile boolean open = true;

    XoqFileSystem(XoqFileSystemProvider provider, String archive, Handler handler, String[] names) {
        this.provider = provider;
        this.archive = archive;
        this.handler = handler;
        directories.put("", new TreeSet<String>());
        for (String name : names) {
            boolean directory = name.endsWith("/");
            String key = new XoqPath(this, "/" + name).key();
            if (key.isEmpty()) {
                continue;
            }
            if (directory) {
                directoryEntries.add(key);
                addDirectory(key);
            } else {
                files.add(key);
                addChild(key);
            }
        }
    }

    private void addDirectory(String key) {
        if (!directories.containsKey(key)) {
            directories.put(key, new TreeSet<String>());
            addChild(key);
        }
    }

    private void addChild(String key) {
        int slash = key.lastIndexOf('/');
        String parent = slash < 0 ? "" : key.substring(0, slash);
        addDirectory(parent);
        directories.get(parent).add(key.substring(slash + 1));
    }

    String archive() {
        return archive;
    }

    Handler handler() {
        return handler;
    }

    void checkOpen() {
        if (!open) {
            throw new ClosedFileSystemException();
        }
    }

    boolean exists(String key) {
        return isDirectory(key) || files.contains(key);
    }

    boolean isDirectory(String key) {
        return directories.containsKey(key);
    }

    /** The names in a directory, sorted; null when it is none. */
    Set<String> children(String key) {
        TreeSet<String> names = directories.get(key);
        return names == null ? null : Collections.unmodifiableSet(names);
    }

    /**
     * The "xoq:" URL text of the entry behind `key` (a directory's entry
     * ends in '/'), as the class loader would hand it out.
     */
    String urlText(String key, boolean directory) {
        String name = directory && !key.isEmpty() ? key + "/" : key;
        return "xoq:" + (archive.isEmpty() ? "" : archive + "!") + name;
    }

    /** The entry's description; null for a directory without an entry of its own. */
    EntryInfo info(String key) {
        boolean directory = isDirectory(key);
        if (directory && !directoryEntries.contains(key)) {
            return null;
        }
        return EntryInfo.of(handler, urlText(key, directory));
    }

    URI uriOf(XoqPath path) {
        String key = path.key();
        String inner = isDirectory(key) && !key.isEmpty() ? key + "/" : key;
        String part = archive.isEmpty() ? (inner.isEmpty() ? "/" : inner) : archive + "!" + inner;
        // Escaped as the class loader's URLs are, so that a path's URI and
        // the URI of the URL the loader hands out for it are equal.
        return URI.create(Handler.escape("xoq:" + part, true));
    }

    @Override
    public XoqFileSystemProvider provider() {
        return provider;
    }

    @Override
    public void close() {
        open = false;
        provider.closed(this);
    }

    @Override
    public boolean isOpen() {
        return open;
    }

    @Override
    public boolean isReadOnly() {
        return true;
    }

    @Override
    public String getSeparator() {
        return "/";
    }

    @Override
    public Iterable<Path> getRootDirectories() {
        return Collections.<Path>singletonList(new XoqPath(this, "/"));
    }

    @Override
    public Iterable<FileStore> getFileStores() {
        return Collections.<FileStore>singletonList(new Store());
    }

    FileStore store() {
        return new Store();
    }

    @Override
    public Set<String> supportedFileAttributeViews() {
        return Collections.singleton("basic");
    }

    @Override
    public Path getPath(String first, String... more) {
        StringBuilder text = new StringBuilder(first);
        for (String part : more) {
            if (!part.isEmpty()) {
                text.append(text.length() > 0 ? "/" : "").append(part);
            }
        }
        return new XoqPath(this, text.toString());
    }

    @Override
    public PathMatcher getPathMatcher(String syntaxAndPattern) {
        int colon = syntaxAndPattern.indexOf(':');
        if (colon <= 0) {
            throw new IllegalArgumentException("no syntax in " + syntaxAndPattern);
        }
        String syntax = syntaxAndPattern.substring(0, colon);
        String pattern = syntaxAndPattern.substring(colon + 1);
        final Pattern regex;
        if (syntax.equalsIgnoreCase("glob")) {
            regex = Pattern.compile(globToRegex(pattern));
        } else if (syntax.equalsIgnoreCase("regex")) {
            regex = Pattern.compile(pattern);
        } else {
            throw new UnsupportedOperationException("syntax " + syntax + " is not known");
        }
        return new PathMatcher() {
            @Override
            public boolean matches(Path path) {
                return regex.matcher(path.toString()).matches();
            }
        };
    }

    /** The regular expression of a glob: "*" within a name, "**" across names, "?", "[...]", "{a,b}". */
    static String globToRegex(String glob) {
        StringBuilder regex = new StringBuilder();
        boolean inGroup = false;
        for (int i = 0; i < glob.length(); i++) {
            char c = glob.charAt(i);
            if (c == '\\' && i + 1 < glob.length()) {
                regex.append(Pattern.quote(String.valueOf(glob.charAt(++i))));
            } else if (c == '*' && i + 1 < glob.length() && glob.charAt(i + 1) == '*') {
                regex.append(".*");
                i++;
            } else if (c == '*') {
                regex.append("[^/]*");
            } else if (c == '?') {
                regex.append("[^/]");
            } else if (c == '[') {
                int end = glob.indexOf(']', i + 1);
                if (end < 0) {
                    throw new IllegalArgumentException("no ']' in " + glob);
                }
                String set = glob.substring(i + 1, end).replace("\\", "\\\\").replace("[", "\\[");
                regex.append("[").append(set.startsWith("!") ? "^" + set.substring(1) : set).append("]");
                i = end;
            } else if (c == '{' && !inGroup) {
                regex.append("(?:");
                inGroup = true;
            } else if (c == '}' && inGroup) {
                regex.append(")");
                inGroup = false;
            } else if (c == ',' && inGroup) {
                regex.append("|");
            } else {
                regex.append(Pattern.quote(String.valueOf(c)));
            }
        }
        if (inGroup) {
            throw new IllegalArgumentException("no '}' in " + glob);
        }
        return regex.toString();
    }

    @Override
    public UserPrincipalLookupService getUserPrincipalLookupService() {
        throw new UnsupportedOperationException("entries of the payload have no owners");
    }

    @Override
    public WatchService newWatchService() throws IOException {
        throw new UnsupportedOperationException("the payload never changes");
    }

    /** The one store of the file system: the executable, read only. */
    private final class Store extends FileStore {
        @Override
        public String name() {
            return archive.isEmpty() ? "xoq" : archive;
        }

        @Override
        public String type() {
            return "xoq";
        }

        @Override
        public boolean isReadOnly() {
            return true;
        }

        @Override
        public long getTotalSpace() {
            return 0;
        }

        @Override
        public long getUsableSpace() {
            return 0;
        }

        @Override
        public long getUnallocatedSpace() {
            return 0;
        }

        @Override
        public boolean supportsFileAttributeView(Class<? extends FileAttributeView> type) {
            return type == BasicFileAttributeView.class;
        }

        @Override
        public boolean supportsFileAttributeView(String name) {
            return name.equals("basic");
        }

        @Override
        public <V extends FileStoreAttributeView> V getFileStoreAttributeView(Class<V> type) {
            return null;
        }

        @Override
        public Object getAttribute(String attribute) {
            throw new UnsupportedOperationException("no attribute " + attribute);
        }
    }
}
