// Standard output and standard error sent to files and commands, with every
// JDK: what the application, the runtime and the launcher print arrives
// there, whole and in order, also when the application ends with
// System.exit, and through RedirOutputStream when descriptor 1 cannot be
// replaced.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/jdks.h"
#include "support/packaging.h"

namespace xoq {
namespace testing {
namespace {

// True when `text` holds each of `parts`, in this order.
bool inOrder(const std::string& text, const std::vector<std::string>& parts, std::string& missing) {
  size_t at = 0;
  for (const std::string& part : parts) {
    const size_t found = text.find(part, at);
    if (found == std::string::npos) {
      missing = part;
      return false;
    }
    at = found + part.size();
  }
  return true;
}

// What the probe's "bulk" prints for `megabytes`: numbered 100-byte lines.
std::string bulkText(size_t megabytes) {
  std::string text;
  char line[101];
  for (size_t i = 0; i < megabytes * 1024 * 1024 / 100; ++i) {
    snprintf(line, sizeof line, "%08zu %s\n", i, std::string(90, static_cast<char>('a' + i % 26)).c_str());
    text += line;
  }
  return text;
}

class Redirection : public ::testing::TestWithParam<std::string> {
 protected:
  std::string package(const std::string& config) {
    const std::string exe =
        packageWith(Target::kLinux, dir_.file("notes-app"), "jre_order e\r\nmainclass redirect.Main\r\n" + config,
                    {"--add-tree", testAppClasses("redirect")});
    EXPECT_FALSE(exe.empty());
    return exe;
  }

  ProcessResult run(const std::string& exe, const std::vector<std::string>& arguments, bool pinned = false,
                    const std::map<std::string, std::string>& environment = {}) {
    RunOptions options;
    options.workingDirectory = dir_.path();
    options.setEnv = environment;
    options.setEnv["JAVA_HOME"] = GetParam();
    options.unsetEnv = {"JRE_HOME", "CLASSPATH", "CLASS_PATH"};
    options.timeoutSeconds = 180;
    if (!pinned) return runExecutable(Target::kLinux, exe, arguments, options);
    std::vector<std::string> command = {std::string(XOQ_BUILD_DIR) + "/test-tools/xoq_stdout_pinned", exe};
    command.insert(command.end(), arguments.begin(), arguments.end());
    options.setEnv["XOQ_TRACE"] = "1";
    return runProcess(command, options);
  }

  static std::string describe(const ProcessResult& result) {
    return "exit " + std::to_string(result.exitCode) + ", signal " + std::to_string(result.signal) + "\nstdout:\n" +
           result.out.substr(0, 4000) + "\nstderr:\n" + result.err.substr(0, 8000);
  }

