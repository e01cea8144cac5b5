// What a Java runtime says about itself in its `release` file, read without
// starting it: the launcher picks some options by the runtime's version.
#ifndef XOQ_RUNTIME_RUNTIME_RELEASE_H_
#define XOQ_RUNTIME_RUNTIME_RELEASE_H_

#include <string>

namespace xoq {

struct RuntimeRelease {
  std::string version;  // JAVA_VERSION, such as 17.0.15 or 1.8.0_402
  int feature = 0;      // 17, 8, ...; 0 when unknown
};

/// The feature version of a JAVA_VERSION value: 17 for 17.0.15, 25 for 25,
/// 8 for 1.8.0_402; 0 when the text does not begin with a number.
int featureVersion(const std::string& version);

/// Orders two JAVA_VERSION values: negative when `a` is older than `b`,
/// zero when they name the same version, positive when `a` is newer. Each is
/// read as up to four numbers, major.minor.security_update (1.8.0_402,
/// 17.0.15, 25), a missing number counting as 0; a value that does not
/// begin with a number is older than any that does.
int compareJavaVersions(const std::string& a, const std::string& b);

/// Reads the `release` file of the runtime whose virtual machine library is
/// `libraryPath`: the first such file in the library's folder or up to four
/// folders above it (lib/server, bin/server, jre/lib/amd64/server layouts).
/// An empty result when there is none or it names no JAVA_VERSION.
RuntimeRelease readRuntimeRelease(const std::string& libraryPath);

}  // namespace xoq

#endif  // XOQ_RUNTIME_RUNTIME_RELEASE_H_
