package com.tarvolin.xoq;

import java.io.IOException;
import java.io.OutputStream;
import java.io.PrintStream;
import java.io.UnsupportedEncodingException;

/**
 * Writes straight to a handle of the launcher: the file or command that
 * standard output or standard error was sent to, when the process's standard
 * handle did not take it. The launcher then wraps one in a
 * {@link java.io.PrintStream} and makes it {@code System.out} or
 * {@code System.err}. Nothing is buffered here, and failed writes (a command
 * that has ended, say) are silently lost.
 */
public class RedirOutputStream extends OutputStream {
    /** The handle written to (a file descriptor on Linux); 0 for none. */
    protected long h;

    static {
        NativeLibrary.load(RedirOutputStream.class);
    }

    public RedirOutputStream() {
        h = 0;
    }

    /** Writes the low eight bits of {@code b}. */
    @Override
    public native void write(int b) throws IOException;

    /**
     * Writes {@code len} bytes of {@code b} from {@code off} on in one call,
     * so that a {@code PrintStream} hands over whole lines and buffers.
     */
    @Override
    public void write(byte[] b, int off, int len) throws IOException {
        if (b == null) {
            throw new NullPointerException();
        }
        if (off < 0 || len < 0 || len > b.length - off) {
            throw new IndexOutOfBoundsException("offset " + off + ", length " + len + ", array of " + b.length);
        }
        if (len > 0) {
            writeBytes(b, off, len);
        }
    }

    private native void writeBytes(byte[] b, int off, int len);

    /**
     * A {@code PrintStream} on {@code out} in the encoding that the runtime
     * gives {@code System.out} or {@code System.err} ({@code stream} is
     * "stdout" or "stderr"): "stdout.encoding" where it is set, else
     * "sun.stdout.encoding" (set by older runtimes on a console), else the
     * default charset, as older runtimes do without either.
     */
    static PrintStream printStream(OutputStream out, String stream) {
        String[] keys = {stream + ".encoding", "sun." + stream + ".encoding"};
        for (String key : keys) {
            String encoding = System.getProperty(key);
            if (encoding != null) {
                try {
                    return new PrintStream(out, false, encoding);
                } catch (UnsupportedEncodingException unknown) {
                    // the next key, or the default
                }
            }
        }
        return new PrintStream(out);
    }
}
