package compat;

/** Runs a task on a thread that native code starts and attaches to the runtime. */
class Attached {
    static native void run(Runnable task);
}
