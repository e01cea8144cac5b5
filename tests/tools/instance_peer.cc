// A test program built from the launcher's own instance code, for both
// targets: it joins the instance block of its own executable (on Windows the
// ".SHMMESS" section of this program's image), runs the message transport
// and sends and receives byte messages through enqueueMessage and the
// delivery path, with no Java runtime involved. Several processes of it
// prove the transport under real processes and kernel objects.
//
// Every message of length n carries byte i = (7 * i + n) mod 256, so a
// receiver can tell whether it arrived whole. Output, one line each:
//   id=<own id>            once joined
//   first=<id>             at start and whenever the first instance changes
//   received from=<id> length=<n> intact=<0|1>
//   sent                   once everything queued has left
//   instances=<a,b,...>    (--list) the list after joining; (--list-until N)
//                          the first list of N instances, or the last one
//                          seen when none came within a minute
//   round_trip_median_us=, round_trip_p99_us=, stream_mb_s=   (--ping, --stream)
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "base/trace.h"
#include "instances/instance_registry.h"
#include "instances/receiver_holder.h"
#include "platform/instance_ipc.h"
#include "platform/platform.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

using xoq::InstanceRegistry;

std::string pattern(size_t length) {
  std::string bytes(length, '\0');
  for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<char>((7 * i + length) & 0xff);
  return bytes;
}

void say(const char* format, ...) __attribute__((format(XOQ_PRINTF_FORMAT, 1, 2)));
void say(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  vprintf(format, arguments);
  va_end(arguments);
  printf("\n");
  fflush(stdout);
}

// The delivery path: what the Java receiver would get, reported instead;
// with `echo` answered with one byte, without a report (for timing).
class ReportingHolder : public xoq::ReceiverHolder {
 public:
  InstanceRegistry* echo = nullptr;
  bool quiet = false;  // while timing: nothing printed

  void deliverMessage(int32_t sender, const std::string& bytes) override {
    if (echo != nullptr) {
      echo->enqueueMessage(sender, "a");
    } else if (!quiet) {
      say("received from=%d length=%zu intact=%d", static_cast<int>(sender), bytes.size(),
          bytes == pattern(bytes.size()) ? 1 : 0);
    }
    std::lock_guard<std::mutex> hold(lock_);
    ++count_;
    arrived_.notify_all();
  }

  size_t count() {
    std::lock_guard<std::mutex> hold(lock_);
    return count_;
  }

  /// Waits until `count` messages have arrived in all; false after 60 s.
  bool waitFor(size_t count) {
    std::unique_lock<std::mutex> hold(lock_);
    return arrived_.wait_for(hold, std::chrono::seconds(60), [&] { return count_ >= count; });
  }

 private:
  std::mutex lock_;
  std::condition_variable arrived_;
  size_t count_ = 0;
};

// --ping: round trips of one message and its one-byte answer, one at a
// time; --stream: `count` messages at once, until the last is answered.
// Both against a peer started with --echo.
void timeRoundTrips(InstanceRegistry& registry, ReportingHolder& holder, int32_t target, size_t count, size_t length) {
  std::vector<double> micros;
  const size_t before = holder.count();
  for (size_t i = 1; i <= count; ++i) {
    const auto start = std::chrono::steady_clock::now();
    registry.enqueueMessage(target, pattern(length));
    if (!holder.waitFor(before + i)) return;
    micros.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
  }
  std::sort(micros.begin(), micros.end());
  say("round_trip_median_us=%.1f", micros[micros.size() / 2]);
  say("round_trip_p99_us=%.1f", micros[micros.size() * 99 / 100]);
}

void timeStream(InstanceRegistry& registry, ReportingHolder& holder, int32_t target, size_t count, size_t length) {
  const size_t before = holder.count();
  const auto start = std::chrono::steady_clock::now();
  for (size_t i = 0; i < count; ++i) registry.enqueueMessage(target, pattern(length));
  if (!holder.waitFor(before + count)) return;
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  say("stream_mb_s=%.2f", static_cast<double>(count * length) / 1e6 / seconds);
}

bool fileExists(const std::string& path) {
  FILE* file = fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  fclose(file);
  return true;
}

[[noreturn]] void endAbruptly() {
#ifdef _WIN32
  TerminateProcess(GetCurrentProcess(), 3);
#endif
  _exit(3);
}

struct Send {
  std::string target;  // a number, or "self"
  size_t length;
  size_t count = 1;  // for --ping and --stream
};

bool parseSend(const std::string& value, Send& send) {
  const size_t colon = value.find(':');
  if (colon == std::string::npos) return false;
  send.target = value.substr(0, colon);
  send.length = static_cast<size_t>(strtoull(value.c_str() + colon + 1, nullptr, 10));
  const size_t second = value.find(':', colon + 1);
  if (second != std::string::npos) send.count = static_cast<size_t>(strtoull(value.c_str() + second + 1, nullptr, 10));
  return true;
}

