package com.tarvolin.xoq.maven;

import java.nio.charset.StandardCharsets;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.Collections;
import java.util.HashSet;
import java.util.List;
import java.util.Locale;
import java.util.Set;

/**
 * The configuration that the plugin's parameters make, for xoqpack's
 * --config. The launcher's line format has no quoting and no escapes, so
 * every value is checked to come back from the launcher exactly as given, and
 * a line whose key the launcher does not know (and so would never read) is
 * refused instead of being shipped unread.
 */
final class ConfigurationText {
    /** Every key the launcher reads, as docs/configuration.md lists them. */
    static final Set<String> KEYS = Collections.unmodifiableSet(new HashSet<>(Arrays.asList(
            "mainclass", "argv", "wildcard", "message", "splash", "splashtitle", "splashcloseonwindow",
            "singleinstance", "forcecwd", "stdout", "stderr", "jre_order", "jre", "jvmdll", "vm", "minjre",
            "maxjre", "downloadurl", "java_classpath", "classpath", "java_libs", "libs", "option", "property", "export",
            "assystemclassloader", "compatible", "codesource", "disableexternal", "classdatacache", "extract")));

    private final List<String> lines = new ArrayList<>();

    /** Adds `key value`; `parameter` names where the value came from, for the error. */
    void add(String key, String value, String parameter) throws PackagingException {
        checkOneLine(value, parameter);
        if (value.startsWith(" ")) {
            throw new PackagingException("The value \"" + value + "\" of " + parameter
                    + " starts with a blank, which the launcher would drop");
        }
        lines.add(line(key, value));
    }

    /** Adds an `argv` line that gives `main` exactly `argument`, blanks and quotes included. */
    void addArgument(String argument) throws PackagingException {
        checkOneLine(argument, "<arguments>");
        lines.add(line("argv", quoteArgument(argument)));
    }

    /** Adds a line of the configLines parameter as it is, once its key proves to be one the launcher reads. */
    void addLine(String text) throws PackagingException {
        checkOneLine(text, "<configLines>");
        int start = 0;
        while (start < text.length() && text.charAt(start) == ' ') {
            start++;
        }
        if (start == text.length() || text.charAt(start) == '#') {
            return;  // blank, or a remark that the launcher never reads either
        }
        int end = start;
        while (end < text.length() && continuesKey(text.charAt(end))) {
            end++;
        }
        String key = text.substring(start, end).toLowerCase(Locale.ROOT);
        if (key.equals("mainclass")) {
            throw new PackagingException("Name the main class with <mainClass>, not with a mainclass line in"
                    + " <configLines>");
        }
        if (!KEYS.contains(key)) {
            throw new PackagingException("The line \"" + text + "\" of <configLines> names no configuration key"
                    + " that the launcher reads (docs/configuration.md lists them)");
        }
        lines.add(text);
    }

    boolean isEmpty() {
        return lines.isEmpty();
    }

    List<String> lines() {
        return Collections.unmodifiableList(lines);
    }

    /** The file's bytes: UTF-8 with its byte-order mark, one line each. */
    byte[] bytes() {
        StringBuilder text = new StringBuilder("\uFEFF");
        for (String line : lines) {
            text.append(line).append('\n');
        }
        return text.toString().getBytes(StandardCharsets.UTF_8);
    }

    /**
     * A line that the launcher reads back as `key` and exactly `value`: it
     * skips blanks and one '=' after the key, so a value that starts with
     * '=' gets an '=' of its own in front.
     */
    static String line(String key, String value) {
        return value.startsWith("=") ? key + " =" + value : key + " " + value;
    }

    /**
     * `argument` written so that the launcher's splitting of an argv line
     * (blanks separate, double quotes group, 2n backslashes before a quote
     * give n and a quote that groups, 2n+1 give n and a literal quote) gives
     * it back as one argument.
     */
    static String quoteArgument(String argument) {
        if (!argument.isEmpty() && argument.indexOf(' ') < 0 && argument.indexOf('\t') < 0
                && argument.indexOf('"') < 0) {
            return argument;
        }
        StringBuilder quoted = new StringBuilder("\"");
        int backslashes = 0;
        for (int i = 0; i < argument.length(); i++) {
            char c = argument.charAt(i);
            if (c == '\\') {
                backslashes++;
                continue;
            }
            appendBackslashes(quoted, c == '"' ? 2 * backslashes + 1 : backslashes);
            quoted.append(c);
            backslashes = 0;
        }
        appendBackslashes(quoted, 2 * backslashes);
        return quoted.append('"').toString();
    }

    private static void appendBackslashes(StringBuilder out, int count) {
        for (int i = 0; i < count; i++) {
            out.append('\\');
        }
    }

    /** A key goes on while letters, digits, '_' or non-ASCII characters follow, as the launcher reads it. */
    private static boolean continuesKey(char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c >= 0x80;
    }

    private static void checkOneLine(String value, String parameter) throws PackagingException {
        if (value.indexOf('\n') >= 0 || value.indexOf('\r') >= 0 || value.indexOf('\0') >= 0) {
            String shown = value.replace("\r", "\\r").replace("\n", "\\n").replace("\0", "\\0");
            throw new PackagingException("The value \"" + shown + "\" of " + parameter
                    + " holds a line break or NUL: a configuration value is one line");
        }
    }
}
