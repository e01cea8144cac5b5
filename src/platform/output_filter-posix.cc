#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <thread>

#include "platform/output_filter.h"

namespace xoq {
namespace platform {

namespace {

// One standard stream led through a pipe: the stream's descriptor points
// at the pipe, a thread forwards what arrives to the original descriptor,
// line by line, dropping the lines that hold the text.
class FilteredStream {
 public:
  FilteredStream(int descriptor, const std::string& dropped) : descriptor_(descriptor), dropped_(dropped) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) return;
    original_ = fcntl(descriptor, F_DUPFD_CLOEXEC, 3);
    if (original_ < 0 || dup2(ends[1], descriptor) < 0) {
      if (original_ >= 0) close(original_);
      original_ = -1;
      close(ends[0]);
      close(ends[1]);
      return;
    }
    close(ends[1]);
    readEnd_ = ends[0];
    forwarder_ = std::thread([this] { forward(); });
  }

  ~FilteredStream() {
    if (original_ < 0) return;
    // Putting the original back closes the pipe's last write end, so the
    // forwarder drains what is left and ends.
    dup2(original_, descriptor_);
    forwarder_.join();
    close(readEnd_);
    close(original_);
  }

 private:
  void forward() {
    std::string line;
    char buffer[4096];
    for (;;) {
      const ssize_t n = read(readEnd_, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      for (ssize_t i = 0; i < n; ++i) {
        line += buffer[i];
        if (buffer[i] == '\n') {
          emit(line);
          line.clear();
        }
      }
    }
    emit(line);
  }

  void emit(const std::string& line) {
    if (line.empty() || line.find(dropped_) != std::string::npos) return;
    size_t done = 0;
    while (done < line.size()) {
      const ssize_t n = write(original_, line.data() + done, line.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return;
      done += static_cast<size_t>(n);
    }
  }

  int descriptor_;
  std::string dropped_;
  int original_ = -1;
  int readEnd_ = -1;
  std::thread forwarder_;
};

}  // namespace

struct OutputFilter::State {
  FilteredStream out;
  FilteredStream err;
  explicit State(const std::string& dropped) : out(1, dropped), err(2, dropped) {}
};

OutputFilter::OutputFilter(const char* dropped) {
  fflush(stdout);
  fflush(stderr);
  state_ = new State(dropped);
}

OutputFilter::~OutputFilter() {
  fflush(stdout);
  fflush(stderr);
  delete state_;
}

}  // namespace platform
}  // namespace xoq
