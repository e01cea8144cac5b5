package com.tarvolin.xoq;

import java.time.DateTimeException;
import java.time.LocalDateTime;
import java.time.ZoneId;
import java.util.Calendar;

/**
 * What the payload archive's central directory says about one entry: its
 * size and when it was last changed, read without reading its data.
 */
final class EntryInfo {
    private static final long DIRECTORY = 1;
    private static final long REFUSED_CLASS_FILE = 2;

    final long size;
    final long lastModified;
    private final long flags;

    private EntryInfo(long[] values) {
        size = values[0];
        lastModified = values[2] != Long.MIN_VALUE ? values[2] : dosToJavaTime(values[1]);
        flags = values[3];
    }

    /** The entry that the "xoq:" URL text names, or null when there is none. */
    static EntryInfo of(Handler handler, String urlText) {
        long[] values = handler.loadResourceInfo(urlText);
        return values == null ? null : new EntryInfo(values);
    }

    boolean isDirectory() {
        return (flags & DIRECTORY) != 0;
    }

    /** A class file that is not served as a resource (the key "compatible" is off). */
    boolean isRefusedClassFile() {
        return (flags & REFUSED_CLASS_FILE) != 0;
    }

    /**
     * A DOS date and time, which is the local time of the machine that wrote
     * the archive, as java.util.zip reads it: in this runtime's time zone.
     */
    static long dosToJavaTime(long dos) {
        int year = (int) (((dos >> 25) & 0x7f) + 1980);
        int month = (int) ((dos >> 21) & 0x0f);
        int day = (int) ((dos >> 16) & 0x1f);
        int hour = (int) ((dos >> 11) & 0x1f);
        int minute = (int) ((dos >> 5) & 0x3f);
        int second = (int) ((dos << 1) & 0x3e);
        if (month > 0 && month < 13 && day > 0 && hour < 24 && minute < 60 && second < 60) {
            try {
                LocalDateTime time = LocalDateTime.of(year, month, day, hour, minute, second);
                return time.toEpochSecond(ZoneId.systemDefault().getRules().getOffset(time)) * 1000;
            } catch (DateTimeException e) {
                // a day the month does not have: counted on, as below
            }
        }
        Calendar calendar = Calendar.getInstance();
        calendar.clear();
        calendar.set(year, month - 1, day, hour, minute, second);
        return calendar.getTimeInMillis();
    }
}
