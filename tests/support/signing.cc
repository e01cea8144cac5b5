#include "support/signing.h"

#include "support/process.h"

namespace xoq {
namespace testing {

std::string signWithThrowAwayCertificate(const std::string& directory, const std::string& input,
                                         const std::string& output) {
  RunOptions options;
  options.timeoutSeconds = 120;
  const ProcessResult made =
      runProcess({"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=xoq test",
                  "-keyout", directory + "/key.pem", "-out", directory + "/cert.pem"},
                 options);
  if (made.exitCode != 0) return "openssl: " + made.out + made.err;
  const ProcessResult signing = runProcess({"osslsigncode", "sign", "-certs", directory + "/cert.pem", "-key",
                                            directory + "/key.pem", "-n", "xoq test", "-in", input, "-out", output},
                                           options);
  if (signing.exitCode != 0) return "osslsigncode: " + signing.out + signing.err;
  return std::string();
}

}  // namespace testing
}  // namespace xoq
