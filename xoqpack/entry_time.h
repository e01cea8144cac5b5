// The one time stamp that every entry xoqpack writes carries. xoqpack never
// reads the clock or a file's time, so the same inputs give the same bytes
// whenever and wherever they are packed: the stamp is a fixed moment, or the
// moment SOURCE_DATE_EPOCH names (the reproducible-builds convention).
#ifndef XOQPACK_ENTRY_TIME_H_
#define XOQPACK_ENTRY_TIME_H_

#include <cstdint>
#include <string>

namespace xoq {

/// The two 16-bit fields of a ZIP entry's time stamp (MS-DOS form).
struct DosTime {
  uint16_t time = 0;
  uint16_t date = 0;
};

/// 1980-01-01 00:00:00, the first moment the form can hold.
constexpr DosTime kFixedEntryTime = {0, (0 << 9) | (1 << 5) | 1};

/// The moment `seconds` after 1970-01-01 00:00:00 UTC, as the fields of that
/// moment in UTC (so that no time zone changes them), in two-second steps
/// rounded down; a moment before 1980 gives the first the form holds, one
/// after 2107 the last.
DosTime dosTimeOf(int64_t seconds);

/// The entry time that the value of SOURCE_DATE_EPOCH asks for: decimal
/// seconds since 1970-01-01 00:00:00 UTC. False with a one-line `error` for
/// anything else, since a build that sets it wants that moment and no
/// other.
bool entryTimeFromSourceDateEpoch(const std::string& value, DosTime& time, std::string& error);

}  // namespace xoq

#endif  // XOQPACK_ENTRY_TIME_H_
