// xoqpack: writes a Java application and its configuration into one
// executable, a copy of a xoq launcher template with the payload appended.
#include <map>
#include <string>
#include <vector>

#include "entry_time.h"
#include "host_files.h"
#include "host_process.h"
#include "packager.h"
#include "path_names.h"
#include "xoq_version.h"

namespace {

const char kUsage[] =
    "Usage: xoqpack [options] --output FILE\n"
    "Writes a Java application, its configuration and xoq's support classes into\n"
    "one executable: a copy of a xoq launcher with the payload appended.\n"
    "\n"
    "  -o, --output FILE          the executable to write; it appears complete or\n"
    "                             not at all\n"
    "  -t, --target NAME          which launcher to copy, from xoqpack's own folder:\n"
    "                               windows          Windows GUI program (default)\n"
    "                               windows-console  Windows console program\n"
    "                               linux            Linux program\n"
    "      --template FILE        copy this launcher template instead\n"
    "  -j, --jar FILE             the application jar: stored at the archive's top,\n"
    "                             its Main-Class the main class unless the\n"
    "                             configuration names one (--config is then\n"
    "                             optional), and every jar its manifest's\n"
    "                             Class-Path names, and theirs in turn, stored once\n"
    "                             each under lib/, as `java -jar` would find them.\n"
    "                             An entry of the jar's own Class-Path that does\n"
    "                             not exist or is not a jar is an error; one that a\n"
    "                             library names, or a folder, is left out with a\n"
    "                             warning. So are the manifest's Add-Opens,\n"
    "                             Add-Exports, Enable-Native-Access,\n"
    "                             Launcher-Agent-Class and SplashScreen-Image,\n"
    "                             which only `java -jar` acts on.\n"
    "      --no-class-path        do not follow the Class-Path of --jar\n"
    "  -c, --config FILE          the configuration (lines of a key and a value).\n"
    "                             UTF-8, UTF-16 with its byte-order mark, or\n"
    "                             Windows-1252; stored as UTF-8 with CR LF line ends.\n"
    "                             Without it the configuration block is empty.\n"
    "  -a, --add FILE[=NAME]      put FILE into the archive as entry NAME (default:\n"
    "                             its file name). Jars and zips are stored as they\n"
    "                             are, other files deflated. Repeatable.\n"
    "  -d, --add-tree DIR[=PREFIX]\n"
    "                             put every file below DIR into the archive, named\n"
    "                             by its path below DIR, under PREFIX/ when given.\n"
    "      --extract NAME         the entry NAME (or every entry a pattern names, '*'\n"
    "                             and '?' within one folder, or every file below a\n"
    "                             folder NAME/) is unpacked into the user's cache\n"
    "                             on the first start and used as a real file: jars\n"
    "                             on the class path, for libraries that need their\n"
    "                             own file (Ant, Jython, Spring's classpath*:\n"
    "                             scanning); native libraries (.dll, .so) first in\n"
    "                             java.library.path. The same as an extract line of\n"
    "                             the configuration. Repeatable. A packed jar that\n"
    "                             is not extracted and has a class that names\n"
    "                             CodeSource with getLocation, JarURLConnection with\n"
    "                             getJarFile, or jar:file: (ways to find the jar it\n"
    "                             came from as a file) gets a warning that names\n"
    "                             the class and suggests --extract for it.\n"
    "      --comment TEXT         an archive comment after the archive\n"
    "      --write-support-jar FILE\n"
    "                             write xoq's support classes (com.tarvolin.xoq), as\n"
    "                             every payload carries them, into a jar to compile\n"
    "                             against, and nothing else\n"
    "  -h, --help                 this text\n"
    "      --version              xoqpack's version, which is its templates' too\n"
    "\n"
    "A Java runtime with the program, for machines without Java:\n"
    "      --runtime DIR          a ready runtime image for the target (a JDK or JRE\n"
    "                             folder: lib/server/libjvm.so for Linux,\n"
    "                             bin/server/jvm.dll for Windows, a release file)\n"
    "      --jlink                make a small runtime with the JDK's jlink: the\n"
    "                             modules jdeps finds in the packaged jars and\n"
    "                             classes, java.base, java.desktop for a splash\n"
    "                             image, and --add-modules; no debug information,\n"
    "                             commands, man pages or headers; the module image\n"
    "                             compressed; a class data archive when the target\n"
    "                             is this system\n"
    "      --jdk DIR              the JDK whose jlink and jdeps --jlink runs\n"
    "                             (default: JAVA_HOME, else the javac on PATH)\n"
    "      --jmods DIR            the jmods to link (a Windows JDK's jmods folder for\n"
    "                             a Windows target; same feature version as --jdk)\n"
    "      --add-modules LIST     further modules for --jlink, comma-separated (those\n"
    "                             the application finds by reflection or services,\n"
    "                             such as jdk.localedata or jdk.crypto.ec)\n"
    "                             Without more, the runtime is written as jre/ beside\n"
    "                             the executable, where the launcher finds it with\n"
    "                             no configuration; a jre/ there from an earlier run\n"
    "                             is replaced, anything else there is refused.\n"
    "      --embed-runtime        carry the runtime inside the executable instead,\n"
    "                             compressed: the first start unpacks it into the\n"
    "                             user's cache, later starts use it from there. The\n"
    "                             configuration gets jre_order pcbsiejvwf (p: the\n"
    "                             carried runtime, first) unless it has its own\n"
    "\n"
    "Windows resources (see docs/windows-resources.md):\n"
    "      --icon FILE.ico        the program's icon in Explorer and on the taskbar:\n"
    "                             every image of the file, 256-pixel PNGs included\n"
    "      --file-version N[.N[.N[.N]]]\n"
    "      --product-version N[.N[.N[.N]]]\n"
    "                             up to four numbers from 0 to 65535; each stands\n"
    "                             in for the other when only one is given\n"
    "      --product TEXT, --company TEXT, --description TEXT, --copyright TEXT,\n"
    "      --internal-name TEXT   the strings of the file's version information\n"
    "                             (Properties, Details), written when any of these\n"
    "                             version options is given, with OriginalFilename\n"
    "                             taken from --output\n"
    "      --execution-level asInvoker|highestAvailable|requireAdministrator\n"
    "                             the privileges the manifest asks for (default\n"
    "                             asInvoker); every Windows executable gets a\n"
    "                             manifest: Common Controls 6, Windows 7 to 11,\n"
    "                             long paths, per-monitor DPI awareness\n"
    "      --no-dpi-aware         let Windows scale the windows on high-DPI screens\n"
    "                             (for applications on Java 8, which is not DPI\n"
    "                             aware itself)\n"
    "      --utf8-code-page       make UTF-8 the process's ANSI code page (Windows 10\n"
    "                             version 1903 and later), so that non-ASCII paths\n"
    "                             and arguments survive in any system locale\n"
    "\n"
    "Splash screen:\n"
    "      --splash-bitmap FILE.bmp\n"
    "                             the launcher's own splash window shows this\n"
    "                             uncompressed or RLE BMP (bitmap resource 100);\n"
    "                             Windows targets only\n"
    "      --splash-image FILE    the Java runtime's splash screen shows this JPEG,\n"
    "                             PNG or GIF: RCDATA resource 100 on Windows; on\n"
    "                             Linux the stored archive entry\n"
    "                             com/tarvolin/xoq/splash-image\n"
    "\n"
    "Runtime search: a configuration without a jre_order line gets the line\n"
    "  jre_order cbsiejvwf\n"
    "so that the program also finds the Java runtimes installed today: after the\n"
    "launcher's own default (cbsie: jvmdll, jre, the JavaSoft and IBM keys of\n"
    "Java 8 and older, JRE_HOME and JAVA_HOME) come JavaSoft's newer keys (j), the\n"
    "vendors' own keys (v), the java on PATH (w) and the usual install folders (f).\n"
    "With --embed-runtime the line is jre_order pcbsiejvwf: p, the runtime the\n"
    "program carries, first.\n"
    "A configuration that names its own jre_order, even an empty one, keeps it\n"
    "(see docs/configuration.md).\n"
    "\n"
    "Entry names are relative, '/'-separated and unique; the names under\n"
    "com/tarvolin/xoq/ belong to xoq.\n"
    "\n"
    "The same inputs give the same bytes, whenever and on whichever system they\n"
    "are packed: every entry carries one time stamp, 1980-01-01 00:00 UTC, or the\n"
    "moment the environment variable SOURCE_DATE_EPOCH names (seconds since 1970).\n"
    "\n"
    "Examples:\n"
    "  xoqpack --target linux --jar app.jar --jlink --embed-runtime --output app\n"
    "  xoqpack --jar build/notes.jar --icon notes.ico --file-version 1.4.2.0 \\\n"
    "          --product Notes --output Notes.exe\n"
    "  xoqpack --target windows --config app.cfg --add build/app.jar=app.jar \\\n"
    "          --add-tree resources --output App.exe\n";

int fail(const std::string& message) {
  xoq::host::writeText(xoq::host::Stream::kError, "xoqpack: " + message + "\n");
  return 1;
}

// FILE=NAME splits at the last '=', since entry names hold none.
void splitSourceAndName(const std::string& argument, std::string& source, std::string& name) {
  const size_t equals = argument.rfind('=');
  if (equals == std::string::npos) {
    source = argument;
    name.clear();
  } else {
    source = argument.substr(0, equals);
    name = argument.substr(equals + 1);
  }
}

bool addTree(const std::string& argument, std::vector<xoq::PackEntry>& entries, std::string& error) {
  std::string directory;
  std::string prefix;
  splitSourceAndName(argument, directory, prefix);
  if (xoq::host::fileKind(directory) != xoq::host::FileKind::kDirectory) {
    error = "cannot read the directory " + directory;
    return false;
  }
  // Sorted by name, so that the same tree always gives the same archive.
  std::vector<std::string> files;
  std::string reason;
  if (!xoq::host::listFiles(directory, files, reason)) {
    error = "cannot read the directory " + directory + ": " + reason;
    return false;
  }
  if (!prefix.empty() && prefix.back() != '/') prefix += '/';
  for (const std::string& file : files) entries.push_back({xoq::host::joinPath(directory, file), prefix + file});
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> arguments = xoq::host::commandLineArguments(argc, argv);
  xoq::PackRequest request;
  std::string target;
  std::string supportJar;
  std::string error;
  xoq::ResourceOptions& resources = request.resources;
  // Options whose value is kept as it is.
  const std::map<std::string, std::string*> plainValues = {
      {"-o", &request.outputPath},
      {"--output", &request.outputPath},
      {"-t", &target},
      {"--target", &target},
      {"--template", &request.templatePath},
      {"-c", &request.configPath},
      {"--config", &request.configPath},
      {"--comment", &request.comment},
      {"-j", &request.applicationJar},
      {"--jar", &request.applicationJar},
      {"--icon", &resources.icon},
      {"--splash-bitmap", &resources.splashBitmap},
      {"--splash-image", &resources.splashImage},
      {"--file-version", &resources.fileVersion},
      {"--product-version", &resources.productVersion},
      {"--product", &resources.product},
      {"--company", &resources.company},
      {"--description", &resources.description},
      {"--copyright", &resources.copyright},
      {"--internal-name", &resources.internalName},
      {"--execution-level", &resources.executionLevel},
      {"--write-support-jar", &supportJar},
      {"--runtime", &request.runtime.runtime},
      {"--jdk", &request.runtime.jdk},
      {"--jmods", &request.runtime.jmods},
      {"--add-modules", &request.runtime.addModules},
  };
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& option = arguments[i];
    if (option == "-h" || option == "--help") {
      xoq::host::writeText(xoq::host::Stream::kOutput, kUsage);
      return 0;
    }
    if (option == "--version") {
      xoq::host::writeText(xoq::host::Stream::kOutput, "xoqpack " XOQ_VERSION "\n");
      return 0;
    }
    if (option == "--no-dpi-aware") {
      resources.dpiAware = false;
      continue;
    }
    if (option == "--no-class-path") {
      request.followClassPath = false;
      continue;
    }
    if (option == "--utf8-code-page") {
      resources.utf8CodePage = true;
      continue;
    }
    if (option == "--jlink") {
      request.runtime.jlink = true;
      continue;
    }
    if (option == "--embed-runtime") {
      request.runtime.embed = true;
      continue;
    }
    const auto plain = plainValues.find(option);
    const bool takesValue = plain != plainValues.end() || option == "-a" || option == "--add" || option == "-d" ||
                            option == "--add-tree" || option == "--extract";
    if (!takesValue) return fail("unknown option " + option + " (see xoqpack --help)");
    if (i + 1 >= arguments.size()) return fail(option + " needs a value (see xoqpack --help)");
    const std::string& value = arguments[++i];
    if (value.empty() && option != "--comment") return fail(option + " needs a value (see xoqpack --help)");
    if (plain != plainValues.end()) {
      *plain->second = value;
    } else if (option == "--extract") {
      request.extract.push_back(value);
    } else if (option == "-a" || option == "--add") {
      xoq::PackEntry entry;
      splitSourceAndName(value, entry.source, entry.name);
      if (entry.name.empty()) entry.name = xoq::fileNameOf(entry.source);
      request.entries.push_back(entry);
    } else if (!addTree(value, request.entries, error)) {
      return fail(error);
    }
  }
  std::string epoch;
  if (xoq::host::environmentVariable("SOURCE_DATE_EPOCH", epoch) &&
      !xoq::entryTimeFromSourceDateEpoch(epoch, request.entryTime, error))
    return fail(error);
  if (!supportJar.empty()) {
    if (!request.outputPath.empty()) return fail("give either --output or --write-support-jar, not both");
    if (!xoq::writeSupportJar(supportJar, request.entryTime, error)) return fail(error);
    return 0;
  }
  if (request.outputPath.empty()) return fail("no --output given (see xoqpack --help)");
  const xoq::RuntimeRequest& runtime = request.runtime;
  if (runtime.jlink && !runtime.runtime.empty()) return fail("give either --runtime or --jlink, not both");
  if (runtime.embed && !runtime.wanted()) return fail("--embed-runtime needs a runtime: give --runtime DIR or --jlink");
  if (!runtime.jlink && (!runtime.jdk.empty() || !runtime.jmods.empty() || !runtime.addModules.empty()))
    return fail("--jdk, --jmods and --add-modules go with --jlink");
  if (!request.templatePath.empty() && !target.empty()) return fail("give either --target or --template, not both");
  if (request.templatePath.empty()) {
    if (target.empty()) target = "windows";
    const char* file = nullptr;
    if (target == "windows") file = "xoq-launcher.exe";
    if (target == "windows-console") file = "xoq-launcher-console.exe";
    if (target == "linux") file = "xoq-launcher";
    if (file == nullptr) return fail("unknown target " + target + "; use windows, windows-console or linux");
    request.templatePath = xoq::host::folderOf(xoq::host::executablePath()) + file;
    if (xoq::host::fileKind(request.templatePath) == xoq::host::FileKind::kMissing)
      return fail("the " + target + " launcher template is missing: " + request.templatePath);
  }
  request.warn = [](const std::string& warning) {
    xoq::host::writeText(xoq::host::Stream::kError, "xoqpack: warning: " + warning + "\n");
  };
  request.report = [](const std::string& line) {
    xoq::host::writeText(xoq::host::Stream::kOutput, "xoqpack: " + line + "\n");
  };
  if (!xoq::pack(request, error)) return fail(error);
  return 0;
}
