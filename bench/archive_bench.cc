// What serving an application out of the executable costs, next to the same
// work done by the JDK's own tools, with the same JDK side by side:
//   1. start-up to the first line of main: the packaged executable (default
//      configuration, and with assystemclassloader false) against
//      `java -cp <the same jars> Main`, and against that with a plain
//      system class loader named, which shows the JDK's own cost of one;
//   2. class loading: every class of a large real jar set (/usr/share/java,
//      or a generated one) through the launcher's loader, against
//      URLClassLoader over the same jars and the JDK's application loader;
//   3. resource reads through "xoq:" URLs against URLClassLoader;
//   4. resident memory at steady state against `java -cp`;
//   5. start-up of Clojure (Debian's jars) to its first printed line, which
//      depends on entry times: it loads its compiled core only when the
//      classes are newer than their sources.
// It prints figures and ratios; it is not a test. Run:
//   ninja -C build archive_bench && build/archive_bench [--quick]
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
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
#include <string>
#include <vector>

#include "support/files.h"
#include "support/jdks.h"
#include "support/packaging.h"
#include "support/process.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using xoq::testing::ProcessResult;
using xoq::testing::RunOptions;

// A child process whose output lines are read as they come.
class Child {
 public:
  Child(const std::vector<std::string>& argv, const std::map<std::string, std::string>& environment) {
    int out[2], in[2];
    if (pipe(out) != 0 || pipe(in) != 0) return;
    start_ = Clock::now();
    pid_ = fork();
    if (pid_ == 0) {
      dup2(in[0], 0);
      dup2(out[1], 1);
      const int devNull = open("/dev/null", O_WRONLY);
      dup2(devNull, 2);
      close(in[1]);
      close(out[0]);
      for (const auto& entry : environment) setenv(entry.first.c_str(), entry.second.c_str(), 1);
      std::vector<char*> args;
      for (const std::string& word : argv) args.push_back(const_cast<char*>(word.c_str()));
      args.push_back(nullptr);
      execvp(args[0], args.data());
      _exit(127);
    }
    close(in[0]);
    close(out[1]);
    output_ = out[0];
    input_ = in[1];
  }

  ~Child() {
    if (input_ >= 0) close(input_);
    if (output_ >= 0) close(output_);
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }

  // Reads until a line equal to `line` arrives; the milliseconds since the
  // start, or -1 when the output ended first or 120 s passed.
  double waitForLine(const std::string& line) {
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(120);
    for (;;) {
      const size_t end = buffer_.find('\n');
      if (end != std::string::npos) {
        const std::string got = buffer_.substr(0, end);
        buffer_.erase(0, end + 1);
        lines_.push_back(got);
        if (got == line) return std::chrono::duration<double, std::milli>(Clock::now() - start_).count();
        continue;
      }
      struct pollfd fd = {output_, POLLIN, 0};
      if (Clock::now() > deadline || poll(&fd, 1, 1000) < 0) return -1;
      char chunk[4096];
      const ssize_t n = (fd.revents != 0) ? read(output_, chunk, sizeof chunk) : 1;
      if (n == 0) return -1;
      if (n > 0 && fd.revents != 0) buffer_.append(chunk, static_cast<size_t>(n));
    }
  }

  std::map<std::string, std::string> values() const {
    std::string all;
    for (const std::string& line : lines_) all += line + "\n";
    return xoq::testing::parseKeyValues(all);
  }

  // Resident set size in kB, from /proc.
  long residentKilobytes() const {
    const std::string status = xoq::testing::readFile("/proc/" + std::to_string(pid_) + "/status");
    const size_t at = status.find("VmRSS:");
    return at == std::string::npos ? -1 : atol(status.c_str() + at + 6);
  }

  void finish() {
    close(input_);
    input_ = -1;
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  int output_ = -1;
  int input_ = -1;
  Clock::time_point start_;
  std::string buffer_;
  std::vector<std::string> lines_;
};

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? -1 : values[values.size() / 2];
}

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
  double classMs = -1, resourceMs = -1;
  std::string loaded, failed, read, bytes;
};

LoadFigures loadRun(const std::vector<std::string>& command, const std::map<std::string, std::string>& environment) {
  Child child(command, environment);
  child.waitForLine("first line");
  child.waitForLine("resources.ms=" /* never equal: read to the end */);
  const std::map<std::string, std::string> values = child.values();
  LoadFigures figures;
  auto get = [&values](const char* key) {
    const auto found = values.find(key);
    return found == values.end() ? std::string("?") : found->second;
  };
  figures.classMs = atof(get("classes.ms").c_str());
  figures.resourceMs = atof(get("resources.ms").c_str());
  figures.loaded = get("classes.loaded");
  figures.failed = get("classes.failed");
  figures.read = get("resources.read");
  figures.bytes = get("resources.bytes");
  return figures;
}

}  // namespace

