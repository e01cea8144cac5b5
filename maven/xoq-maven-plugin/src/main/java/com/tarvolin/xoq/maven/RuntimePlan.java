package com.tarvolin.xoq.maven;

import java.nio.file.Path;
import java.util.ArrayList;
import java.util.Collection;
import java.util.LinkedHashSet;
import java.util.List;
import java.util.Set;

/**
 * The Java runtime the programs bring, as the runtime parameters ask. A
 * runtime is of one system, so each target gets the ready runtime named for
 * its system, else, with jlink, one linked for it, else none; beside the
 * program as jre/ or carried inside it. The plan is checked against the
 * chosen targets before xoqpack runs, so that a combination that cannot
 * work fails the build with one line that names the parameters, not half
 * way through after a first target took a minute to link.
 */
final class RuntimePlan {
    boolean jlink;
    /** The JDK whose jlink and jdeps xoqpack runs; null for xoqpack's default (JAVA_HOME, else javac on PATH). */
    Path jdk;
    /** Module names, as given; an element may hold several, comma-separated. */
    final List<String> addModules = new ArrayList<>();
    Path linuxJmods;
    Path windowsJmods;
    Path linuxRuntime;
    Path windowsRuntime;
    boolean embed;

    /** The targets in the order they are packaged, once checked. */
    private final List<TargetKind> targets = new ArrayList<>();

    /** Checks the parameters against the targets, in the order they are packaged, on a host of the given system. */
    void check(Collection<TargetKind> chosen, boolean windowsHost) throws PackagingException {
        targets.clear();
        targets.addAll(chosen);
        if (!jlink) {
            List<String> linkOnly = new ArrayList<>();
            if (jdk != null) {
                linkOnly.add("<jdk>");
            }
            if (!modules().isEmpty()) {
                linkOnly.add("<addModules>");
            }
            if (linuxJmods != null) {
                linkOnly.add("<linuxJmods>");
            }
            if (windowsJmods != null) {
                linkOnly.add("<windowsJmods>");
            }
            if (!linkOnly.isEmpty()) {
                int last = linkOnly.size() - 1;
                String named = last == 0 ? linkOnly.get(0)
                        : String.join(", ", linkOnly.subList(0, last)) + " and " + linkOnly.get(last);
                throw new PackagingException(named + (last == 0 ? " goes" : " go")
                        + " with <jlink>true</jlink>, which is not set");
            }
        } else if (linuxRuntime != null && windowsRuntime != null) {
            throw new PackagingException("<jlink> links a runtime for the targets without a ready one, but"
                    + " <linuxRuntime> and <windowsRuntime> name one for both systems: leave out <jlink> or one of"
                    + " them");
        }
        boolean any = false;
        Set<String> folderSystems = new LinkedHashSet<>();
        for (TargetKind target : targets) {
            if (!gives(target)) {
                continue;
            }
            any = true;
            if (!embed) {
                folderSystems.add(system(target));
            }
            if (readyRuntime(target) == null && target.windows != windowsHost && jmods(target) == null) {
                // The JDK that links is one of this host's system; another
                // system's runtime is linked from that system's jmods.
                String other = target.windows ? "windows" : "linux";
                throw new PackagingException("<jlink> for the " + target.xoqpackName + " target needs <" + other
                        + "Jmods>, the jmods folder of a " + system(target) + " JDK of the linking JDK's feature"
                        + " version, or a ready " + system(target) + " runtime in <" + other + "Runtime>");
            }
        }
        if (embed && !any) {
            throw new PackagingException("<embedRuntime> needs a runtime: set <jlink>true</jlink>, or"
                    + " <linuxRuntime> or <windowsRuntime> for a chosen target's system");
        }
        if (folderSystems.size() > 1) {
            throw new PackagingException("The Linux and the Windows runtime would both be jre/ beside the programs"
                    + " in <outputDirectory>: set <embedRuntime>true</embedRuntime>, or package the systems in"
                    + " executions with their own <outputDirectory>");
        }
    }

    /** Whether the target gets a runtime, written by its own xoqpack run or shared. */
    boolean gives(TargetKind target) {
        return readyRuntime(target) != null || jlink;
    }

    /**
     * Whether the target's xoqpack run writes a jre/ folder for the output
     * folder: the first target that gets a runtime there; the Windows target
     * after it shares that folder, which the launcher finds with no
     * configuration, so its program is written without a runtime.
     */
    boolean writesFolder(TargetKind target) {
        if (embed || !gives(target)) {
            return false;
        }
        for (TargetKind earlier : targets) {
            if (earlier == target) {
                return true;
            }
            if (gives(earlier)) {
                return false;
            }
        }
        return true;
    }

    /** xoqpack's runtime options for one target, after check(). */
    List<String> arguments(TargetKind target) {
        List<String> arguments = new ArrayList<>();
        if (!embed && !writesFolder(target)) {
            return arguments;
        }
        Path ready = readyRuntime(target);
        if (ready != null) {
            arguments.add("--runtime");
            arguments.add(ready.toString());
        } else if (jlink) {
            arguments.add("--jlink");
            if (jdk != null) {
                arguments.add("--jdk");
                arguments.add(jdk.toString());
            }
            if (jmods(target) != null) {
                arguments.add("--jmods");
                arguments.add(jmods(target).toString());
            }
            if (!modules().isEmpty()) {
                arguments.add("--add-modules");
                arguments.add(String.join(",", modules()));
            }
        } else {
            return arguments;
        }
        if (embed) {
            arguments.add("--embed-runtime");
        }
        return arguments;
    }

    private Path readyRuntime(TargetKind target) {
        return target.windows ? windowsRuntime : linuxRuntime;
    }

    private Path jmods(TargetKind target) {
        return target.windows ? windowsJmods : linuxJmods;
    }

    private static String system(TargetKind target) {
        return target.windows ? "Windows" : "Linux";
    }

    /** The module names, each once, split at commas and trimmed (-Dxoq.addModules=a,b and a list alike). */
    private List<String> modules() {
        Set<String> names = new LinkedHashSet<>();
        for (String element : addModules) {
            for (String name : element == null ? new String[0] : element.split(",")) {
                if (!name.trim().isEmpty()) {
                    names.add(name.trim());
                }
            }
        }
        return new ArrayList<>(names);
    }
}
