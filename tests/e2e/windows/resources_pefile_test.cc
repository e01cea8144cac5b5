// The resources xoqpack writes, as Debian's python3-pefile (a PE reader
// that is not ours) sees them: every resource and version string, the
// checksum, and an image whose other sections are untouched.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "base/byte_order.h"
#include "config/payload.h"
#include "e2e/windows/resources_fixture.h"

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
  std::vector<std::string> version;    // "version ...", "fixed ...", "translation ..." lines
  std::vector<std::string> warnings;
  std::string dumpDirectory;

  std::string data(const std::string& type, const std::string& name) const {
    return readFile(dumpDirectory + "/" + type + "-" + name + "-1033.bin");
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
    if (kind == "version" || kind == "fixed" || kind == "translation") view.version.push_back(line);
    if (kind == "resource") view.resources.push_back(rest.substr(0, rest.rfind(' ', rest.rfind(' ') - 1)));
    if (kind == "section") {
      PefileView::Section s;
      fields >> s.name >> s.address >> s.virtualSize >> s.rawOffset >> s.rawSize;
      view.sections.push_back(s);
    }
  }
  return view;
}

class Pefile : public Resources {};

TEST_P(Pefile, ReadsEveryResourceFromAnOtherwiseUnchangedImage) {
  const std::vector<std::string> options = everyOption();
  const std::string exe = pack("Notes.exe", options, GetParam());
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

  // Four icon images and their group, the splash images, the template's
  // message table (string blocks 1 and 2) as it was, version information
  // and the manifest.
  const std::vector<std::string> expected = {"2 100 1033", "3 1 1033",  "3 2 1033", "3 3 1033",
                                             "3 4 1033",   "6 1 1033",  "6 2 1033", "10 100 1033",
                                             "14 1 1033",  "16 1 1033", "24 1 1033"};
  EXPECT_EQ(after.resources, expected);
  EXPECT_EQ(after.data("2", "100"), readFile(valueOf(options, "--splash-bitmap")).substr(14));
  EXPECT_EQ(after.data("10", "100"), readFile(valueOf(options, "--splash-image")));
  EXPECT_EQ(after.data("6", "1"), before.data("6", "1"));
  EXPECT_EQ(after.data("6", "2"), before.data("6", "2"));
  EXPECT_EQ(after.data("3", "1").compare(0, 8, "\x89PNG\r\n\x1A\n"), 0) << "the 256-pixel image stays a PNG";
  const std::vector<std::string> version = {
      "version CompanyName Example Ltd",
      "version FileDescription Notes for everyone",
      "version FileVersion 1.4.2",
      "version InternalName notes",
      "version LegalCopyright \xC2\xA9 2024 Example Ltd",
      "version OriginalFilename Notes.exe",
      "version ProductName Notes",
      "version ProductVersion 1.4",
      "translation 0x0409 0x04b0",
      "fixed 1.4.2.0 1.4.0.0",
  };
  EXPECT_EQ(after.version, version);
  const std::string manifest = after.data("24", "1");
  EXPECT_NE(manifest.find("level=\"highestAvailable\""), std::string::npos) << manifest;
  EXPECT_NE(manifest.find(">PerMonitorV2, PerMonitor</dpiAwareness>"), std::string::npos) << manifest;
  EXPECT_EQ(manifest.find("activeCodePage"), std::string::npos) << manifest;
}

INSTANTIATE_TEST_SUITE_P(Templates, Pefile, ::testing::Values(Target::kWindows, Target::kWindowsConsole),
                         [](const ::testing::TestParamInfo<Target>& param) {
                           return param.param == Target::kWindows ? "Gui" : "Console";
                         });

TEST_F(Pefile, EveryProgramGetsAManifestAndOnlyTheVersionInformationAskedFor) {
  const PefileView plain = readWithPefile(pack("plain.exe", {}, Target::kWindows), dir_.file("plain"));
  EXPECT_EQ(plain.resources, std::vector<std::string>({"6 1 1033", "6 2 1033", "24 1 1033"}));
  const std::string defaults = plain.data("24", "1");
  for (const char* part : {"level=\"asInvoker\"", "true/pm</dpiAware>", "<longPathAware", "Common-Controls",
                           "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"}) {
    EXPECT_NE(defaults.find(part), std::string::npos) << part << "\n" << defaults;
  }

  const PefileView options = readWithPefile(
      pack("App.exe", {"--no-dpi-aware", "--utf8-code-page", "--product-version", "2.0"}, Target::kWindows),
      dir_.file("options"));
  const std::string manifest = options.data("24", "1");
  EXPECT_EQ(manifest.find("dpiAware"), std::string::npos) << manifest;
  EXPECT_NE(manifest.find(">UTF-8</activeCodePage>"), std::string::npos) << manifest;
  // One version given stands for both; the output name gives the others.
  const std::vector<std::string> version = {"version FileVersion 2.0.0.0",      "version InternalName App",
                                            "version OriginalFilename App.exe", "version ProductVersion 2.0",
                                            "translation 0x0409 0x04b0",        "fixed 2.0.0.0 2.0.0.0"};
  EXPECT_EQ(options.version, version);
}

