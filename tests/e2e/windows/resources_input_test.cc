// Bad input for the resource options: one line, no output file.
#include <gtest/gtest.h>

#include <string>

#include "e2e/windows/resources_fixture.h"
#include "support/refusal.h"

namespace xoq {
namespace testing {
namespace {

class ResourceInput : public Resources {
 protected:
  void refuse(const std::string& option, const std::string& bytes, const std::string& mention) {
    writeFile(dir_.file("input"), bytes);
    const std::string output = dir_.file("out.exe");
    expectXoqpackRefuses({"--target", "windows", option, dir_.file("input"), "--output", output}, output, mention);
  }
  void refuseValue(const std::vector<std::string>& options, const std::string& mention,
                   const std::string& target = "windows") {
    const std::string output = dir_.file("out.exe");
    std::vector<std::string> arguments = {"--target", target, "--output", output};
    arguments.insert(arguments.end(), options.begin(), options.end());
    expectXoqpackRefuses(arguments, output, mention);
  }
};

TEST_F(ResourceInput, BrokenImagesAreRefused) {
  const std::string good = readFile(bmp());
  std::string jpegInside = good;
  jpegInside[14 + 16] = 4;  // BI_JPEG
  std::string deep = good;
  deep[14 + 14] = 7;  // no such colour depth
  refuse("--splash-bitmap", readFile(png()), "is not a BMP file");
  refuse("--splash-bitmap", jpegInside, "JPEG or PNG inside");
  refuse("--splash-bitmap", good.substr(0, good.size() - 100), "cut short");
  refuse("--splash-bitmap", deep, "colour depth of 7 bits");
  refuse("--splash-image", good, "not a JPEG, PNG or GIF");
  refuse("--splash-image", "", "not a JPEG, PNG or GIF");

  const std::string icon = readFile(ico());
  std::string cursor = icon;
  cursor[2] = 2;
  std::string badImage = icon;
  badImage.replace(6 + 12, 4, std::string("\x06\x00\x00\x00", 4));  // the first image starts at the header
  refuse("--icon", icon.substr(0, icon.size() - 10), "cut short");
  refuse("--icon", icon.substr(0, 30), "cut short in its list of images");
  refuse("--icon", cursor, "is a cursor");
  refuse("--icon", badImage, "neither a bitmap nor a PNG");
  refuse("--icon", readFile(png()), "is not an icon");
  refuseValue({"--icon", dir_.file("missing.ico")}, "missing.ico");
}

TEST_F(ResourceInput, VersionsLevelsAndOptionsForTheWrongTargetAreRefused) {
  refuseValue({"--file-version", ""}, "--file-version needs a value");
  for (const char* version : {"70000", "1.2.3.4.5", "1..2", "1.x", "-1", "1.2."}) {
    refuseValue({"--file-version", version}, "not a version of up to four numbers");
    refuseValue({"--product-version", version}, "--product-version");
  }
  refuseValue({"--execution-level", "administrator"}, "is not one of asInvoker");
  // A Linux executable has no Windows resources.
  const std::string icon = ico();
  for (const std::vector<std::string>& options :
       std::vector<std::vector<std::string>>{{"--icon", icon},
                                             {"--file-version", "1.0"},
                                             {"--company", "X"},
                                             {"--no-dpi-aware"},
                                             {"--utf8-code-page"},
                                             {"--execution-level", "asInvoker"}}) {
    refuseValue(options, options[0] + " is for the Windows targets", "linux");
  }
}

}  // namespace
}  // namespace testing
}  // namespace xoq
