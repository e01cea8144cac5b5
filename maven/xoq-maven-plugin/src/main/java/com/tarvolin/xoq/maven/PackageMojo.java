package com.tarvolin.xoq.maven;

import java.io.File;
import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.FileVisitResult;
import java.nio.file.Files;
import java.nio.file.LinkOption;
import java.nio.file.Path;
import java.nio.file.SimpleFileVisitor;
import java.nio.file.StandardCopyOption;
import java.nio.file.attribute.BasicFileAttributes;
import java.util.ArrayList;
import java.util.HashSet;
import java.util.LinkedHashMap;
import java.util.LinkedHashSet;
import java.util.List;
import java.util.Locale;
import java.util.Map;
import java.util.Set;
import java.util.TreeMap;
import java.util.jar.JarFile;
import java.util.jar.Manifest;

import org.apache.maven.artifact.Artifact;
import org.apache.maven.plugin.AbstractMojo;
import org.apache.maven.plugin.MojoExecutionException;
import org.apache.maven.plugin.MojoFailureException;
import org.apache.maven.plugins.annotations.Component;
import org.apache.maven.plugins.annotations.LifecyclePhase;
import org.apache.maven.plugins.annotations.Mojo;
import org.apache.maven.plugins.annotations.Parameter;
import org.apache.maven.plugins.annotations.ResolutionScope;
import org.apache.maven.project.MavenProject;
import org.apache.maven.project.MavenProjectHelper;

/**
 * Packages the project's jar and its runtime dependencies into one
 * executable per target with xoqpack, and attaches each to the build with
 * the target's name as classifier. The executables appear together or not
 * at all: each is written into a staging folder first and moved into place
 * only when xoqpack has written every one.
 */
@Mojo(name = "package", defaultPhase = LifecyclePhase.PACKAGE, requiresDependencyResolution = ResolutionScope.RUNTIME,
        threadSafe = true)
public final class PackageMojo extends AbstractMojo {
    /** The runtime folder beside the programs, where the launcher looks first, and xoqpack's mark in it. */
    private static final String RUNTIME_FOLDER = "jre";
    private static final String RUNTIME_FOLDER_MARK = ".xoqpack-runtime";

    @Parameter(defaultValue = "${project}", readonly = true, required = true)
    private MavenProject project;

    @Component
    private MavenProjectHelper projectHelper;

    /** Skips the goal. */
    @Parameter(property = "xoq.skip", defaultValue = "false")
    private boolean skip;

    /**
     * The xoqpack program, or the folder that holds it. Without it, XOQ_HOME
     * names that folder, else xoqpack is looked for on the PATH.
     */
    @Parameter(property = "xoq.xoqpack")
    private File xoqpack;

    /** One or several of windows (GUI program), windows-console and linux. */
    @Parameter(property = "xoq.targets", defaultValue = "windows")
    private List<String> targets;

    /** Where the executables are written. */
    @Parameter(property = "xoq.outputDirectory", defaultValue = "${project.build.directory}")
    private File outputDirectory;

    /** The executables' name: NAME.exe, NAME-console.exe and NAME for the three targets. */
    @Parameter(property = "xoq.name", defaultValue = "${project.artifactId}")
    private String name;

    /** File names by target, instead of the ones made from name: {@code <windows>Notes.exe</windows>}. */
    @Parameter
    private Map<String, String> outputNames;

    /** Attaches the executables to the project, classified by target, so that install and deploy take them. */
    @Parameter(property = "xoq.attach", defaultValue = "true")
    private boolean attach;

    /** The class whose main runs; by default the jar's Main-Class. */
    @Parameter(property = "xoq.mainClass")
    private String mainClass;

    /** Options for the Java virtual machine, one each: an option line of the configuration. */
    @Parameter
    private List<String> jvmOptions;

    /** System properties the application gets: a property line of the configuration each. */
    @Parameter
    private Map<String, String> systemProperties;

    /** Arguments given to main before the command line's, each exactly as written: argv lines. */
    @Parameter
    private List<String> arguments;

