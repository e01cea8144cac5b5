// An X display of a test's own: Xvfb on a display number that it chooses
// itself (scripts/virtual-display.sh), stopped when the object goes away.
#ifndef XOQ_TESTS_SUPPORT_VIRTUAL_DISPLAY_H_
#define XOQ_TESTS_SUPPORT_VIRTUAL_DISPLAY_H_

#include <memory>
#include <string>

#include "support/background.h"

namespace xoq {
namespace testing {

class VirtualDisplay {
 public:
  /// Starts Xvfb (1024x768, no TCP, at most `lifetimeSeconds`), its messages
  /// in `logFile`, and waits until it accepts connections.
  VirtualDisplay(int lifetimeSeconds, const std::string& logFile);
  /// ":<number>", empty when no display could be started.
  const std::string& name() const { return name_; }
  /// Stops the server (a client that talks to it then waits), or lets it go
  /// on again.
  void freeze(bool frozen);

 private:
  std::unique_ptr<Background> xvfb_;
  std::string name_;
};

}  // namespace testing
}  // namespace xoq

#endif  // XOQ_TESTS_SUPPORT_VIRTUAL_DISPLAY_H_
