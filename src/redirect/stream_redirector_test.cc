#include "redirect/stream_redirector.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#ifdef _WIN32
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#include "support/files.h"

namespace xoq {
namespace {

using platform::StandardStream;
using testing::readFile;
using testing::TempDir;
using testing::writeFile;

// What a file holds, line ends as Linux writes them.
std::string linesOf(const std::string& path) { return testing::withoutCarriageReturns(readFile(path)); }

// Writes to whatever standard error is now, past the C runtime.
void writeToStandardError(const std::string& text) {
#ifdef _WIN32
  const platform::StreamHandle handle = reinterpret_cast<platform::StreamHandle>(GetStdHandle(STD_ERROR_HANDLE));
#else
  const platform::StreamHandle handle = 2;
#endif
  platform::writeToStreamHandle(handle, text.data(), text.size());
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
    writeToStandardError("direct\n");
    fprintf(stderr, "err 2\n");
    printf("buffered out\n");
  }
  EXPECT_EQ(testing::awaitFile(received), "err 1\ndirect\nerr 2\nbuffered out\n");
}
#endif

// A stream that was closed (Linux) or invalid (Windows) at start is still
// redirected only once, and is so again afterwards.
TEST(StreamRedirector, AStreamThatWasClosedIsRedirectedOnce) {
  TempDir dir;
#ifdef _WIN32
  const HANDLE kept = GetStdHandle(STD_ERROR_HANDLE);
  SetStdHandle(STD_ERROR_HANDLE, INVALID_HANDLE_VALUE);
#else
  const int kept = dup(2);
  close(2);
#endif
  bool active = false;
  {
    StreamRedirector redirector;
    redirector.redirectStderr(dir.file("first.log"));
    active = redirector.active();
    redirector.redirectStderr(dir.file("second.log"));
    writeToStandardError("line\n");
  }
#ifdef _WIN32
  const bool closedAgain = GetStdHandle(STD_ERROR_HANDLE) == INVALID_HANDLE_VALUE;
  // Rebinding the C runtime's stderr closed `kept`; its descriptor 2 holds
  // a copy again now.
  (void)kept;
  SetStdHandle(STD_ERROR_HANDLE, reinterpret_cast<HANDLE>(_get_osfhandle(2)));
#else
  const bool closedAgain = fcntl(2, F_GETFD) < 0;
  dup2(kept, 2);
  close(kept);
#endif
  EXPECT_TRUE(active);
  EXPECT_EQ(readFile(dir.file("first.log")), "line\n");
  EXPECT_EQ(readFile(dir.file("second.log")), "");
  EXPECT_TRUE(closedAgain);
}

#ifdef _WIN32
// Standard error comes back usable and leading where it led before, though
// rebinding the C runtime's stderr closed the handle it was then.
TEST(StreamRedirector, StandardErrorComesBackWhereItWas) {
  TempDir dir;
  const int runner = _dup(2);
  const int original = _open(dir.file("original.txt").c_str(), _O_WRONLY | _O_CREAT | _O_APPEND, _S_IREAD | _S_IWRITE);
  _dup2(original, 2);  // the C runtime makes it the standard handle too
  _close(original);
  {
    StreamRedirector redirector;
    redirector.redirectStderr(dir.file("target.log"));
    fprintf(stderr, "redirected\n");
  }
  writeToStandardError("handle back\n");
  fprintf(stderr, "stream back\n");
  _dup2(runner, 2);
  _close(runner);
  EXPECT_EQ(linesOf(dir.file("original.txt")), "handle back\nstream back\n");
  EXPECT_EQ(linesOf(dir.file("target.log")), "redirected\n");
}
#endif

}  // namespace
}  // namespace xoq
