// The one way xoqpack refuses bad input, as a test expects it.
#ifndef XOQ_TESTS_SUPPORT_REFUSAL_H_
#define XOQ_TESTS_SUPPORT_REFUSAL_H_

#include <string>
#include <vector>

namespace xoq {
namespace testing {

/// Expects xoqpack to refuse `arguments` within 1 GB of address space: a
/// non-zero exit, one line on standard error that starts with "xoqpack: "
/// and mentions `mention`, and neither `output` nor a temporary file beside
/// it. `limitMemory` false lifts the limit, for refusals that come from
/// the JDK's tools, whose virtual machines reserve more.
void expectXoqpackRefuses(const std::vector<std::string>& arguments, const std::string& output,
                          const std::string& mention, bool limitMemory = true);

}  // namespace testing
}  // namespace xoq

#endif  // XOQ_TESTS_SUPPORT_REFUSAL_H_
