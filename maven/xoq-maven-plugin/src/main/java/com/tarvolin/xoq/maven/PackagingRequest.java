package com.tarvolin.xoq.maven;

import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;

/**
 * What one run of the goal packages, with every path absolute: the same for
 * each target, except that the Windows resources go to the Windows targets
 * alone, and each target the runtime the plan gives it.
 */
final class PackagingRequest {
    /** A jar that the application needs, and its entry name in the executable. */
    static final class Library {
        final Path file;
        final String entryName;

        Library(Path file, String entryName) {
            this.file = file;
            this.entryName = entryName;
        }
    }

    Path applicationJar;
    final List<Library> libraries = new ArrayList<>();
    /** The configuration file; null when the parameters make no configuration. */
    Path configFile;
    /** xoqpack's --add and --add-tree values, FILE[=NAME] and DIR[=PREFIX], their paths absolute. */
    final List<String> addFiles = new ArrayList<>();
    final List<String> addTrees = new ArrayList<>();
    String comment;

    Path icon;
    String fileVersion;
    String productVersion;
    String product;
    String company;
    String description;
    String copyright;
    String internalName;
    String executionLevel;
    boolean dpiAware = true;
    boolean utf8CodePage;
    Path splashBitmap;
    Path splashImage;

    final RuntimePlan runtime = new RuntimePlan();
}
