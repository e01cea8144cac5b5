#include "platform/legacy_code_page.h"

namespace xoq {
namespace platform {

bool narrowFormIsNotLegacy() { return false; }

bool narrowToLegacyCodePage(const std::string& narrow, std::string& out) {
  out = narrow;
  return true;
}

std::string shortPathOf(const std::string&) { return std::string(); }

}  // namespace platform
}  // namespace xoq
