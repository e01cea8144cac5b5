package com.tarvolin.xoq.maven;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.nio.file.Paths;
import java.util.Arrays;
import java.util.Collections;
import java.util.List;

import org.junit.jupiter.api.Test;

class RuntimePlanTest {
    private static final List<TargetKind> ALL = Arrays.asList(TargetKind.LINUX, TargetKind.WINDOWS,
            TargetKind.WINDOWS_CONSOLE);
    private static final boolean LINUX_HOST = false;
    private static final boolean WINDOWS_HOST = true;

    private static PackagingRequest request() {
        PackagingRequest request = new PackagingRequest();
        request.applicationJar = Paths.get("/p/target/app.jar");
        return request;
    }

    private static List<String> command(PackagingRequest request, TargetKind target) {
        return XoqpackArguments.of(Paths.get("xoqpack"), target, request, Paths.get("/p/target/app"));
    }

    private static String refusal(RuntimePlan plan, List<TargetKind> targets, boolean windowsHost) {
        return assertThrows(PackagingException.class, () -> plan.check(targets, windowsHost)).getMessage();
    }

    @Test
    void aReadyRuntimeGoesToTheTargetsOfItsSystemOnly() throws PackagingException {
        PackagingRequest request = request();
        request.runtime.linuxRuntime = Paths.get("/opt/my runtimes/jdk 17");
        request.runtime.check(ALL, LINUX_HOST);
        // The folder with blanks stays one argument, before --output.
        assertEquals(Arrays.asList("xoqpack", "--target", "linux", "--jar", "/p/target/app.jar", "--no-class-path",
                "--runtime", "/opt/my runtimes/jdk 17", "--output", "/p/target/app"),
                command(request, TargetKind.LINUX));
        assertFalse(command(request, TargetKind.WINDOWS).contains("--runtime"));
        assertFalse(command(request, TargetKind.WINDOWS_CONSOLE).contains("--runtime"));
    }

    @Test
    void jlinkGetsItsOptionsAndEachSystemItsOwnJmods() throws PackagingException {
        RuntimePlan plan = new RuntimePlan();
        plan.jlink = true;
        plan.jdk = Paths.get("/usr/lib/jvm/java-17-openjdk-amd64");
        plan.addModules.addAll(Arrays.asList(" jdk.localedata ", "jdk.crypto.ec,java.sql", "", "java.sql"));
        plan.windowsJmods = Paths.get("/opt/windows jdk 17/jmods");
        plan.embed = true;
        plan.check(ALL, LINUX_HOST);
        assertEquals(Arrays.asList("--jlink", "--jdk", "/usr/lib/jvm/java-17-openjdk-amd64", "--add-modules",
                "jdk.localedata,jdk.crypto.ec,java.sql", "--embed-runtime"), plan.arguments(TargetKind.LINUX));
        List<String> windows = Arrays.asList("--jlink", "--jdk", "/usr/lib/jvm/java-17-openjdk-amd64", "--jmods",
                "/opt/windows jdk 17/jmods", "--add-modules", "jdk.localedata,jdk.crypto.ec,java.sql",
                "--embed-runtime");
        assertEquals(windows, plan.arguments(TargetKind.WINDOWS));
        assertEquals(windows, plan.arguments(TargetKind.WINDOWS_CONSOLE));
    }

    @Test
    void aSystemWithAReadyRuntimeIsNotLinked() throws PackagingException {
        RuntimePlan plan = new RuntimePlan();
        plan.jlink = true;
        plan.windowsRuntime = Paths.get("/cache/windows-jdk-11.0.2");
        plan.embed = true;
        plan.check(ALL, LINUX_HOST);
        assertEquals(Arrays.asList("--jlink", "--embed-runtime"), plan.arguments(TargetKind.LINUX));
        assertEquals(Arrays.asList("--runtime", "/cache/windows-jdk-11.0.2", "--embed-runtime"),
                plan.arguments(TargetKind.WINDOWS_CONSOLE));
    }

