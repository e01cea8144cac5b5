#include <cstdio>

#include "platform/user_message.h"

namespace xoq {
namespace platform {

bool isConsoleProgram() { return true; }

void showMessageBox(const std::string& text, const std::string& caption, void* /*owner*/) {
  // No message box on Linux: the launcher may run without any display.
  fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
  fflush(stderr);
}

bool askYesNo(const std::string& text, const std::string& caption, void* owner) {
  showMessageBox(text, caption, owner);
  return false;
}

bool openWebAddress(const std::string&) { return false; }

bool findOwnResource(int, int, const uint8_t*&, size_t&) { return false; }

}  // namespace platform
}  // namespace xoq
