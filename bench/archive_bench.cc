// The speed figures of the project, every one next to the same work done by
// the JDK's own tools with the same JDK, for every JDK under /usr/lib/jvm:
//   0. the instructions of a whole start of examples/hello in the same
//      variants as 1, under callgrind when valgrind is installed;
//   1. start-up to the first line of main of examples/hello and
//      examples/notes: the default configuration against `java -cp` with a
//      plain system class loader named (the JDK's own floor for what the
//      default asks of it), `assystemclassloader false` against `java -cp`,
//      and `assystemclassloader false` with `classdatacache true` from the
//      second start on;
//   2. where the start-up time goes: the launcher's steps, the virtual
//      machine's creation with and without what the launcher adds, the
//      first class;
//   3. class loading as the application grows: every class of the first
//      10, 50, 130, 250 and all jars of a large real jar set
//      (/usr/share/java, or a generated one) through the launcher's loader,
//      against URLClassLoader over the same jars and the JDK's application
//      loader, and with several loading threads at the largest point;
//   4. resource reads through "xoq:" URLs against URLClassLoader;
//   5. memory once everything is loaded, at every point of 3, against
//      `java -cp`: resident, anonymous and file-backed, the Java heap, and
//      the launcher's archive indexes;
//   6. start-up of Clojure (Debian's jars) to its first printed line, which
//      depends on entry times: it loads its compiled core only when the
//      classes are newer than their sources;
// and once: the Windows launcher's time to loading jvm.dll under Wine.
// It prints figures and ratios; it is not a test. Run:
//   ninja -C build archive_bench && build/archive_bench [--quick] [--instructions | --scale]
// (--scale: only 3 to 5, on every JDK).
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "archive/archive_node.h"
#include "bench_figures.h"
#include "held_child.h"
#include "platform/output_filter.h"
#include "support/files.h"
#include "support/jdks.h"
#include "support/packaging.h"
#include "support/process.h"

