// The process's own command line, as the system keeps it.
#ifndef XOQ_PLATFORM_COMMAND_LINE_H_
#define XOQ_PLATFORM_COMMAND_LINE_H_

#include <string>
#include <vector>

namespace xoq {
namespace platform {

/// On Windows a program gets one text and splits it itself; on Linux the
/// shell (or whoever called exec) has already split and unquoted it.
struct CommandLine {
  bool split = false;                  // true: `arguments` holds it; false: `text` does
  std::string text;                    // the raw text (GetCommandLineA)
  std::vector<std::string> arguments;  // the arguments as passed, program name first
};

/// The command line of the running process: the raw text on Windows, the
/// arguments from /proc/self/cmdline on Linux. Empty when unreadable.
CommandLine processCommandLine();

}  // namespace platform
}  // namespace xoq

#endif  // XOQ_PLATFORM_COMMAND_LINE_H_
