#include <windows.h>

#include "platform/event_log.h"

namespace xoq {
namespace platform {

namespace {

// Java's UTF-16 units are Windows' wide characters, unchanged.
LPCWSTR wide(const char16_t* text) { return reinterpret_cast<LPCWSTR>(text); }

}  // namespace

EventSource registerEventSource(const char16_t* server, const char16_t* source) {
  return reinterpret_cast<EventSource>(RegisterEventSourceW(wide(server), wide(source)));
}

bool reportEvent(EventSource source, uint16_t type, uint16_t category, uint32_t eventId,
                 const std::vector<const char16_t*>& strings, const void* data, size_t dataSize) {
  std::vector<LPCWSTR> pointers;
  for (const char16_t* text : strings) pointers.push_back(wide(text));
  // The count is a 16-bit field; more strings than it holds are left out.
  const WORD count = pointers.size() > 0xFFFF ? 0xFFFF : static_cast<WORD>(pointers.size());
  return ReportEventW(reinterpret_cast<HANDLE>(source), type, category, eventId, nullptr, count,
                      static_cast<DWORD>(dataSize), pointers.empty() ? nullptr : pointers.data(),
                      dataSize == 0 ? nullptr : const_cast<void*>(data)) != 0;
}

void deregisterEventSource(EventSource source) { DeregisterEventSource(reinterpret_cast<HANDLE>(source)); }

}  // namespace platform
}  // namespace xoq
