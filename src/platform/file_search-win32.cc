// windows.h first: io.h relies on its types.
#include <windows.h>

#include <io.h>

#include <cstring>

#include "platform/file_search.h"

namespace xoq {
namespace platform {

const char kPatternSeparators[] = "\\/";

namespace {

class FindHandle {
 public:
  explicit FindHandle(intptr_t handle) : handle_(handle) {}
  ~FindHandle() {
    if (handle_ != -1) _findclose(handle_);
  }
  FindHandle(const FindHandle&) = delete;
  FindHandle& operator=(const FindHandle&) = delete;
  bool valid() const { return handle_ != -1; }
  intptr_t get() const { return handle_; }

 private:
  intptr_t handle_;
};

}  // namespace

bool findMatchingEntries(const std::string& pattern, std::vector<FoundEntry>& entries) {
  entries.clear();
  struct _finddata_t data;
  FindHandle search(_findfirst(pattern.c_str(), &data));
  if (!search.valid()) return false;
  do {
    if (strcmp(data.name, ".") == 0 || strcmp(data.name, "..") == 0) continue;
    FoundEntry found;
    found.name = data.name;
    found.isDirectory = (data.attrib & _A_SUBDIR) != 0;
    entries.push_back(found);
  } while (_findnext(search.get(), &data) == 0);
  return !entries.empty();
}

}  // namespace platform
}  // namespace xoq
