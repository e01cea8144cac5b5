// The launcher's trace: with the environment variable XOQ_TRACE set and not
// empty, every decision the launcher makes is printed to standard error, one
// line each, with the milliseconds since the process started. It answers
// "why did it do that" without a debugger.
#ifndef XOQ_BASE_TRACE_H_
#define XOQ_BASE_TRACE_H_

namespace xoq {

/// True when XOQ_TRACE is set and not empty (read once).
bool traceEnabled();

/// Prints one trace line when tracing is on; `format` is a printf format
/// and the line break is added.
// The launcher is built with mingw's C99 printf (__USE_MINGW_ANSI_STDIO), so
// the format is checked as GNU printf on both targets; clang (the fuzz
// build) knows only plain printf, which is the same on Linux.
#ifdef __clang__
#define XOQ_PRINTF_FORMAT printf
#else
#define XOQ_PRINTF_FORMAT gnu_printf
#endif
void trace(const char* format, ...) __attribute__((format(XOQ_PRINTF_FORMAT, 1, 2)));

}  // namespace xoq

#endif  // XOQ_BASE_TRACE_H_