int main(int argc, char** argv) {
  const bool quick = argc > 1 && strcmp(argv[1], "--quick") == 0;
  const int runs = quick ? 3 : 11;
  const std::vector<std::string> homes = xoq::testing::installedJdkHomes();
  if (homes.empty()) {
    fprintf(stderr, "no JDK under /usr/lib/jvm\n");
    return 1;
  }
  const std::string home = homes[0];
  const std::string java = home + "/bin/java";
  const std::map<std::string, std::string> environment = {{"JAVA_HOME", home}, {"XOQ_TRACE", ""}};
  xoq::testing::TempDir dir;

  std::vector<std::string> jars = systemJars();
  const char* origin = "/usr/share/java";
  if (jars.size() < 5) {
    jars = generatedJars(dir, home);
    origin = "generated";
  }
  const std::string benchJar = std::string(XOQ_BUILD_DIR) + "/bench/bench.jar";
  const std::string names = dir.file("names.txt");
  std::vector<std::string> listCommand = {java, "-cp", benchJar, "bench.LoadBench", "list", names};
  listCommand.insert(listCommand.end(), jars.begin(), jars.end());
  RunOptions listOptions;
  listOptions.timeoutSeconds = 300;
  xoq::testing::runProcess(listCommand, listOptions);

  // The executables: the bench jar and every jar of the set nested.
  std::vector<std::string> pack = {"--add", benchJar + "=bench.jar"};
  size_t payloadBytes = 0;
  for (size_t i = 0; i < jars.size(); ++i) {
    pack.push_back("--add");
    pack.push_back(jars[i] + "=lib/" + fs::path(jars[i]).filename().string());
    payloadBytes += fs::file_size(jars[i]);
  }
  const std::string config = "mainclass bench.LoadBench\r\njre_order e\r\n";
  const std::string exe = xoq::testing::packageWith(xoq::testing::Target::kLinux, dir.file("bench"), config, pack);
  const std::string separate = xoq::testing::packageWith(xoq::testing::Target::kLinux, dir.file("separate"),
                                                         config + "assystemclassloader false\r\n", pack);
  std::vector<std::string> classPath = {benchJar};
  classPath.insert(classPath.end(), jars.begin(), jars.end());
  const std::string cp = joinPath(classPath);

  printf("JDK %s (%s); jar set: %zu jars from %s, %.1f MB\n\n", xoq::testing::jdkVersion(home).c_str(), home.c_str(),
         jars.size(), origin, payloadBytes / 1048576.0);

  // 1. Start-up to the first line of main, runs interleaved.
  std::vector<double> tExe, tSeparate, tJava, tJavaLoader;
  for (int i = 0; i < runs; ++i) {
    tExe.push_back(Child({exe}, environment).waitForLine("first line"));
    tSeparate.push_back(Child({separate}, environment).waitForLine("first line"));
    tJava.push_back(Child({java, "-cp", cp, "bench.LoadBench"}, environment).waitForLine("first line"));
    tJavaLoader.push_back(
        Child({java, "-Djava.system.class.loader=bench.PlainSystemLoader", "-cp", cp, "bench.LoadBench"}, environment)
            .waitForLine("first line"));
  }
  printf("1. start-up to the first line of main (median of %d)\n", runs);
  printf("   packaged executable:                 %8.1f ms   ratio %.3f\n", median(tExe), median(tExe) / median(tJava));
  printf("   packaged, assystemclassloader false: %8.1f ms   ratio %.3f\n", median(tSeparate),
         median(tSeparate) / median(tJava));
  printf("   java -cp <the same jars>:            %8.1f ms\n", median(tJava));
  // What naming a system class loader costs the JDK by itself: the default
  // executable names one, as its loader must be the system class loader.
  printf("   java -cp, a plain system class loader named: %.1f ms (packaged executable against it: ratio %.3f)\n\n",
         median(tJavaLoader), median(tExe) / median(tJavaLoader));

  // 2 and 3. Class loading and resource reads, each in a fresh virtual
  // machine, runs interleaved.
  std::vector<double> cExe, cUrl, cApp, rExe, rUrl;
  LoadFigures last[3];
  std::vector<std::string> urlCommand = {java, "-cp", benchJar, "bench.LoadBench", "run", "url", names};
  urlCommand.insert(urlCommand.end(), jars.begin(), jars.end());
  for (int i = 0; i < (quick ? 1 : 5); ++i) {
    last[0] = loadRun({exe, "run", "context", names}, environment);
    last[1] = loadRun(urlCommand, environment);
    last[2] = loadRun({java, "-cp", cp, "bench.LoadBench", "run", "context", names}, environment);
    cExe.push_back(last[0].classMs);
    cUrl.push_back(last[1].classMs);
    cApp.push_back(last[2].classMs);
    rExe.push_back(last[0].resourceMs);
    rUrl.push_back(last[1].resourceMs);
  }
  const double classes = atof(last[0].loaded.c_str());
  printf("2. class loading: %s classes loaded (%s failed for missing dependencies), median\n", last[0].loaded.c_str(),
         last[0].failed.c_str());
  printf("   launcher's loader (payload):  %8.1f ms  %9.0f classes/s\n", median(cExe), classes / median(cExe) * 1000);
  printf("   URLClassLoader (same jars):   %8.1f ms  %9.0f classes/s  (loaded %s)\n", median(cUrl),
         atof(last[1].loaded.c_str()) / median(cUrl) * 1000, last[1].loaded.c_str());
  printf("   JDK application class loader: %8.1f ms  %9.0f classes/s  (loaded %s)\n", median(cApp),
         atof(last[2].loaded.c_str()) / median(cApp) * 1000, last[2].loaded.c_str());
  printf("   throughput ratio launcher / URLClassLoader: %.2f   / application loader: %.2f\n\n",
         median(cUrl) / median(cExe), median(cApp) / median(cExe));

  printf("3. resource reads: %s resources, %s bytes, median\n", last[0].read.c_str(), last[0].bytes.c_str());
  printf("   through xoq: URLs:     %8.1f ms\n", median(rExe));
  printf("   URLClassLoader:        %8.1f ms  (read %s)\n", median(rUrl), last[1].read.c_str());
  printf("   throughput ratio xoq / URLClassLoader: %.2f\n\n", median(rUrl) / median(rExe));

  // 4. Resident memory once everything is loaded.
  std::map<std::string, std::string> holding = environment;
  auto resident = [&holding](const std::vector<std::string>& command) {
    Child child(command, holding);
    child.waitForLine("holding");
    usleep(300000);
    const long kb = child.residentKilobytes();
    child.finish();
    return kb;
  };
  // The executable takes no runtime options on its command line; the hold
  // switch goes in through an external configuration file.
  xoq::testing::writeFile(exe + ".cfg", "option -Dbench.hold=1\r\n");
  const long mExeHeld = resident({exe, "run", "context", names});
  const long mJava = resident({java, "-Dbench.hold=1", "-cp", cp, "bench.LoadBench", "run", "context", names});
  printf("4. resident memory after loading every class and resource\n");
  printf("   packaged executable:  %8ld kB   ratio %.3f\n", mExeHeld, static_cast<double>(mExeHeld) / mJava);
  printf("   java -cp:             %8ld kB\n", mJava);
  printf("   (nested jars are stored, so none is inflated into memory)\n");

  // 5. Clojure, packaged and under java -cp.
  const std::vector<std::string> clojure = {"/usr/share/java/clojure.jar", "/usr/share/java/spec.alpha.jar",
                                            "/usr/share/java/core.specs.alpha.jar"};
  if (!fs::exists(clojure[0])) {
    printf("\n5. Clojure: not installed (Debian's libclojure-java)\n");
    return 0;
  }
  std::vector<std::string> clojurePack;
  for (const std::string& jar : clojure) {
    clojurePack.push_back("--add");
    clojurePack.push_back(jar + "=lib/" + fs::path(jar).filename().string());
  }
  const std::string clojureExe = xoq::testing::packageWith(
      xoq::testing::Target::kLinux, dir.file("clojure"),
      "mainclass clojure.main\r\njre_order e\r\nargv -e \"(println \\\"first line\\\")\"\r\n", clojurePack);
  std::vector<double> tClojure, tClojureJava;
  for (int i = 0; i < runs; ++i) {
    tClojure.push_back(Child({clojureExe}, environment).waitForLine("first line"));
    tClojureJava.push_back(
        Child({java, "-cp", joinPath(clojure), "clojure.main", "-e", "(println \"first line\")"}, environment)
            .waitForLine("first line"));
  }
  printf("\n5. Clojure start-up to its first line (median of %d)\n", runs);
  printf("   packaged executable:  %8.1f ms   ratio %.3f\n", median(tClojure), median(tClojure) / median(tClojureJava));
  printf("   java -cp:             %8.1f ms\n", median(tClojureJava));
  return 0;
}
