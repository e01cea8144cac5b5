// The system's event log: the Windows event log through its wide
// functions, syslog on Linux.
#ifndef XOQ_PLATFORM_EVENT_LOG_H_
#define XOQ_PLATFORM_EVENT_LOG_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace xoq {
namespace platform {

/// A registered event source; 0 means none.
using EventSource = intptr_t;

/// The event types, numbered as Windows numbers them.
enum EventType : uint16_t {
  kEventSuccess = 0,
  kEventError = 1,
  kEventWarning = 2,
  kEventInformation = 4,
  kEventAuditSuccess = 8,
  kEventAuditFailure = 16,
};

/// Registers `source` (UTF-16, NUL-terminated) on `server` (null: this
/// computer). Windows: RegisterEventSourceW. Linux: the source name is kept
/// for the reports; only this computer's log can be reached, so a server
/// other than this machine fails. 0 on failure.
EventSource registerEventSource(const char16_t* server, const char16_t* source);

/// Reports one entry. Windows: ReportEventW with no user, the strings in
/// order and the data. Linux: one syslog message under the source's name,
/// with a priority from the type (error, warning and information as such,
/// success as a notice, the audit types under authpriv as information and
/// warning, anything else as information), reading "event <id>, category
/// <category>: " with the strings joined by spaces, then "; data: " and the
/// data in hexadecimal when there is data; the source's name is set with
/// openlog for this message and given up with closelog, which resets a tag
/// that other code in the process set with openlog. False when the system
/// refused.
bool reportEvent(EventSource source, uint16_t type, uint16_t category, uint32_t eventId,
                 const std::vector<const char16_t*>& strings, const void* data, size_t dataSize);

/// Gives up `source` (DeregisterEventSource; the kept name on Linux).
void deregisterEventSource(EventSource source);

}  // namespace platform
}  // namespace xoq

#endif  // XOQ_PLATFORM_EVENT_LOG_H_
