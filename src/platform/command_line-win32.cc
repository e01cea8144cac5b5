#include <windows.h>

#include "platform/command_line.h"

namespace xoq {
namespace platform {

CommandLine processCommandLine() {
  CommandLine commandLine;
  const char* text = GetCommandLineA();
  if (text != nullptr) commandLine.text = text;
  return commandLine;
}

}  // namespace platform
}  // namespace xoq
