package com.tarvolin.xoq;

import java.io.ByteArrayInputStream;
import java.io.InputStream;
import java.lang.ref.SoftReference;
import java.net.URL;
import java.net.URLConnection;
import java.util.Collections;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Locale;
import java.util.Map;

/**
 * The connection of an "xoq:" URL: the entry's bytes, and its own size and
 * time read from the archive's directory on first need (a jar connection
 * tells the jar file's time).
 */
final class EntryConnection extends URLConnection {
    private final Handler handler;
    private final String text;
    private EntryInfo info;
    private boolean infoRead;

    private EntryConnection(Handler handler, URL url) {
        super(url);
        this.handler = handler;
        this.text = url.toString();
    }

    static URLConnection open(Handler handler, URL url) {
        return new EntryConnection(handler, url);
    }

    @Override
    public void connect() {
    }

    @Override
    public InputStream getInputStream() {
        byte[] data = null;
        SoftReference<byte[]> cached = Handler.loadedData.get(text);
        if (cached != null) {
            data = cached.get();
        }
        if (data == null) {
            data = handler.loadResourceData(text);
            Handler.loadedData.put(text, new SoftReference<byte[]>(data));
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
            String time = Handler.httpDate(getLastModified());
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
}
