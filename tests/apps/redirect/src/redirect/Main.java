package redirect;

import com.tarvolin.xoq.EventLog;
import com.tarvolin.xoq.RedirOutputStream;
import java.io.FileDescriptor;
import java.io.FileOutputStream;
import java.io.OutputStream;
import java.io.PrintStream;
import java.lang.reflect.Field;

/**
 * What the redirection and event log tests run, by its first argument:
 * "streams" prints to both streams and ends in an uncaught exception;
 * "bulk MEGABYTES STATUS" prints that many megabytes of numbered 100-byte
 * lines to System.out and then calls System.exit(STATUS) right away (or
 * returns, for a negative STATUS); "eventlog" reports a set of entries;
 * "warning FILE" makes the runtime warn on standard error between two
 * lines of the application's, by loading a file that is no library;
 * "text" prints a line that is not ASCII; "javastream FILE" writes to FILE
 * through com.tarvolin.xoq.RedirOutputStream on a handle of its own (Windows).
 */
public class Main {
    public static void main(String[] args) throws Exception {
        if (args[0].equals("streams")) {
            streams();
        } else if (args[0].equals("bulk")) {
            bulk(Long.parseLong(args[1]) * 1024 * 1024, Integer.parseInt(args[2]));
        } else if (args[0].equals("eventlog")) {
            eventLog();
        } else if (args[0].equals("warning")) {
            System.err.println("err before");
            try {
                // The runtime checks the file's stack flags before it tries
                // to load it, and warns when it finds none.
                System.load(args[1]);
            } catch (UnsatisfiedLinkError expected) {
                // not a library
            }
            System.err.println("err after");
        } else if (args[0].equals("text")) {
            System.out.println("Gr\u00fc\u00dfe \u65e5\u672c");
        } else if (args[0].equals("javastream")) {
            javaStream(args[1]);
        }
    }

    static void streams() {
        System.out.println("out 1");
        System.err.println("err 1");
        System.out.println("out 2");
        System.err.println("err 2");
        // One byte at a time, through OutputStream.write(int).
        System.out.write('!');
        System.out.write('\n');
        System.out.flush();
        System.out.println("out 3 " + System.out.getClass().getName());
        throw new IllegalStateException("boom");
    }

    /**
     * The stream the launcher makes System.out or System.err when the
     * process's standard handle does not take the redirection, here on the
     * Windows handle of a file that Java opened itself: single bytes, a part
     * of an array, and a PrintStream's lines.
     */
    static void javaStream(String path) throws Exception {
        FileOutputStream file = new FileOutputStream(path);
        Field handleField = FileDescriptor.class.getDeclaredField("handle");
        handleField.setAccessible(true);
        final long handle = handleField.getLong(file.getFD());
        OutputStream stream = new RedirOutputStream() {
            {
                h = handle;
            }
        };
        stream.write('1');
        stream.write('\n');
        byte[] line = "xxtwo\nyy".getBytes("UTF-8");
        stream.write(line, 2, 4);
        PrintStream print = new PrintStream(stream, false, "UTF-8");
        print.println("Gr\u00fc\u00dfe \u65e5\u672c");
        print.flush();
        file.close();
        System.out.println("javastream written");
    }

    /** Line i: i in eight digits, a space, 90 times the letter ('a' + i % 26), a line feed. */
    static String line(long i) {
        StringBuilder text = new StringBuilder(100);
        String number = Long.toString(i);
        for (int pad = number.length(); pad < 8; ++pad) {
            text.append('0');
        }
        text.append(number).append(' ');
        char letter = (char) ('a' + i % 26);
        for (int k = 0; k < 90; ++k) {
            text.append(letter);
        }
        return text.toString();
    }

    static void bulk(long bytes, int status) {
        String[] lines = new String[26];
        for (long i = 0; i < bytes / 100; ++i) {
            // Only the number changes within each letter's line.
            int slot = (int) (i % 26);
            if (lines[slot] == null) {
                lines[slot] = line(slot).substring(8);
            }
            String number = Long.toString(i);
            System.out.println("00000000".substring(number.length()) + number + lines[slot]);
        }
        if (status >= 0) {
            System.exit(status);
        }
    }

    /** Ends its event source twice, as the finalizer might after an explicit call. */
    static class EndedTwice extends EventLog {
        EndedTwice(String source) {
            super(source);
        }

        void end() {
            finalize();
            finalize();
        }
    }

    static void eventLog() {
        EventLog log = new EventLog("xoq-notes");
        log.reportEvent(EventLog.INFORMATION, (short) 0, 1000);
        log.reportEvent(EventLog.ERROR, (short) 3, 1001,
                new String[] {"first", null, "Gr\u00fc\u00dfe \ud83d\ude00", "\u65e5\u672c"});
        log.reportEvent(EventLog.WARNING, (short) 1, 1002, "with data", new byte[] {0x0a, 0x0b, (byte) 0xff});
        log.reportEvent(EventLog.SUCCESS, (short) 0, 1003, "success");
        log.reportEvent(EventLog.AUDIT_SUCCESS, (short) 0, 1004, new String[0]);
        log.reportEvent(EventLog.AUDIT_FAILURE, (short) 0, 1005, (String[]) null, new byte[0]);
        new EventLog().reportEvent(EventLog.INFORMATION, (short) 0, 1006, "default source");
        // A computer that the system log cannot reach: nothing is reported.
        new EventLog("no-such-host.invalid", "xoq-notes").reportEvent(EventLog.ERROR, (short) 0, 1007, "never");
        EndedTwice ended = new EndedTwice("xoq-notes");
        ended.reportEvent(EventLog.INFORMATION, (short) 0, 1008, "before the end");
        ended.end();
        ended.reportEvent(EventLog.INFORMATION, (short) 0, 1009, "after the end");
        new EventLog("localhost", "xoq-local").reportEvent(EventLog.WARNING, (short) 2, 1010, (String) null);
        System.out.println("eventlog done");
    }
}
