// event_log_report: makes the calls that the EventLog natives make, with
// what the natives would hand over for a few Java calls, so that a test can
// read under WINEDEBUG=+eventlog what the event log received (no Windows
// Java runtime exists here to call the natives themselves). Prints the
// source handles it got.
#include <cstdio>
#include <string>
#include <vector>

#include "eventlog/event_log_natives.h"
#include "platform/event_log.h"
#include "platform/platform.h"

using xoq::platform::EventSource;

int main() {
  xoq::platform::selectUserLocale();
  // new EventLog(): the executable's file name, on this computer.
  const std::u16string ownName = xoq::defaultEventSourceName(xoq::platform::modulePath());
  const EventSource own = xoq::platform::registerEventSource(nullptr, ownName.c_str());
  // new EventLog("\\\\records", "Notes Grüße").
  const EventSource named = xoq::platform::registerEventSource(u"\\\\records", u"Notes Gr\u00fc\u00dfe");
  printf("own=%lld named=%lld\n", static_cast<long long>(own), static_cast<long long>(named));

  // reportEvent(INFORMATION, 0, 1000): no strings, no data.
  xoq::platform::reportEvent(own, 4, 0, 1000, {}, nullptr, 0);
  // reportEvent(WARNING, 3, 1001, {"first", null, "Grüße 😀", "日本"}, {1, 2, 0xff}): a null
  // element arrives as an empty string.
  const std::vector<const char16_t*> strings = {u"first", u"", u"Gr\u00fc\u00dfe \U0001F600", u"\u65e5\u672c"};
  const unsigned char data[] = {1, 2, 0xff};
  xoq::platform::reportEvent(named, 2, 3, 1001, strings, data, sizeof data);
  // reportEvent(ERROR, 7, 0xC0000005, "only", new byte[0]): one string, no data.
  xoq::platform::reportEvent(named, 1, 7, 0xC0000005u, {u"only"}, data, 0);
  xoq::platform::deregisterEventSource(named);
  xoq::platform::deregisterEventSource(own);
  return 0;
}
