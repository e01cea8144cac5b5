package com.tarvolin.xoq;

import java.io.ByteArrayInputStream;
import java.io.InputStream;
import java.lang.ref.SoftReference;
import java.net.MalformedURLException;
import java.net.URL;
import java.net.URLConnection;
import java.net.URLStreamHandler;
import java.nio.charset.Charset;
import java.text.SimpleDateFormat;
import java.util.Collections;
import java.util.Date;
import java.util.Hashtable;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Locale;
import java.util.Map;
import java.util.TimeZone;

/** The stream handler of "xoq:" URLs, which name entries of the payload archive. */
public class Handler extends URLStreamHandler {
    private static final Charset UTF_8 = Charset.forName("UTF-8");

    /** URL text to a soft reference to the entry's bytes. */
    protected static Hashtable<String, SoftReference<byte[]>> loadedData;

    static {
        loadedData = new Hashtable<String, SoftReference<byte[]>>();
        NativeLibrary.load(Handler.class);
    }

    public Handler() {
    }

    @Override
    protected URLConnection openConnection(URL url) {
        final Handler handler = this;
        final String text = url.toString();
        // The entry's own size and time, read from the archive's directory
        // on first need (a jar connection tells the jar file's time).
        return new URLConnection(url) {
            private EntryInfo info;
            private boolean infoRead;

            @Override
            public void connect() {
            }

            @Override
            public InputStream getInputStream() {
                byte[] data = null;
                SoftReference<byte[]> cached = loadedData.get(text);
                if (cached != null) {
                    data = cached.get();
                }
                if (data == null) {
                    data = handler.loadResourceData(text);
                    loadedData.put(text, new SoftReference<byte[]>(data));
                }
                return data == null ? null : new ByteArrayInputStream(data);
            }

            @Override
            public String getContentType() {
                return guessContentTypeFromName(text);
            }

            @Override
            public long getContentLengthLong() {
                EntryInfo entry = info();
                if (entry == null) {
                    return -1;
                }
                // A class file that is not served reads as empty.
                return entry.isRefusedClassFile() ? 0 : entry.size;
            }

            @Override
            public int getContentLength() {
                long length = getContentLengthLong();
                return length > Integer.MAX_VALUE ? -1 : (int) length;
            }

            @Override
            public long getLastModified() {
                EntryInfo entry = info();
                return entry == null ? 0 : entry.lastModified;
            }

            @Override
            public long getDate() {
                return getLastModified();
            }

            @Override
            public String getHeaderField(String name) {
                if (name == null) {
                    return null;
                }
                List<String> values = headers().get(name.toLowerCase(Locale.ROOT));
                return values == null ? null : values.get(0);
            }

            @Override
            public Map<String, List<String>> getHeaderFields() {
                return headers();
            }

            @Override
            public String getHeaderFieldKey(int n) {
                int i = 0;
                for (String key : headers().keySet()) {
                    if (i++ == n) {
                        return key;
                    }
                }
                return null;
            }

            @Override
            public String getHeaderField(int n) {
                String key = getHeaderFieldKey(n);
                return key == null ? null : getHeaderField(key);
            }

            private Map<String, List<String>> headers() {
                Map<String, List<String>> headers = new LinkedHashMap<String, List<String>>();
                String type = getContentType();
                if (type != null) {
                    headers.put("content-type", Collections.singletonList(type));
                }
                if (info() != null) {
                    headers.put("content-length", Collections.singletonList(String.valueOf(getContentLengthLong())));
                    String time = httpDate(getLastModified());
                    headers.put("last-modified", Collections.singletonList(time));
                    headers.put("date", Collections.singletonList(time));
                }
                return Collections.unmodifiableMap(headers);
            }

            private synchronized EntryInfo info() {
                if (!infoRead) {
                    info = EntryInfo.of(handler, text);
                    infoRead = true;
                }
                return info;
            }
        };
    }

