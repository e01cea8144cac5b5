package com.tarvolin.xoq.maven;

import java.io.File;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.Map;

/**
 * Where the xoqpack program is: the xoqpack parameter, else XOQ_HOME, else
 * the PATH. The launcher templates are found by xoqpack itself, beside it.
 */
final class XoqpackLocator {
    private XoqpackLocator() {
    }

    /**
     * The xoqpack that `parameter` (a program or a folder holding it; may be
     * null), then `environment`'s XOQ_HOME (a folder holding it, or its
     * bin/), then its PATH names.
     */
    static Path find(File parameter, Map<String, String> environment, boolean windowsHost) throws PackagingException {
        String program = windowsHost ? "xoqpack.exe" : "xoqpack";
        if (parameter != null) {
            Path found = Files.isDirectory(parameter.toPath()) ? inFolder(parameter.toPath(), program)
                    : executable(parameter.toPath());
            if (found == null) {
                throw new PackagingException("No xoqpack program at " + parameter
                        + " (the <xoqpack> parameter): name the xoqpack program or the folder that holds it");
            }
            return found;
        }
        String home = environment.get("XOQ_HOME");
        if (home != null && !home.isEmpty()) {
            Path found = inFolder(Paths.get(home), program);
            if (found == null) {
                throw new PackagingException("XOQ_HOME is " + home + ", which holds no " + program + " (nor bin/"
                        + program + "): set it to the folder that holds xoqpack");
            }
            return found;
        }
        String path = environment.get("PATH");
        if (path != null) {
            for (String folder : path.split(File.pathSeparator)) {
                Path found = folder.isEmpty() ? null : executable(Paths.get(folder, program));
                if (found != null) {
                    return found;
                }
            }
        }
        throw new PackagingException("xoqpack not found: set the plugin's <xoqpack> parameter (or -Dxoq.xoqpack) to"
                + " the xoqpack program, or XOQ_HOME to the folder that holds it, or put it on the PATH");
    }

    private static Path inFolder(Path folder, String program) {
        Path found = executable(folder.resolve(program));
        return found != null ? found : executable(folder.resolve("bin").resolve(program));
    }

    private static Path executable(Path file) {
        return Files.isRegularFile(file) && Files.isExecutable(file) ? file.toAbsolutePath() : null;
    }
}
