package com.tarvolin.xoq.maven;

/** Input the plugin cannot package, with the one line that tells the user what to change. */
final class PackagingException extends Exception {
    private static final long serialVersionUID = 1L;

    PackagingException(String message) {
        super(message);
    }
}