TEST_F(Pefile, IconEntriesWithoutPlanesOrDepthGetTheImages) {
  // PNG entries often leave both 0; Windows picks the image to show by them.
  std::string icon = readFile(ico());
  for (size_t entry = 0; entry < 4; ++entry) icon.replace(6 + 16 * entry + 4, 4, 4, '\0');
  writeFile(dir_.file("zero.ico"), icon);
  const PefileView view =
      readWithPefile(pack("zero.exe", {"--icon", dir_.file("zero.ico")}, Target::kWindows), dir_.file("zero"));
  const std::string group = view.data("14", "1");
  ASSERT_EQ(group.size(), 6u + 4 * 14);
  for (size_t entry = 0; entry < 4; ++entry) {
    EXPECT_EQ(group.substr(6 + 14 * entry + 4, 4), std::string("\x01\x00\x20\x00", 4)) << "entry " << entry;
  }
}

TEST_F(Pefile, EveryKindOfBmpBecomesBitmap100) {
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
    const std::string file = makeImage(kind.first, kind.second);
    const std::string name = kind.first.substr(kind.first.find(':') + 1);
    const PefileView view =
        readWithPefile(pack(name + ".exe", {"--splash-bitmap", file}, Target::kWindows), dir_.file(name + ".dump"));
    EXPECT_EQ(view.data("2", "100"), readFile(file).substr(14)) << name;
  }

  // A file that leaves a gap between its colour table and its pixels: the
  // resource has no offset field, so the pixels move up to the table.
  const std::string plain = readFile(makeImage("BMP3:plain.bmp", {"-size", "33x20", "gradient:red-blue"}));
  std::string gapped = plain.substr(0, 54) + std::string(10, '\x55') + plain.substr(54);
  gapped[10] = 54 + 10;
  writeFile(dir_.file("gapped.bmp"), gapped);
  const PefileView view = readWithPefile(
      pack("gapped.exe", {"--splash-bitmap", dir_.file("gapped.bmp")}, Target::kWindows), dir_.file("gapped.dump"));
  EXPECT_EQ(view.data("2", "100"), plain.substr(14));

  // A V5 header finds its colour profile by offset: one in the gap comes
  // along behind the pixels, one behind the pixels moves up with them.
  const std::string v5 = readFile(makeImage("BMP:v5.bmp", {"-size", "33x20", "gradient:red-blue"}));
  const std::string profile = "a colour profile";
  const size_t pixels = 14 + 124;
  for (const bool inGap : {true, false}) {
    std::string file =
        v5.substr(0, pixels) + (inGap ? profile : std::string(16, '\x55')) + v5.substr(pixels) + (inGap ? "" : profile);
    file[10] = static_cast<char>(pixels + 16);
    uint8_t* header = reinterpret_cast<uint8_t*>(&file[14]);
    writeLittle32(header + 56, inGap ? 0x4D424544 : 0x4C494E4B);  // embedded, linked
    writeLittle32(header + 112, static_cast<uint32_t>(inGap ? 124 : file.size() - 14 - profile.size()));
    writeLittle32(header + 116, static_cast<uint32_t>(profile.size()));
    std::string expected = file.substr(14, 124) + v5.substr(pixels) + profile;
    writeLittle32(reinterpret_cast<uint8_t*>(&expected[112]), static_cast<uint32_t>(expected.size() - profile.size()));
    writeFile(dir_.file("profile.bmp"), file);
    const PefileView withProfile = readWithPefile(
        pack("profile.exe", {"--splash-bitmap", dir_.file("profile.bmp")}, Target::kWindows), dir_.file("profile"));
    EXPECT_EQ(withProfile.data("2", "100"), expected) << (inGap ? "in the gap" : "behind the pixels");
  }
}

}  // namespace
}  // namespace testing
}  // namespace xoq
