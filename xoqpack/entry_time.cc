#include "entry_time.h"

namespace xoq {

namespace {

// The civil date of a day counted from 1970-01-01, in the proleptic
// Gregorian calendar (H. Hinnant's algorithm).
void civilFromDays(int64_t days, int64_t& year, unsigned& month, unsigned& day) {
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const unsigned dayOfEra = static_cast<unsigned>(days - era * 146097);
  const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const unsigned shiftedMonth = (5 * dayOfYear + 2) / 153;
  day = dayOfYear - (153 * shiftedMonth + 2) / 5 + 1;
  month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
  year = static_cast<int64_t>(yearOfEra) + era * 400 + (month <= 2 ? 1 : 0);
}

// 1980-01-01 00:00:00 and 2107-12-31 23:59:58 UTC.
constexpr int64_t kFirstDosSecond = 315532800;
constexpr int64_t kLastDosSecond = 4354819198;

}  // namespace

DosTime dosTimeOf(int64_t seconds) {
  if (seconds < kFirstDosSecond) seconds = kFirstDosSecond;
  if (seconds > kLastDosSecond) seconds = kLastDosSecond;
  const int64_t days = seconds / 86400;
  const unsigned ofDay = static_cast<unsigned>(seconds % 86400);
  int64_t year = 0;
  unsigned month = 0;
  unsigned day = 0;
  civilFromDays(days, year, month, day);
  DosTime time;
  time.date = static_cast<uint16_t>((year - 1980) << 9 | month << 5 | day);
  time.time = static_cast<uint16_t>((ofDay / 3600) << 11 | (ofDay / 60 % 60) << 5 | (ofDay % 60) / 2);
  return time;
}

bool entryTimeFromSourceDateEpoch(const std::string& value, DosTime& time, std::string& error) {
  int64_t seconds = 0;
  bool digits = !value.empty() && value.size() <= 18;
  for (const char c : value) {
    if (c < '0' || c > '9') {
      digits = false;
      break;
    }
    seconds = seconds * 10 + (c - '0');
  }
  if (!digits) {
    error = "SOURCE_DATE_EPOCH is \"" + value + "\", not a number of seconds since 1970-01-01 00:00:00 UTC";
    return false;
  }
  time = dosTimeOf(seconds);
  return true;
}

}  // namespace xoq
