// The process's standard output and standard error: where they point, files
// and commands they can be pointed at, and the C runtime streams of the
// launcher's own prints.
#ifndef XOQ_PLATFORM_STANDARD_STREAMS_H_
#define XOQ_PLATFORM_STANDARD_STREAMS_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace xoq {
namespace platform {

/// A handle that can be written to: a HANDLE on Windows, a file descriptor
/// on Linux.
using StreamHandle = intptr_t;
/// No handle (INVALID_HANDLE_VALUE on Windows).
constexpr StreamHandle kNoStreamHandle = -1;

enum class StandardStream { kOutput, kError };

/// Opens `path` for writing at its end: created when missing, never
/// truncated, others allowed to read, write and delete it meanwhile (Windows:
/// CreateFileA with OPEN_ALWAYS and the archive attribute, then the file
/// pointer moved to the end; Linux: O_APPEND | O_CREAT). kNoStreamHandle
/// when it cannot be opened.
StreamHandle openAppendingFile(const std::string& path);

/// Starts `commandLine` with a pipe on its standard input and nothing on its
/// standard output and error, without a window, and returns the write end
/// of the pipe, which the command does not inherit (Windows: CreateProcessA
/// with CREATE_NO_WINDOW and STARTF_USESTDHANDLES; Linux: posix_spawn of
/// /bin/sh -c, /dev/null for its output). The command is not waited for.
/// kNoStreamHandle when the pipe or the process cannot be made.
StreamHandle startCommand(const std::string& commandLine);

/// Closes a handle from the functions above.
void closeStreamHandle(StreamHandle handle);

/// Windows: a C runtime stream on a duplicate of `handle`, opened for
/// appending in text mode ("a"), fully buffered or unbuffered; closing it
/// leaves `handle` open; null on failure. Linux: always null, since the C
/// library's own stdout and stderr already write to descriptors 1 and 2.
FILE* openRuntimeStream(StreamHandle handle, bool buffered);

/// What `stream` points at now, kept so that it can be put back: a
/// duplicate of the standard handle on Windows (the value itself when it is
/// null or invalid), a duplicate of descriptor 1 or 2 on Linux
/// (kNoStreamHandle when it is closed).
StreamHandle saveStandardStream(StandardStream stream);

/// Points `stream` at `handle` (SetStdHandle; dup2 onto 1 or 2). False
/// when the system refused.
bool setStandardStream(StandardStream stream, StreamHandle handle);

/// True when `stream` points at `handle` now: GetStdHandle returns it on
/// Windows; descriptor 1 or 2 is the same open file on Linux.
bool standardStreamIs(StandardStream stream, StreamHandle handle);

/// Points `stream` back at what saveStandardStream returned (closes
/// descriptor 1 or 2 again when that was kNoStreamHandle on Linux), and
/// hands that over or releases it.
void restoreStandardStream(StandardStream stream, StreamHandle saved);

/// Makes the launcher's own stdout or stderr write into `target` with the
/// given buffering, so that its prints land where the stream now goes
/// (Windows). Nothing to do on Linux: descriptors 1 and 2 already point
/// there, and the buffering is left as the C library chose it. Returns what
/// restoreLauncherStream needs to undo it.
StreamHandle rebindLauncherStream(StandardStream stream, FILE* target, bool buffered);

/// Undoes rebindLauncherStream (Windows), what is buffered written out
/// first.
void restoreLauncherStream(StandardStream stream, StreamHandle saved);

/// Writes all of `data` to `handle`; false when the system refused (a
/// closed or broken handle), with whatever part went through written.
bool writeToStreamHandle(StreamHandle handle, const void* data, size_t length);

}  // namespace platform
}  // namespace xoq

#endif  // XOQ_PLATFORM_STANDARD_STREAMS_H_