int usage() {
  fprintf(stderr,
          "usage: instance_peer [--no-transport] [--send TARGET:LENGTH]... [--exit-after-bytes N]\n"
          "                     [--echo] [--ping TARGET:LENGTH:COUNT] [--stream TARGET:LENGTH:COUNT]\n"
          "                     [--stay-until FILE] [--list] [--list-until N]\n"
          "                     [--hold-event NAME] [--probe-mutex NAME]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  bool transport = true;
  bool list = false;
  size_t listUntil = 0;
  bool echo = false;
  std::vector<Send> pings;
  std::vector<Send> streams;
  long exitAfterBytes = -1;
  std::string stayUntil;
  std::vector<Send> sends;
#ifdef _WIN32
  HANDLE heldEvent = nullptr;
#endif
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    const bool hasValue = i + 1 < argc;
    if (option == "--no-transport") {
      transport = false;
    } else if (option == "--list") {
      list = true;
    } else if (option == "--list-until" && hasValue) {
      listUntil = static_cast<size_t>(strtoull(argv[++i], nullptr, 10));
    } else if (option == "--echo") {
      echo = true;
    } else if ((option == "--send" || option == "--ping" || option == "--stream") && hasValue) {
      Send send;
      if (!parseSend(argv[++i], send)) return usage();
      (option == "--send" ? sends : option == "--ping" ? pings : streams).push_back(send);
    } else if (option == "--exit-after-bytes" && hasValue) {
      exitAfterBytes = strtol(argv[++i], nullptr, 10);
    } else if (option == "--stay-until" && hasValue) {
      stayUntil = argv[++i];
#ifdef _WIN32
    } else if (option == "--hold-event" && hasValue) {
      // An object of another type under the instance mutex's name, so that
      // the launcher cannot create its mutex.
      heldEvent = CreateEventA(nullptr, TRUE, FALSE, argv[++i]);
      say("event=%s", heldEvent != nullptr ? "held" : "failed");
    } else if (option == "--probe-mutex" && hasValue) {
      HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, argv[++i]);
      say("mutex=%s", mutex != nullptr ? "exists" : "missing");
      return 0;
#endif
    } else {
      return usage();
    }
  }

  xoq::platform::SharedInstanceBlock mapping;
  InstanceRegistry registry(xoq::mapInstanceBlock(mapping, xoq::platform::modulePath()),
                            xoq::platform::currentProcessId());
  if (registry.block() == nullptr) {
    fprintf(stderr, "instance_peer: no instance block\n");
    return 1;
  }
  registry.joinInstanceBlock();
  say("id=%d", static_cast<int>(registry.ownId()));
  int32_t first = registry.firstInstanceId();
  say("first=%d", static_cast<int>(first));
  const auto listText = [&registry] {
    std::string text;
    for (int32_t id : registry.getInstances()) text += (text.empty() ? "" : ",") + std::to_string(id);
    return text;
  };
  if (list) say("instances=%s", listText().c_str());
  if (listUntil > 0) {
    // Lists again and again, as an application asking for the instances
    // would, while other launches join: every list prunes.
    std::string seen;
    const uint64_t listDeadline = xoq::platform::monotonicMillis() + 60000;
    do {
      seen = listText();
      if (static_cast<size_t>(std::count(seen.begin(), seen.end(), ',')) + 1 >= listUntil) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    } while (xoq::platform::monotonicMillis() < listDeadline);
    say("instances=%s", seen.c_str());
  }

  ReportingHolder holder;
  if (echo) holder.echo = &registry;
  holder.quiet = !pings.empty() || !streams.empty();
  if (transport && !registry.startInstanceTransport(&holder)) {
    fprintf(stderr, "instance_peer: the transport did not start\n");
    return 1;
  }
  for (const Send& send : sends) {
    const int32_t target = send.target == "self" ? registry.ownId() : static_cast<int32_t>(atol(send.target.c_str()));
    if (!registry.enqueueMessage(target, pattern(send.length))) say("not queued target=%d", static_cast<int>(target));
  }
  for (const Send& ping : pings) {
    timeRoundTrips(registry, holder, static_cast<int32_t>(atol(ping.target.c_str())), ping.count, ping.length);
  }
  for (const Send& stream : streams) {
    timeStream(registry, holder, static_cast<int32_t>(atol(stream.target.c_str())), stream.count, stream.length);
  }
  bool sent = sends.empty();
  const uint64_t deadline = xoq::platform::monotonicMillis() + 120000;
  while (xoq::platform::monotonicMillis() < deadline) {
    if (exitAfterBytes >= 0 && registry.headSentOffset() >= exitAfterBytes) endAbruptly();
    if (!sent && registry.queueEmpty()) {
      sent = true;
      say("sent");
    }
    const int32_t nowFirst = registry.firstInstanceId();
    if (nowFirst != first) {
      first = nowFirst;
      say("first=%d", static_cast<int>(first));
    }
    if (stayUntil.empty() ? sent : fileExists(stayUntil)) break;
    if (listUntil > 0) listText();  // still pruning while the others list
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
#ifdef _WIN32
  if (heldEvent != nullptr) CloseHandle(heldEvent);
#endif
  return 0;
}
