package com.tarvolin.xoq;

import java.lang.ref.SoftReference;
import java.net.MalformedURLException;
import java.net.URL;
import java.net.URLConnection;
import java.net.URLStreamHandler;
import java.nio.charset.Charset;
import java.text.SimpleDateFormat;
import java.util.Date;
import java.util.Hashtable;
import java.util.Locale;
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
        // Made by the connection class itself, so that verifying this class
        // does not load that one: most starts never open a connection.
        return EntryConnection.open(this, url);
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

    static String httpDate(long time) {
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
