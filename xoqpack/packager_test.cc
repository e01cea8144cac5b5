#include "packager.h"

#include <gtest/gtest.h>

#include <string>

#include "runtime/runtime_search.h"

namespace xoq {
namespace {

// The order xoqpack writes must name only letters the launcher searches
// by: a letter it did not know would be skipped without a word.
TEST(PackagedRuntimeOrder, EveryLetterIsOneTheLauncherSearchesByAndTheCarriedRuntimeComesFirst) {
  for (bool carried : {false, true}) {
    const std::string order = packagedRuntimeOrder(carried);
    ASSERT_FALSE(order.empty());
    EXPECT_EQ(runtimeSearchOrder(order), order);
    for (char letter : order) EXPECT_EQ(runtimeSearchOrder(std::string(1, letter)), std::string(1, letter)) << letter;
  }
  EXPECT_EQ(packagedRuntimeOrder(false), kPackagedRuntimeOrder);
  EXPECT_EQ(packagedRuntimeOrder(false).find('p'), std::string::npos);
  EXPECT_EQ(packagedRuntimeOrder(true), std::string("p") + kPackagedRuntimeOrder);
}

}  // namespace
}  // namespace xoq
