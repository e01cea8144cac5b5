// Linux side of the OS seam.
#include <fcntl.h>
#include <langinfo.h>
#include <limits.h>
#include <pthread.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>

#include "platform/platform.h"

namespace xoq {
namespace platform {

const size_t kMaxPath = PATH_MAX;

void selectUserLocale() {
  setlocale(LC_ALL, "");
  // A bare "C" locale cannot convert a single byte above 0x7F, yet every
  // Linux file name and terminal today is UTF-8. Take the UTF-8 variant of
  // the C locale then, so that such names survive the narrow/wide round trip.
  const char* codeset = nl_langinfo(CODESET);
  if (codeset != nullptr && strcmp(codeset, "ANSI_X3.4-1968") == 0) {
    setlocale(LC_CTYPE, "C.UTF-8");
  }
}

bool narrowFormIsUtf8() { return false; }

std::string modulePath() {
  std::string buffer(PATH_MAX, '\0');
  const ssize_t length = readlink("/proc/self/exe", &buffer[0], buffer.size() - 1);
  if (length <= 0) return std::string();
  buffer.resize(static_cast<size_t>(length));
  return buffer;
}

std::string currentDirectory() {
  std::string buffer(PATH_MAX, '\0');
  if (getcwd(&buffer[0], buffer.size()) == nullptr) return std::string();
  buffer.resize(strlen(buffer.c_str()));
  return buffer;
}

bool setCurrentDirectory(const std::string& path) { return chdir(path.c_str()) == 0; }

std::string fullPathName(const std::string& path) {
  if (path.empty()) return std::string();
  std::string absolute;
  if (path[0] == '/') {
    absolute = path;
  } else {
    absolute = currentDirectory();
    if (absolute.empty()) return std::string();
    absolute += '/';
    absolute += path;
  }
  // Normalise lexically, as GetFullPathNameA does: no symbolic links are
  // followed and the path need not exist. A trailing separator is kept.
  std::vector<std::string> parts;
  size_t position = 0;
  while (position < absolute.size()) {
    size_t next = absolute.find('/', position);
    if (next == std::string::npos) next = absolute.size();
    const std::string part = absolute.substr(position, next - position);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    position = next + 1;
  }
  std::string result;
  for (const std::string& part : parts) result += "/" + part;
  if (result.empty()) return "/";
  const char last = absolute.back();
  const bool endsWithDot = absolute.size() >= 2 && absolute.compare(absolute.size() - 2, 2, "/.") == 0;
  if (last == '/' || endsWithDot) result += '/';
  return result;
}

bool isReadable(const std::string& path) { return access(path.c_str(), R_OK) == 0; }

bool exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

bool isDirectory(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool readWholeFile(const std::string& path, std::string& out) {
  out.clear();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return false;
  }
  out.resize(static_cast<size_t>(info.st_size));
  size_t done = 0;
  while (done < out.size()) {
    const ssize_t n = read(fd, &out[done], out.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  ::close(fd);
  out.resize(done);
  return true;
}

bool getEnvironment(const std::string& name, std::string& value) {
  const char* found = getenv(name.c_str());
  if (found == nullptr) return false;
  value = found;
  return true;
}

bool putEnvironment(const std::string& assignment) {
  const size_t equals = assignment.find('=');
  if (equals == std::string::npos || equals == 0) return false;
  const std::string name = assignment.substr(0, equals);
  const std::string value = assignment.substr(equals + 1);
  // "NAME=" removes the variable, as _putenv does on Windows.
  if (value.empty()) return unsetenv(name.c_str()) == 0;
  return setenv(name.c_str(), value.c_str(), 1) == 0;
}

bool readRegistryValue(RegistryRoot, const std::string&, const std::string&, RegistryValue&) {
  // Linux keeps no registry: every reference falls back to its default.
  return false;
}

bool listRegistrySubkeys(RegistryRoot, const std::string&, std::vector<std::string>&) { return false; }

std::string resolveLinks(const std::string& path) {
  const std::unique_ptr<char, void (*)(void*)> resolved(realpath(path.c_str(), nullptr), free);
  return resolved != nullptr ? std::string(resolved.get()) : std::string();
}

uint64_t monotonicMillis() {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
}

// ---------------------------------------------------------------------------
// MappedFile

MappedFile::~MappedFile() { close(); }

MappedFile::MappedFile(MappedFile&& other) noexcept
    : data_(other.data_), size_(other.size_), open_(other.open_), descriptor_(other.descriptor_) {
  other.data_ = nullptr;
  other.size_ = 0;
  other.open_ = false;
  other.descriptor_ = -1;
}

MappedFile& MappedFile::operator=(MappedFile&& other) noexcept {
  if (this != &other) {
    close();
    data_ = other.data_;
    size_ = other.size_;
    open_ = other.open_;
    descriptor_ = other.descriptor_;
    other.data_ = nullptr;
    other.size_ = 0;
    other.open_ = false;
    other.descriptor_ = -1;
  }
  return *this;
}

bool MappedFile::open(const std::string& path) {
  close();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return false;
  }
  const size_t size = static_cast<size_t>(info.st_size);
  if (size > 0) {
    void* view = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (view == MAP_FAILED) {
      ::close(fd);
      return false;
    }
    data_ = static_cast<const uint8_t*>(view);
  }
  descriptor_ = fd;
  size_ = size;
  open_ = true;
  return true;
}

void MappedFile::close() {
  if (data_ != nullptr) munmap(const_cast<uint8_t*>(data_), size_);
  if (descriptor_ >= 0) ::close(descriptor_);
  data_ = nullptr;
  descriptor_ = -1;
  size_ = 0;
  open_ = false;
}

void MappedFile::releaseView() {
  if (data_ != nullptr) munmap(const_cast<uint8_t*>(data_), size_);
  data_ = nullptr;
}

bool MappedFile::readAt(uint64_t offset, void* buffer, size_t length) const {
  if (descriptor_ < 0 || offset > size_ || length > size_ - offset) return false;
  uint8_t* into = static_cast<uint8_t*>(buffer);
  while (length > 0) {
    const ssize_t got = pread(descriptor_, into, length, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    into += got;
    offset += static_cast<uint64_t>(got);
    length -= static_cast<size_t>(got);
  }
  return true;
}

// ---------------------------------------------------------------------------
// Thread

namespace {

struct ThreadStart {
  Thread::Procedure procedure;
  void* argument;
};

void* threadTrampoline(void* raw) {
  ThreadStart start = *static_cast<ThreadStart*>(raw);
  delete static_cast<ThreadStart*>(raw);
  const unsigned code = start.procedure(start.argument);
  return reinterpret_cast<void*>(static_cast<uintptr_t>(code));
}

}  // namespace

Thread::~Thread() {
  if (started_) pthread_detach(static_cast<pthread_t>(id_));
}

bool Thread::start(Procedure procedure, void* argument, bool /*reserveStack*/) {
  if (started_) return false;
  ThreadStart* start = new ThreadStart{procedure, argument};
  pthread_t id;
  if (pthread_create(&id, nullptr, threadTrampoline, start) != 0) {
    delete start;
    return false;
  }
  id_ = static_cast<unsigned long>(id);
  started_ = true;
  return true;
}

unsigned Thread::join() {
  if (!started_) return 0;
  void* result = nullptr;
  pthread_join(static_cast<pthread_t>(id_), &result);
  started_ = false;
  return static_cast<unsigned>(reinterpret_cast<uintptr_t>(result));
}

void initCommonControls() {}

// ---------------------------------------------------------------------------
// Console signals
//
// The virtual machine must not be entered from an async signal handler, so
// the handler only writes the signal number into a pipe; a watcher thread
// reads it and calls the launcher's handler, which may then attach to the
// virtual machine like any other thread.

namespace {

int signalPipe[2] = {-1, -1};
ConsoleSignalHandler consoleHandler = nullptr;
struct sigaction previousInterrupt;
struct sigaction previousTerminate;

void forwardSignal(int signalNumber) {
  const int savedErrno = errno;
  const unsigned char byte = static_cast<unsigned char>(signalNumber);
  if (write(signalPipe[1], &byte, 1) < 0) {
    // Nothing can be done inside a signal handler; the signal is lost.
  }
  errno = savedErrno;
}

void* signalWatcher(void*) {
  for (;;) {
    unsigned char byte = 0;
    const ssize_t n = read(signalPipe[0], &byte, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return nullptr;
    if (consoleHandler != nullptr) consoleHandler(byte);
  }
}

}  // namespace

void installConsoleSignalHandler(ConsoleSignalHandler handler) {
  if (signalPipe[0] < 0) {
    if (pipe2(signalPipe, O_CLOEXEC) != 0) return;
    pthread_t watcher;
    if (pthread_create(&watcher, nullptr, signalWatcher, nullptr) != 0) return;
    pthread_detach(watcher);
  }
  consoleHandler = handler;
  struct sigaction action;
  memset(&action, 0, sizeof action);
  action.sa_handler = forwardSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signalNumber : {SIGINT, SIGTERM}) {
    struct sigaction& previous = signalNumber == SIGINT ? previousInterrupt : previousTerminate;
    // A signal the process was started with ignored (a background job's
    // SIGINT, say) stays ignored, as the runtime itself leaves it.
    if (sigaction(signalNumber, nullptr, &previous) == 0 && !(previous.sa_flags & SA_SIGINFO) &&
        previous.sa_handler == SIG_IGN) {
      continue;
    }
    sigaction(signalNumber, &action, &previous);
  }
}

void callPreviousSignalHandler(int signalNumber) {
  const struct sigaction* previous = nullptr;
  if (signalNumber == SIGINT) previous = &previousInterrupt;
  if (signalNumber == SIGTERM) previous = &previousTerminate;
  if (previous == nullptr) return;
  if (previous->sa_flags & SA_SIGINFO) {
    if (previous->sa_sigaction != nullptr) previous->sa_sigaction(signalNumber, nullptr, nullptr);
    return;
  }
  const intptr_t value = reinterpret_cast<intptr_t>(previous->sa_handler);
  // SIG_DFL, SIG_IGN, SIG_HOLD and SIG_ERR are markers, not functions.
  if (value == 0 || value == 1 || value == 2 || value == 3 || value == 4 || value == -1) return;
  previous->sa_handler(signalNumber);
}

}  // namespace platform
}  // namespace xoq
