// xoqpack's seam to its own process on the machine it runs on, with one
// implementation per system (host_process-posix.cc, host_process-win32.cc):
// its arguments, where it lives, its environment, its output and the JDK
// tools it runs (jlink, jdeps), all as UTF-8 text.
#ifndef XOQPACK_HOST_PROCESS_H_
#define XOQPACK_HOST_PROCESS_H_

#include <string>
#include <vector>

namespace xoq {
namespace host {

/// The program's arguments after its name, as UTF-8. On Windows they are
/// read from the UTF-16 command line, not from `argv`, whose ANSI copy
/// loses every character the code page lacks.
std::vector<std::string> commandLineArguments(int argc, char** argv);

/// Full path of the running executable; empty when the system cannot tell.
std::string executablePath();

/// The value of an environment variable; false when it is not set.
bool environmentVariable(const std::string& name, std::string& value);

/// The process's number, for names that no other running xoqpack picks.
unsigned long processId();

enum class Stream { kOutput, kError };

/// Writes UTF-8 text to standard output or standard error: to a console as
/// the characters it holds (Windows: through the wide console functions,
/// whatever the console's code page), elsewhere as its UTF-8 bytes.
void writeText(Stream stream, const std::string& text);

/// Whether xoqpack runs on Windows, where a runtime for a Linux target is
/// another system's (and the other way round).
bool runsOnWindows();

/// The file name of the program `name` here: "jlink.exe" on Windows,
/// "jlink" elsewhere.
std::string programFileName(const std::string& name);

/// The folders that PATH lists, in order; an empty entry is the current
/// folder.
std::vector<std::string> searchPath();

/// What a tool did: its exit status and everything it wrote to standard
/// output and standard error, in the order it wrote it.
struct ToolResult {
  int exitCode = -1;
  std::string output;
};

/// Runs `argv` (argv[0] a full path; every argument UTF-8) with standard
/// input closed, and waits for it to end. False with `error` set when it
/// cannot be started or waited for; a tool that runs and fails returns true
/// with its exit code. The one place where xoqpack starts another program.
bool runTool(const std::vector<std::string>& argv, ToolResult& result, std::string& error);

}  // namespace host
}  // namespace xoq

#endif  // XOQPACK_HOST_PROCESS_H_
