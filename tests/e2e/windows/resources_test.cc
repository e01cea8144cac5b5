// The resources xoqpack writes into the Windows launchers, as readers that
// are not ours see them: Debian's python3-pefile, icoutils' wrestool, and
// Wine, which loads and starts the result. Test images are made with
// ImageMagick.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "archive/payload.h"
#include "support/files.h"
#include "support/packaging.h"

namespace xoq {
namespace testing {
namespace {

const char kPython[] = "/usr/bin/python3";  // the one with Debian's pefile

// What tools/pe_resources.py prints about a file, with the resources'
// bytes dumped beside it.
struct PefileView {
  struct Section {
    std::string name;
    uint64_t address = 0, virtualSize = 0, rawOffset = 0, rawSize = 0;
  };
  std::string checksum;  // "STORED COMPUTED VALID"
  uint64_t sizeOfImage = 0, initializedData = 0;
  std::vector<Section> sections;
  std::vector<std::string> resources;  // "TYPE NAME LANGUAGE"
  std::vector<std::string> warnings;
  std::string dumpDirectory;

  const Section* section(const std::string& name) const {
    for (const Section& s : sections) {
      if (s.name == name) return &s;
    }
    return nullptr;
  }
  std::string data(const std::string& type, const std::string& name, const std::string& language) const {
    return readFile(dumpDirectory + "/" + type + "-" + name + "-" + language + ".bin");
  }
};

PefileView readWithPefile(const std::string& file, const std::string& dumpDirectory) {
  writeFile(dumpDirectory + "/.keep", "");
  const ProcessResult result = runProcess(
      {kPython, std::string(XOQ_SOURCE_DIR) + "/tests/e2e/windows/tools/pe_resources.py", file, dumpDirectory});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  PefileView view;
  view.dumpDirectory = dumpDirectory;
  std::istringstream lines(result.out);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string kind;
    fields >> kind;
    const std::string rest = line.size() > kind.size() ? line.substr(kind.size() + 1) : std::string();
    if (kind == "checksum") view.checksum = rest;
    if (kind == "image") fields >> view.sizeOfImage >> view.initializedData;
    if (kind == "warning") view.warnings.push_back(rest);
    if (kind == "resource") view.resources.push_back(rest.substr(0, rest.rfind(' ', rest.rfind(' ') - 1)));
    if (kind == "section") {
      PefileView::Section s;
      fields >> s.name >> s.address >> s.virtualSize >> s.rawOffset >> s.rawSize;
      view.sections.push_back(s);
    }
  }
  return view;
}

// Makes an image with ImageMagick; `name` may start with its format
// ("BMP3:name.bmp"). Returns the file's path.
std::string makeImage(const TempDir& dir, const std::string& name, const std::vector<std::string>& arguments) {
  const size_t colon = name.find(':');
  const std::string file = dir.file(name.substr(colon + 1));
  std::vector<std::string> command = {"convert"};
  command.insert(command.end(), arguments.begin(), arguments.end());
  command.push_back(name.substr(0, colon + 1) + file);
  const ProcessResult made = runProcess(command);
  EXPECT_EQ(made.exitCode, 0) << made.err;
  return file;
}

class WindowsResources : public ::testing::TestWithParam<Target> {
 protected:
  std::string pack(const std::string& name, const std::vector<std::string>& options, Target target) {
    const std::string output = packageWith(target, dir_.file(name), "jre_order c\r\nmainclass a.Main\r\n", options);
    EXPECT_FALSE(output.empty());
    return output;
  }

  std::string bmp() { return makeImage(dir_, "BMP3:splash.bmp", {"-size", "120x80", "gradient:navy-gold"}); }
  std::string png() { return makeImage(dir_, "splash.png", {"-size", "64x48", "plasma:fractal", "-seed", "1"}); }

