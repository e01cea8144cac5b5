// Runs one of the JDK's tools (jlink, jdeps) for xoqpack and collects what
// it prints. The one place where xoqpack starts another program.
#ifndef XOQPACK_TOOL_PROCESS_H_
#define XOQPACK_TOOL_PROCESS_H_

#include <string>
#include <vector>

namespace xoq {

/// What a tool did: its exit status and everything it wrote to standard
/// output and standard error, in the order it wrote it.
struct ToolResult {
  int exitCode = -1;
  std::string output;
};

/// Runs `argv` (argv[0] a full path; every argument UTF-8) with standard
/// input closed, and waits for it to end. False with `error` set when it
/// cannot be started or waited for; a tool that runs and fails returns true
/// with its exit code.
bool runTool(const std::vector<std::string>& argv, ToolResult& result, std::string& error);

}  // namespace xoq

#endif  // XOQPACK_TOOL_PROCESS_H_
