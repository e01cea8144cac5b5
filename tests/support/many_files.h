// A folder of 70,000 small files and a jar made of them by the JDK's own jar
// tool, which writes the ZIP64 end records: archives larger than the 65535
// entries a plain ZIP end record counts.
#ifndef XOQ_TESTS_SUPPORT_MANY_FILES_H_
#define XOQ_TESTS_SUPPORT_MANY_FILES_H_

#include <string>

namespace xoq {
namespace testing {

constexpr int kManyFiles = 70000;

struct ManyFiles {
  std::string folder;  // f0.txt ... f69999.txt, each holding its own name without ".txt"
  std::string jar;     // the same files, stored, made by `jar` of `jdkHome`
};

/// Made once per process under the system's temporary folder (removed at
/// exit); empty paths when the jar tool failed.
const ManyFiles& manyFiles(const std::string& jdkHome);

}  // namespace testing
}  // namespace xoq

#endif  // XOQ_TESTS_SUPPORT_MANY_FILES_H_
