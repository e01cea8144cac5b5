package com.tarvolin.xoq;

import java.io.Serializable;

/**
 * The running instances of this executable, and messages between them.
 *
 * <p>Every instance is listed, whatever the configuration. With
 * {@code singleinstance custom} each instance also runs a transport through
 * which it can send any {@link Serializable} object to another instance (by
 * default to the first one) and receive objects through a
 * {@link ReceiverInterface}. Received objects are deserialized with the
 * receiver's class loader; the virtual machine's {@code jdk.serialFilter}
 * applies to them, so an application can restrict what it accepts.
 */
public class Instances {
    static {
        NativeLibrary.load(Instances.class);
        // An instance waits, when it ends, until the addressee has taken its
        // last chunk, so that it can still tell who sent it. Ending through
        // System.exit passes the launcher by, but not the shutdown hooks.
        if (getCurrentInstance() != -1) {
            try {
                Runtime.getRuntime().addShutdownHook(new Thread("xoq instances") {
                    @Override
                    public void run() {
                        awaitLastChunk();
                    }
                });
            } catch (IllegalStateException shuttingDown) {
                // Loaded while the runtime ends: nothing of this class was sent.
            }
        }
    }

    public Instances() {
    }

    /** Receives the objects that other instances (or this one) send. */
    public interface ReceiverInterface {
        /**
         * Called on the transport thread, one object at a time, with the
         * instance id of the sender; while it runs, this instance neither
         * receives nor sends.
         */
        void onReceive(int sender, Serializable object);
    }

    /** The first instance's id; -1 while the transport does not run. */
    public static native int getFirstInstance();

    /** This instance's id; -1 while the transport does not run. */
    public static native int getCurrentInstance();

    /** The first instance's id (0 when none), then the other running instances in the order they started. */
    public static native int[] getInstances();

    /** Sends {@code object} to the first instance; nothing while the transport does not run. */
    public static void sendObject(Serializable object) {
        sendObject(getFirstInstance(), object);
    }

    /** Sends {@code object} to instance {@code target}, 0 meaning the first instance. */
    public static native void sendObject(int target, Serializable object);

    /** Waits until every object sent so far has left this instance, at most about 5 seconds. */
    public static native void flush();

    /** Registers the receiver of incoming objects; null unregisters it. */
    public static native void setReceiver(ReceiverInterface receiver);

    /** Waits (a few seconds at most) until this instance's chunk in the block has been taken. */
    private static native void awaitLastChunk();
}
