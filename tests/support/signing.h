// Authenticode signing for the tests, with osslsigncode and a throw-away
// certificate made by openssl for the one test.
#ifndef XOQ_TESTS_SUPPORT_SIGNING_H_
#define XOQ_TESTS_SUPPORT_SIGNING_H_

#include <string>

namespace xoq {
namespace testing {

/// Signs `input` into `output` with a new self-signed certificate, written
/// to `directory` as cert.pem (for osslsigncode verify -CAfile) and
/// key.pem. Returns the tools' output on failure, empty on success.
std::string signWithThrowAwayCertificate(const std::string& directory, const std::string& input,
                                         const std::string& output);

}  // namespace testing
}  // namespace xoq

#endif  // XOQ_TESTS_SUPPORT_SIGNING_H_