    /** Further lines of the configuration, key and value, such as {@code singleinstance true}. */
    @Parameter
    private List<String> configLines;

    /** Further files for the executable's archive, as xoqpack's --add: FILE or FILE=NAME. */
    @Parameter
    private List<String> addFiles;

    /** Folders whose files go into the executable's archive, as xoqpack's --add-tree: DIR or DIR=PREFIX. */
    @Parameter
    private List<String> addTrees;

    /** An archive comment after the archive. */
    @Parameter
    private String comment;

    /** The Windows programs' icon, an .ico file. */
    @Parameter(property = "xoq.icon")
    private File icon;

    /** Up to four numbers from 0 to 65535; by default the numbers that lead the project's version. */
    @Parameter(property = "xoq.fileVersion")
    private String fileVersion;

    /** Up to four numbers from 0 to 65535; by default the file version. */
    @Parameter(property = "xoq.productVersion")
    private String productVersion;

    /** The product name in the version information. */
    @Parameter(defaultValue = "${project.name}")
    private String product;

    /** The company name in the version information. */
    @Parameter(defaultValue = "${project.organization.name}")
    private String company;

    /** The file description in the version information, also the name in Task Manager. */
    @Parameter(defaultValue = "${project.description}")
    private String description;

    /** The copyright in the version information. */
    @Parameter
    private String copyright;

    /** The internal name in the version information; by default the file name without .exe. */
    @Parameter
    private String internalName;

    /** asInvoker (the default), highestAvailable or requireAdministrator. */
    @Parameter(property = "xoq.executionLevel")
    private String executionLevel;

    /** false lets Windows scale the windows on high-DPI screens (for applications on Java 8). */
    @Parameter(property = "xoq.dpiAware", defaultValue = "true")
    private boolean dpiAware;

    /** Makes UTF-8 the Windows programs' ANSI code page (Windows 10 1903 and later). */
    @Parameter(property = "xoq.utf8CodePage", defaultValue = "false")
    private boolean utf8CodePage;

    /** A BMP that the Windows launcher shows in a splash window of its own. */
    @Parameter
    private File splashBitmap;

    /** A PNG, JPEG or GIF that the Java runtime's splash screen shows. */
    @Parameter
    private File splashImage;

    /**
     * Links a small Java runtime for the programs with the JDK's jlink: the
     * modules jdeps finds in the jars, and addModules. Each target whose
     * system has no ready runtime (linuxRuntime, windowsRuntime) gets one.
     */
    @Parameter(property = "xoq.jlink", defaultValue = "false")
    private boolean jlink;

    /** The JDK whose jlink and jdeps link the runtime; by default JAVA_HOME, else the javac on the PATH. */
    @Parameter(property = "xoq.jdk")
    private File jdk;

    /** Modules jdeps cannot see (found by reflection or as services), such as jdk.localedata: for jlink. */
    @Parameter(property = "xoq.addModules")
    private List<String> addModules;

    /** The jmods folder of a Linux JDK, for jlink to link the Linux target's runtime from (needed on Windows). */
    @Parameter(property = "xoq.linuxJmods")
    private File linuxJmods;

    /** The jmods folder of a Windows JDK, for jlink to link the Windows targets' runtime from (needed on Linux). */
    @Parameter(property = "xoq.windowsJmods")
    private File windowsJmods;

    /** A ready Linux runtime image (a JDK or JRE folder) that the Linux target brings. */
    @Parameter(property = "xoq.linuxRuntime")
    private File linuxRuntime;

    /** A ready Windows runtime image (a JDK or JRE folder with bin/server/jvm.dll) that the Windows targets bring. */
    @Parameter(property = "xoq.windowsRuntime")
    private File windowsRuntime;

    /**
     * Carries the runtime inside each program, unpacked into the user's cache
     * on its first start, instead of beside it as jre/ in outputDirectory.
     */
    @Parameter(property = "xoq.embedRuntime", defaultValue = "false")
    private boolean embedRuntime;

