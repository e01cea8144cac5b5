#include "base/trace.h"

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace xoq {

namespace {

// Taken during static initialisation, before `main`, so that the figures
// count from the start of the process as near as the launcher can see it.
const std::chrono::steady_clock::time_point startTime = std::chrono::steady_clock::now();

// The switch is a plain ASCII name and value, so the C runtime's copy of the
// environment answers it as well as the system's would.
bool readTraceSwitch() {
  const char* value = getenv("XOQ_TRACE");
  return value != nullptr && value[0] != '\0';
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
  const auto sinceStart = std::chrono::steady_clock::now() - startTime;
  const unsigned long elapsed =
      static_cast<unsigned long>(std::chrono::duration_cast<std::chrono::milliseconds>(sinceStart).count());
  // One fprintf per line, so that lines from several threads do not mix.
  fprintf(stderr, "[xoq %5lu ms] %s\n", elapsed, line);
  fflush(stderr);
}

}  // namespace xoq
