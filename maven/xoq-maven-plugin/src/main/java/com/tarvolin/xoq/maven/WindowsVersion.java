package com.tarvolin.xoq.maven;

import java.util.regex.Matcher;
import java.util.regex.Pattern;

/**
 * The Windows file version that a Maven version stands for. Windows keeps
 * up to four numbers from 0 to 65535 and no text, so the numbers that lead
 * the Maven version are taken and the rest (a qualifier such as -SNAPSHOT,
 * -beta-1 or .Final) is left out: 1.2.3-SNAPSHOT is 1.2.3, 2.0-beta-1 is
 * 2.0, and of 1.2.3.4.5 the first four numbers count.
 */
final class WindowsVersion {
    private static final Pattern LEADING_NUMBERS = Pattern.compile("^[0-9]+(\\.[0-9]+)*");
    private static final int MAX_NUMBERS = 4;
    private static final long MAX_NUMBER = 65535;

    private WindowsVersion() {
    }

    /** The file version for `mavenVersion`, as xoqpack's --file-version takes it. */
    static String of(String mavenVersion) throws PackagingException {
        Matcher matcher = LEADING_NUMBERS.matcher(mavenVersion == null ? "" : mavenVersion.trim());
        if (!matcher.find()) {
            throw unfit(mavenVersion, "does not start with a number");
        }
        String[] numbers = matcher.group().split("\\.");
        StringBuilder version = new StringBuilder();
        for (int i = 0; i < numbers.length && i < MAX_NUMBERS; i++) {
            // Leading zeros go; a run of digits too long for a long is too big anyway.
            String digits = numbers[i].replaceFirst("^0+(?=.)", "");
            if (digits.length() > 5 || Long.parseLong(digits) > MAX_NUMBER) {
                throw unfit(mavenVersion, "has a number above 65535");
            }
            version.append(i == 0 ? "" : ".").append(digits);
        }
        return version.toString();
    }

    private static PackagingException unfit(String mavenVersion, String why) {
        return new PackagingException("The project version " + mavenVersion + " " + why
                + ", which a Windows file version cannot hold: set <fileVersion> (up to four numbers from 0 to 65535)");
    }
}
