// Shared by the tests of the resources xoqpack writes: sample inputs made
// with ImageMagick, and packaging with every resource option.
#ifndef XOQ_TESTS_E2E_WINDOWS_RESOURCES_FIXTURE_H_
#define XOQ_TESTS_E2E_WINDOWS_RESOURCES_FIXTURE_H_

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/files.h"
#include "support/packaging.h"

namespace xoq {
namespace testing {

class Resources : public ::testing::TestWithParam<Target> {
 protected:
  /// Makes an image with ImageMagick; `name` may start with its format
  /// ("BMP3:name.bmp"). Returns the file's path.
  std::string makeImage(const std::string& name, const std::vector<std::string>& arguments) {
    const size_t colon = name.find(':');
    const std::string file = dir_.file(name.substr(colon + 1));
    std::vector<std::string> command = {"convert"};
    command.insert(command.end(), arguments.begin(), arguments.end());
    command.push_back(name.substr(0, colon + 1) + file);
    const ProcessResult made = runProcess(command);
    EXPECT_EQ(made.exitCode, 0) << made.err;
    return file;
  }

  std::string bmp() { return makeImage("BMP3:splash.bmp", {"-size", "120x80", "gradient:navy-gold"}); }
  std::string png() { return makeImage("splash.png", {"-size", "64x48", "plasma:fractal", "-seed", "1"}); }
  /// Four images of 32 bits; the 256-pixel one PNG-compressed, as
  /// ImageMagick writes it.
  std::string ico() {
    return makeImage("app.ico", {"-size", "256x256", "plasma:fractal", "-seed", "2", "-alpha", "set", "-depth", "8",
                                 "-define", "icon:auto-resize=256,48,32,16"});
  }

  std::string pack(const std::string& name, const std::vector<std::string>& options, Target target) {
    const std::string output = packageWith(target, dir_.file(name), "jre_order c\r\nmainclass a.Main\r\n", options);
    EXPECT_FALSE(output.empty());
    return output;
  }

  /// Every resource option, with the sample inputs.
  std::vector<std::string> everyOption() {
    return {"--icon",
            ico(),
            "--file-version",
            "1.4.2",
            "--product-version",
            "1.4",
            "--product",
            "Notes",
            "--company",
            "Example Ltd",
            "--description",
            "Notes for everyone",
            "--copyright",
            "\xC2\xA9 2024 Example Ltd",
            "--internal-name",
            "notes",
            "--execution-level",
            "highestAvailable",
            "--splash-bitmap",
            bmp(),
            "--splash-image",
            png()};
  }

  /// The value that follows `option` in `options`.
  static std::string valueOf(const std::vector<std::string>& options, const std::string& option) {
    for (size_t i = 0; i + 1 < options.size(); ++i) {
      if (options[i] == option) return options[i + 1];
    }
    return std::string();
  }

  TempDir dir_;
};

}  // namespace testing
}  // namespace xoq

#endif  // XOQ_TESTS_E2E_WINDOWS_RESOURCES_FIXTURE_H_
