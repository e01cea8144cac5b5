#include "support/virtual_display.h"

#include <signal.h>

#include <chrono>

namespace xoq {
namespace testing {

VirtualDisplay::VirtualDisplay(int lifetimeSeconds, const std::string& logFile) {
  // The display number is the server's standard output, its messages the
  // log.
  xvfb_.reset(new Background({XOQ_SOURCE_DIR "/scripts/virtual-display.sh", std::to_string(lifetimeSeconds)}, {},
                             logFile + ".display", logFile));
  if (!xvfb_->waitForOutput("\n", std::chrono::seconds(30)) || !xvfb_->running()) return;
  const std::string number = xvfb_->output();
  name_ = ":" + number.substr(0, number.find('\n'));
}

void VirtualDisplay::freeze(bool frozen) {
  // The group: `timeout` and the server it runs.
  if (xvfb_ && xvfb_->running()) kill(-xvfb_->pid(), frozen ? SIGSTOP : SIGCONT);
}

}  // namespace testing
}  // namespace xoq
