#include <unistd.h>

#include "platform/elevation.h"

namespace xoq {
namespace platform {

long queryElevation(int* out) {
  const bool elevated = geteuid() == 0;
  if (out != nullptr) *out = elevated ? 1 : 0;
  return elevated ? 0 : 1;
}

}  // namespace platform
}  // namespace xoq
