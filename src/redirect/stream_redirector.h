// Standard output and standard error sent to a file (appended to) or into a
// command that the launcher starts, before the virtual machine exists, so
// that the launcher's prints, the runtime's messages and the application's
// System.out and System.err all land there.
#ifndef XOQ_REDIRECT_STREAM_REDIRECTOR_H_
#define XOQ_REDIRECT_STREAM_REDIRECTOR_H_

#include <jni.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/standard_streams.h"

namespace xoq {

class ConfigStore;
struct VmContext;

/// One place the streams are sent to, named by the configured value.
class RedirectTarget {
 public:
  RedirectTarget() = default;
  /// Flushes and closes the stream, then closes the handle.
  virtual ~RedirectTarget();
  RedirectTarget(const RedirectTarget&) = delete;
  RedirectTarget& operator=(const RedirectTarget&) = delete;

  platform::StreamHandle handle = platform::kNoStreamHandle;  // the write handle; none until opened
  std::string name;                                           // the value exactly as configured
  FILE* stream = nullptr;  // a C runtime stream on the handle ("a"; Windows only), or null
};

class StreamRedirector {
 public:
  StreamRedirector() = default;
  /// Flushes what is buffered, closes every target and puts the standard
  /// streams back.
  ~StreamRedirector();
  StreamRedirector(const StreamRedirector&) = delete;
  StreamRedirector& operator=(const StreamRedirector&) = delete;

  /// Sends standard output to `value` ("|command" or a file path). Nothing
  /// happens when the target cannot be opened or standard output was
  /// redirected already.
  void redirectStdout(const std::string& value);
  /// The same for standard error.
  void redirectStderr(const std::string& value);

  /// The target named exactly `value` (byte for byte), opened now when
  /// there is none yet, whether or not opening works.
  RedirectTarget& findOrOpenTarget(const std::string& value);

  /// Where a standard stream did not take its target, points System.out or
  /// System.err at it through com.tarvolin.xoq.RedirOutputStream, in the
  /// encoding the runtime gives System.out and System.err.
  void installJavaRedirection(JNIEnv* env);

  /// Writes out what the launcher's own streams and the targets' streams
  /// hold in their buffers.
  void flush();

  /// True when a stream has been sent somewhere.
  bool active() const { return stdoutRedirected_ || stderrRedirected_; }

  platform::StreamHandle stdoutTarget() const { return stdoutTarget_; }
  platform::StreamHandle stderrTarget() const { return stderrTarget_; }
  bool javaStdoutNeeded() const { return javaStdoutNeeded_; }
  bool javaStderrNeeded() const { return javaStderrNeeded_; }
  size_t targetCount() const { return targets_.size(); }

 private:
  void redirect(platform::StandardStream stream, const std::string& value, bool& redirected,
                platform::StreamHandle& saved, platform::StreamHandle& target, platform::StreamHandle& savedOwn,
                bool& javaNeeded);

  std::vector<std::unique_ptr<RedirectTarget>> targets_;  // in opening order
  // Kept apart from the saved values, which may be "none" themselves: a
  // descriptor that was closed at start, an invalid standard handle.
  bool stdoutRedirected_ = false;
  bool stderrRedirected_ = false;
  platform::StreamHandle savedStdout_ = platform::kNoStreamHandle;
  platform::StreamHandle savedStderr_ = platform::kNoStreamHandle;
  platform::StreamHandle stdoutTarget_ = platform::kNoStreamHandle;
  platform::StreamHandle stderrTarget_ = platform::kNoStreamHandle;
  // What rebinding the launcher's own stdout and stderr replaced.
  platform::StreamHandle savedOwnStdout_ = platform::kNoStreamHandle;
  platform::StreamHandle savedOwnStderr_ = platform::kNoStreamHandle;
  bool javaStdoutNeeded_ = false;
  bool javaStderrNeeded_ = false;
};

/// The process's redirector: built before the start-up sequence runs,
/// destroyed when the process ends.
extern StreamRedirector theStreamRedirector;

/// Start-up step: standard error, then standard output, from the `stderr`
/// and `stdout` keys. When either was redirected, the virtual machine gets
/// an exit hook that flushes the targets before System.exit ends the
/// process.
void redirectStandardStreams(const ConfigStore& config, VmContext& vm);

}  // namespace xoq

#endif  // XOQ_REDIRECT_STREAM_REDIRECTOR_H_
