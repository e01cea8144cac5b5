#include "runtime/vm_context.h"

#include <gtest/gtest.h>

namespace xoq {
namespace {

TEST(VersionRange, LowerBound) {
  EXPECT_EQ(checkVersionRange("1.6.0_45", "1.6", ""), 0);
  EXPECT_EQ(checkVersionRange("1.6.0_20", "1.6.0_45", ""), 6);
  // Only the fields both have are compared.
  EXPECT_EQ(checkVersionRange("1.6.0", "1.6.0_45", ""), 0);
  EXPECT_EQ(checkVersionRange("9", "1.6", ""), 0);
  EXPECT_EQ(checkVersionRange("1.5.0_99", "1.6", ""), 6);
  EXPECT_EQ(checkVersionRange("17.0.15", "17.0.16", ""), 6);
}

TEST(VersionRange, UpperBound) {
  EXPECT_EQ(checkVersionRange("1.7.0_01", "", "1.6"), 12);
  EXPECT_EQ(checkVersionRange("1.6.0_99", "", "1.6"), 0);
  EXPECT_EQ(checkVersionRange("10.0.1", "", "1.8"), 12);
  EXPECT_EQ(checkVersionRange("25", "1.8", "25"), 0);
  EXPECT_EQ(checkVersionRange("1.8.0_1", "1.6", "1.7"), 12);
}

TEST(VersionRange, BoundsThatAreNoNumbers) {
  EXPECT_EQ(checkVersionRange("1.4", "x1.6", ""), 0);
  EXPECT_EQ(checkVersionRange("99", "", "latest"), 0);
  // A version that is no number passes whatever the bounds.
  EXPECT_EQ(checkVersionRange("unknown", "1.6", "1.8"), 0);
  EXPECT_EQ(checkVersionRange("", "1.6", "1.8"), 0);
}

TEST(VmOptions, AddedInOrderEachWithItsNul) {
  VmContext context;
  addVmOption(context, "-Xmx512m -Xms64m");
  addVmOption(context, "");
  addVmOption(context, "-Da=b");
  ASSERT_EQ(context.optionOffsets.size(), 3u);
  EXPECT_STREQ(context.optionText.c_str() + context.optionOffsets[0], "-Xmx512m -Xms64m");
  EXPECT_STREQ(context.optionText.c_str() + context.optionOffsets[1], "");
  EXPECT_STREQ(context.optionText.c_str() + context.optionOffsets[2], "-Da=b");
}

TEST(VmCreation, UnloadableLibraryGivesTwoAndEmptiesTheOptions) {
  VmContext context;
  addVmOption(context, "-Da=b");
  EXPECT_EQ(createVm(context, "no/such/library"), 2);
  EXPECT_TRUE(context.optionOffsets.empty());
  EXPECT_TRUE(context.optionText.empty());
  EXPECT_EQ(context.vm, nullptr);
  releaseVm(context);  // nothing to release, and safe
  releaseVm(context);
}

}  // namespace
}  // namespace xoq
