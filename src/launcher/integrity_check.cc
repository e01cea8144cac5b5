#include "launcher/integrity_check.h"

#include "archive/integrity.h"
#include "base/trace.h"
#include "config/payload.h"
#include "launcher/messages.h"
#include "platform/platform.h"

namespace xoq {

IntegrityStatus checkIntegrity(const std::string& path, uint32_t archiveLength) {
  if (archiveLength == 0) return IntegrityStatus::kNoPayload;
  platform::MappedFile file;
  // A file the launcher cannot open again is not known to be changed;
  // telling the user it was tampered with would be wrong. (Its payload is
  // unreadable too, so the launch fails later with its own message.)
  if (path.empty() || !file.open(path)) return IntegrityStatus::kUnreadable;
  if (file.data() == nullptr) return IntegrityStatus::kDamaged;  // empty
  const PayloadLayout layout = computePayloadLayout(file.data(), file.size(), archiveLength);
  return verifyIntegrity(file.data(), layout) ? IntegrityStatus::kIntact : IntegrityStatus::kDamaged;
}

IntegrityStatus checkOwnIntegrity() {
  const IntegrityStatus status = checkIntegrity(platform::modulePath(), ownArchiveLength());
  switch (status) {
    case IntegrityStatus::kIntact:
      trace("integrity: the stored value matches");
      break;
    case IntegrityStatus::kNoPayload:
      trace("integrity: no payload, nothing to check");
      break;
    case IntegrityStatus::kUnreadable:
      trace("integrity: the executable cannot be opened again, not checked");
      break;
    case IntegrityStatus::kDamaged:
      trace("integrity: the file is damaged or has been changed");
      showDamagedFileMessage();
      break;
  }
  return status;
}

}  // namespace xoq
