#include "archive/carried_runtime.h"

#include "archive/cache_folder.h"
#include "base/trace.h"
#include "config/payload.h"
#include "platform/platform.h"

namespace xoq {

namespace {

// The runtime's archive inside the running executable, mapped only when
// the cache folder must be filled.
class ExecutableRuntime : public CacheContent {
 public:
  explicit ExecutableRuntime(const CarriedRuntime& runtime) : runtime_(runtime) {}

  bool bytes(const uint8_t*& data, size_t& size, std::string& reason) override {
    if (!file_.open(platform::modulePath()) || file_.data() == nullptr) {
      reason = "the program file cannot be read again";
      return false;
    }
    // The runtime lies between the archive's entries and its central
    // directory; a descriptor that points elsewhere belongs to a damaged
    // file.
    const PayloadLayout layout = computePayloadLayout(file_.data(), file_.size(), ownArchiveLength());
    const uint64_t room = layout.fits ? layout.centralDirectoryStart - layout.archiveStart : 0;
    if (!layout.fits || runtime_.offset > room || runtime_.length > room - runtime_.offset) {
      reason = "the runtime lies outside the program's archive";
      return false;
    }
    data = file_.data() + layout.archiveStart + runtime_.offset;
    size = runtime_.length;
    return true;
  }

 private:
  CarriedRuntime runtime_;
  platform::MappedFile file_;
};

}  // namespace

const char kRuntimeCacheKind[] = "runtimes";

bool carriedRuntimeFolder(std::string& folder, CarriedRuntimeFailure& failure) {
  const CarriedRuntime runtime = ownCarriedRuntime();
  if (runtime.length == 0) return false;
  ExecutableRuntime content(runtime);
  CacheFailure cacheFailure;
  if (ensureCacheFolder(kRuntimeCacheKind, hexDigits(runtime.digest.data(), runtime.digest.size()), content, folder,
                        cacheFailure)) {
    return true;
  }
  failure.messageId = cacheFailure.messageId;
  failure.folder = cacheFailure.folder;
  failure.reason = cacheFailure.reason;
  return false;
}

}  // namespace xoq
