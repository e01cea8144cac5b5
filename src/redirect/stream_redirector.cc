#include "redirect/stream_redirector.h"

#include "base/trace.h"
#include "config/config_store.h"
#include "runtime/vm_context.h"

namespace xoq {

namespace {

using platform::kNoStreamHandle;
using platform::StandardStream;
using platform::StreamHandle;

bool isCommand(const std::string& value) { return !value.empty() && value[0] == '|'; }

const char* streamName(StandardStream stream) {
  return stream == StandardStream::kOutput ? "standard output" : "standard error";
}

// Where the launcher has a stream of its own on the target (Windows), a
// command's is buffered and a file's is not: a log file shows each line the
// moment it is written, and a pipe is fed in blocks.
void openRedirectTarget(RedirectTarget& target) {
  const bool command = isCommand(target.name);
  target.handle = command ? platform::startCommand(target.name.substr(1)) : platform::openAppendingFile(target.name);
  if (target.handle != kNoStreamHandle) target.stream = platform::openRuntimeStream(target.handle, command);
  trace("redirection target %s: %s", target.name.c_str(),
        target.handle == kNoStreamHandle ? (command ? "command cannot be started" : "file cannot be opened")
                                         : (command ? "command started" : "file opened"));
}

// Called by the virtual machine when System.exit (or Runtime.halt) ends the
// process: the C runtime's buffers may not be written out on that path.
void JNICALL flushOnVmExit(jint status) {
  trace("exit(%d) from the virtual machine: writing out the redirected streams", static_cast<int>(status));
  theStreamRedirector.flush();
}

}  // namespace

StreamRedirector theStreamRedirector;

RedirectTarget::~RedirectTarget() {
  if (stream != nullptr) fclose(stream);
  platform::closeStreamHandle(handle);
}

StreamRedirector::~StreamRedirector() {
  // The launcher's own streams may hold a command's buffered lines: written
  // out before the handles they lead to are closed. The standard streams
  // are put back before the targets close, so that they never name a
  // closed handle.
  flush();
  if (stdoutRedirected_) {
    platform::restoreLauncherStream(StandardStream::kOutput, savedOwnStdout_);
    platform::restoreStandardStream(StandardStream::kOutput, savedStdout_);
  }
  if (stderrRedirected_) {
    platform::restoreLauncherStream(StandardStream::kError, savedOwnStderr_);
    platform::restoreStandardStream(StandardStream::kError, savedStderr_);
  }
  targets_.clear();
}

RedirectTarget& StreamRedirector::findOrOpenTarget(const std::string& value) {
  for (const std::unique_ptr<RedirectTarget>& target : targets_) {
    if (target->name == value) return *target;
  }
  targets_.push_back(std::make_unique<RedirectTarget>());
  RedirectTarget& target = *targets_.back();
  target.name = value;
  openRedirectTarget(target);
  return target;
}

void StreamRedirector::redirect(StandardStream stream, const std::string& value, bool& redirected, StreamHandle& saved,
                                StreamHandle& targetHandle, StreamHandle& savedOwn, bool& javaNeeded) {
  RedirectTarget& target = findOrOpenTarget(value);
  targetHandle = target.handle;
  if (target.handle == kNoStreamHandle || redirected) {
    trace("%s: left as it is", streamName(stream));
    return;
  }
  redirected = true;
  saved = platform::saveStandardStream(stream);
  platform::setStandardStream(stream, target.handle);
  javaNeeded = !platform::standardStreamIs(stream, target.handle);
  if (target.stream != nullptr) savedOwn = platform::rebindLauncherStream(stream, target.stream, isCommand(value));
  trace("%s: sent to %s%s", streamName(stream), value.c_str(),
        javaNeeded ? " (the standard handle did not take it; Java's stream will write there)" : "");
}

void StreamRedirector::redirectStdout(const std::string& value) {
  redirect(StandardStream::kOutput, value, stdoutRedirected_, savedStdout_, stdoutTarget_, savedOwnStdout_,
           javaStdoutNeeded_);
}

void StreamRedirector::redirectStderr(const std::string& value) {
  redirect(StandardStream::kError, value, stderrRedirected_, savedStderr_, stderrTarget_, savedOwnStderr_,
           javaStderrNeeded_);
}

void StreamRedirector::flush() {
  fflush(stdout);
  fflush(stderr);
  for (const std::unique_ptr<RedirectTarget>& target : targets_) {
    if (target->stream != nullptr) fflush(target->stream);
  }
}

void StreamRedirector::installJavaRedirection(JNIEnv* env) {
  if (!javaStdoutNeeded_ && !javaStderrNeeded_) return;
  const char className[] = "com/tarvolin/xoq/RedirOutputStream";
  jclass streamClass = env->FindClass(className);
  // Its natives are bound by name when first called, as every support
  // class's are.
  const bool bound = streamClass != nullptr;
  jmethodID streamConstructor = bound ? env->GetMethodID(streamClass, "<init>", "()V") : nullptr;
  jfieldID handleField = streamConstructor != nullptr ? env->GetFieldID(streamClass, "h", "J") : nullptr;
  // A PrintStream in the encoding the runtime gives System.out and
  // System.err, which is not always the default charset.
  jmethodID printStream =
      handleField != nullptr ? env->GetStaticMethodID(streamClass, "printStream",
                                                      "(Ljava/io/OutputStream;Ljava/lang/String;)Ljava/io/PrintStream;")
                             : nullptr;
  jclass systemClass = printStream != nullptr ? env->FindClass("java/lang/System") : nullptr;
  jmethodID setOut =
      systemClass != nullptr ? env->GetStaticMethodID(systemClass, "setOut", "(Ljava/io/PrintStream;)V") : nullptr;
  jmethodID setErr =
      setOut != nullptr ? env->GetStaticMethodID(systemClass, "setErr", "(Ljava/io/PrintStream;)V") : nullptr;
  if (setErr == nullptr) {
    clearPendingException(env, true);
    trace("Java-side redirection: RedirOutputStream or System cannot be used");
  } else {
    const struct {
      bool needed;
      StreamHandle handle;
      jmethodID setter;
      const char* name;
      const char* key;
    } streams[] = {{javaStdoutNeeded_, stdoutTarget_, setOut, "System.out", "stdout"},
                   {javaStderrNeeded_, stderrTarget_, setErr, "System.err", "stderr"}};
    for (const auto& stream : streams) {
      if (!stream.needed) continue;
      jobject output = env->NewObject(streamClass, streamConstructor);
      if (output != nullptr) env->SetLongField(output, handleField, static_cast<jlong>(stream.handle));
      jstring key = output != nullptr ? env->NewStringUTF(stream.key) : nullptr;
      jobject print = key != nullptr ? env->CallStaticObjectMethod(streamClass, printStream, output, key) : nullptr;
      if (print != nullptr) env->CallStaticVoidMethod(systemClass, stream.setter, print);
      // Whichever call failed, nothing may stay pending for the next one.
      const bool failed = clearPendingException(env, true) != 0;
      const bool done = print != nullptr && !failed;
      trace("Java-side redirection: %s %s", stream.name, done ? "writes through RedirOutputStream" : "unchanged");
      if (print != nullptr) env->DeleteLocalRef(print);
      if (key != nullptr) env->DeleteLocalRef(key);
      if (output != nullptr) env->DeleteLocalRef(output);
    }
  }
  if (systemClass != nullptr) env->DeleteLocalRef(systemClass);
  if (streamClass != nullptr) env->DeleteLocalRef(streamClass);
}

void redirectStandardStreams(const ConfigStore& config, VmContext& vm) {
  const std::string errorValue = config.stderrTarget();
  if (!errorValue.empty()) theStreamRedirector.redirectStderr(errorValue);
  const std::string outputValue = config.stdoutTarget();
  if (!outputValue.empty()) theStreamRedirector.redirectStdout(outputValue);
  if (errorValue.empty() && outputValue.empty()) trace("standard streams: left as they are");
  if (theStreamRedirector.active()) vm.exitHook = flushOnVmExit;
}

}  // namespace xoq
