#include "support/refusal.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "support/packaging.h"

namespace xoq {
namespace testing {

void expectXoqpackRefuses(const std::vector<std::string>& arguments, const std::string& output,
                          const std::string& mention, bool limitMemory) {
  // Refusing takes little memory: input that claims gigabytes is refused
  // before they are asked for, not by running out of them.
  const ProcessResult result =
      runXoqpack(arguments, limitMemory ? std::vector<std::string>{"-v 1048576"} : std::vector<std::string>{}, 600);
  EXPECT_NE(result.exitCode, 0) << result.err;
  EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
  EXPECT_EQ(result.err.rfind("xoqpack: ", 0), 0u) << result.err;
  EXPECT_NE(result.err.find(mention), std::string::npos) << result.err;
  struct stat info;
  EXPECT_NE(stat(output.c_str(), &info), 0) << "an output file was left behind: " << output;
  std::error_code code;
  const std::filesystem::path directory = std::filesystem::path(output).parent_path();
  for (std::filesystem::directory_iterator it(directory, code), end; !code && it != end; it.increment(code)) {
    EXPECT_EQ(it->path().filename().string().find(".xoqpack-"), std::string::npos) << it->path();
  }
}

}  // namespace testing
}  // namespace xoq
