#include "platform/instance_lock.h"

namespace xoq {
namespace platform {

std::string instanceMutexName(const std::string& path) {
  std::string name = path;
  for (char& c : name) {
    if (c == ':' || c == '\\') c = '.';
  }
  return name + ".xoq";
}

}  // namespace platform
}  // namespace xoq
