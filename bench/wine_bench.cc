// The Windows launcher under Wine with the real Windows Java runtime that
// scripts/windows-runtime.sh fetches (OpenJDK 11.0.2), against that
// runtime's own java.exe under Wine:
//   1. start-up of examples/hello as the GUI program (build/examples/hello.exe
//      as built) and as the console program (the same jar and configuration,
//      --target windows-console), against `wine java.exe -cp hello.jar
//      hello.Main` with the same arguments: time to the first line, the whole
//      run, and the processor time of the whole run, runs interleaved;
//   2. where the packaged start goes, from the launcher's trace;
//   3. class loading: every class of the jars of /usr/share/java that this
//      runtime can read, through the launcher's loader in a packaged console
//      program, against a URLClassLoader over the same jars under java.exe;
//      and the resource reads of the same run.
// It prints figures and ratios; it is not a test. Run:
//   ninja -C build wine_bench && build/wine_bench [--quick] [--loading | --memory]
// (--loading: only 3, with the memory of both once everything is loaded;
// --memory: only that memory).
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
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "bench_figures.h"
#include "held_child.h"
#include "support/files.h"
#include "support/jdks.h"
#include "support/packaging.h"
#include "support/process.h"
#include "support/windows_runtime.h"

namespace {

using xoq_bench::median;
using xoq_bench::tracedAt;
using xoq_bench::tracedValue;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using xoq::testing::launcherPath;
using xoq::testing::ProcessResult;
using xoq::testing::RunOptions;
using xoq::testing::Target;

const std::string kPrefix = std::string(XOQ_BUILD_DIR) + "/wine-prefix";

// What the Wine runs of the benchmark share: the test prefix, quiet, and
// the runtime found through JAVA_HOME.
std::map<std::string, std::string> wineEnvironment(const std::string& runtime) {
  return {{"WINEPREFIX", kPrefix},
          {"WINEDEBUG", "-all"},
          {"WINEDLLOVERRIDES", "mscoree,mshtml="},
          {"JAVA_HOME", launcherPath(Target::kWindows, runtime)},
          {"XOQ_TRACE", ""}};
}

double millisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct Timing {
  double firstLineMs = -1;  // until a line that starts with the awaited text
  double wholeMs = -1;      // until the process has ended
  double processorMs = -1;  // user and system time of the process, all threads
  std::string output;       // standard output, carriage returns removed
};

// Runs `command` with its standard output read as it comes and its
// standard error dropped, at most 600 s.
Timing timeRun(const std::vector<std::string>& command, const std::map<std::string, std::string>& environment,
               const std::string& firstLine) {
  Timing timing;
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) return timing;
  const Clock::time_point start = Clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    setpgid(0, 0);
    const int devNull = open("/dev/null", O_RDWR);
    dup2(devNull, 0);
    dup2(out[1], 1);
    dup2(devNull, 2);
    for (const auto& entry : environment) setenv(entry.first.c_str(), entry.second.c_str(), 1);
    std::vector<char*> args;
    for (const std::string& word : command) args.push_back(const_cast<char*>(word.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  close(out[1]);
  if (pid < 0) {
    close(out[0]);
    return timing;
  }
  const Clock::time_point deadline = start + std::chrono::seconds(600);
  // The output is read until the process ends, not until the pipe closes:
  // Wine's services, started by a first program, may hold it open.
  std::string raw;
  struct rusage usage;
  int status = 0;
  for (;;) {
    if (wait4(pid, &status, WNOHANG, &usage) == pid) {
      timing.wholeMs = millisecondsSince(start);
      break;
    }
    if (Clock::now() > deadline) {
      kill(-pid, SIGKILL);
      wait4(pid, &status, 0, &usage);
      break;
    }
    struct pollfd fd = {out[0], POLLIN, 0};
    if (poll(&fd, 1, 1) > 0) {
      char chunk[65536];
      const ssize_t n = read(out[0], chunk, sizeof chunk);
      if (n > 0) {
        raw.append(chunk, static_cast<size_t>(n));
      } else {
        fd.fd = -1;
        usleep(500);  // the pipe is closed; the process is ending
      }
      if (timing.firstLineMs < 0 && raw.find("\n" + firstLine) != std::string::npos) {
        timing.firstLineMs = millisecondsSince(start);
      } else if (timing.firstLineMs < 0 && raw.compare(0, firstLine.size(), firstLine) == 0) {
        timing.firstLineMs = millisecondsSince(start);
      }
    }
  }
  for (;;) {  // what is left in the pipe
    struct pollfd fd = {out[0], POLLIN, 0};
    char chunk[65536];
    ssize_t n = 0;
    if (poll(&fd, 1, 0) <= 0 || (n = read(out[0], chunk, sizeof chunk)) <= 0) break;
    raw.append(chunk, static_cast<size_t>(n));
  }
  close(out[0]);
  timing.processorMs = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
                       (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
  timing.output = xoq::testing::withoutCarriageReturns(raw);
  if (timing.firstLineMs < 0) timing.wholeMs = -1;  // a failed run counts for nothing
  return timing;
}

struct Series {
  std::vector<double> firstLine, whole, processor;
  void add(const Timing& timing) {
    firstLine.push_back(timing.firstLineMs);
    whole.push_back(timing.wholeMs);
    processor.push_back(timing.processorMs);
  }
};

// 1 and 2: start-up of hello.
void startupFigures(const xoq::testing::TempDir& dir, const std::string& runtime, int runs) {
  const std::string examples = std::string(XOQ_BUILD_DIR) + "/examples/";
  const std::string gui = examples + "hello.exe";
  const std::string console =
      xoq::testing::packageWith(Target::kWindowsConsole, dir.file("hello-console.exe"),
                                xoq::testing::readFile(std::string(XOQ_SOURCE_DIR) + "/examples/hello/hello.cfg"),
                                {"--add", examples + "hello.jar=hello.jar"});
  if (!fs::exists(gui) || console.empty()) {
    printf("1. start-up: not measured (needs build/examples/hello.exe and the console template)\n");
    return;
  }
  const std::map<std::string, std::string> environment = wineEnvironment(runtime);
  const std::string first = "Hello from a Java program packaged with xoq.";
  // hello.cfg hands hello.Main these arguments; java.exe gets the same.
  const std::vector<std::string> javaExe = {XOQ_WINE_PROGRAM,
                                            runtime + "/bin/java.exe",
                                            "-cp",
                                            launcherPath(Target::kWindows, examples + "hello.jar"),
                                            "hello.Main",
                                            "--greeting",
                                            "from the configuration"};
  // A first run of each, not counted: the file cache and Wine's own
  // start-up of a prefix's services.
  timeRun({XOQ_WINE_PROGRAM, gui}, environment, first);
  timeRun({XOQ_WINE_PROGRAM, console}, environment, first);
  const Timing check = timeRun(javaExe, environment, first);
  if (check.firstLineMs < 0) {
    printf("1. start-up: java.exe did not print hello's first line:\n%s\n", check.output.c_str());
    return;
  }
  Series sGui, sConsole, sJava;
  for (int i = 0; i < runs; ++i) {
    sGui.add(timeRun({XOQ_WINE_PROGRAM, gui}, environment, first));
    sJava.add(timeRun(javaExe, environment, first));
    sConsole.add(timeRun({XOQ_WINE_PROGRAM, console}, environment, first));
  }
  printf("1. start-up of hello under Wine, median of %d, runs interleaved\n", runs);
  printf("                      first line      whole run    processor time\n");
  const auto row = [&sJava](const char* name, const Series& series) {
    printf("   %-18s %7.0f ms %5.3f  %7.0f ms %5.3f  %7.0f ms %5.3f\n", name, median(series.firstLine),
           median(series.firstLine) / median(sJava.firstLine), median(series.whole),
           median(series.whole) / median(sJava.whole), median(series.processor),
           median(series.processor) / median(sJava.processor));
  };
  row("GUI program", sGui);
  row("console program", sConsole);
  row("java.exe -cp", sJava);
  printf("   (ratios against java.exe -cp; aim <= 1.10)\n\n");

  // 2. The launcher's own trace: its steps before the runtime, the virtual
  // machine's creation, main.
  RunOptions traced;
  traced.setEnv = environment;
  traced.setEnv["XOQ_TRACE"] = "1";
  traced.timeoutSeconds = 120;
  std::vector<double> loaded, creation, mainDone, total;
  std::string sample;
  for (int i = 0; i < runs; ++i) {
    const ProcessResult result = xoq::testing::runProcess({XOQ_WINE_PROGRAM, console}, traced);
    const double created = tracedAt(result.err, "virtual machine creation: done");
    loaded.push_back(tracedAt(result.err, "vm option 1:"));
    creation.push_back(tracedValue(result.err, "virtual machine creation: done in "));
    mainDone.push_back(tracedAt(result.err, "launch result") - created);
    total.push_back(tracedAt(result.err, "launch result"));
    if (i == 0) sample = result.err;
  }
  printf("2. where the console program's start goes (its trace, median of %d)\n", runs);
  printf("   from the launcher's start to a loaded jvm.dll: %6.0f ms\n", median(loaded));
  printf("   the virtual machine's creation:                %6.0f ms\n", median(creation));
  printf("   from there to main's end:                      %6.0f ms\n", median(mainDone));
  printf("   the launch result, from the launcher's start:  %6.0f ms\n\n", median(total));
  if (getenv("XOQ_BENCH_SHOW_TRACE") != nullptr) printf("%s\n", sample.c_str());
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

std::map<std::string, std::string> values(const std::string& output) { return xoq::testing::parseKeyValues(output); }

// 3. Class loading and resource reads.
void loadingFigures(const xoq::testing::TempDir& dir, const std::string& runtime, bool quick, bool memoryOnly) {
  const std::vector<std::string> homes = xoq::testing::installedJdkHomes();
  if (homes.empty()) {
    printf("3. class loading: not measured (no JDK under /usr/lib/jvm to list the classes)\n");
    return;
  }
  const std::string java = homes[0] + "/bin/java";
  const std::string benchJar = std::string(XOQ_BUILD_DIR) + "/bench/bench.jar";
  RunOptions listing;
  listing.timeoutSeconds = 600;
  // Only the jars this runtime can read: a class of a later version would
  // fail in both loaders and measure nothing.
  std::vector<std::string> pick = {java, "-cp", benchJar, "bench.ClassVersions", "55"};
  const std::vector<std::string> all = systemJars();
  pick.insert(pick.end(), all.begin(), all.end());
  std::vector<std::string> jars;
  std::istringstream picked(xoq::testing::runProcess(pick, listing).out);
  for (std::string line; std::getline(picked, line);) {
    if (!line.empty()) jars.push_back(line);
  }
  if (jars.size() < 5) {
    printf("3. class loading: not measured (only %zu jars under /usr/share/java for Java 11)\n\n", jars.size());
    return;
  }
  const std::string names = dir.file("names.txt");
  std::vector<std::string> list = {java, "-cp", benchJar, "bench.LoadBench", "list", names};
  list.insert(list.end(), jars.begin(), jars.end());
  xoq::testing::runProcess(list, listing);

  std::vector<std::string> pack = {"--add", benchJar + "=bench.jar"};
  size_t payloadBytes = 0;
  for (const std::string& jar : jars) {
    pack.insert(pack.end(), {"--add", jar + "=lib/" + fs::path(jar).filename().string()});
    payloadBytes += fs::file_size(jar);
  }
  const std::string exe = xoq::testing::packageWith(Target::kWindowsConsole, dir.file("load.exe"),
                                                    "mainclass bench.LoadBench\r\njre_order e\r\n", pack);
  if (exe.empty()) {
    printf("3. class loading: packaging failed\n");
    return;
  }
  const std::map<std::string, std::string> environment = wineEnvironment(runtime);
  const std::string windowsNames = launcherPath(Target::kWindows, names);
  const std::vector<std::string> packaged = {XOQ_WINE_PROGRAM, exe, "run", "context", windowsNames};
  std::vector<std::string> url = {XOQ_WINE_PROGRAM,
                                  runtime + "/bin/java.exe",
                                  "-cp",
                                  launcherPath(Target::kWindows, benchJar),
                                  "bench.LoadBench",
                                  "run",
                                  "url",
                                  windowsNames};
  for (const std::string& jar : jars) url.push_back(launcherPath(Target::kWindows, jar));
  printf("3. class loading under Wine: %zu jars of /usr/share/java whose classes Java 11 reads, %.1f MB\n", jars.size(),
         payloadBytes / 1048576.0);
  std::vector<double> cExe, cUrl, cpuExe, cpuUrl, rExe, rUrl;
  std::map<std::string, std::string> lastExe, lastUrl;
  for (int i = 0; i < (memoryOnly ? 0 : quick ? 1 : 5); ++i) {
    lastExe = values(timeRun(packaged, environment, "first line").output);
    lastUrl = values(timeRun(url, environment, "first line").output);
    cExe.push_back(atof(lastExe["classes.ms"].c_str()));
    cUrl.push_back(atof(lastUrl["classes.ms"].c_str()));
    cpuExe.push_back(atof(lastExe["classes.cpu.ms"].c_str()));
    cpuUrl.push_back(atof(lastUrl["classes.cpu.ms"].c_str()));
    rExe.push_back(atof(lastExe["resources.ms"].c_str()));
    rUrl.push_back(atof(lastUrl["resources.ms"].c_str()));
  }
  if (!memoryOnly) {
    const double classes = atof(lastExe["classes.loaded"].c_str());
    printf("   %s classes loaded (%s failed: dependencies missing, or modules this runtime lacks), median\n",
           lastExe["classes.loaded"].c_str(), lastExe["classes.failed"].c_str());
    printf("   launcher's loader (payload):   %8.1f ms  %9.0f classes/s\n", median(cExe),
           classes / median(cExe) * 1000);
    printf("   URLClassLoader under java.exe: %8.1f ms  %9.0f classes/s  (loaded %s, failed %s)\n", median(cUrl),
           atof(lastUrl["classes.loaded"].c_str()) / median(cUrl) * 1000, lastUrl["classes.loaded"].c_str(),
           lastUrl["classes.failed"].c_str());
    printf(
        "   throughput ratio launcher / URLClassLoader: %.2f (aim >= 1.0); by the loading thread's processor "
        "time: %.2f\n",
        median(cUrl) / median(cExe), median(cpuUrl) / median(cpuExe));
    printf("   resource reads (%s, %s bytes): xoq: %.1f ms, URLClassLoader %.1f ms (read %s): ratio %.2f\n\n",
           lastExe["resources.read"].c_str(), lastExe["resources.bytes"].c_str(), median(rExe), median(rUrl),
           lastUrl["resources.read"].c_str(), median(rUrl) / median(rExe));
  }

  // Memory with everything loaded and read, as Windows' tools name it: the
  // working set is the Wine process's resident memory, private bytes its
  // anonymous pages (Wine runs the Windows program in that Linux process).
  // Of the working set, the pages of the program file that stay mapped.
  // Single samples scatter by tens of MB (how much of the Java heap's
  // committed memory is resident depends on the collector's history), so
  // the runs are interleaved and their medians compared.
  struct Held {
    std::vector<double> workingSet, privateBytes, programFile, heapUsed, heapCommitted;
  };
  const auto hold = [&](const std::vector<std::string>& command, const std::string& program, Held& figures) {
    xoq_bench::Child child(command, environment);
    if (child.waitForLine("holding", 1800) < 0) return;
    usleep(300000);
    figures.workingSet.push_back(child.statusKilobytes("VmRSS"));
    figures.privateBytes.push_back(child.statusKilobytes("RssAnon"));
    figures.programFile.push_back(child.mappedKilobytes(program));
    const std::map<std::string, std::string> reported = child.values();
    figures.heapUsed.push_back(atof(reported.count("heap.used.kb") ? reported.at("heap.used.kb").c_str() : "-1"));
    figures.heapCommitted.push_back(
        atof(reported.count("heap.committed.kb") ? reported.at("heap.committed.kb").c_str() : "-1"));
    child.finish();
  };
  std::vector<std::string> urlHeld = url;
  urlHeld.insert(urlHeld.begin() + 2, "-Dbench.hold=1");
  Held onExe, onUrl;
  const int heldRuns = 3;
  for (int i = 0; i < heldRuns; ++i) {
    xoq::testing::writeFile(exe + ".cfg", "option -Dbench.hold=1\r\n");
    hold(packaged, exe, onExe);
    fs::remove(exe + ".cfg");
    hold(urlHeld, runtime + "/bin/java.exe", onUrl);
  }
  printf("   memory after loading every class and reading every resource (kB, median of %d): working set, private\n",
         heldRuns);
  printf("   bytes, the program file's pages in the working set, Java heap used/committed after a full collection\n");
  const auto row = [](const char* name, const Held& figures) {
    printf("   %-30s %8.0f %8.0f %8.0f %8.0f/%-8.0f\n", name, median(figures.workingSet), median(figures.privateBytes),
           median(figures.programFile), median(figures.heapUsed), median(figures.heapCommitted));
  };
  row("launcher:", onExe);
  row("URLClassLoader under java.exe:", onUrl);
  printf("   ratio launcher / java.exe: working set %.3f, private bytes %.3f (aim <= 1.0)\n\n",
         median(onExe.workingSet) / median(onUrl.workingSet), median(onExe.privateBytes) / median(onUrl.privateBytes));
}

}  // namespace

int main(int argc, char** argv) {
  // Each figure as soon as it is known: a full run takes most of an hour.
  setvbuf(stdout, nullptr, _IOLBF, 0);
  bool quick = false, loadingOnly = false, memoryOnly = false;
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "--quick") == 0) {
      quick = true;
    } else if (strcmp(argv[i], "--loading") == 0) {
      loadingOnly = true;
    } else if (strcmp(argv[i], "--memory") == 0) {
      loadingOnly = true;
      memoryOnly = true;
    } else {
      fprintf(stderr, "usage: wine_bench [--quick] [--loading | --memory]\n");
      return 2;
    }
  }
  const int runs = quick ? 5 : 15;
  const std::string runtime = xoq::testing::windowsRuntimeHome();
  if (runtime.empty()) {
    fprintf(stderr, "no Windows Java runtime: run scripts/windows-runtime.sh\n");
    return 1;
  }
  // The prefix of the tests, with a wine server that stays for the whole
  // run, as the tests have it.
  RunOptions start;
  start.timeoutSeconds = 400;
  const ProcessResult prefix =
      xoq::testing::runProcess({std::string(XOQ_SOURCE_DIR) + "/scripts/wine-prefix.sh", "start", kPrefix}, start);
  if (prefix.exitCode != 0) {
    fprintf(stderr, "could not make the Wine prefix %s:\n%s\n", kPrefix.c_str(), prefix.err.c_str());
    return 1;
  }
  double load[3] = {-1, -1, -1};
  getloadavg(load, 3);
  std::string wine = xoq::testing::runProcess({XOQ_WINE_PROGRAM, "--version"}).out;
  wine.erase(wine.find_last_not_of("\r\n") + 1);
  printf("%s; runtime: OpenJDK %s for Windows; %ld processors, load average %.2f %.2f %.2f at the start\n\n",
         wine.c_str(), xoq::testing::kWindowsRuntimeVersion, sysconf(_SC_NPROCESSORS_ONLN), load[0], load[1], load[2]);
  xoq::testing::TempDir dir;
  if (!loadingOnly) startupFigures(dir, runtime, runs);
  loadingFigures(dir, runtime, quick, memoryOnly);
  return 0;
}