  TempDir dir_;
};

TEST_P(WindowsResources, PefileSeesTheSplashResourcesInAnOtherwiseUnchangedImage) {
  const std::string bitmap = bmp();
  const std::string image = png();
  const std::string exe = pack("app.exe", {"--splash-bitmap", bitmap, "--splash-image", image}, GetParam());
  const PefileView before = readWithPefile(templatePath(GetParam()), dir_.file("template"));
  const PefileView after = readWithPefile(exe, dir_.file("packaged"));

  // The checksum is the one Windows computes over the whole file.
  std::istringstream checksum(after.checksum);
  std::string stored, computed, valid;
  checksum >> stored >> computed >> valid;
  EXPECT_EQ(stored, computed);
  EXPECT_EQ(valid, "True");
  EXPECT_TRUE(after.warnings.empty()) << after.warnings.front();

  // Every section keeps its bytes and address; the old resource section,
  // renamed, too. The new one follows them all. (The archive length field
  // is the one thing packaging changes in any launcher.)
  ASSERT_EQ(after.sections.size(), before.sections.size() + 1);
  const std::string original = readFile(templatePath(GetParam()));
  std::string packaged = readFile(exe);
  const size_t marker = packaged.find(std::string(kArchiveLengthMarker, kArchiveLengthMarkerSize));
  ASSERT_NE(marker, std::string::npos);
  packaged.replace(marker - 8, 8, 8, '\0');
  uint64_t end = 0;
  for (size_t i = 0; i < before.sections.size(); ++i) {
    const PefileView::Section& old = before.sections[i];
    const PefileView::Section& now = after.sections[i];
    EXPECT_EQ(now.name, old.name == ".rsrc" ? ".oldrsrc" : old.name);
    EXPECT_EQ(now.address, old.address) << old.name;
    EXPECT_EQ(now.rawOffset, old.rawOffset) << old.name;
    EXPECT_EQ(now.rawSize, old.rawSize) << old.name;
    EXPECT_TRUE(packaged.compare(now.rawOffset, now.rawSize, original, old.rawOffset, old.rawSize) == 0) << old.name;
    end = std::max(end, old.address + std::max(old.virtualSize, old.rawSize));
  }
  const PefileView::Section& added = after.sections.back();
  EXPECT_EQ(added.name, ".rsrc");
  EXPECT_GE(added.address, end);
  EXPECT_LE(added.rawOffset, added.address) << "raw data beyond its address confuses readers such as wrestool";
  EXPECT_EQ(after.sizeOfImage, (added.address + added.virtualSize + 0xFFF) / 0x1000 * 0x1000);
  EXPECT_EQ(after.initializedData, before.initializedData + added.rawSize);

  // The new resources, and the template's message table as it was.
  const std::vector<std::string> expected = {"2 100 1033", "6 1 1033", "10 100 1033"};
  EXPECT_EQ(after.resources, expected);
  EXPECT_EQ(after.data("2", "100", "1033"), readFile(bitmap).substr(14));
  EXPECT_EQ(after.data("10", "100", "1033"), readFile(image));
  EXPECT_EQ(after.data("6", "1", "1033"), before.data("6", "1", "1033"));

  // A resource small enough for the old section's room stays in it.
  const std::string tiny = makeImage(dir_, "tiny.gif", {"-size", "4x4", "xc:red"});
  const PefileView inPlace = readWithPefile(pack("tiny.exe", {"--splash-image", tiny}, GetParam()), dir_.file("tiny"));
  ASSERT_EQ(inPlace.sections.size(), before.sections.size());
  ASSERT_NE(inPlace.section(".rsrc"), nullptr);
  EXPECT_EQ(inPlace.section(".rsrc")->address, before.section(".rsrc")->address);
  EXPECT_EQ(inPlace.data("10", "100", "1033"), readFile(tiny));
  EXPECT_EQ(inPlace.data("6", "1", "1033"), before.data("6", "1", "1033"));
  EXPECT_NE(inPlace.checksum.find("True"), std::string::npos) << inPlace.checksum;
}

INSTANTIATE_TEST_SUITE_P(Templates, WindowsResources, ::testing::Values(Target::kWindows, Target::kWindowsConsole),
                         [](const ::testing::TestParamInfo<Target>& param) {
                           return param.param == Target::kWindows ? "Gui" : "Console";
                         });

class SplashResources : public WindowsResources {};

TEST_F(SplashResources, EveryKindOfBmpBecomesBitmap100) {
  // Name, ImageMagick arguments; each file without its 14-byte header is the
  // resource.
  const std::vector<std::pair<std::string, std::vector<std::string>>> kinds = {
      {"BMP3:rgb24.bmp", {"-size", "33x20", "gradient:red-blue"}},
      {"BMP:v5-alpha.bmp", {"-size", "33x20", "gradient:red-blue", "-alpha", "on"}},
      {"BMP3:rle8.bmp", {"-size", "40x30", "gradient:red-blue", "-type", "Palette", "-compress", "RLE"}},
      {"BMP2:os2.bmp", {"-size", "33x20", "gradient:red-blue"}},
      {"BMP3:mono.bmp", {"-size", "41x30", "gradient:red-blue", "-monochrome"}},
  };
  for (const auto& kind : kinds) {
    const std::string file = makeImage(dir_, kind.first, kind.second);
    const std::string name = kind.first.substr(kind.first.find(':') + 1);
    const PefileView view =
        readWithPefile(pack(name + ".exe", {"--splash-bitmap", file}, Target::kWindows), dir_.file(name + ".dump"));
    EXPECT_EQ(view.data("2", "100", "1033"), readFile(file).substr(14)) << name;
  }

  // A file that leaves a gap between its colour table and its pixels: the
  // resource has no offset field, so the pixels move up to the table.
  const std::string plain = readFile(makeImage(dir_, "BMP3:plain.bmp", {"-size", "33x20", "gradient:red-blue"}));
  std::string gapped = plain.substr(0, 54) + std::string(10, '\x55') + plain.substr(54);
  gapped[10] = 54 + 10;
  writeFile(dir_.file("gapped.bmp"), gapped);
  const PefileView view = readWithPefile(
      pack("gapped.exe", {"--splash-bitmap", dir_.file("gapped.bmp")}, Target::kWindows), dir_.file("gapped.dump"));
  EXPECT_EQ(view.data("2", "100", "1033"), plain.substr(14));
}

TEST_F(SplashResources, WrestoolExtractsThemByteForByte) {
  const std::string bitmap = bmp();
  const std::string image = png();
  const std::string exe = pack("app.exe", {"--splash-bitmap", bitmap, "--splash-image", image}, Target::kWindows);
  const ProcessResult listed = runProcess({"wrestool", "--list", exe});
  EXPECT_EQ(listed.exitCode, 0) << listed.err;
  EXPECT_TRUE(listed.err.empty()) << listed.err;
  for (const char* entry : {"--type=2 --name=100 --language=1033", "--type=10 --name=100 --language=1033",
                            "--type=6 --name=1 --language=1033"}) {
    EXPECT_NE(listed.out.find(entry), std::string::npos) << listed.out;
  }
  // Raw, the resource; converted, wrestool puts the file header back and
  // gives the very file the user packaged.
  EXPECT_EQ(runProcess({"wrestool", "-x", "--raw", "--type=2", "--name=100", exe}).out, readFile(bitmap).substr(14));
  EXPECT_EQ(runProcess({"wrestool", "-x", "--type=2", "--name=100", exe}).out, readFile(bitmap));
  EXPECT_EQ(runProcess({"wrestool", "-x", "--raw", "--type=10", "--name=100", exe}).out, readFile(image));
}

TEST_F(SplashResources, PackagedProgramStillStartsUnderWine) {
  const std::string exe = pack("app.exe", {"--splash-bitmap", bmp(), "--splash-image", png()}, Target::kWindowsConsole);
  RunOptions options;
  options.workingDirectory = dir_.path();
  const ProcessResult result = runExecutable(Target::kWindowsConsole, exe, {}, options);
  EXPECT_EQ(result.exitCode, 1) << result.err;
  EXPECT_TRUE(traced(result, "integrity: the stored value matches")) << result.err;
  // The message comes from the template's string table, carried over.
  EXPECT_NE(result.err.find("Java Runtime Environment not found."), std::string::npos) << result.err;
}

TEST_F(SplashResources, BadImagesAreRefused) {
  const std::string output = dir_.file("out.exe");
  const std::string good = readFile(bmp());
  const auto refuse = [&](const std::string& option, const std::string& bytes, const std::string& mention) {
    writeFile(dir_.file("input"), bytes);
    expectXoqpackRefuses({"--target", "windows", "--" + option, dir_.file("input"), "--output", output}, output,
                         mention);
  };
  std::string jpegInside = good;
  jpegInside[14 + 16] = 4;  // BI_JPEG
  std::string cut = good.substr(0, good.size() - 100);
  std::string deep = good;
  deep[14 + 14] = 7;  // no such colour depth
  refuse("splash-bitmap", readFile(png()), "is not a BMP file");
  refuse("splash-bitmap", jpegInside, "JPEG or PNG inside");
  refuse("splash-bitmap", cut, "cut short");
  refuse("splash-bitmap", deep, "colour depth of 7 bits");
  refuse("splash-bitmap", good.substr(0, 20), "input");
  refuse("splash-image", good, "not a JPEG, PNG or GIF");
  refuse("splash-image", "", "not a JPEG, PNG or GIF");
  expectXoqpackRefuses({"--target", "windows", "--splash-image", dir_.file("missing.png"), "--output", output}, output,
                       "missing.png");
}

}  // namespace
}  // namespace testing
}  // namespace xoq
