#include "platform/file_search.h"

namespace xoq {
namespace platform {

bool matchesPattern(const char* pattern, const char* name) {
  // Greedy with one back-track point: on a mismatch after a `*`, let that
  // star swallow one more character. Linear in practice, never exponential.
  const char* star = nullptr;
  const char* resume = nullptr;
  while (*name != '\0') {
    if (*pattern == '*') {
      star = pattern++;
      resume = name;
    } else if (*pattern == '?' || (*pattern != '\0' && *pattern == *name)) {
      ++pattern;
      ++name;
    } else if (star != nullptr) {
      pattern = star + 1;
      name = ++resume;
    } else {
      return false;
    }
  }
  while (*pattern == '*') ++pattern;
  return *pattern == '\0';
}

}  // namespace platform
}  // namespace xoq
