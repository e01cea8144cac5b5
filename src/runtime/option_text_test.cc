#include "runtime/option_text.h"

#include <gtest/gtest.h>

namespace xoq {
namespace {

RuntimeRelease release(const std::string& version) {
  RuntimeRelease made;
  made.version = version;
  made.feature = featureVersion(version);
  return made;
}

TEST(OptionText, RuntimesThatReadSystemPropertiesInTheLegacyCodePage) {
  for (const char* version : {"1.8.0_402", "9.0.4", "11", "11.0.2", "11.0.16", "12.0.2", "16.0.2", "17", "17.0.4"}) {
    EXPECT_TRUE(readsOptionsInLegacyCodePage(release(version))) << version;
  }
  for (const char* version : {"11.0.17", "11.0.25", "17.0.5", "17.0.15", "18", "21.0.1", "25"}) {
    EXPECT_FALSE(readsOptionsInLegacyCodePage(release(version))) << version;
  }
  // A runtime of unknown version is taken for a current one.
  EXPECT_FALSE(readsOptionsInLegacyCodePage(release("")));
}

}  // namespace
}  // namespace xoq
