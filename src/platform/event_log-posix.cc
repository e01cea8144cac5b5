#include <syslog.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <mutex>

#include "platform/event_log.h"
#include "platform/text_encoding.h"

namespace xoq {
namespace platform {

namespace {

// Java's UTF-16 as UTF-8: a surrogate pair becomes its code point, a lone
// surrogate U+FFFD.
std::string toUtf8(const char16_t* text) {
  size_t length = 0;
  while (text[length] != 0) ++length;
  std::string out;
  for (const wchar_t point : utf16ToWide(reinterpret_cast<const uint16_t*>(text), length)) {
    appendUnitAsUtf8(out, point >= 0xD800 && point < 0xE000 ? 0xFFFD : static_cast<uint32_t>(point));
  }
  return out;
}

bool sameIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const char x = (a[i] >= 'A' && a[i] <= 'Z') ? static_cast<char>(a[i] + 32) : a[i];
    const char y = (b[i] >= 'A' && b[i] <= 'Z') ? static_cast<char>(b[i] + 32) : b[i];
    if (x != y) return false;
  }
  return true;
}

// syslog reaches this machine's log only: a server name must name it.
bool namesThisMachine(std::string server) {
  if (server.compare(0, 2, "\\\\") == 0) server.erase(0, 2);
  char host[256] = "";
  gethostname(host, sizeof host - 1);
  for (const char* local : {"", ".", "localhost", "127.0.0.1", "::1", static_cast<const char*>(host)}) {
    if (sameIgnoringCase(server, local)) return true;
  }
  return false;
}

int priorityOf(uint16_t type) {
  switch (type) {
    case kEventError:
      return LOG_USER | LOG_ERR;
    case kEventWarning:
      return LOG_USER | LOG_WARNING;
    case kEventSuccess:
      return LOG_USER | LOG_NOTICE;
    case kEventAuditSuccess:
      return LOG_AUTHPRIV | LOG_INFO;
    case kEventAuditFailure:
      return LOG_AUTHPRIV | LOG_WARNING;
    default:
      return LOG_USER | LOG_INFO;
  }
}

// The registered names. A source is its index + 1, so that a value the
// application put into the field itself is checked, never followed.
std::mutex sourcesLock;
std::vector<std::unique_ptr<std::string>> sources;

}  // namespace

EventSource registerEventSource(const char16_t* server, const char16_t* source) {
  if (source == nullptr || (server != nullptr && !namesThisMachine(toUtf8(server)))) return 0;
  std::lock_guard<std::mutex> hold(sourcesLock);
  size_t slot = 0;
  while (slot < sources.size() && sources[slot] != nullptr) ++slot;
  if (slot == sources.size()) sources.emplace_back();
  sources[slot] = std::make_unique<std::string>(toUtf8(source));
  return static_cast<EventSource>(slot + 1);
}

bool reportEvent(EventSource source, uint16_t type, uint16_t category, uint32_t eventId,
                 const std::vector<const char16_t*>& strings, const void* data, size_t dataSize) {
  std::string message = "event " + std::to_string(eventId) + ", category " + std::to_string(category);
  for (size_t i = 0; i < strings.size(); ++i) message += (i == 0 ? ": " : " ") + toUtf8(strings[i]);
  if (dataSize > 0) {
    message += "; data: ";
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < dataSize; ++i) {
      char hex[3];
      snprintf(hex, sizeof hex, "%02x", bytes[i]);
      message += hex;
    }
  }
  std::lock_guard<std::mutex> hold(sourcesLock);
  if (source <= 0 || static_cast<size_t>(source) > sources.size() || sources[source - 1] == nullptr) return false;
  // openlog keeps the pointer to the name, and the process has one name for
  // all its messages: set for this message, and taken back by closelog
  // before the name can go away.
  openlog(sources[source - 1]->c_str(), LOG_PID, LOG_USER);
  syslog(priorityOf(type), "%s", message.c_str());
  closelog();
  return true;
}

void deregisterEventSource(EventSource source) {
  std::lock_guard<std::mutex> hold(sourcesLock);
  if (source > 0 && static_cast<size_t>(source) <= sources.size()) sources[source - 1].reset();
}

}  // namespace platform
}  // namespace xoq
