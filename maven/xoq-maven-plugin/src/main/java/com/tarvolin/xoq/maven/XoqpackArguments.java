package com.tarvolin.xoq.maven;

import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;

/** The command line that packages one target: xoqpack's options, spelled as xoqpack --help spells them. */
final class XoqpackArguments {
    private XoqpackArguments() {
    }

    static List<String> of(Path xoqpack, TargetKind target, PackagingRequest request, Path output) {
        List<String> arguments = new ArrayList<>();
        arguments.add(xoqpack.toString());
        add(arguments, "--target", target.xoqpackName);
        // Maven has resolved the dependencies; a Class-Path in the jar's
        // manifest names files beside the jar that need not exist here.
        add(arguments, "--jar", request.applicationJar);
        arguments.add("--no-class-path");
        add(arguments, "--config", request.configFile);
        for (PackagingRequest.Library library : request.libraries) {
            add(arguments, "--add", library.file + "=" + library.entryName);
        }
        for (String file : request.addFiles) {
            add(arguments, "--add", file);
        }
        for (String tree : request.addTrees) {
            add(arguments, "--add-tree", tree);
        }
        add(arguments, "--comment", request.comment);
        if (target.windows) {
            add(arguments, "--icon", request.icon);
            add(arguments, "--file-version", request.fileVersion);
            add(arguments, "--product-version", request.productVersion);
            add(arguments, "--product", request.product);
            add(arguments, "--company", request.company);
            add(arguments, "--description", request.description);
            add(arguments, "--copyright", request.copyright);
            add(arguments, "--internal-name", request.internalName);
            add(arguments, "--execution-level", request.executionLevel);
            if (!request.dpiAware) {
                arguments.add("--no-dpi-aware");
            }
            if (request.utf8CodePage) {
                arguments.add("--utf8-code-page");
            }
            add(arguments, "--splash-bitmap", request.splashBitmap);
        }
        add(arguments, "--splash-image", request.splashImage);
        arguments.addAll(request.runtime.arguments(target));
        add(arguments, "--output", output);
        return arguments;
    }

    /** Adds the option with its value, unless the value is missing or empty. */
    private static void add(List<String> arguments, String option, Object value) {
        if (value == null || value.toString().isEmpty()) {
            return;
        }
        arguments.add(option);
        arguments.add(value.toString());
    }
}
