#include "redirect/stream_redirector.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "support/files.h"

namespace xoq {
namespace {

using platform::StandardStream;
using testing::readFile;
using testing::TempDir;
using testing::writeFile;

// What a file holds, line ends as Linux writes them: the C runtime's text
// mode writes CR LF on Windows.
std::string linesOf(const std::string& path) {
  std::string text = readFile(path);
  std::string lines;
  for (char c : text) {
    if (c != '\r') lines += c;
  }
  return lines;
}

// The test runner's own streams are redirected here: nothing may be
// asserted (and so printed) until the redirector has put them back.
TEST(StreamRedirector, SameValueSharesOneTargetAppendedTo) {
  TempDir dir;
  const std::string path = dir.file("both.log");
  writeFile(path, "kept\n");
  size_t targets = 0;
  bool shared = false, tookOut = false, tookErr = false, javaNeeded = true;
  {
    StreamRedirector redirector;
    redirector.redirectStderr(path);
    redirector.redirectStdout(path);
    shared = redirector.stdoutTarget() == redirector.stderrTarget();
    tookOut = platform::standardStreamIs(StandardStream::kOutput, redirector.stdoutTarget());
    tookErr = platform::standardStreamIs(StandardStream::kError, redirector.stderrTarget());
    javaNeeded = redirector.javaStdoutNeeded() || redirector.javaStderrNeeded();
    printf("launcher out\n");
#ifndef _WIN32
    fflush(stdout);  // buffered on a file, as the C library chose
#endif
    fprintf(stderr, "launcher err\n");
    platform::writeToStreamHandle(redirector.stdoutTarget(), "through the handle\n", 19);
    // A second redirection of a stream changes nothing.
    redirector.redirectStdout(dir.file("other.log"));
    targets = redirector.targetCount();
    printf("still here\n");
  }
  printf("after\n");
  fflush(stdout);
  EXPECT_EQ(targets, 2u);  // both.log, and other.log opened but not taken
  EXPECT_TRUE(shared);
  EXPECT_TRUE(tookOut);
  EXPECT_TRUE(tookErr);
  EXPECT_FALSE(javaNeeded);
  EXPECT_EQ(linesOf(path), "kept\nlauncher out\nlauncher err\nthrough the handle\nstill here\n");
  EXPECT_EQ(readFile(dir.file("other.log")), "");
}

TEST(StreamRedirector, TwoNamesOfOneFileBothAppend) {
  TempDir dir;
  const std::string path = dir.file("log.txt");
#ifdef _WIN32
  const std::string other = dir.file("LOG.TXT");  // the same file, for Windows
#else
  const std::string other = dir.path() + "/./log.txt";
#endif
  size_t targets = 0;
  bool distinct = false;
  {
    StreamRedirector redirector;
    redirector.redirectStdout(path);
    redirector.redirectStderr(other);
    targets = redirector.targetCount();
    distinct = redirector.stdoutTarget() != redirector.stderrTarget();
    for (const char* line : {"out 1\n", "err 1\n", "out 2\n", "err 2\n"}) {
      platform::writeToStreamHandle(line[0] == 'o' ? redirector.stdoutTarget() : redirector.stderrTarget(), line, 6);
    }
  }
  EXPECT_EQ(targets, 2u);
  EXPECT_TRUE(distinct);
  // Each write lands at the end of the file, whichever handle made it.
  EXPECT_EQ(readFile(path), "out 1\nerr 1\nout 2\nerr 2\n");
}

#ifndef _WIN32
// Through a command, standard error keeps the order of its writes, whether
// they go through the C library's stderr (as the runtime's warnings do) or
// straight to descriptor 2 (as System.err does). What the launcher's stdout
// holds in its buffer is written out before the command sees the end of
// its input.
TEST(StreamRedirector, CommandReceivesTheStreamsInWriteOrder) {
  TempDir dir;
  const std::string received = dir.file("received.txt");
  {
    StreamRedirector redirector;
    const std::string command = "|cat > '" + received + ".part' && mv '" + received + ".part' '" + received + "'";
    redirector.redirectStderr(command);
    redirector.redirectStdout(command);
    fprintf(stderr, "err 1\n");
    platform::writeToStreamHandle(2, "direct\n", 7);
    fprintf(stderr, "err 2\n");
    printf("buffered out\n");
  }
  EXPECT_EQ(testing::awaitFile(received), "err 1\ndirect\nerr 2\nbuffered out\n");
}
#endif

}  // namespace
}  // namespace xoq
