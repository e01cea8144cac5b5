package com.tarvolin.xoq;

import java.io.ByteArrayInputStream;
import java.io.InputStream;
import java.lang.ref.SoftReference;
import java.net.URL;
import java.net.URLConnection;
import java.net.URLStreamHandler;
import java.util.Hashtable;

/** The stream handler of "xoq:" URLs, which name entries of the payload archive. */
public class Handler extends URLStreamHandler {
    /** URL text to a soft reference to the entry's bytes. */
    protected static Hashtable<String, SoftReference<byte[]>> loadedData;

    static {
        loadedData = new Hashtable<String, SoftReference<byte[]>>();
        NativeLibrary.load();
    }

    public Handler() {
    }

    @Override
    protected URLConnection openConnection(URL url) {
        final Handler handler = this;
        final String text = url.toString();
        return new URLConnection(url) {
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
        };
    }

    /** The bytes of the entry that the URL text names, or null. */
    protected native byte[] loadResourceData(String url);
}
