// The entry time stamp: the moment of SOURCE_DATE_EPOCH as UTC fields,
// whatever the machine's time zone.
#include "entry_time.h"

#include <gtest/gtest.h>

namespace xoq {
namespace {

std::string fields(const DosTime& time) {
  char text[32];
  snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", 1980 + (time.date >> 9), (time.date >> 5) & 15,
           time.date & 31, time.time >> 11, (time.time >> 5) & 63, (time.time & 31) * 2);
  return text;
}

TEST(EntryTime, SourceDateEpochIsTheMomentInUtc) {
  DosTime time;
  std::string error;
  ASSERT_TRUE(entryTimeFromSourceDateEpoch("1700000001", time, error)) << error;
  EXPECT_EQ(fields(time), "2023-11-14 22:13:20");  // odd seconds round down
  ASSERT_TRUE(entryTimeFromSourceDateEpoch("951782400", time, error));
  EXPECT_EQ(fields(time), "2000-02-29 00:00:00");
  ASSERT_TRUE(entryTimeFromSourceDateEpoch("4107542399", time, error));
  EXPECT_EQ(fields(time), "2100-02-28 23:59:58");  // 2100 is no leap year
  // What the form cannot hold is held at its ends.
  ASSERT_TRUE(entryTimeFromSourceDateEpoch("0", time, error));
  EXPECT_EQ(fields(time), "1980-01-01 00:00:00");
  EXPECT_EQ(time.date, kFixedEntryTime.date);
  EXPECT_EQ(time.time, kFixedEntryTime.time);
  ASSERT_TRUE(entryTimeFromSourceDateEpoch("99999999999", time, error));
  EXPECT_EQ(fields(time), "2107-12-31 23:59:58");
}

TEST(EntryTime, AnythingButDecimalSecondsIsRefused) {
  DosTime time;
  for (const char* value : {"", "-1", "1.5", " 17", "17 ", "0x10", "2023-01-01", "1234567890123456789"}) {
    std::string error;
    EXPECT_FALSE(entryTimeFromSourceDateEpoch(value, time, error)) << value;
    EXPECT_NE(error.find("SOURCE_DATE_EPOCH"), std::string::npos) << error;
  }
}

}  // namespace
}  // namespace xoq
