#include "launcher/integrity_check.h"

#include <gtest/gtest.h>

#include <string>

#include "archive/integrity.h"
#include "config/payload.h"
#include "support/files.h"
#include "support/payload_builder.h"

namespace xoq {
namespace {

// A packaged file on disk with its integrity value stored, as xoqpack
// writes it.
class IntegrityCheck : public ::testing::Test {
 protected:
  void SetUp() override {
    const testing::BuiltPayload built =
        testing::buildPayloadFile(std::string(4096, 'I'), "\xEF\xBB\xBFmainclass a.B\r\n");
    std::string file = built.file;
    archiveLength_ = built.archiveLength;
    const auto* bytes = reinterpret_cast<const uint8_t*>(file.data());
    const PayloadLayout layout = computePayloadLayout(bytes, file.size(), archiveLength_);
    ASSERT_TRUE(layout.fits);
    const IntegrityValue value = computeIntegrityValue(bytes, layout);
    file.replace(static_cast<size_t>(layout.payloadPosition), value.size(),
                 std::string(reinterpret_cast<const char*>(value.data()), value.size()));
    file_ = file;
    path_ = dir_.file("app");
    testing::writeFile(path_, file_);
  }

  testing::TempDir dir_;
  std::string file_;
  std::string path_;
  uint32_t archiveLength_ = 0;
};

TEST_F(IntegrityCheck, IntactChangedAndUnpackaged) {
  EXPECT_EQ(checkIntegrity(path_, archiveLength_), IntegrityStatus::kIntact);
  // Whatever the file holds, an image that was never packaged has nothing
  // to check: unit tests and bare templates run unchecked.
  EXPECT_EQ(checkIntegrity(path_, 0), IntegrityStatus::kNoPayload);

  std::string changed = file_;
  changed[100] = 'J';
  testing::writeFile(path_, changed);
  EXPECT_EQ(checkIntegrity(path_, archiveLength_), IntegrityStatus::kDamaged);

  // A length that does not fit the file, a cut file, an empty or missing one.
  testing::writeFile(path_, file_);
  EXPECT_EQ(checkIntegrity(path_, archiveLength_ + 1), IntegrityStatus::kDamaged);
  testing::writeFile(path_, file_.substr(0, file_.size() - 1));
  EXPECT_EQ(checkIntegrity(path_, archiveLength_), IntegrityStatus::kDamaged);
  testing::writeFile(path_, "");
  EXPECT_EQ(checkIntegrity(path_, archiveLength_), IntegrityStatus::kDamaged);
  // A file that cannot be opened is not called damaged.
  EXPECT_EQ(checkIntegrity(dir_.file("missing"), archiveLength_), IntegrityStatus::kUnreadable);
  EXPECT_EQ(checkIntegrity("", archiveLength_), IntegrityStatus::kUnreadable);
}

}  // namespace
}  // namespace xoq