    /**
     * The URL's text, with what a URI cannot hold escaped (blanks, quotes,
     * a '%' that starts no escape and the like), so that toURI() works for
     * every URL, also one made from a name as it is. Text that needs
     * nothing escaped, as the names of classes and of most resources, is
     * left as it is.
     */
    @Override
    protected String toExternalForm(URL url) {
        return escape(super.toExternalForm(url), false);
    }

    /**
     * The URL of an entry path, "xoq:" and names as they are, escaped as
     * java -cp escapes its jar URLs: every '%' and '#' as well, so that
     * neither a '%' in a name nor a '#' can make the URL or its URI name
     * another entry. The launcher reads such text back by decoding it.
     */
    URL entryUrl(String text) throws MalformedURLException {
        return new URL(null, escape(text, true), this);
    }

    /**
     * `text` with what a URI cannot hold escaped; with `names`, the text is
     * names as they are, and every '%' and '#' is escaped too.
     */
    static String escape(String text, boolean names) {
        int i = 0;
        while (i < text.length() && !needsEscape(text, i, names)) {
            i++;
        }
        if (i == text.length()) {
            return text;
        }
        StringBuilder escaped = new StringBuilder(text.length() + 16).append(text, 0, i);
        for (; i < text.length(); i++) {
            char c = text.charAt(i);
            if (needsEscape(text, i, names)) {
                // A blank or control character beyond ASCII as its UTF-8 bytes.
                byte[] bytes = c < 0x80 ? new byte[] {(byte) c} : String.valueOf(c).getBytes(UTF_8);
                for (byte b : bytes) {
                    escaped.append('%').append(Character.toUpperCase(Character.forDigit((b >> 4) & 15, 16)))
                            .append(Character.toUpperCase(Character.forDigit(b & 15, 16)));
                }
            } else {
                escaped.append(c);
            }
        }
        return escaped.toString();
    }

    /**
     * Two URLs are equal when their texts are, as toExternalForm gives them:
     * a URL made from an entry's name and one made from its escaped text
     * name the same entry.
     */
    @Override
    protected boolean equals(URL first, URL second) {
        return toExternalForm(first).equals(toExternalForm(second));
    }

    @Override
    protected int hashCode(URL url) {
        return toExternalForm(url).hashCode();
    }

    @Override
    protected boolean sameFile(URL first, URL second) {
        return withoutReference(toExternalForm(first)).equals(withoutReference(toExternalForm(second)));
    }

    private static String withoutReference(String text) {
        int hash = text.indexOf('#');
        return hash < 0 ? text : text.substring(0, hash);
    }

    private static boolean needsEscape(String text, int i, boolean names) {
        char c = text.charAt(i);
        if (names && (c == '%' || c == '#')) {
            return true;
        }
        if (c == '%') {
            return i + 2 >= text.length() || Character.digit(text.charAt(i + 1), 16) < 0
                    || Character.digit(text.charAt(i + 2), 16) < 0;
        }
        if (c >= 0x80) {
            return Character.isSpaceChar(c) || Character.isISOControl(c);
        }
        return c <= ' ' || c == 0x7f || "\"<>\\^`{|}".indexOf(c) >= 0;
    }

    private static String httpDate(long time) {
        SimpleDateFormat format = new SimpleDateFormat("EEE, dd MMM yyyy HH:mm:ss 'GMT'", Locale.US);
        format.setTimeZone(TimeZone.getTimeZone("GMT"));
        return format.format(new Date(time));
    }

    /** The bytes of the entry that the URL text names, or null. */
    protected native byte[] loadResourceData(String url);

    /**
     * Of the entry that the URL text names: its size, DOS time, exact time
     * (Long.MIN_VALUE when unknown) and flags; null when there is none.
     */
    native long[] loadResourceInfo(String url);

    /** The entry names of a payload archive ("" for the payload's own), or null. */
    native String[] listEntries(String archive);
}
