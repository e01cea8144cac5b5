// Builds packaged executables in memory for tests that must not depend on
// xoqpack: an image, the configuration block with its NUL and length, a
// 16-byte integrity value, a ZIP archive and a comment.
#ifndef XOQ_TESTS_SUPPORT_PAYLOAD_BUILDER_H_
#define XOQ_TESTS_SUPPORT_PAYLOAD_BUILDER_H_

#include <cstdint>
#include <string>

namespace xoq {
namespace testing {

/// The smallest valid ZIP archive: an end record and nothing else.
std::string emptyZipArchive();

struct BuiltPayload {
  std::string file;            // the whole executable
  uint32_t archiveLength = 0;  // what xoqpack would patch into the image
};

/// `image` + `block` + NUL + configLength + 16 zero bytes + `archive` + `comment`.
BuiltPayload buildPayloadFile(const std::string& image, const std::string& block,
                              const std::string& archive = emptyZipArchive(), const std::string& comment = "");

}  // namespace testing
}  // namespace xoq

#endif  // XOQ_TESTS_SUPPORT_PAYLOAD_BUILDER_H_
