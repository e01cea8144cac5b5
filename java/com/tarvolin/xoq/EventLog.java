package com.tarvolin.xoq;

/**
 * Entries in the Windows event log of this or a named computer, under an
 * event source of the application's choice; on Linux, messages to the
 * system log. Failures are silent: a source that cannot be registered
 * leaves {@link #h} at 0, and every report on it does nothing.
 */
public class EventLog {
    public static final short SUCCESS = 0;
    public static final short ERROR = 1;
    public static final short WARNING = 2;
    public static final short INFORMATION = 4;
    public static final short AUDIT_SUCCESS = 8;
    public static final short AUDIT_FAILURE = 16;

    /** The event source handle; 0 when none. */
    protected long h;

    static {
        NativeLibrary.load(EventLog.class);
    }

    /** The local computer, with a source named after the executable's file name. */
    public EventLog() {
        h = 0;
        init(null, null);
    }

    /** The local computer, with the given source (the executable's file name when null). */
    public EventLog(String source) {
        h = 0;
        init(null, source);
    }

    /** The named computer (the local one when null), with the given source. */
    public EventLog(String server, String source) {
        h = 0;
        init(server, source);
    }

    public void reportEvent(short type, short category, int eventId) {
        reportEvent(type, category, eventId, (String[]) null, (byte[]) null);
    }

    public void reportEvent(short type, short category, int eventId, String string) {
        reportEvent(type, category, eventId, new String[] {string}, (byte[]) null);
    }

    public void reportEvent(short type, short category, int eventId, String[] strings) {
        reportEvent(type, category, eventId, strings, (byte[]) null);
    }

    public void reportEvent(short type, short category, int eventId, String string, byte[] data) {
        reportEvent(type, category, eventId, new String[] {string}, data);
    }

    /**
     * Reports one entry: the type (one of the constants above), a category,
     * the event id, the insertion strings in order (a null element counts
     * as an empty string) and raw data; either array may be null.
     */
    public native void reportEvent(short type, short category, int eventId, String[] strings, byte[] data);

    protected native void init(String server, String source);

    @Override
    protected native void finalize();
}
