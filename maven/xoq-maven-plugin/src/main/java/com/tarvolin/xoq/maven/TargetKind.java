package com.tarvolin.xoq.maven;

import java.util.Locale;

/**
 * A launcher that xoqpack copies: the name xoqpack knows it by, the file name
 * it gets by default, and how it is attached to the build. (Not named
 * Target: Maven would take the {@code <target>} elements of the targets
 * parameter for instances of a class of that name in the mojo's package.)
 */
enum TargetKind {
    WINDOWS("windows", ".exe", "exe", true),
    WINDOWS_CONSOLE("windows-console", "-console.exe", "exe", true),
    LINUX("linux", "", "bin", false);

    /** The name xoqpack's --target takes; also the classifier of the attached executable. */
    final String xoqpackName;
    /** Appended to the plugin's name parameter for the default file name. */
    final String fileSuffix;
    /** The artifact type, and so the extension, in a Maven repository. */
    final String artifactType;
    /** Whether the executable has Windows resources: icon, version information, manifest. */
    final boolean windows;

    TargetKind(String xoqpackName, String fileSuffix, String artifactType, boolean windows) {
        this.xoqpackName = xoqpackName;
        this.fileSuffix = fileSuffix;
        this.artifactType = artifactType;
        this.windows = windows;
    }

    /** The target that `name` names, in any letter case; `parameter` says where it was written, for the error. */
    static TargetKind named(String name, String parameter) throws PackagingException {
        String wanted = name == null ? "" : name.trim();
        for (TargetKind target : values()) {
            if (target.xoqpackName.equals(wanted.toLowerCase(Locale.ROOT))) {
                return target;
            }
        }
        throw new PackagingException("Unknown target \"" + wanted
                + "\" in " + parameter + ": the targets are windows, windows-console and linux");
    }
}