    @Override
    public void execute() throws MojoExecutionException, MojoFailureException {
        if (skip) {
            getLog().info("Skipping xoq packaging (xoq.skip)");
            return;
        }
        try {
            Map<TargetKind, String> fileNames = fileNames(chosenTargets());
            boolean windowsHost = System.getProperty("os.name", "").startsWith("Windows");
            PackagingRequest request = request(fileNames.keySet(), windowsHost);
            Path program = XoqpackLocator.find(xoqpack, System.getenv(), windowsHost);
            ConfigurationText configuration = configuration(request.applicationJar);
            Map<TargetKind, Path> written = packageAll(program, fileNames, request, configuration);
            if (attach) {
                for (Map.Entry<TargetKind, Path> entry : written.entrySet()) {
                    projectHelper.attachArtifact(project, entry.getKey().artifactType, entry.getKey().xoqpackName,
                            entry.getValue().toFile());
                }
            }
        } catch (PackagingException e) {
            throw new MojoFailureException(e.getMessage(), e);
        } catch (IOException e) {
            throw new MojoExecutionException("Packaging failed: " + e, e);
        }
    }

    private Set<TargetKind> chosenTargets() throws PackagingException {
        Set<TargetKind> chosen = new LinkedHashSet<>();
        if (targets != null) {
            for (String target : targets) {
                chosen.add(TargetKind.named(target, "<targets>"));
            }
        }
        if (chosen.isEmpty()) {
            throw new PackagingException("<targets> names no target: give windows, windows-console or linux");
        }
        return chosen;
    }

    /** The file name of each chosen target's executable, in the order the targets were given. */
    private Map<TargetKind, String> fileNames(Set<TargetKind> chosen) throws PackagingException {
        Map<TargetKind, String> given = new LinkedHashMap<>();
        if (outputNames != null) {
            for (Map.Entry<String, String> entry : outputNames.entrySet()) {
                given.put(TargetKind.named(entry.getKey(), "<outputNames>"), entry.getValue());
            }
        }
        Map<TargetKind, String> names = new LinkedHashMap<>();
        Set<String> taken = new HashSet<>();
        for (TargetKind target : chosen) {
            String fileName = given.containsKey(target) ? given.get(target) : name + target.fileSuffix;
            fileName = fileName == null ? "" : fileName.trim();
            if (fileName.isEmpty() || fileName.contains("/") || fileName.contains("\\") || fileName.equals(".")
                    || fileName.equals("..")) {
                throw new PackagingException("The output name \"" + fileName + "\" of target " + target.xoqpackName
                        + " is not a file name: set <outputDirectory> for the folder");
            }
            if (!taken.add(fileName.toLowerCase(Locale.ROOT))) {
                throw new PackagingException("Two targets would write " + fileName + ": give them different"
                        + " <outputNames>");
            }
            names.put(target, fileName);
        }
        return names;
    }

