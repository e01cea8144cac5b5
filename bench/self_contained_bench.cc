// Programs that bring their own Java, against what a Java developer has
// today, with the same JDK side by side, for every JDK here whose jlink can
// make a runtime: examples/hello and examples/notes
//   - as `java -cp` over their jars (the JDK installed, nothing shipped),
//   - as `jpackage --type app-image` of the same jars (a folder with a
//     runtime, the JDK's own tool),
//   - as xoqpack --jlink's folder (the executable and jre/ beside it),
//   - as xoqpack --jlink --embed-runtime's one file, from its second start
//     on, and its first start, which unpacks the runtime into the cache.
// Printed: the size on disk of each, and the start-up (process start to
// its end; clock, and in brackets processor time of all threads, which a
// busy machine disturbs less), each as a ratio in one run. It is not a
// test. Run:
//   ninja -C build self_contained_bench && build/self_contained_bench [--quick]
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "archive/cache_folder.h"
#include "bench_figures.h"
#include "support/files.h"
#include "support/jdks.h"
#include "support/packaging.h"
#include "support/process.h"

namespace {

using xoq_bench::median;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Timing {
  double clockMs = -1;
  double cpuMs = -1;
};

// Runs `argv` with its output thrown away and waits for its end: the time
// on the clock and the processor time of all its threads. -1 when it fails.
Timing timeRun(const std::vector<std::string>& argv, const std::map<std::string, std::string>& environment) {
  Timing timing;
  const Clock::time_point start = Clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    const int devNull = open("/dev/null", O_RDWR);
    dup2(devNull, 0);
    dup2(devNull, 1);
    dup2(devNull, 2);
    for (const auto& entry : environment) setenv(entry.first.c_str(), entry.second.c_str(), 1);
    std::vector<char*> args;
    for (const std::string& word : argv) args.push_back(const_cast<char*>(word.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  int status = 0;
  struct rusage usage;
  if (pid < 0 || wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return timing;
  timing.clockMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  timing.cpuMs = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
                 (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
  return timing;
}

// What `du` counts: the blocks the files take, links not followed.
double megabytesOnDisk(const std::vector<std::string>& paths) {
  uint64_t bytes = 0;
  for (const std::string& path : paths) {
    struct stat info;
    if (lstat(path.c_str(), &info) == 0) bytes += static_cast<uint64_t>(info.st_blocks) * 512;
    std::error_code code;
    if (!fs::is_directory(fs::symlink_status(path, code))) continue;
    for (fs::recursive_directory_iterator it(path, code), end; !code && it != end; it.increment(code)) {
      if (lstat(it->path().c_str(), &info) == 0) bytes += static_cast<uint64_t>(info.st_blocks) * 512;
    }
  }
  return bytes / 1e6;
}

// A cache folder's content that a later start never asks for.
class NotNeeded : public xoq::CacheContent {
 public:
  bool bytes(const uint8_t*&, size_t&, std::string& reason) override {
    reason = "a complete folder was unpacked again";
    return false;
  }
};

// What a later start pays for the cache: the launcher's own check of the
// marker, the sizes and the folders' owners, timed in this process.
void cacheCheckFigure(const std::string& cache) {
  std::string digest;
  std::error_code code;
  for (const fs::directory_entry& entry : fs::directory_iterator(cache + "/xoq/runtimes", code)) {
    const std::string name = entry.path().filename().string();
    if (name.size() == 64) digest = name;
  }
  NotNeeded content;
  std::string folder;
  xoq::CacheFailure failure;
  const int count = 200;
  const Clock::time_point start = Clock::now();
  bool ok = !digest.empty();
  for (int i = 0; ok && i < count; ++i)
    ok = xoq::ensureCacheFolderIn(cache + "/", "runtimes", digest, content, folder, failure);
  const double each = std::chrono::duration<double, std::milli>(Clock::now() - start).count() / count;
  if (!ok) {
    printf("    the cache check failed: %s\n", failure.reason.c_str());
    return;
  }
  printf("    a later start's check of the cache folder: %.3f ms   aim <= 2\n", each);
}

struct App {
  std::string name;
  std::string mainClass;
  std::vector<std::string> jars;  // the main jar first
  std::string resources;          // a folder of loose resources, or empty
  std::vector<std::string> xoqpackInputs;
  std::vector<std::string> arguments;
};

struct Variant {
  std::string label;
  std::vector<std::string> command;
  std::map<std::string, std::string> environment;
  std::vector<double> clock, cpu;
};

void record(Variant& variant, const Timing& timing) {
  if (timing.clockMs < 0) {
    fprintf(stderr, "    %s failed to run\n", variant.label.c_str());
    return;
  }
  variant.clock.push_back(timing.clockMs);
  variant.cpu.push_back(timing.cpuMs);
}

void printRatio(const char* what, const Variant& a, const Variant& b, const char* aim) {
  printf("    %-46s %5.2f (%5.2f)   aim %s\n", what, median(a.clock) / median(b.clock), median(a.cpu) / median(b.cpu),
         aim);
}

void benchApp(const xoq::testing::TempDir& dir, const std::string& home, const App& app, int runs) {
  const std::string tag = xoq::testing::jdkParameterName(home) + "-" + app.name;
  printf("  %s\n", app.name.c_str());
  // jpackage takes a folder of jars: the application's, and its loose
  // resources as one more jar.
  const std::string input = dir.file(tag + "-input");
  fs::create_directories(input);
  for (const std::string& jar : app.jars) fs::copy_file(jar, input + "/" + fs::path(jar).filename().string());
  std::string classPath;
  for (const std::string& jar : app.jars) classPath += (classPath.empty() ? "" : ":") + jar;
  if (!app.resources.empty()) {
    classPath += ":" + app.resources;
    xoq::testing::runProcess(
        {home + "/bin/jar", "--create", "--file", input + "/resources.jar", "-C", app.resources, "."});
  }
  xoq::testing::RunOptions slow;
  slow.timeoutSeconds = 1800;
  const std::string images = dir.file(tag + "-jpackage");
  const xoq::testing::ProcessResult packaged = xoq::testing::runProcess(
      {home + "/bin/jpackage", "--type", "app-image", "--input", input, "--main-jar",
       fs::path(app.jars[0]).filename().string(), "--main-class", app.mainClass, "--name", app.name, "--dest", images},
      slow);
  if (packaged.exitCode != 0) fprintf(stderr, "    jpackage failed: %s\n", packaged.err.c_str());

  std::vector<std::string> folderArguments = app.xoqpackInputs;
  const std::string folderOutput = dir.file(tag + "-folder/" + app.name);
  fs::create_directories(fs::path(folderOutput).parent_path());
  folderArguments.insert(folderArguments.end(),
                         {"--target", "linux", "--jlink", "--jdk", home, "--output", folderOutput});
  xoq::testing::ProcessResult packed = xoq::testing::runXoqpack(folderArguments, {}, 1800);
  if (packed.exitCode != 0) fprintf(stderr, "    xoqpack failed: %s\n", packed.err.c_str());
  std::vector<std::string> fileArguments = app.xoqpackInputs;
  const std::string fileOutput = dir.file(tag + "-file/" + app.name);
  fs::create_directories(fs::path(fileOutput).parent_path());
  fileArguments.insert(fileArguments.end(),
                       {"--target", "linux", "--jlink", "--jdk", home, "--embed-runtime", "--output", fileOutput});
  packed = xoq::testing::runXoqpack(fileArguments, {}, 1800);
  if (packed.exitCode != 0) fprintf(stderr, "    xoqpack failed: %s\n", packed.err.c_str());
  const std::string cache = dir.file(tag + "-cache");
  const std::string firstCache = dir.file(tag + "-first-cache");

  printf("    size on disk, MB: java -cp: %.1f (the jars; the JDK %.1f more)   jpackage: %.1f\n",
         megabytesOnDisk({input}), megabytesOnDisk({home}), megabytesOnDisk({images}));
  const double jpackageSize = megabytesOnDisk({images});
  const double folderSize = megabytesOnDisk({folderOutput, fs::path(folderOutput).parent_path() / "jre"});
  const double fileSize = megabytesOnDisk({fileOutput});
  printf("    xoqpack folder: %.1f (%.2f of jpackage)   one file: %.1f (%.2f of jpackage)   aim <= 0.33\n", folderSize,
         folderSize / jpackageSize, fileSize, fileSize / jpackageSize);

  std::vector<std::string> javaCommand = {home + "/bin/java", "-cp", classPath, app.mainClass};
  javaCommand.insert(javaCommand.end(), app.arguments.begin(), app.arguments.end());
  std::vector<Variant> variants = {
      {"java -cp", javaCommand, {}, {}, {}},
      {"jpackage", {images + "/" + app.name + "/bin/" + app.name}, {}, {}, {}},
      {"folder", {folderOutput}, {}, {}, {}},
      {"one file", {fileOutput}, {{"XDG_CACHE_HOME", cache}}, {}, {}},
      {"one file, first start", {fileOutput}, {{"XDG_CACHE_HOME", firstCache}}, {}, {}},
  };
  for (Variant& variant : variants) {
    variant.command.insert(variant.command.end(), app.arguments.begin(), app.arguments.end());
  }
  timeRun(variants[3].command, variants[3].environment);  // unpacks once
  printf("    the cache after the first start: %.1f MB\n", megabytesOnDisk({cache}));
  cacheCheckFigure(cache);
  // Interleaved, so that a busy spell of the machine falls on every
  // variant alike.
  for (int i = 0; i < runs; ++i) {
    for (Variant& variant : variants) {
      if (variant.label == "one file, first start") fs::remove_all(firstCache);
      record(variant, timeRun(variant.command, variant.environment));
    }
  }
  printf("    start-up, median of %d, ms: ", runs);
  for (const Variant& variant : variants) {
    printf("%s %.0f (%.0f)  ", variant.label.c_str(), median(variant.clock), median(variant.cpu));
  }
  printf("\n    ratios, clock (processor):\n");
  printRatio("folder against java -cp", variants[2], variants[0], "<= 1.00");
  printRatio("one file, later starts, against folder", variants[3], variants[2], "<= 1.02");
  printRatio("jpackage against java -cp", variants[1], variants[0], "");
  printRatio("folder against jpackage", variants[2], variants[1], "");
  printf("    first start with unpacking: %.0f ms (%.0f ms processor), %.0f ms more than a later start   aim < 1000\n",
         median(variants[4].clock), median(variants[4].cpu), median(variants[4].clock) - median(variants[3].clock));
}

}  // namespace

int main(int argc, char** argv) {
  const bool quick = argc > 1 && std::string(argv[1]) == "--quick";
  const int runs = quick ? 3 : 11;
  const std::string examples = std::string(XOQ_BUILD_DIR) + "/examples/";
  const std::string notesBuild = examples + "notes-build/";
  const std::vector<App> apps = {
      {"hello",
       "hello.Main",
       {examples + "hello.jar"},
       "",
       {"--config", std::string(XOQ_SOURCE_DIR) + "/examples/hello/hello.cfg", "--add",
        examples + "hello.jar=hello.jar"},
       {}},
      {"notes",
       "com.example.notes.App",
       {notesBuild + "notes.jar", notesBuild + "lib/text.jar", notesBuild + "lib/exporters.jar"},
       std::string(XOQ_SOURCE_DIR) + "/examples/notes/top",
       {"--config", std::string(XOQ_SOURCE_DIR) + "/examples/notes/notes.cfg", "--add",
        notesBuild + "notes.jar=notes.jar", "--add", notesBuild + "lib/text.jar=lib/text.jar", "--add",
        notesBuild + "lib/exporters.jar=lib/exporters.jar", "--add-tree",
        std::string(XOQ_SOURCE_DIR) + "/examples/notes/top"},
       {"milk"}},
  };
  xoq::testing::TempDir dir;
  for (const std::string& home : xoq::testing::installedJdkHomes()) {
    const std::string version = xoq::testing::jdkVersion(home);
    if (!fs::exists(home + "/bin/jlink") || !fs::exists(home + "/bin/jpackage")) continue;
    if (!fs::exists(home + "/jmods") && std::atoi(version.c_str()) < 24) continue;
    printf("=== JDK %s (%s)\n", version.c_str(), home.c_str());
    for (const App& app : apps) benchApp(dir, home, app, runs);
    fflush(stdout);
  }
  return 0;
}
