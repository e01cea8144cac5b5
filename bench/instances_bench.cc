// Messaging between two running instances, against the same serialized
// bytes over a loopback TCP socket between the same two processes:
//   1. with each JDK, two instances of one packaged executable
//      (bench/java/bench/InstancesBench.java): the one-way latency of one
//      small object (median and 99th percentile) and the throughput of a
//      stream of 1 MB objects, through com.tarvolin.xoq.Instances and
//      through TCP;
//   2. the transport alone, without Java (the instance test program moving
//      byte messages), natively and under Wine: the round trip of a small
//      message and its answer, and a stream of 1 MB messages, from which the
//      cost of one 1024-byte hand-over follows.
// It prints figures and ratios; it is not a test. Run:
//   ninja -C build instances_bench && build/instances_bench
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "support/background.h"
#include "support/files.h"
#include "support/jdks.h"
#include "support/packaging.h"
#include "support/process.h"

namespace {

using xoq::testing::Background;
using xoq::testing::parseKeyValues;
using xoq::testing::ProcessResult;
using xoq::testing::RunOptions;

double number(const std::map<std::string, std::string>& values, const std::string& key) {
  const auto found = values.find(key);
  return found == values.end() ? -1 : atof(found->second.c_str());
}

void javaFigures(const std::string& home, const xoq::testing::TempDir& dir) {
  const std::string exe = dir.file("bench-" + xoq::testing::jdkParameterName(home));
  if (xoq::testing::packageExecutable(xoq::testing::Target::kLinux, exe,
                                      "mainclass bench.InstancesBench\r\njre_order e\r\nsingleinstance custom\r\n",
                                      {{std::string(XOQ_BUILD_DIR) + "/bench/bench.jar", "bench.jar"}})
          .empty()) {
    return;
  }
  const std::map<std::string, std::string> env = {{"JAVA_HOME", home}};
  Background receiver({exe, "receive"}, env, exe + ".receiver.out", exe + ".receiver.err");
  if (!receiver.waitForOutput("port=", std::chrono::seconds(120))) {
    printf("  %s: the receiver did not start\n%s\n", home.c_str(),
           xoq::testing::readFile(exe + ".receiver.err").c_str());
    return;
  }
  RunOptions options;
  options.setEnv = env;
  options.timeoutSeconds = 600;
  const ProcessResult sender =
      xoq::testing::runProcess({exe, "send", parseKeyValues(receiver.output())["port"]}, options);
  if (sender.exitCode != 0) {
    printf("  %s: the sender failed\n%s\n", home.c_str(), sender.err.c_str());
    return;
  }
  const auto received = parseKeyValues(receiver.output());
  const auto sent = parseKeyValues(sender.out);
  const double xoqMedian = number(received, "xoq_latency_median_us");
  const double tcpMedian = number(received, "tcp_latency_median_us");
  const double xoqP99 = number(received, "xoq_latency_p99_us");
  const double tcpP99 = number(received, "tcp_latency_p99_us");
  const double xoqRate = number(sent, "xoq_throughput_mb_s");
  const double tcpRate = number(sent, "tcp_throughput_mb_s");
  printf("  %s (Java %s)\n", home.c_str(), xoq::testing::jdkVersion(home).c_str());
  printf(
      "    small object, one way: xoq median %8.1f us  p99 %8.1f us | tcp median %8.1f us  p99 %8.1f us"
      " | ratio %.2f (median)\n",
      xoqMedian, xoqP99, tcpMedian, tcpP99, xoqMedian / tcpMedian);
  printf("    1 MB objects:          xoq %8.1f MB/s | tcp %8.1f MB/s | ratio %.2f; serializing 1 MB alone: %.2f ms\n",
         xoqRate, tcpRate, xoqRate / tcpRate, number(sent, "serialize_1mb_ms"));
  printf("    one 1024-byte hand-over costs about %.1f us through the block\n", 1e6 / (xoqRate * 1e6 / 1024));
}

void transportFigures(const char* where, const std::vector<std::string>& launch, const std::string& peer,
                      const xoq::testing::TempDir& dir, bool windows) {
  const std::string copy = dir.file(windows ? "peer.exe" : "peer");
  xoq::testing::writeFile(copy, xoq::testing::readFile(peer));
  xoq::testing::makeExecutable(copy);
  std::vector<std::string> echoCommand = launch;
  echoCommand.insert(echoCommand.end(),
                     {copy, "--echo", "--stay-until",
                      xoq::testing::launcherPath(
                          windows ? xoq::testing::Target::kWindows : xoq::testing::Target::kLinux, dir.file("stop"))});
  std::map<std::string, std::string> env;
  if (windows) {
    env = {{"WINEPREFIX", std::string(XOQ_BUILD_DIR) + "/wine-prefix"},
           {"WINEDEBUG", "-all"},
           {"WINEDLLOVERRIDES", "mscoree,mshtml="}};
  }
  Background echo(echoCommand, env, dir.file("echo.out"), dir.file("echo.err"));
  if (!echo.waitForOutput("id=", std::chrono::seconds(120))) {
    printf("  %s: the echoing peer did not start\n", where);
    return;
  }
  const std::string target = parseKeyValues(echo.output())["id"];
  std::vector<std::string> command = launch;
  command.insert(command.end(), {copy, "--ping", target + ":64:2000", "--stream", target + ":1048576:32"});
  RunOptions options;
  options.setEnv = env;
  options.timeoutSeconds = 600;
  const ProcessResult timed = xoq::testing::runProcess(command, options);
  xoq::testing::writeFile(dir.file("stop"), "");
  echo.waitFor(std::chrono::seconds(30));
  std::string out;
  for (char c : timed.out) {
    if (c != '\r') out += c;
  }
  const auto values = parseKeyValues(out);
  const double rate = number(values, "stream_mb_s");
  printf(
      "  %-22s small message and answer, round trip: median %8.1f us  p99 %8.1f us | 1 MB messages %8.1f MB/s"
      " (%.1f us per 1024-byte hand-over)\n",
      where, number(values, "round_trip_median_us"), number(values, "round_trip_p99_us"), rate,
      1e6 / (rate * 1e6 / 1024));
}

}  // namespace

int main() {
  printf("Instance messaging (figures taken on a shared machine, under load from other work)\n\n");
  printf("Java objects between two instances, against the same serialized bytes over loopback TCP:\n");
  for (const std::string& home : xoq::testing::installedJdkHomes()) {
    xoq::testing::TempDir dir;
    javaFigures(home, dir);
  }
  printf("\nThe transport alone (byte messages, no Java):\n");
  {
    xoq::testing::TempDir dir;
    transportFigures("Linux", {}, std::string(XOQ_BUILD_DIR) + "/test-tools/xoq_instance_peer", dir, false);
  }
  {
    xoq::testing::TempDir dir;
    transportFigures("Windows, under Wine", {XOQ_WINE_PROGRAM},
                     std::string(XOQ_BUILD_DIR) + "/windows/xoq_instance_peer.exe", dir, true);
  }
  return 0;
}