    @Test
    void twoWindowsProgramsShareOneRuntimeFolder() throws PackagingException {
        RuntimePlan plan = new RuntimePlan();
        plan.windowsRuntime = Paths.get("/w/jre");
        plan.check(ALL, LINUX_HOST);
        // The first Windows target writes jre/; the second finds it beside
        // itself, so its xoqpack run links or copies nothing.
        assertFalse(plan.writesFolder(TargetKind.LINUX));
        assertTrue(plan.writesFolder(TargetKind.WINDOWS));
        assertFalse(plan.writesFolder(TargetKind.WINDOWS_CONSOLE));
        assertEquals(Arrays.asList("--runtime", "/w/jre"), plan.arguments(TargetKind.WINDOWS));
        assertEquals(Collections.emptyList(), plan.arguments(TargetKind.WINDOWS_CONSOLE));
        assertEquals(Collections.emptyList(), plan.arguments(TargetKind.LINUX));

        plan.check(Arrays.asList(TargetKind.WINDOWS_CONSOLE, TargetKind.WINDOWS), LINUX_HOST);
        assertTrue(plan.writesFolder(TargetKind.WINDOWS_CONSOLE));
        assertEquals(Collections.emptyList(), plan.arguments(TargetKind.WINDOWS));
    }

    @Test
    void noRuntimeNoOptions() throws PackagingException {
        RuntimePlan plan = new RuntimePlan();
        plan.check(ALL, LINUX_HOST);
        for (TargetKind target : ALL) {
            assertEquals(Collections.emptyList(), plan.arguments(target));
            assertFalse(plan.writesFolder(target));
        }
    }

    @Test
    void combinationsThatCannotWorkAreRefusedBeforeXoqpackRuns() {
        RuntimePlan plan = new RuntimePlan();
        plan.jdk = Paths.get("/jdk");
        plan.addModules.add("jdk.localedata");
        assertEquals("<jdk> and <addModules> go with <jlink>true</jlink>, which is not set",
                refusal(plan, ALL, LINUX_HOST));
        plan = new RuntimePlan();
        plan.windowsJmods = Paths.get("/jmods");
        assertEquals("<windowsJmods> goes with <jlink>true</jlink>, which is not set", refusal(plan, ALL, LINUX_HOST));

        plan = new RuntimePlan();
        plan.embed = true;
        plan.windowsRuntime = Paths.get("/w/jre");
        assertEquals("<embedRuntime> needs a runtime: set <jlink>true</jlink>, or <linuxRuntime> or <windowsRuntime>"
                + " for a chosen target's system", refusal(plan, Collections.singletonList(TargetKind.LINUX),
                        LINUX_HOST));

        plan = new RuntimePlan();
        plan.jlink = true;
        plan.linuxRuntime = Paths.get("/l/jre");
        plan.windowsRuntime = Paths.get("/w/jre");
        assertEquals("<jlink> links a runtime for the targets without a ready one, but <linuxRuntime> and"
                + " <windowsRuntime> name one for both systems: leave out <jlink> or one of them",
                refusal(plan, ALL, LINUX_HOST));

        // One jre/ folder cannot hold both systems' runtimes.
        plan = new RuntimePlan();
        plan.linuxRuntime = Paths.get("/l/jre");
        plan.windowsRuntime = Paths.get("/w/jre");
        assertEquals("The Linux and the Windows runtime would both be jre/ beside the programs in <outputDirectory>:"
                + " set <embedRuntime>true</embedRuntime>, or package the systems in executions with their own"
                + " <outputDirectory>", refusal(plan, ALL, LINUX_HOST));
        plan.embed = true;
        assertDoesNotRefuse(plan, ALL, LINUX_HOST);
    }

    @Test
    void linkingForTheOtherSystemNeedsItsJmods() {
        RuntimePlan plan = new RuntimePlan();
        plan.jlink = true;
        plan.embed = true;
        assertEquals("<jlink> for the windows target needs <windowsJmods>, the jmods folder of a Windows JDK of the"
                + " linking JDK's feature version, or a ready Windows runtime in <windowsRuntime>",
                refusal(plan, ALL, LINUX_HOST));
        assertEquals("<jlink> for the linux target needs <linuxJmods>, the jmods folder of a Linux JDK of the"
                + " linking JDK's feature version, or a ready Linux runtime in <linuxRuntime>",
                refusal(plan, ALL, WINDOWS_HOST));
        // The host's own system links from the JDK's jmods.
        assertDoesNotRefuse(plan, Collections.singletonList(TargetKind.LINUX), LINUX_HOST);
        assertDoesNotRefuse(plan, Arrays.asList(TargetKind.WINDOWS, TargetKind.WINDOWS_CONSOLE), WINDOWS_HOST);
    }

    private static void assertDoesNotRefuse(RuntimePlan plan, List<TargetKind> targets, boolean windowsHost) {
        try {
            plan.check(targets, windowsHost);
        } catch (PackagingException e) {
            throw new AssertionError("refused: " + e.getMessage(), e);
        }
    }
}