    private PackagingRequest request(Set<TargetKind> chosen, boolean windowsHost) throws PackagingException {
        PackagingRequest request = new PackagingRequest();
        RuntimePlan runtime = request.runtime;
        runtime.jlink = jlink;
        runtime.jdk = absolute(jdk);
        runtime.addModules.addAll(nonNull(addModules));
        runtime.linuxJmods = absolute(linuxJmods);
        runtime.windowsJmods = absolute(windowsJmods);
        runtime.linuxRuntime = absolute(linuxRuntime);
        runtime.windowsRuntime = absolute(windowsRuntime);
        runtime.embed = embedRuntime;
        runtime.check(chosen, windowsHost);
        request.applicationJar = applicationJar();
        Set<String> entryNames = new HashSet<>();
        for (Artifact artifact : project.getArtifacts()) {
            if (!artifact.getArtifactHandler().isAddedToClasspath()) {
                continue;
            }
            File file = artifact.getFile();
            if (file == null || !file.isFile()) {
                throw new PackagingException("The dependency " + artifact + " is not a jar file yet (" + file
                        + "): package it first");
            }
            String entryName = "lib/" + file.getName();
            if (!entryNames.add(entryName)) {
                // Two jars of one file name from different groups.
                entryName = "lib/" + artifact.getGroupId() + "/" + file.getName();
                entryNames.add(entryName);
            }
            request.libraries.add(new PackagingRequest.Library(file.toPath().toAbsolutePath(), entryName));
        }
        for (String file : nonNull(addFiles)) {
            request.addFiles.add(withAbsolutePath(file));
        }
        for (String tree : nonNull(addTrees)) {
            request.addTrees.add(withAbsolutePath(tree));
        }
        request.comment = comment;
        request.splashImage = absolute(splashImage);
        boolean anyWindows = false;
        for (TargetKind target : chosen) {
            anyWindows |= target.windows;
        }
        if (anyWindows) {
            request.icon = absolute(icon);
            request.fileVersion = oneLine(fileVersion);
            request.productVersion = oneLine(productVersion);
            if (request.fileVersion == null && request.productVersion == null) {
                request.fileVersion = WindowsVersion.of(project.getVersion());
            }
            request.product = oneLine(product);
            request.company = oneLine(company);
            request.description = oneLine(description);
            request.copyright = oneLine(copyright);
            request.internalName = oneLine(internalName);
            request.executionLevel = oneLine(executionLevel);
            request.dpiAware = dpiAware;
            request.utf8CodePage = utf8CodePage;
            request.splashBitmap = absolute(splashBitmap);
        }
        return request;
    }

    /** The jar that the project's own build made, which must be there by now. */
    private Path applicationJar() throws PackagingException {
        File file = project.getArtifact().getFile();
        if (file == null || !file.isFile()) {
            if ("pom".equals(project.getPackaging())) {
                throw new PackagingException("The project " + project.getArtifactId() + " is of packaging pom and"
                        + " has no jar: use the plugin in the module that makes the application's jar");
            }
            throw new PackagingException("The project's jar is not built yet: run the goal in the package phase"
                    + " (mvn package), after the jar plugin");
        }
        if (!file.getName().endsWith(".jar")) {
            throw new PackagingException("The project's artifact " + file.getName() + " is not a jar: xoq packages"
                    + " a project of packaging jar");
        }
        return file.toPath().toAbsolutePath();
    }

    private ConfigurationText configuration(Path applicationJar) throws PackagingException, IOException {
        ConfigurationText configuration = new ConfigurationText();
        String main = mainClass == null ? "" : mainClass.trim();
        if (!main.isEmpty()) {
            configuration.add("mainclass", main, "<mainClass>");
        } else if (mainClassOf(applicationJar) == null) {
            throw new PackagingException(applicationJar.getFileName() + " has no Main-Class in its manifest: set"
                    + " <mainClass> in the xoq-maven-plugin's configuration");
        }
        for (String option : nonNull(jvmOptions)) {
            if (!option.trim().isEmpty()) {
                configuration.add("option", option.trim(), "<jvmOptions>");
            }
        }
        if (systemProperties != null) {
            // Sorted, so that the same pom makes the same executable.
            for (Map.Entry<String, String> property : new TreeMap<>(systemProperties).entrySet()) {
                String value = property.getValue() == null ? "" : property.getValue();
                configuration.add("property", property.getKey() + "=" + value, "<systemProperties>");
            }
        }
        if (arguments != null) {
            for (String argument : arguments) {
                configuration.addArgument(argument == null ? "" : argument);
            }
        }
        for (String line : nonNull(configLines)) {
            configuration.addLine(line);
        }
        return configuration;
    }

    private static String mainClassOf(Path jar) throws PackagingException {
        try (JarFile file = new JarFile(jar.toFile())) {
            Manifest manifest = file.getManifest();
            String main = manifest == null ? null : manifest.getMainAttributes().getValue("Main-Class");
            return main == null || main.trim().isEmpty() ? null : main.trim();
        } catch (IOException e) {
            throw new PackagingException("Cannot read the project's jar " + jar + ": " + e.getMessage());
        }
    }

