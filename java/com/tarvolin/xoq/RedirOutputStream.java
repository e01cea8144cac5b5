package com.tarvolin.xoq;

import java.io.IOException;
import java.io.OutputStream;

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
        NativeLibrary.load();
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
}
