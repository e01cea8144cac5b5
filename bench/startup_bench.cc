// Start-up figures of the launcher itself:
//   1. time from process start to the launch result for a packaged Linux
//      executable (before a runtime is involved), next to `java -version`,
//      the JDK launcher's own shortest start;
//   2. the cost of the integrity check for payloads of 1 MB, 100 MB and 1 GB
//      of jars, next to `jar tf`, the JDK reading the same archive's
//      directory.
// It prints figures; it is not a test. Run: ninja -C build startup_bench &&
// build/startup_bench [--quick]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "archive/integrity.h"
#include "base/byte_order.h"
#include "bench_figures.h"
#include "config/payload.h"
#include "platform/platform.h"
#include "support/files.h"
#include "support/packaging.h"
#include "support/process.h"

namespace {

using xoq_bench::median;

using Clock = std::chrono::steady_clock;
using xoq::testing::ProcessResult;
using xoq::testing::RunOptions;

double millisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Median wall time of running `command` `runs` times.
double timeCommand(const std::vector<std::string>& command, int runs) {
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    const Clock::time_point start = Clock::now();
    const ProcessResult result = xoq::testing::runProcess(command);
    times.push_back(millisecondsSince(start));
    if (result.timedOut) fprintf(stderr, "timed out: %s\n", command[0].c_str());
  }
  return median(times);
}

// A file of `size` bytes that does not compress, standing in for a jar.
void writeJar(const std::string& path, size_t size) {
  std::mt19937_64 random(42);
  std::string block(1 << 20, '\0');
  FILE* file = fopen(path.c_str(), "wb");
  for (size_t written = 0; written < size; written += block.size()) {
    for (size_t i = 0; i + 8 <= block.size(); i += 8) {
      const uint64_t value = random();
      memcpy(&block[i], &value, 8);
    }
    fwrite(block.data(), 1, std::min(block.size(), size - written), file);
  }
  fclose(file);
}

void startupFigures(const xoq::testing::TempDir& dir, int runs) {
  const std::string exe =
      xoq::testing::packageExecutable(xoq::testing::Target::kLinux, dir.file("app"), "jre_order c\r\n");
  const double launcher = timeCommand({exe}, runs);
  const double java = timeCommand({"java", "-version"}, runs);
  printf("start to launch result (Linux, no runtime): %.2f ms median of %d\n", launcher, runs);
  printf("java -version:                              %.2f ms median of %d\n", java, runs);
  printf("ratio launcher / java -version:             %.3f\n\n", launcher / java);
}

void integrityFigures(const xoq::testing::TempDir& dir, const std::vector<size_t>& sizes) {
  printf("%-10s %12s %14s %12s %10s\n", "payload", "check (ms)", "jar tf (ms)", "ratio", "file (MB)");
  for (size_t size : sizes) {
    // Jars of at most 64 MB each, as an application's libraries would be.
    const std::string exe = dir.file("big-" + std::to_string(size));
    std::vector<std::string> arguments = {"--template", xoq::testing::templatePath(xoq::testing::Target::kLinux),
                                          "--output", exe};
    const size_t piece = 64u << 20;
    for (size_t offset = 0, index = 0; offset < size; offset += piece, ++index) {
      const std::string jar = dir.file("lib" + std::to_string(index) + ".jar");
      writeJar(jar, std::min(piece, size - offset));
      arguments.push_back("--add");
      arguments.push_back(jar + "=lib/lib" + std::to_string(index) + ".jar");
    }
    if (xoq::testing::runXoqpack(arguments).exitCode != 0) {
      fprintf(stderr, "xoqpack failed for %zu bytes\n", size);
      return;
    }

    // What the launcher does at start: map itself, locate the payload,
    // recompute and compare the value. The file is in the page cache, as it
    // is right after the system loaded the executable.
    std::vector<double> times;
    size_t fileSize = 0;
    for (int i = 0; i < 20; ++i) {
      const Clock::time_point start = Clock::now();
      xoq::platform::MappedFile file;
      file.open(exe);
      fileSize = file.size();
      const uint32_t archiveLength = [&] {
        const std::string marker(xoq::kArchiveLengthMarker, xoq::kArchiveLengthMarkerSize);
        const std::string head(reinterpret_cast<const char*>(file.data()), std::min<size_t>(file.size(), 4u << 20));
        return xoq::readLittle32(file.data() + head.find(marker) - 8);
      }();
      const xoq::PayloadLayout layout = xoq::computePayloadLayout(file.data(), file.size(), archiveLength);
      if (!xoq::verifyIntegrity(file.data(), layout)) fprintf(stderr, "integrity check failed\n");
      times.push_back(millisecondsSince(start));
    }
    const double jar = timeCommand({"jar", "tf", exe}, 3);
    const double check = median(times);
    printf("%-10s %12.3f %14.1f %12.4f %10zu\n", (std::to_string(size >> 20) + " MB").c_str(), check, jar, check / jar,
           fileSize >> 20);
    for (size_t offset = 0, index = 0; offset < size; offset += piece, ++index) {
      remove(dir.file("lib" + std::to_string(index) + ".jar").c_str());
    }
    remove(exe.c_str());
  }
}

}  // namespace

int main(int argc, char** argv) {
  const bool quick = argc > 1 && strcmp(argv[1], "--quick") == 0;
  xoq::testing::TempDir dir;
  startupFigures(dir, quick ? 5 : 30);
  std::vector<size_t> sizes = {1u << 20, 100u << 20};
  if (!quick) sizes.push_back(1u << 30);
  integrityFigures(dir, sizes);
  return 0;
}