    /**
     * Runs xoqpack once per target into a staging folder beside the outputs,
     * then moves every executable into place: a failing target leaves the
     * outputs of earlier runs as they were and adds none.
     */
    private Map<TargetKind, Path> packageAll(Path program, Map<TargetKind, String> fileNames, PackagingRequest request,
            ConfigurationText configuration) throws PackagingException, IOException {
        Path folder = outputDirectory.toPath().toAbsolutePath();
        Files.createDirectories(folder);
        for (String fileName : fileNames.values()) {
            if (Files.isDirectory(folder.resolve(fileName))) {
                throw new PackagingException("Cannot write " + folder.resolve(fileName) + ": it is a folder");
            }
        }
        Path runtimeFolder = folder.resolve(RUNTIME_FOLDER);
        boolean writesRuntimeFolder = false;
        for (TargetKind target : fileNames.keySet()) {
            writesRuntimeFolder |= request.runtime.writesFolder(target);
        }
        // As xoqpack checks beside its own output, which is the staging folder here.
        if (writesRuntimeFolder && Files.exists(runtimeFolder, LinkOption.NOFOLLOW_LINKS)
                && !(Files.isDirectory(runtimeFolder, LinkOption.NOFOLLOW_LINKS)
                        && Files.isRegularFile(runtimeFolder.resolve(RUNTIME_FOLDER_MARK)))) {
            throw new PackagingException(runtimeFolder + " exists and was not written by xoqpack; move it away, or"
                    + " carry the runtime inside the programs with <embedRuntime>true</embedRuntime>");
        }
        getLog().info("Packaging " + request.applicationJar.getFileName() + " and " + request.libraries.size()
                + " librar" + (request.libraries.size() == 1 ? "y" : "ies") + " with " + program);
        Path staging = Files.createTempDirectory(folder, ".xoq-");
        try {
            if (!configuration.isEmpty()) {
                request.configFile = staging.resolve("configuration.cfg");
                Files.write(request.configFile, configuration.bytes());
                for (String line : configuration.lines()) {
                    getLog().debug("configuration: " + line);
                }
            }
            Map<TargetKind, Path> staged = new LinkedHashMap<>();
            Path stagedRuntime = null;
            for (Map.Entry<TargetKind, String> entry : fileNames.entrySet()) {
                // A folder per target, so that each keeps its own file name,
                // which goes into the version information.
                Path targetFolder = Files.createDirectory(staging.resolve(entry.getKey().xoqpackName));
                Path output = targetFolder.resolve(entry.getValue());
                run(XoqpackArguments.of(program, entry.getKey(), request, output), staging, targetFolder, folder);
                staged.put(entry.getKey(), output);
                if (request.runtime.writesFolder(entry.getKey())) {
                    stagedRuntime = targetFolder.resolve(RUNTIME_FOLDER);
                }
            }
            if (stagedRuntime != null) {
                placeRuntimeFolder(stagedRuntime, runtimeFolder, staging);
            }
            Map<TargetKind, Path> written = new LinkedHashMap<>();
            for (Map.Entry<TargetKind, Path> entry : staged.entrySet()) {
                Path destination = folder.resolve(entry.getValue().getFileName());
                Files.move(entry.getValue(), destination, StandardCopyOption.REPLACE_EXISTING,
                        StandardCopyOption.ATOMIC_MOVE);
                getLog().info("Wrote " + destination + " (" + entry.getKey().xoqpackName + ")");
                written.put(entry.getKey(), destination);
            }
            return written;
        } finally {
            try {
                deleteTree(staging);
            } catch (IOException e) {
                getLog().warn("Cannot remove the staging folder " + staging + ": " + e);
            }
        }
    }

