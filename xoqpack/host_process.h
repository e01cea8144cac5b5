// xoqpack's seam to its own process on the machine it runs on, with one
// implementation per system (host_process-posix.cc, host_process-win32.cc):
// its arguments, where it lives, its environment and its output, all as
// UTF-8 text.
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

}  // namespace host
}  // namespace xoq

#endif  // XOQPACK_HOST_PROCESS_H_
