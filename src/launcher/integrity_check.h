// The start-up check that refuses a changed or damaged executable: the
// integrity value that xoqpack stored in the payload, computed again over
// the file as it is now.
#ifndef XOQ_LAUNCHER_INTEGRITY_CHECK_H_
#define XOQ_LAUNCHER_INTEGRITY_CHECK_H_

#include <cstdint>
#include <string>

namespace xoq {

enum class IntegrityStatus {
  kIntact,      // the stored value matches
  kNoPayload,   // a template that was never packaged: nothing to check
  kUnreadable,  // the file cannot be opened again (a path the ANSI code page
                // cannot spell, a replaced binary): nothing says it changed
  kDamaged,     // a payload that does not fit, or a different value
};

/// Checks the executable at `path`, whose image says its archive has
/// `archiveLength` bytes (0: never packaged).
IntegrityStatus checkIntegrity(const std::string& path, uint32_t archiveLength);

/// Start-up step: checks the running executable. On kDamaged it has shown
/// message 9; the caller ends the process with exit code 9.
IntegrityStatus checkOwnIntegrity();

}  // namespace xoq

#endif  // XOQ_LAUNCHER_INTEGRITY_CHECK_H_