    /**
     * Puts the runtime folder that xoqpack wrote beside a staged program into
     * the output folder, in place of the one an earlier build wrote there
     * (set aside into the staging folder until the new one is in place).
     */
    private void placeRuntimeFolder(Path staged, Path destination, Path staging) throws IOException {
        Path aside = null;
        if (Files.exists(destination, LinkOption.NOFOLLOW_LINKS)) {
            aside = staging.resolve("replaced-" + RUNTIME_FOLDER);
            Files.move(destination, aside, StandardCopyOption.ATOMIC_MOVE);
        }
        try {
            Files.move(staged, destination, StandardCopyOption.ATOMIC_MOVE);
        } catch (IOException e) {
            if (aside != null) {
                Files.move(aside, destination, StandardCopyOption.ATOMIC_MOVE);
            }
            throw e;
        }
        getLog().info("Wrote " + destination + " (the runtime beside the programs)");
    }

    /**
     * Runs xoqpack; what it reports becomes Maven's information, its
     * warnings Maven's, and its error line the build's failure. Its lines
     * name the staged target folder by the output folder, where its files
     * end up.
     */
    private void run(List<String> command, Path staging, Path stagedFolder, Path folder)
            throws PackagingException, IOException {
        getLog().debug("Running " + String.join(" ", command));
        Path out = staging.resolve("xoqpack.out");
        Path err = staging.resolve("xoqpack.err");
        Process process = new ProcessBuilder(command).redirectOutput(out.toFile()).redirectError(err.toFile()).start();
        int status;
        try {
            status = process.waitFor();
        } catch (InterruptedException e) {
            process.destroy();
            Thread.currentThread().interrupt();
            throw new IOException("interrupted while xoqpack ran", e);
        }
        for (String line : lines(out, stagedFolder, folder)) {
            getLog().info(line);
        }
        List<String> lines = lines(err, stagedFolder, folder);
        int warnings = status == 0 || lines.isEmpty() ? lines.size() : lines.size() - 1;
        for (String line : lines.subList(0, warnings)) {
            getLog().warn(line);
        }
        if (status != 0) {
            throw new PackagingException(warnings < lines.size() ? lines.get(warnings)
                    : "xoqpack ended with status " + status + " and said nothing");
        }
    }

    private static List<String> lines(Path file, Path stagedFolder, Path folder) throws IOException {
        List<String> lines = new ArrayList<>();
        for (String line : new String(Files.readAllBytes(file), StandardCharsets.UTF_8).split("\r?\n")) {
            if (!line.trim().isEmpty()) {
                lines.add(line.replace(stagedFolder.toString(), folder.toString()));
            }
        }
        return lines;
    }

    private String withAbsolutePath(String value) {
        // The last '=' separates the name, as xoqpack reads it.
        int equals = value.lastIndexOf('=');
        String path = equals < 0 ? value : value.substring(0, equals);
        String rest = equals < 0 ? "" : value.substring(equals);
        return absolute(new File(path.trim())) + rest;
    }

    private Path absolute(File file) {
        if (file == null) {
            return null;
        }
        return (file.isAbsolute() ? file : new File(project.getBasedir(), file.getPath())).toPath().toAbsolutePath();
    }

    /** The text on one line with its runs of blanks made one blank (a pom's description spans lines); null when empty. */
    static String oneLine(String text) {
        if (text == null) {
            return null;
        }
        String line = text.trim().replaceAll("\\s+", " ");
        return line.isEmpty() ? null : line;
    }

    private static List<String> nonNull(List<String> values) {
        List<String> kept = new ArrayList<>();
        if (values != null) {
            for (String value : values) {
                if (value != null) {
                    kept.add(value);
                }
            }
        }
        return kept;
    }

    private static void deleteTree(Path root) throws IOException {
        if (!Files.exists(root)) {
            return;
        }
        Files.walkFileTree(root, new SimpleFileVisitor<Path>() {
            @Override
            public FileVisitResult visitFile(Path file, BasicFileAttributes attributes) throws IOException {
                Files.delete(file);
                return FileVisitResult.CONTINUE;
            }

            @Override
            public FileVisitResult postVisitDirectory(Path folder, IOException failure) throws IOException {
                Files.delete(folder);
                return FileVisitResult.CONTINUE;
            }
        });
    }
}
