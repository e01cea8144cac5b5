#include "launcher/trace.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/platform.h"

namespace xoq {

namespace {

// Taken during static initialisation, before `main`, so that the figures
// count from the start of the process as near as the launcher can see it.
const uint64_t startMillis = platform::monotonicMillis();

bool readTraceSwitch() {
  std::string value;
  return platform::getEnvironment("XOQ_TRACE", value) && !value.empty();
}

}  // namespace

bool traceEnabled() {
  static const bool enabled = readTraceSwitch();
  return enabled;
}

void trace(const char* format, ...) {
  if (!traceEnabled()) return;
  char line[2048];
  va_list arguments;
  va_start(arguments, format);
  vsnprintf(line, sizeof line, format, arguments);
  va_end(arguments);
  const unsigned long elapsed = static_cast<unsigned long>(platform::monotonicMillis() - startMillis);
  // One fprintf per line, so that lines from several threads do not mix.
  fprintf(stderr, "[xoq %5lu ms] %s\n", elapsed, line);
  fflush(stderr);
}

}  // namespace xoq
