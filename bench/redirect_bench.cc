// Throughput of System.out.println through the launcher's redirection of
// standard output, next to the same program under `java -cp ... > file`:
//   1. `stdout FILE`: the file becomes descriptor 1, as with the shell's >;
//   2. the same with descriptor 1 pinned (tests/tools/stdout_pinned), so
//      that System.out writes through RedirOutputStream and its natives,
//      whole buffers at a time, and (on a sixteenth of the data) one byte
//      per native call;
//   3. `stdout |cat > FILE` next to `java -cp ... | cat > FILE`.
// Ratios above 1 mean the launcher is faster. It prints figures; it is not a
// test. Run: ninja -C build redirect_bench && build/redirect_bench [--quick]
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/jdks.h"
#include "support/packaging.h"
#include "support/process.h"

namespace {

using Clock = std::chrono::steady_clock;
using xoq::testing::RunOptions;

long long fileSize(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 ? static_cast<long long>(info.st_size) : -1;
}

// Median seconds of `runs` runs of `command`, each writing `output` afresh;
// a run that fails or writes too little is reported and not counted. For a
// command the launcher starts, the run ends when that command has renamed
// its file into place.
double timeRuns(const std::vector<std::string>& command, const std::string& home, const std::string& output,
                long long expected, int runs) {
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    remove(output.c_str());
    RunOptions options;
    options.setEnv = {{"JAVA_HOME", home}, {"XOQ_TRACE", ""}};
    options.timeoutSeconds = 600;
    const Clock::time_point start = Clock::now();
    const xoq::testing::ProcessResult result = xoq::testing::runProcess(command, options);
    while (fileSize(output) < expected && std::chrono::duration<double>(Clock::now() - start).count() < 600) {
      usleep(2000);
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (result.exitCode != 0 || fileSize(output) != expected) {
      fprintf(stderr, "run of %s failed: exit %d, %lld bytes\n%s\n", command.back().c_str(), result.exitCode,
              fileSize(output), result.err.c_str());
      continue;
    }
    times.push_back(seconds);
  }
  if (times.empty()) return -1;
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

void report(const char* what, double seconds, double baseline, long long bytes) {
  if (seconds <= 0 || baseline <= 0) {
    printf("  %-48s failed\n", what);
    return;
  }
  printf("  %-48s %7.2f s %8.1f MB/s  ratio %.3f\n", what, seconds, bytes / seconds / (1 << 20), baseline / seconds);
}

}  // namespace

int main(int argc, char** argv) {
  const bool quick = argc > 1 && strcmp(argv[1], "--quick") == 0;
  const int megabytes = quick ? 256 : 1024;
  const int runs = quick ? 1 : 3;
  const long long bytes = static_cast<long long>(megabytes) * 1024 * 1024 / 100 * 100;
  const std::string jar = std::string(XOQ_BUILD_DIR) + "/bench/bench.jar";
  const std::string pinned = std::string(XOQ_BUILD_DIR) + "/test-tools/xoq_stdout_pinned";
  const std::string size = std::to_string(megabytes);
  xoq::testing::TempDir dir;
  const std::string out = dir.file("out.log");

  const std::string toFile = xoq::testing::packageWith(
      xoq::testing::Target::kLinux, dir.file("to-file"),
      "jre_order e\r\nmainclass bench.PrintBench\r\nstdout " + out + "\r\n", {"--add", jar + "=bench.jar"});
  const std::string toCommand =
      xoq::testing::packageWith(xoq::testing::Target::kLinux, dir.file("to-command"),
                                "jre_order e\r\nmainclass bench.PrintBench\r\nstdout |cat > " + out + ".part && mv " +
                                    out + ".part " + out + "\r\n",
                                {"--add", jar + "=bench.jar"});
  if (toFile.empty() || toCommand.empty()) return 1;

  printf("System.out.println of %d MB in 100-byte lines, median of %d (machine shared, figures taken under load)\n",
         megabytes, runs);
  for (const std::string& home : xoq::testing::installedJdkHomes()) {
    const std::string java = home + "/bin/java";
    printf("%s\n", home.c_str());
    const double shell =
        timeRuns({"sh", "-c", "exec \"$0\" -cp \"$1\" bench.PrintBench \"$2\" > \"$3\"", java, jar, size, out}, home,
                 out, bytes, runs);
    report("java -cp ... > file", shell, shell, bytes);
    report("stdout FILE (descriptor 1)", timeRuns({toFile, size}, home, out, bytes, runs), shell, bytes);
    report("stdout FILE through RedirOutputStream", timeRuns({pinned, toFile, size}, home, out, bytes, runs), shell,
           bytes);
    // One native call per byte, as RedirOutputStream would be used without
    // its write of whole buffers; a sixteenth of the data, as fast or slow
    // per byte.
    const long long part = bytes / 16 / 100 * 100;
    const double bytewise =
        timeRuns({pinned, toFile, std::to_string(megabytes / 16), "bytewise"}, home, out, part, runs);
    report("  the same, one byte per call (1/16 of it)", bytewise * 16, shell, bytes);
    const double pipe =
        timeRuns({"sh", "-c", "\"$0\" -cp \"$1\" bench.PrintBench \"$2\" | cat > \"$3.part\" && mv \"$3.part\" \"$3\"",
                  java, jar, size, out},
                 home, out, bytes, runs);
    report("java -cp ... | cat > file", pipe, pipe, bytes);
    report("stdout |cat > file", timeRuns({toCommand, size}, home, out, bytes, runs), pipe, bytes);
  }
  return 0;
}
