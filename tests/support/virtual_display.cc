#include "support/virtual_display.h"

#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <thread>

namespace xoq {
namespace testing {

namespace {

bool fileExists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

}  // namespace

VirtualDisplay::VirtualDisplay(int firstNumber, int lifetimeSeconds, const std::string& logFile) {
  for (int number = firstNumber; number < firstNumber + 60 && name_.empty(); ++number) {
    const std::string n = std::to_string(number);
    if (fileExists("/tmp/.X" + n + "-lock") || fileExists("/tmp/.X11-unix/X" + n)) continue;
    xvfb_.reset(new Background({"timeout", std::to_string(lifetimeSeconds), "Xvfb", ":" + n, "-screen", "0",
                                "1024x768x24", "-nolisten", "tcp"},
                               {}, logFile));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (std::chrono::steady_clock::now() < deadline && xvfb_->running() && !fileExists("/tmp/.X11-unix/X" + n)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (xvfb_->running() && fileExists("/tmp/.X11-unix/X" + n)) name_ = ":" + n;
  }
}

void VirtualDisplay::freeze(bool frozen) {
  // The group: `timeout` and the server it runs.
  if (xvfb_ && xvfb_->running()) kill(-xvfb_->pid(), frozen ? SIGSTOP : SIGCONT);
}

}  // namespace testing
}  // namespace xoq
