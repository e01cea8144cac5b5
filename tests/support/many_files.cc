#include "support/many_files.h"

#include <cstdio>

#include "support/files.h"
#include "support/process.h"

namespace xoq {
namespace testing {

const ManyFiles& manyFiles(const std::string& jdkHome) {
  static TempDir dir;  // removed at exit
  static ManyFiles made;
  if (!made.folder.empty()) return made;
  const std::string folder = dir.file("many");
  for (int i = 0; i < kManyFiles; ++i) {
    const std::string name = "f" + std::to_string(i);
    writeFile(folder + "/" + name + ".txt", name);
  }
  RunOptions options;
  options.timeoutSeconds = 300;
  const std::string jar = dir.file("big.jar");
  const ProcessResult result =
      runProcess({jdkHome + "/bin/jar", "--create", "--no-compress", "--file", jar, "-C", folder, "."}, options);
  if (result.exitCode != 0) {
    fprintf(stderr, "jar failed: %s\n", result.err.c_str());
    return made;
  }
  made.folder = folder;
  made.jar = jar;
  return made;
}

}  // namespace testing
}  // namespace xoq
