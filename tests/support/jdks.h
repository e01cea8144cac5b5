// The Java runtimes installed on this machine, for tests that run against
// each of them.
#ifndef XOQ_TESTS_SUPPORT_JDKS_H_
#define XOQ_TESTS_SUPPORT_JDKS_H_

#include <map>
#include <string>
#include <vector>

namespace xoq {
namespace testing {

/// The homes under /usr/lib/jvm that hold a virtual machine library, each
/// once (links to the same home count once), sorted.
std::vector<std::string> installedJdkHomes();

/// A test parameter name for a home: its folder name, letters and digits.
std::string jdkParameterName(const std::string& home);

/// The JAVA_VERSION of a home's release file, or empty.
std::string jdkVersion(const std::string& home);

/// "key=value" lines of a program's output as a map (the last value wins).
std::map<std::string, std::string> parseKeyValues(const std::string& output);

}  // namespace testing
}  // namespace xoq

#endif  // XOQ_TESTS_SUPPORT_JDKS_H_
