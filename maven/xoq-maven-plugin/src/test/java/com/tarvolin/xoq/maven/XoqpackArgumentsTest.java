package com.tarvolin.xoq.maven;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;

import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.Arrays;

import org.junit.jupiter.api.Test;

class XoqpackArgumentsTest {
    private static PackagingRequest request() {
        PackagingRequest request = new PackagingRequest();
        request.applicationJar = Paths.get("/p/target/app-1.0.jar");
        request.libraries.add(new PackagingRequest.Library(Paths.get("/repo/a b/lib-2.jar"), "lib/lib-2.jar"));
        request.configFile = Paths.get("/p/target/.xoq-1/configuration.cfg");
        request.addTrees.add("/p/src/main/xoq=data");
        request.icon = Paths.get("/p/app.ico");
        request.fileVersion = "1.2.3";
        request.product = "My App";
        request.description = "Does things";
        request.dpiAware = false;
        request.utf8CodePage = true;
        request.splashBitmap = Paths.get("/p/splash.bmp");
        request.splashImage = Paths.get("/p/splash.png");
        return request;
    }

    @Test
    void windowsTargetsGetTheWindowsResources() {
        Path xoqpack = Paths.get("/opt/xoq/xoqpack");
        assertEquals(Arrays.asList("/opt/xoq/xoqpack", "--target", "windows-console", "--jar",
                "/p/target/app-1.0.jar", "--no-class-path", "--config", "/p/target/.xoq-1/configuration.cfg",
                "--add", "/repo/a b/lib-2.jar=lib/lib-2.jar", "--add-tree", "/p/src/main/xoq=data", "--icon",
                "/p/app.ico", "--file-version", "1.2.3", "--product", "My App", "--description", "Does things",
                "--no-dpi-aware", "--utf8-code-page", "--splash-bitmap", "/p/splash.bmp", "--splash-image",
                "/p/splash.png", "--output", "/p/target/app-console.exe"),
                XoqpackArguments.of(xoqpack, TargetKind.WINDOWS_CONSOLE, request(), Paths.get("/p/target/app-console.exe")));
    }

    @Test
    void theLinuxTargetGetsNoWindowsResources() {
        // xoqpack refuses Windows resources for the Linux target.
        assertEquals(Arrays.asList("xoqpack", "--target", "linux", "--jar", "/p/target/app-1.0.jar",
                "--no-class-path", "--config", "/p/target/.xoq-1/configuration.cfg", "--add",
                "/repo/a b/lib-2.jar=lib/lib-2.jar", "--add-tree", "/p/src/main/xoq=data", "--splash-image",
                "/p/splash.png", "--output", "/p/target/app"),
                XoqpackArguments.of(Paths.get("xoqpack"), TargetKind.LINUX, request(), Paths.get("/p/target/app")));
    }

    @Test
    void targetsAreNamedAsXoqpackNamesThem() throws PackagingException {
        assertEquals(TargetKind.WINDOWS_CONSOLE, TargetKind.named(" Windows-Console ", "<targets>"));
        PackagingException unknown = assertThrows(PackagingException.class, () -> TargetKind.named("mac", "<targets>"));
        assertEquals("Unknown target \"mac\" in <targets>: the targets are windows, windows-console and linux",
                unknown.getMessage());
    }

    @Test
    void mavenVersionsBecomeWindowsFileVersions() throws PackagingException {
        assertEquals("1.2.3", WindowsVersion.of("1.2.3-SNAPSHOT"));
        assertEquals("2.0", WindowsVersion.of("2.0-beta-1"));
        assertEquals("4.1.2", WindowsVersion.of("4.1.2.Final"));
        assertEquals("1.2.3.4", WindowsVersion.of("1.2.3.4.5"));
        assertEquals("7.65535", WindowsVersion.of("07.65535"));
        assertThrows(PackagingException.class, () -> WindowsVersion.of("20240115"));
        assertThrows(PackagingException.class, () -> WindowsVersion.of("1.99999999999999999999"));
        PackagingException text = assertThrows(PackagingException.class, () -> WindowsVersion.of("LATEST"));
        assertEquals("The project version LATEST does not start with a number, which a Windows file version cannot"
                + " hold: set <fileVersion> (up to four numbers from 0 to 65535)", text.getMessage());
    }
}