namespace {

using xoq_bench::median;
using xoq_bench::tracedAt;
using xoq_bench::tracedValue;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using xoq::testing::ProcessResult;
using xoq::testing::RunOptions;
using xoq_bench::Child;

std::string joinPath(const std::vector<std::string>& parts) {
  std::string joined;
  for (const std::string& part : parts) joined += (joined.empty() ? "" : ":") + part;
  return joined;
}

// The real jar files under /usr/share/java (links counted once).
std::vector<std::string> systemJars() {
  std::set<std::string> jars;
  std::error_code code;
  for (const fs::directory_entry& entry : fs::directory_iterator("/usr/share/java", code)) {
    if (entry.path().extension() != ".jar") continue;
    jars.insert(fs::canonical(entry.path(), code).string());
  }
  return std::vector<std::string>(jars.begin(), jars.end());
}

// A generated set of jars when the machine has none: 20 jars of 100 classes.
std::vector<std::string> generatedJars(const xoq::testing::TempDir& dir, const std::string& javaHome) {
  std::vector<std::string> jars;
  for (int j = 0; j < 20; ++j) {
    const std::string source = dir.file("gen/src" + std::to_string(j));
    std::vector<std::string> command = {javaHome + "/bin/javac", "-d", dir.file("gen/classes" + std::to_string(j))};
    for (int c = 0; c < 100; ++c) {
      const std::string name = "C" + std::to_string(c);
      const std::string file = source + "/gen" + std::to_string(j) + "/" + name + ".java";
      xoq::testing::writeFile(file, "package gen" + std::to_string(j) + "; public class " + name +
                                        " { public int value() { return " + std::to_string(c) + "; } }\n");
      command.push_back(file);
    }
    RunOptions options;
    options.timeoutSeconds = 300;
    xoq::testing::runProcess(command, options);
    const std::string jar = dir.file("gen/lib" + std::to_string(j) + ".jar");
    xoq::testing::runProcess(
        {javaHome + "/bin/jar", "--create", "--file", jar, "-C", dir.file("gen/classes" + std::to_string(j)), "."},
        options);
    jars.push_back(jar);
  }
  return jars;
}

struct LoadFigures {
  double classMs = -1, classCpuMs = -1, resourceMs = -1;
  std::string loaded, failed, read, bytes;
};

LoadFigures loadRun(const std::vector<std::string>& command, const std::map<std::string, std::string>& environment) {
  Child child(command, environment);
  // Loading tens of thousands of classes takes minutes on a busy machine.
  child.waitForLine("first line", 1800);
  child.waitForLine("resources.ms=" /* never equal: read to the end */, 1800);
  const std::map<std::string, std::string> values = child.values();
  LoadFigures figures;
  auto get = [&values](const char* key) {
    const auto found = values.find(key);
    return found == values.end() ? std::string("?") : found->second;
  };
  figures.classMs = atof(get("classes.ms").c_str());
  figures.classCpuMs = atof(get("classes.cpu.ms").c_str());
  figures.resourceMs = atof(get("resources.ms").c_str());
  figures.loaded = get("classes.loaded");
  figures.failed = get("classes.failed");
  figures.read = get("resources.read");
  figures.bytes = get("resources.bytes");
  return figures;
}

double ratio(const std::vector<double>& a, const std::vector<double>& b) { return median(a) / median(b); }

// The processor time, all threads, of one whole run of `command`, output
// dropped: on a busy machine it varies far less than the time on the clock.
double processorMs(const std::vector<std::string>& command, const std::map<std::string, std::string>& environment) {
  const pid_t pid = fork();
  if (pid == 0) {
    const int devNull = open("/dev/null", O_RDWR);
    dup2(devNull, 0);
    dup2(devNull, 1);
    dup2(devNull, 2);
    for (const auto& entry : environment) setenv(entry.first.c_str(), entry.second.c_str(), 1);
    std::vector<char*> args;
    for (const std::string& word : command) args.push_back(const_cast<char*>(word.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  struct rusage usage;
  int status = 0;
  if (pid < 0 || wait4(pid, &status, 0, &usage) != pid) return -1;
  return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
}

// A copy of a packaged example beside its own external configuration, which
// takes the runtime from JAVA_HOME.
std::string exampleCopy(const xoq::testing::TempDir& dir, const std::string& example, const std::string& name,
                        const std::string& config) {
  const std::string copy = dir.file(name);
  xoq::testing::writeFile(copy, xoq::testing::readFile(std::string(XOQ_BUILD_DIR) + "/examples/" + example));
  xoq::testing::makeExecutable(copy);
  xoq::testing::writeFile(copy + ".cfg", "jre_order e\r\n" + config);
  return copy;
}

struct Example {
  std::string name;
  std::string firstLine;
  std::string mainClass;
  std::string classPath;  // for java -cp
};

// 1. Start-up of one example, every variant interleaved with the others.
void startupFigures(const xoq::testing::TempDir& dir, const std::string& home, const Example& example, int runs) {
  const std::string java = home + "/bin/java";
  const std::string benchJar = std::string(XOQ_BUILD_DIR) + "/bench/bench.jar";
  std::map<std::string, std::string> environment = {{"JAVA_HOME", home}, {"XOQ_TRACE", ""}};
  environment["XDG_CACHE_HOME"] = dir.file("cache-" + example.name);
  const std::string tag = example.name + "-" + xoq::testing::jdkParameterName(home);
  const std::string plain = exampleCopy(dir, example.name, tag + "-default", "");
  const std::string separate = exampleCopy(dir, example.name, tag + "-separate", "assystemclassloader false\r\n");
  const std::string both =
      exampleCopy(dir, example.name, tag + "-both", "classdatacache true\r\nassystemclassloader false\r\n");
  // The first starts make the archives.
  Child(std::vector<std::string>{both}, environment).waitForLine("never");
  const std::vector<std::string> javaCp = {java, "-cp", example.classPath, example.mainClass};
  const std::vector<std::string> javaLoader = {java, "-Djava.system.class.loader=bench.PlainSystemLoader", "-cp",
                                               benchJar + ":" + example.classPath, example.mainClass};
  std::vector<double> tPlain, tSeparate, tBoth, tJava, tJavaLoader;
  for (int i = 0; i < runs; ++i) {
    tPlain.push_back(Child({plain}, environment).waitForLine(example.firstLine));
    tJavaLoader.push_back(Child(javaLoader, environment).waitForLine(example.firstLine));
    tSeparate.push_back(Child({separate}, environment).waitForLine(example.firstLine));
    tJava.push_back(Child(javaCp, environment).waitForLine(example.firstLine));
    tBoth.push_back(Child({both}, environment).waitForLine(example.firstLine));
  }
  std::vector<double> cPlain, cSeparate, cBoth, cJava, cJavaLoader;
  for (int i = 0; i < runs; ++i) {
    cPlain.push_back(processorMs({plain}, environment));
    cJavaLoader.push_back(processorMs(javaLoader, environment));
    cSeparate.push_back(processorMs({separate}, environment));
    cJava.push_back(processorMs(javaCp, environment));
    cBoth.push_back(processorMs({both}, environment));
  }
  printf("   %s (median of %d; processor time of whole runs, all threads, in brackets):\n", example.name.c_str(), runs);
  printf(
      "     default                                   %6.1f ms  %.3f [%.3f] x java -cp with a plain system "
      "class loader named (aim <= 1.00)\n",
      median(tPlain), ratio(tPlain, tJavaLoader), ratio(cPlain, cJavaLoader));
  printf("     assystemclassloader false                 %6.1f ms  %.3f [%.3f] x java -cp (aim <= 1.05)\n",
         median(tSeparate), ratio(tSeparate, tJava), ratio(cSeparate, cJava));
  printf("     classdatacache, assystemclassloader false %6.1f ms  %.3f [%.3f] x java -cp (aim <= 0.80)\n",
         median(tBoth), ratio(tBoth, tJava), ratio(cBoth, cJava));
  printf("     java -cp %.1f ms [%.1f]; with a plain system class loader named %.1f ms [%.1f]\n", median(tJava),
         median(cJava), median(tJavaLoader), median(cJavaLoader));
}

// 2. Where the start-up goes, from the launcher's trace (whole
// milliseconds, so medians of many runs), and what the JDK itself costs.
void breakdownFigures(const xoq::testing::TempDir& dir, const std::string& home, const std::string& helloCp, int runs) {
  const std::string tag = "hello-trace-" + xoq::testing::jdkParameterName(home);
  const std::string plain = exampleCopy(dir, "hello", tag, "");
  const std::string separate = exampleCopy(dir, "hello", tag + "-separate", "assystemclassloader false\r\n");
  xoq::testing::RunOptions options;
  options.setEnv = {{"JAVA_HOME", home}, {"XOQ_TRACE", "1"}};
  options.timeoutSeconds = 120;
  std::vector<double> steps, creation, creationSeparate, firstUrl, firstClass, mainDone;
  for (int i = 0; i < runs; ++i) {
    const std::string err = xoq::testing::runProcess({plain}, options).err;
    const std::string errSeparate = xoq::testing::runProcess({separate}, options).err;
    steps.push_back(tracedAt(err, "launch thread started"));
    creation.push_back(tracedValue(err, "virtual machine creation: done in "));
    creationSeparate.push_back(tracedValue(errSeparate, "virtual machine creation: done in "));
    const double created = tracedAt(err, "virtual machine creation: done");
    firstUrl.push_back(tracedAt(err, "resource xoq:") - tracedAt(err, "main class loader:"));
    firstClass.push_back(tracedAt(err, ": served from the payload (") - tracedAt(err, "resource xoq:"));
    mainDone.push_back(tracedAt(err, "launch result") - created);
  }
  // The JDK's own share: naming any system class loader.
  const std::string java = home + "/bin/java";
  const std::string benchJar = std::string(XOQ_BUILD_DIR) + "/bench/bench.jar";
  std::vector<double> tJava, tJavaLoader;
  xoq::testing::RunOptions javaOptions;
  javaOptions.timeoutSeconds = 120;
  auto wholeRun = [&javaOptions](const std::vector<std::string>& command) {
    const Clock::time_point start = Clock::now();
    xoq::testing::runProcess(command, javaOptions);
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  };
  for (int i = 0; i < runs; ++i) {
    tJava.push_back(wholeRun({java, "-cp", helloCp, "hello.Main"}));
    tJavaLoader.push_back(wholeRun(
        {java, "-Djava.system.class.loader=bench.PlainSystemLoader", "-cp", benchJar + ":" + helloCp, "hello.Main"}));
  }
  // The output filter's helper process, made and waited for here.
  std::vector<double> filter;
  for (int i = 0; i < 21; ++i) {
    const Clock::time_point start = Clock::now();
    { xoq::platform::OutputFilter held("a line nobody prints"); }
    filter.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  printf("   hello, default configuration, from the trace (median of %d, whole ms):\n", runs);
  printf("     launcher's steps to the launch thread   %5.1f ms\n", median(steps));
  printf("     virtual machine creation                %5.1f ms (assystemclassloader false: %.1f ms)\n",
         median(creation), median(creationSeparate));
  printf(
      "       of it: the output filter's helper     %5.2f ms; the JDK's own cost of naming any system class "
      "loader %.1f ms (whole java -cp runs)\n",
      median(filter), median(tJavaLoader) - median(tJava));
  printf(
      "       what is left, the support classes read from the executable and the launcher's loader: %.1f ms; "
      "no agent any more\n",
      median(creation) - median(creationSeparate) - median(filter) - (median(tJavaLoader) - median(tJava)));
  printf("     main class loader to first xoq: URL     %5.1f ms (the manifest of the main class's jar)\n",
         median(firstUrl));
  printf("     first xoq: URL to first class defined   %5.1f ms\n", median(firstClass));
  printf("     creation to the end of main             %5.1f ms\n", median(mainDone));
}

// The instructions of one whole run under callgrind, all threads, or -1.
// Instruction counts do not depend on what else the machine runs, so they
// compare the launcher with java where the clock cannot. The launcher's
// integrity check is left out of the count: valgrind's processor lacks the
// SHA instructions, and the portable code it then runs costs some thirty
// times what the check costs natively (about a million instructions).
double instructions(const xoq::testing::TempDir& dir, const std::vector<std::string>& command,
                    const std::map<std::string, std::string>& environment) {
  std::vector<std::string> argv = {"valgrind", "--tool=callgrind", "--callgrind-out-file=" + dir.file("callgrind.%p"),
                                   "--toggle-collect=*checkOwnIntegrity*", "--collect-atstart=yes"};
  argv.insert(argv.end(), command.begin(), command.end());
  RunOptions options;
  options.setEnv = environment;
  options.timeoutSeconds = 600;
  const ProcessResult result = xoq::testing::runProcess(argv, options);
  // The launcher's output filter is a forked child with a count of its own,
  // a copy of the parent's at the fork: the largest count is the launcher.
  double most = -1;
  for (size_t at = result.err.find("Collected :"); at != std::string::npos;
       at = result.err.find("Collected :", at + 1)) {
    most = std::max(most, atof(result.err.c_str() + at + strlen("Collected :")));
  }
  if (result.exitCode != 0) fprintf(stderr, "exit %d: %s\n", result.exitCode, result.err.substr(0, 2000).c_str());
  return result.exitCode == 0 ? most : -1;
}

// 0. Start-up of hello counted in instructions, one run of each variant.
void instructionFigures(const xoq::testing::TempDir& dir, const std::string& home) {
  if (xoq::testing::runProcess({"valgrind", "--version"}).exitCode != 0) {
    printf("0. instructions: not counted (valgrind is not installed)\n");
    return;
  }
  const std::string java = home + "/bin/java";
  const std::string benchJar = std::string(XOQ_BUILD_DIR) + "/bench/bench.jar";
  const std::string helloCp = std::string(XOQ_BUILD_DIR) + "/examples/hello.jar";
  std::map<std::string, std::string> environment = {{"JAVA_HOME", home}, {"XOQ_TRACE", ""}};
  environment["XDG_CACHE_HOME"] = dir.file("cache-instructions");
  const std::string tag = "hello-count-" + xoq::testing::jdkParameterName(home);
  const std::string plain = exampleCopy(dir, "hello", tag, "");
  const std::string separate = exampleCopy(dir, "hello", tag + "-separate", "assystemclassloader false\r\n");
  const std::string both =
      exampleCopy(dir, "hello", tag + "-both", "classdatacache true\r\nassystemclassloader false\r\n");
  RunOptions first;
  first.setEnv = environment;
  first.timeoutSeconds = 120;
  xoq::testing::runProcess({both}, first);  // makes the archive
  // The compiler threads' share moves with the timing of each run, a few
  // per cent either way: the median of three runs each, interleaved.
  std::vector<double> plainRuns, javaLoaderRuns, separateRuns, javaRuns, bothRuns;
  for (int i = 0; i < 3; ++i) {
    plainRuns.push_back(instructions(dir, {plain}, environment));
    javaLoaderRuns.push_back(instructions(
        dir,
        {java, "-Djava.system.class.loader=bench.PlainSystemLoader", "-cp", benchJar + ":" + helloCp, "hello.Main"},
        environment));
    separateRuns.push_back(instructions(dir, {separate}, environment));
    javaRuns.push_back(instructions(dir, {java, "-cp", helloCp, "hello.Main"}, environment));
    bothRuns.push_back(instructions(dir, {both}, environment));
  }
  const double iPlain = median(plainRuns), iJavaLoader = median(javaLoaderRuns), iSeparate = median(separateRuns),
               iJava = median(javaRuns), iBoth = median(bothRuns);
  printf(
      "0. instructions of a whole start of hello (callgrind, all threads, without the integrity check, median of "
      "3)\n");
  printf(
      "     default                                   %6.1f M  %.3f x java -cp with a plain system class loader "
      "named (aim <= 1.00)\n",
      iPlain / 1e6, iPlain / iJavaLoader);
  printf("     assystemclassloader false                 %6.1f M  %.3f x java -cp (aim <= 1.05)\n", iSeparate / 1e6,
         iSeparate / iJava);
  printf("     classdatacache, assystemclassloader false %6.1f M  %.3f x java -cp (aim <= 0.80)\n", iBoth / 1e6,
         iBoth / iJava);
  printf("     java -cp %.1f M; with a plain system class loader named %.1f M\n", iJava / 1e6, iJavaLoader / 1e6);
}

// The Windows launcher under Wine: from its start to having loaded a
// jvm.dll (a stand-in that refuses creation), against the Linux launcher's
// same figure from the trace.
void wineFigures(const xoq::testing::TempDir& dir, const std::string& home, int runs) {
  const std::string standin = std::string(XOQ_BUILD_DIR) + "/windows/standins/create/jvm.dll";
  const std::string prefix = std::string(XOQ_BUILD_DIR) + "/wine-prefix";
  if (!fs::exists(standin) || !fs::exists(prefix)) {
    printf("Windows under Wine: not measured (needs the Windows build and build/wine-prefix)\n");
    return;
  }
  fs::create_directories(dir.file("wine/jre/bin/server"));
  fs::copy_file(standin, dir.file("wine/jre/bin/server/jvm.dll"), fs::copy_options::overwrite_existing);
  const std::string exe = xoq::testing::packageExecutable(xoq::testing::Target::kWindowsConsole,
                                                          dir.file("wine/app.exe"), "jre_order b\r\nmainclass x\r\n");
  const std::string linux = exampleCopy(dir, "hello", "hello-wine-compare", "");
  xoq::testing::RunOptions options;
  options.setEnv = {{"WINEPREFIX", prefix}, {"WINEDEBUG", "-all"}, {"XOQ_TRACE", "1"}};
  options.timeoutSeconds = 120;
  xoq::testing::RunOptions linuxOptions;
  linuxOptions.setEnv = {{"XOQ_TRACE", "1"}, {"JAVA_HOME", home}};
  std::vector<double> wine, wineWhole, native;
  for (int i = 0; i < runs; ++i) {
    const Clock::time_point start = Clock::now();
    const xoq::testing::ProcessResult result =
        xoq::testing::runExecutable(xoq::testing::Target::kWindowsConsole, exe, {}, options);
    wineWhole.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    wine.push_back(tracedAt(result.err, "vm option 1:"));
    native.push_back(tracedAt(xoq::testing::runProcess({linux}, linuxOptions).err, "vm option 1:"));
  }
  printf(
      "Windows launcher under Wine, its own time from start to a loaded jvm.dll: %.1f ms (Linux launcher to "
      "libjvm.so: %.1f ms); the whole Wine process %.0f ms (median of %d)\n\n",
      median(wine), median(native), median(wineWhole), runs);
}

// What a user's tools show of a process holding everything it loaded.
struct MemoryFigures {
  long resident = -1, anonymous = -1, fileBacked = -1;  // kB, /proc/<pid>/status
  long heapUsed = -1, heapCommitted = -1;               // kB, the Java heap after a full collection
  long indexKb = -1;                                    // kB, the launcher's archive indexes (its trace)
};

// Runs `command` with the hold switch on until it holds, and measures it.
// With `errorFile`, the launcher's trace is read from it for its indexes.
MemoryFigures heldMemory(const std::vector<std::string>& command, const std::map<std::string, std::string>& environment,
                         const std::string& errorFile) {
  MemoryFigures figures;
  {
    Child child(command, environment, errorFile);
    if (child.waitForLine("holding", 1800) < 0) return figures;
    usleep(300000);
    figures.resident = child.statusKilobytes("VmRSS");
    figures.anonymous = child.statusKilobytes("RssAnon");
    figures.fileBacked = child.statusKilobytes("RssFile");
    const std::map<std::string, std::string> values = child.values();
    const auto used = values.find("heap.used.kb");
    const auto committed = values.find("heap.committed.kb");
    if (used != values.end()) figures.heapUsed = atol(used->second.c_str());
    if (committed != values.end()) figures.heapCommitted = atol(committed->second.c_str());
    child.finish();
  }
  if (!errorFile.empty()) {
    const double bytes = tracedValue(xoq::testing::readFile(errorFile), "index memory ");
    if (bytes >= 0) figures.indexKb = static_cast<long>(bytes / 1024);
  }
  return figures;
}

std::vector<double> medians(const std::vector<std::vector<double>>& runs) {
  std::vector<double> result;
  for (const std::vector<double>& values : runs) result.push_back(median(values));
  return result;
}

// The launcher's own share of loading the classes listed in `names`,
// without a virtual machine: the payload of `exe` opened, then every class
// file looked up and read as the class natives do it (the payload's top,
// then its jars), then as many names that no jar holds, each in a folder
// that jars have. This thread's processor time, the fastest of three rounds.
struct NativeShare {
  double openMs = -1;     // opening the payload and every jar in it
  double foundUs = -1;    // per class file read
  double missingUs = -1;  // per name not found
  size_t read = 0;
};

double threadCpuMicroseconds() {
  timespec now;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return now.tv_sec * 1e6 + now.tv_nsec / 1e3;
}

NativeShare nativeShare(const std::string& exe, const std::string& names) {
  NativeShare share;
  std::vector<std::string> found, missing;
  const std::string text = xoq::testing::readFile(names);
  for (size_t at = 0, end = 0; at < text.size(); at = end + 1) {
    end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    if (text.compare(at, 2, "C ") != 0) continue;
    std::string entry = text.substr(at + 2, end - at - 2);
    std::replace(entry.begin(), entry.end(), '.', '\\');
    found.push_back(entry + ".class");
    missing.push_back(entry + "Missing.class");
  }
  auto into = [](void* argument, uint32_t size, uint8_t** destination) {
    std::string& bytes = *static_cast<std::string*>(argument);
    bytes.resize(size);
    *destination = reinterpret_cast<uint8_t*>(&bytes[0]);
    return true;
  };
  std::string bytes;
  for (int round = 0; round < 3; ++round) {
    double start = threadCpuMicroseconds();
    xoq::ArchiveNode node(xoq::kPayloadNestingDepth);
    if (!xoq::openArchiveFile(node, exe)) return share;
    const double opened = threadCpuMicroseconds();
    size_t read = 0;
    for (const std::string& name : found) read += xoq::readEntryBytes(node, name, true, into, &bytes) ? 1 : 0;
    const double readAll = threadCpuMicroseconds();
    for (const std::string& name : missing) xoq::readEntryBytes(node, name, true, into, &bytes);
    const double end = threadCpuMicroseconds();
    const double openMs = (opened - start) / 1000;
    const double foundUs = (readAll - opened) / static_cast<double>(found.size());
    const double missingUs = (end - readAll) / static_cast<double>(missing.size());
    if (share.openMs < 0 || openMs < share.openMs) share.openMs = openMs;
    if (share.foundUs < 0 || foundUs < share.foundUs) share.foundUs = foundUs;
    if (share.missingUs < 0 || missingUs < share.missingUs) share.missingUs = missingUs;
    share.read = read;
  }
  return share;
}

// 3 to 5. Class loading, resource reads and memory as the application
// grows: the first 10, 50, 130 and 250 jars of the set in name order, and
// all of it. Every class of those jars is loaded in a fresh virtual machine
// through the launcher's loader, through a URLClassLoader over the same jars
// and through the JDK's application loader (java -cp), then every resource
// is read; memory is taken after that, against java -cp.
void scaleSeries(const xoq::testing::TempDir& dir, const std::string& home, const std::vector<std::string>& jars,
                 const char* origin, bool quick) {
  const std::string java = home + "/bin/java";
  const std::string benchJar = std::string(XOQ_BUILD_DIR) + "/bench/bench.jar";
  const std::string tag = xoq::testing::jdkParameterName(home);
  const std::map<std::string, std::string> environment = {{"JAVA_HOME", home}, {"XOQ_TRACE", ""}};
  std::map<std::string, std::string> traced = environment;
  traced["XOQ_TRACE"] = "1";
  const int runs = quick ? 1 : 3;
  std::vector<size_t> points;
  for (const size_t count : {size_t(10), size_t(50), size_t(130), size_t(250)}) {
    if (count < jars.size()) points.push_back(count);
  }
  points.push_back(jars.size());
  size_t totalBytes = 0;
  for (const std::string& jar : jars) totalBytes += fs::file_size(jar);
  printf("3. class loading as the application grows: the first N of %zu jars from %s (%.1f MB) in name order,\n",
         jars.size(), origin, totalBytes / 1048576.0);
  printf("   every class of them loaded in a fresh virtual machine, then every resource read; median of %d;\n", runs);
  printf(
      "   the loading thread's processor time in brackets; the launcher's loader's throughput (classes per second)\n");
  printf(
      "   jars  classes    MB   launcher ms [cpu]   URLClassLoader ms [cpu]   java -cp ms [cpu]"
      "   x URLClassLoader [cpu] (aim >= 1.5)   x java -cp [cpu]\n");
  struct Row {
    size_t jars;
    MemoryFigures launcher, javaCp;
    NativeShare native;
  };
  std::vector<Row> memoryRows;
  for (size_t point = 0; point < points.size(); ++point) {
    const size_t count = points[point];
    const bool last = point + 1 == points.size();
    const std::vector<std::string> subset(jars.begin(), jars.begin() + static_cast<std::ptrdiff_t>(count));
    const std::string names = dir.file("names-" + std::to_string(count) + ".txt");
    std::vector<std::string> listCommand = {java, "-cp", benchJar, "bench.LoadBench", "list", names};
    listCommand.insert(listCommand.end(), subset.begin(), subset.end());
    RunOptions listOptions;
    listOptions.timeoutSeconds = 300;
    xoq::testing::runProcess(listCommand, listOptions);

    // The executable: the bench jar and every jar of the subset nested.
    std::vector<std::string> pack = {"--add", benchJar + "=bench.jar"};
    size_t payloadBytes = 0;
    for (const std::string& jar : subset) {
      pack.push_back("--add");
      pack.push_back(jar + "=lib/" + fs::path(jar).filename().string());
      payloadBytes += fs::file_size(jar);
    }
    const std::string exe =
        xoq::testing::packageWith(xoq::testing::Target::kLinux, dir.file("scale-" + tag + "-" + std::to_string(count)),
                                  "mainclass bench.LoadBench\r\njre_order e\r\n", pack);
    std::vector<std::string> classPath = {benchJar};
    classPath.insert(classPath.end(), subset.begin(), subset.end());
    const std::string cp = joinPath(classPath);
    std::vector<std::string> urlCommand = {java, "-cp", benchJar, "bench.LoadBench", "run", "url", names};
    urlCommand.insert(urlCommand.end(), subset.begin(), subset.end());
    const std::vector<std::string> exeCommand = {exe, "run", "context", names};
    const std::vector<std::string> javaCommand = {java, "-cp", cp, "bench.LoadBench", "run", "context", names};

    // Each loader in a fresh virtual machine, runs interleaved.
    std::vector<std::vector<double>> clock(3), cpu(3), resources(3);
    LoadFigures lastRun[3];
    xoq::testing::writeFile(exe + ".cfg", "");
    for (int i = 0; i < runs; ++i) {
      lastRun[0] = loadRun(exeCommand, environment);
      lastRun[1] = loadRun(urlCommand, environment);
      lastRun[2] = loadRun(javaCommand, environment);
      for (int k = 0; k < 3; ++k) {
        clock[k].push_back(lastRun[k].classMs);
        cpu[k].push_back(lastRun[k].classCpuMs);
        resources[k].push_back(lastRun[k].resourceMs);
      }
    }
    const std::vector<double> c = medians(clock), p = medians(cpu);
    // Classes per second: the loaders need not load the same number of
    // classes (URLClassLoader and java -cp follow the Class-Path of a jar's
    // manifest to jars outside the set).
    const double n[3] = {atof(lastRun[0].loaded.c_str()), atof(lastRun[1].loaded.c_str()),
                         atof(lastRun[2].loaded.c_str())};
    printf(
        "   %4zu %8s %5.1f   %7.0f [%7.0f]     %7.0f [%7.0f]         %7.0f [%7.0f]   %5.2f [%5.2f]"
        "                         %5.2f [%5.2f]\n",
        count, lastRun[0].loaded.c_str(), payloadBytes / 1048576.0, c[0], p[0], c[1], p[1], c[2], p[2],
        c[1] / c[0] * n[0] / n[1], p[1] / p[0] * n[0] / n[1], c[2] / c[0] * n[0] / n[2], p[2] / p[0] * n[0] / n[2]);
    if (lastRun[0].loaded != lastRun[1].loaded || lastRun[0].loaded != lastRun[2].loaded) {
      printf(
          "        (classes loaded: launcher %s, URLClassLoader %s, java -cp %s; failed for missing dependencies:"
          " %s)\n",
          lastRun[0].loaded.c_str(), lastRun[1].loaded.c_str(), lastRun[2].loaded.c_str(), lastRun[0].failed.c_str());
    }
    fflush(stdout);

    Row row{count, MemoryFigures(), MemoryFigures(), nativeShare(exe, names)};
    xoq::testing::writeFile(exe + ".cfg", "option -Dbench.hold=1\r\n");
    row.launcher = heldMemory(exeCommand, traced, dir.file("trace-" + std::to_string(count) + ".txt"));
    std::vector<std::string> javaHeld = javaCommand;
    javaHeld.insert(javaHeld.begin() + 1, "-Dbench.hold=1");
    row.javaCp = heldMemory(javaHeld, environment, std::string());
    memoryRows.push_back(row);

    if (!last) continue;
    const std::vector<double> r = medians(resources);
    printf("\n4. resource reads at %zu jars: %s resources, %s bytes, median of %d\n", count, lastRun[0].read.c_str(),
           lastRun[0].bytes.c_str(), runs);
    printf("   through xoq: URLs:     %8.1f ms\n", r[0]);
    printf("   URLClassLoader:        %8.1f ms  (read %s)\n", r[1], lastRun[1].read.c_str());
    printf("   java -cp:              %8.1f ms  (read %s)\n", r[2], lastRun[2].read.c_str());
    printf("   throughput ratio xoq / URLClassLoader: %.2f   / java -cp: %.2f\n", r[1] / r[0], r[2] / r[0]);

    // Several loading threads at once, each taking every n-th class.
    printf(
        "\n   class loading on several threads at %zu jars (clock; the threads' processor time added up in "
        "brackets), median of %d:\n",
        count, runs);
    for (const int threads : {2, 4}) {
      std::vector<double> tExe, tUrl, cpuExe, cpuUrl;
      const std::string option = "-Dbench.threads=" + std::to_string(threads);
      xoq::testing::writeFile(exe + ".cfg", "option " + option + "\r\n");
      std::vector<std::string> urlThreads = urlCommand;
      urlThreads.insert(urlThreads.begin() + 1, option);
      double perClass = 1;  // the launcher's classes per URLClassLoader's
      for (int i = 0; i < runs; ++i) {
        const LoadFigures onExe = loadRun(exeCommand, environment);
        const LoadFigures onUrl = loadRun(urlThreads, environment);
        tExe.push_back(onExe.classMs);
        cpuExe.push_back(onExe.classCpuMs);
        tUrl.push_back(onUrl.classMs);
        cpuUrl.push_back(onUrl.classCpuMs);
        perClass = atof(onExe.loaded.c_str()) / atof(onUrl.loaded.c_str());
      }
      printf("     %d threads: launcher %7.0f ms [%7.0f], URLClassLoader %7.0f ms [%7.0f]: throughput x %.2f [%.2f]\n",
             threads, median(tExe), median(cpuExe), median(tUrl), median(cpuUrl),
             median(tUrl) / median(tExe) * perClass, median(cpuUrl) / median(cpuExe) * perClass);
    }
    xoq::testing::writeFile(exe + ".cfg", "");
  }

  printf("\n   the launcher's own share, without a virtual machine (this thread's processor time, fastest of 3):\n");
  printf("   jars   opening the payload   per class file read   per name that no jar holds\n");
  for (const Row& row : memoryRows) {
    printf("   %4zu   %13.1f ms      %13.2f us      %13.2f us   (%zu read)\n", row.jars, row.native.openMs,
           row.native.foundUs, row.native.missingUs, row.native.read);
  }

  printf("\n5. memory after loading every class and reading every resource, as /proc/<pid>/status tells it (kB):\n");
  printf("   resident = anonymous (private) + file-backed; the Java heap used/committed after a full collection;\n");
  printf("   the launcher's archive indexes (its own native allocations) as its trace tells them\n");
  printf(
      "   jars   launcher: resident   anon   file   heap used/committed  indexes"
      "    java -cp: resident   anon   file   heap used/committed"
      "   ratio resident (aim <= 1.0)  anon (aim <= 1.0)\n");
  for (const Row& row : memoryRows) {
    const MemoryFigures& a = row.launcher;
    const MemoryFigures& b = row.javaCp;
    printf(
        "   %4zu   %17ld %6ld %6ld   %8ld/%-8ld     %7ld   %17ld %6ld %6ld   %8ld/%-8ld   %.3f"
        "                        %.3f\n",
        row.jars, a.resident, a.anonymous, a.fileBacked, a.heapUsed, a.heapCommitted, a.indexKb, b.resident,
        b.anonymous, b.fileBacked, b.heapUsed, b.heapCommitted, static_cast<double>(a.resident) / b.resident,
        static_cast<double>(a.anonymous) / b.anonymous);
  }
  printf("   (nested jars are stored, so none is inflated into memory)\n\n");
}

}  // namespace

namespace {

// Every figure with one JDK.
void benchJdk(const xoq::testing::TempDir& dir, const std::string& home, bool quick, int runs) {
  const std::string java = home + "/bin/java";
  const std::map<std::string, std::string> environment = {{"JAVA_HOME", home}, {"XOQ_TRACE", ""}};
  printf("=== JDK %s (%s)\n", xoq::testing::jdkVersion(home).c_str(), home.c_str());
  const std::string examples = std::string(XOQ_BUILD_DIR) + "/examples/";
  const std::string helloCp = examples + "hello.jar";
  instructionFigures(dir, home);
  printf("1. start-up to the first line of main\n");
  startupFigures(dir, home, {"hello", "Hello from a Java program packaged with xoq.", "hello.Main", helloCp}, runs);
  startupFigures(dir, home,
                 {"notes", "Hello from notes, a Java program that ships as one executable.", "com.example.notes.App",
                  examples + "notes-build/notes.jar:" + examples + "notes-build/lib/text.jar:" + examples +
                      "notes-build/lib/exporters.jar:" + std::string(XOQ_SOURCE_DIR) + "/examples/notes/top"},
                 runs);
  printf("2. where the start-up goes\n");
  breakdownFigures(dir, home, helloCp, runs);

  std::vector<std::string> jars = systemJars();
  const char* origin = "/usr/share/java";
  if (jars.size() < 5) {
    jars = generatedJars(dir, home);
    origin = "generated";
  }
  scaleSeries(dir, home, jars, origin, quick);

  // 6. Clojure, packaged and under java -cp.
  const std::vector<std::string> clojure = {"/usr/share/java/clojure.jar", "/usr/share/java/spec.alpha.jar",
                                            "/usr/share/java/core.specs.alpha.jar"};
  if (!fs::exists(clojure[0])) {
    printf("6. Clojure: not installed (Debian's libclojure-java)\n\n");
    return;
  }
  std::vector<std::string> clojurePack;
  for (const std::string& jar : clojure) {
    clojurePack.push_back("--add");
    clojurePack.push_back(jar + "=lib/" + fs::path(jar).filename().string());
  }
  const std::string clojureExe = xoq::testing::packageWith(
      xoq::testing::Target::kLinux, dir.file("clojure-" + xoq::testing::jdkParameterName(home)),
      "mainclass clojure.main\r\njre_order e\r\nargv -e \"(println \\\"first line\\\")\"\r\n", clojurePack);
  std::vector<double> tClojure, tClojureJava;
  for (int i = 0; i < runs; ++i) {
    tClojure.push_back(Child({clojureExe}, environment).waitForLine("first line"));
    tClojureJava.push_back(
        Child({java, "-cp", joinPath(clojure), "clojure.main", "-e", "(println \"first line\")"}, environment)
            .waitForLine("first line"));
  }
  printf("6. Clojure start-up to its first line (median of %d)\n", runs);
  printf("   packaged executable:  %8.1f ms   ratio %.3f\n", median(tClojure), median(tClojure) / median(tClojureJava));
  printf("   java -cp:             %8.1f ms\n\n", median(tClojureJava));
}

}  // namespace

int main(int argc, char** argv) {
  bool quick = false, countOnly = false, scaleOnly = false;
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "--quick") == 0) {
      quick = true;
    } else if (strcmp(argv[i], "--instructions") == 0) {
      countOnly = true;
    } else if (strcmp(argv[i], "--scale") == 0) {
      scaleOnly = true;
    } else {
      fprintf(stderr, "usage: archive_bench [--quick] [--instructions | --scale]\n");
      return 2;
    }
  }
  const int runs = quick ? 3 : 11;
  const std::vector<std::string> homes = xoq::testing::installedJdkHomes();
  if (homes.empty()) {
    fprintf(stderr, "no JDK under /usr/lib/jvm\n");
    return 1;
  }
  xoq::testing::TempDir dir;
  double load[3] = {-1, -1, -1};
  getloadavg(load, 3);
  const std::string info = xoq::testing::readFile("/proc/cpuinfo");
  const size_t model = info.find("model name");
  const size_t at = model == std::string::npos ? std::string::npos : info.find(": ", model);
  printf("%s, %ld processors, load average %.2f %.2f %.2f at the start\n\n",
         at == std::string::npos ? "unknown processor" : info.substr(at + 2, info.find('\n', at) - at - 2).c_str(),
         sysconf(_SC_NPROCESSORS_ONLN), load[0], load[1], load[2]);
  if (countOnly) {
    for (const std::string& home : homes) {
      printf("=== JDK %s (%s)\n", xoq::testing::jdkVersion(home).c_str(), home.c_str());
      instructionFigures(dir, home);
    }
    return 0;
  }
  if (scaleOnly) {
    std::vector<std::string> jars = systemJars();
    const char* origin = "/usr/share/java";
    if (jars.size() < 5) origin = "generated";
    for (const std::string& home : homes) {
      printf("=== JDK %s (%s)\n", xoq::testing::jdkVersion(home).c_str(), home.c_str());
      scaleSeries(dir, home, jars.size() < 5 ? generatedJars(dir, home) : jars, origin, quick);
    }
    return 0;
  }
  wineFigures(dir, homes[0], runs);
  for (const std::string& home : homes) benchJdk(dir, home, quick, runs);
  return 0;
}