  TempDir dir_;
};

TEST_P(Redirection, BothStreamsIntoOneFileInOrder) {
  writeFile(dir_.file("both.log"), "from an earlier run\n");
  // The runtime warns on standard error about the first option, and logs
  // to standard output for the second; the classes it loads are logged to
  // a file of their own.
  const std::string exe = package(
      "stdout ${APPLICATION_HOME}both.log\r\nstderr ${APPLICATION_HOME}both.log\r\n"
      "option -Xverify:none\r\noption -Xlog:gc+init\r\noption -Xlog:class+load:file=classes.txt\r\n");
  // The probe's main ends by an exception: exit code 1, as java gives.
  const ProcessResult result = run(exe, {"streams"});
  EXPECT_EQ(result.exitCode, 1) << describe(result);
  const std::string log = readFile(dir_.file("both.log"));
  std::string missing;
  EXPECT_TRUE(inOrder(
      log,
      {"from an earlier run\n", "[xoq", "standard error: sent to", "standard output: sent to",
       "-Xverify:none and -noverify were deprecated", "out 1\nerr 1\nout 2\nerr 2\n!\nout 3 java.io.PrintStream\n",
       "java.lang.IllegalStateException: boom", "\tat redirect.Main.streams", "exit code 1"},
      missing))
      << "missing in order: " << missing << "\n"
      << log;
  EXPECT_NE(log.find("[info][gc,init]"), std::string::npos) << log;
  // Both descriptors took their target: RedirOutputStream is not even
  // loaded.
  const std::string classes = readFile(dir_.file("classes.txt"));
  EXPECT_NE(classes.find(" com.tarvolin.xoq.HolvaneClassLoader source:"), std::string::npos);
  EXPECT_EQ(classes.find(" com.tarvolin.xoq.RedirOutputStream source:"), std::string::npos);
  // Opened once, for both; once redirected, nothing reaches the streams the
  // launcher was given.
  EXPECT_TRUE(traced(result, "redirection target " + dir_.file("both.log") + ": file opened")) << describe(result);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err.find("standard output: sent to"), std::string::npos) << describe(result);
  EXPECT_EQ(result.err.find("err 1"), std::string::npos) << describe(result);
}

// The runtime's own warnings go through the C library's stderr, which it
// does not flush: through a command they arrive where they were written,
// between the application's lines, as under java.
TEST_P(Redirection, RuntimeWarningInOrderThroughACommand) {
  writeFile(dir_.file("no-library.so"), "not a library\n");
  const std::string exe = package("stderr |cat > err.txt.part && mv err.txt.part err.txt\r\n");
  const ProcessResult result = run(exe, {"warning", dir_.file("no-library.so")});
  EXPECT_EQ(result.exitCode, 0) << describe(result);
  const std::string errors = awaitFile(dir_.file("err.txt"));
  std::string missing;
  EXPECT_TRUE(inOrder(errors,
                      {"err before\n", "warning: You have loaded library " + dir_.file("no-library.so"), "err after\n"},
                      missing))
      << "missing in order: " << missing << "\n"
      << errors;
}

TEST_P(Redirection, HundredMegabytesThroughACommandThenSystemExit) {
  std::filesystem::create_directories(dir_.file("logs"));
  // Relative to the working directory that forcecwd sets: the file and the
  // command's own folder.
  const std::string exe =
      package("forcecwd logs\r\nstdout |gzip > out.gz.part && mv out.gz.part out.gz\r\nstderr err.log\r\n");
  const ProcessResult result = run(exe, {"bulk", "100", "3"});
  EXPECT_EQ(result.exitCode, 3) << describe(result);
  EXPECT_EQ(result.out, "");
  const std::string errors = readFile(dir_.file("logs/err.log"));
  EXPECT_NE(errors.find("standard output: sent to |gzip"), std::string::npos) << errors;
  // System.exit ran the hook that writes the launcher's buffers out.
  EXPECT_NE(errors.find("exit(3) from the virtual machine: writing out the redirected streams"), std::string::npos)
      << errors;

  ASSERT_FALSE(awaitFile(dir_.file("logs/out.gz")).empty()) << "gzip did not finish";
  RunOptions options;
  options.timeoutSeconds = 120;
  const ProcessResult unpacked = runProcess({"gzip", "-dc", dir_.file("logs/out.gz")}, options);
  ASSERT_EQ(unpacked.exitCode, 0) << unpacked.err;
  EXPECT_EQ(unpacked.out.size(), 100u * 1024 * 1024 / 100 * 100);
  EXPECT_TRUE(unpacked.out == bulkText(100)) << "the stream arrived changed";
}

// With descriptor 1 pinned, standard output does not take its target, and
// System.out reaches it through RedirOutputStream: one-byte writes, whole
// lines and a bulk stream.
TEST_P(Redirection, JavaSideRedirectionWhereTheDescriptorIsNotTaken) {
  const std::string exe = package("stdout out.log\r\n");
  const ProcessResult streams = run(exe, {"streams"}, true);
  EXPECT_EQ(streams.exitCode, 1) << describe(streams);  // main ends by an exception
  EXPECT_NE(streams.err.find("standard output: sent to out.log (the standard handle did not take it"),
            std::string::npos)
      << describe(streams);
  EXPECT_NE(streams.err.find("Java-side redirection: System.out writes through RedirOutputStream"), std::string::npos)
      << describe(streams);
  EXPECT_NE(streams.err.find("err 1\nerr 2\n"), std::string::npos) << describe(streams);
  EXPECT_EQ(streams.out.find("out 1"), std::string::npos) << describe(streams);
  const std::string head = "out 1\nout 2\n!\nout 3 java.io.PrintStream\n";
  EXPECT_EQ(readFile(dir_.file("out.log")), head);

  const ProcessResult bulk = run(exe, {"bulk", "10", "-1"}, true);
  EXPECT_EQ(bulk.exitCode, 0) << describe(bulk);
  const std::string log = readFile(dir_.file("out.log"));
  ASSERT_EQ(log.compare(0, head.size(), head), 0);
  EXPECT_TRUE(log.substr(head.size()) == bulkText(10)) << "the stream arrived changed, " << log.size() << " bytes";
}

// Through RedirOutputStream, System.out encodes as the runtime's own
// System.out does, which is not always the default charset: under the C
// locale newer runtimes write ASCII to standard output but default to UTF-8.
TEST_P(Redirection, JavaSideRedirectionEncodesAsSystemOut) {
  const std::string exe = package("stdout out.log\r\n");
  std::string written[2];
  for (const bool pinned : {false, true}) {
    const ProcessResult result = run(exe, {"text"}, pinned, {{"LC_ALL", "C"}});
    EXPECT_EQ(result.exitCode, 0) << describe(result);
    if (pinned) {
      EXPECT_TRUE(traced(result, "System.out writes through RedirOutputStream")) << describe(result);
    }
    written[pinned] = readFile(dir_.file("out.log"));
    std::filesystem::remove(dir_.file("out.log"));
  }
  EXPECT_NE(written[0], "");
  EXPECT_EQ(written[1], written[0]);
}

TEST_P(Redirection, CommandThatEndsEarlyAndFileThatCannotBeOpened) {
  const std::string exe = package("stdout |true\r\nstderr /nonexistent-xoq/err.log\r\n");
  const ProcessResult result = run(exe, {"bulk", "10", "-1"});
  // Lost output, but neither a hang nor a launcher ended by SIGPIPE.
  EXPECT_FALSE(result.timedOut) << describe(result);
  EXPECT_EQ(result.signal, 0) << describe(result);
  EXPECT_EQ(result.exitCode, 0) << describe(result);
  EXPECT_TRUE(traced(result, "redirection target /nonexistent-xoq/err.log: file cannot be opened")) << describe(result);
  EXPECT_TRUE(traced(result, "standard error: left as it is")) << describe(result);
  EXPECT_TRUE(traced(result, "exit code 0")) << describe(result);
  EXPECT_EQ(result.out, "");
}

INSTANTIATE_TEST_SUITE_P(EveryJdk, Redirection, ::testing::ValuesIn(installedJdkHomes()),
                         [](const ::testing::TestParamInfo<std::string>& param) {
                           return jdkParameterName(param.param);
                         });

}  // namespace
}  // namespace testing
}  // namespace xoq
