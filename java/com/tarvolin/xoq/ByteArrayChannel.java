package com.tarvolin.xoq;

import java.nio.ByteBuffer;
import java.nio.channels.ClosedChannelException;
import java.nio.channels.NonWritableChannelException;
import java.nio.channels.SeekableByteChannel;

/** A read-only channel over an entry's bytes. */
final class ByteArrayChannel implements SeekableByteChannel {
    private final byte[] data;
    private long position;
    private boolean open = true;

    ByteArrayChannel(byte[] data) {
        this.data = data;
    }

    private void checkOpen() throws ClosedChannelException {
        if (!open) {
            throw new ClosedChannelException();
        }
    }

    @Override
    public synchronized int read(ByteBuffer target) throws ClosedChannelException {
        checkOpen();
        if (position >= data.length) {
            return -1;
        }
        int count = (int) Math.min(target.remaining(), data.length - position);
        target.put(data, (int) position, count);
        position += count;
        return count;
    }

    @Override
    public int write(ByteBuffer source) {
        throw new NonWritableChannelException();
    }

    @Override
    public synchronized long position() throws ClosedChannelException {
        checkOpen();
        return position;
    }

    @Override
    public synchronized SeekableByteChannel position(long newPosition) throws ClosedChannelException {
        checkOpen();
        if (newPosition < 0) {
            throw new IllegalArgumentException("negative position");
        }
        position = newPosition;
        return this;
    }

    @Override
    public long size() throws ClosedChannelException {
        checkOpen();
        return data.length;
    }

    @Override
    public SeekableByteChannel truncate(long size) {
        throw new NonWritableChannelException();
    }

    @Override
    public boolean isOpen() {
        return open;
    }

    @Override
    public void close() {
        open = false;
    }
}
