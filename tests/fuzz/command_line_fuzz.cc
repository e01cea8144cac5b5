// Command-line splitting, as a Windows program splits the text it gets and
// as `argv` lines are split: quotes, backslash runs and wildcard marks.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "config/arguments.h"
#include "platform/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<char> buffer(text.begin(), text.end());
  buffer.push_back('\0');

  std::vector<char*> tokens;
  std::vector<int32_t> marks;
  const size_t count = xoq::splitArguments(tokens, buffer.data(), &marks);
  // Every token points into the text it was split from, one mark each.
  if (count != tokens.size() || marks.size() != tokens.size()) std::abort();
  for (char* token : tokens) {
    if (token < buffer.data() || token >= buffer.data() + buffer.size()) std::abort();
  }

  const std::vector<std::string> line = xoq::splitArgumentLine(text);
  (void)line;

  // The rebuilt argument vector, from the raw text, with expansion off so
  // that the machine's files play no part.
  xoq::platform::CommandLine commandLine;
  commandLine.text = text;
  xoq::ArgumentStore store;
  const int argc = xoq::collectArguments(commandLine, xoq::kWildcardOff, store);
  char** argv = store.vector();
  for (int i = 0; i < argc; ++i) {
    if (argv[i] == nullptr) std::abort();
  }
  if (argv[argc] != nullptr) std::abort();
  (void)xoq::wildcardMode(text);
  return 0;
}
