// xoqpack as its users run it: the file it writes, and what it says about
// bad input.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "archive/integrity.h"
#include "base/byte_order.h"
#include "config/payload.h"
#include "support/files.h"
#include "support/packaging.h"
#include "support/process.h"
#include "support/refusal.h"

namespace xoq {
namespace testing {
namespace {

struct CentralEntry {
  std::string name;
  uint16_t method;
  uint32_t compressedSize;
  uint32_t size;
  uint32_t localHeaderOffset;
};

// Reads the central directory of the archive that `layout` locates.
std::vector<CentralEntry> centralDirectory(const std::string& file, const PayloadLayout& layout) {
  std::vector<CentralEntry> entries;
  const uint8_t* data = reinterpret_cast<const uint8_t*>(file.data());
  size_t position = layout.centralDirectoryStart;
  const size_t end = layout.centralDirectoryStart + layout.centralDirectorySize;
  while (position + 46 <= end && readLittle32(data + position) == 0x02014b50) {
    CentralEntry entry;
    entry.method = readLittle16(data + position + 10);
    entry.compressedSize = readLittle32(data + position + 20);
    entry.size = readLittle32(data + position + 24);
    const uint16_t nameLength = readLittle16(data + position + 28);
    const uint16_t extra = readLittle16(data + position + 30);
    const uint16_t comment = readLittle16(data + position + 32);
    entry.localHeaderOffset = readLittle32(data + position + 42);
    entry.name = file.substr(position + 46, nameLength);
    entries.push_back(entry);
    position += 46 + nameLength + extra + comment;
  }
  return entries;
}

class Xoqpack : public ::testing::Test {
 protected:
  void expectRefused(const std::vector<std::string>& arguments, const std::string& output, const std::string& mention) {
    expectXoqpackRefuses(arguments, output, mention);
  }

  TempDir dir_;
};

TEST_F(Xoqpack, WritesThePayloadLayout) {
  // A UTF-16 little-endian configuration with bare LF line ends.
  std::string utf16 = "\xFF\xFE";
  for (char16_t unit : std::u16string(u"mainclass hello.Main\nsplashtitle Caf\u00e9\n")) {
    utf16 += static_cast<char>(unit & 0xFF);
    utf16 += static_cast<char>(unit >> 8);
  }
  writeFile(dir_.file("app.cfg"), utf16);
  writeFile(dir_.file("lib.jar"), "PK\x05\x06" + std::string(18, '\0'));
  writeFile(dir_.file("res/notes.txt"), std::string(5000, 'n'));
  const std::string output = dir_.file("app");
  const ProcessResult result =
      runXoqpack({"--template", templatePath(Target::kLinux), "--config", dir_.file("app.cfg"), "--add",
                  dir_.file("lib.jar") + "=lib/lib.jar", "--add-tree", dir_.file("res") + "=data", "--output", output});
  ASSERT_EQ(result.exitCode, 0) << result.err;

  const std::string file = readFile(output);
  const std::string image = readFile(templatePath(Target::kLinux));
  // The configuration names no runtime search order: xoqpack writes its own
  // first.
  const std::string block = "\xEF\xBB\xBFjre_order cbsiejvwf\r\nmainclass hello.Main\r\nsplashtitle Caf\xC3\xA9\r\n";

  // The image, with only the archive length field changed.
  const size_t marker = image.find(std::string(kArchiveLengthMarker, kArchiveLengthMarkerSize));
  ASSERT_NE(marker, std::string::npos);
  EXPECT_EQ(file.substr(0, marker - 8), image.substr(0, marker - 8));
  EXPECT_EQ(file.substr(marker, image.size() - marker), image.substr(marker));
  const uint32_t archiveLength = readLittle32(reinterpret_cast<const uint8_t*>(file.data()) + marker - 8);
  EXPECT_EQ(readLittle32(reinterpret_cast<const uint8_t*>(file.data()) + marker - 4), 0u);

  // Block, NUL, its length, the integrity value, then the archive to the end.
  EXPECT_EQ(file.substr(image.size(), block.size()), block);
  EXPECT_EQ(file[image.size() + block.size()], '\0');
  const PayloadLayout layout =
      computePayloadLayout(reinterpret_cast<const uint8_t*>(file.data()), file.size(), archiveLength);
  ASSERT_TRUE(layout.fits);
  EXPECT_EQ(layout.configStart, image.size());
  EXPECT_EQ(layout.configLength, block.size() + 1);
  EXPECT_EQ(layout.commentLength, 0u);
  EXPECT_EQ(layout.archiveStart + archiveLength, file.size());
  EXPECT_TRUE(verifyIntegrity(reinterpret_cast<const uint8_t*>(file.data()), layout));

  // Entries: the support package first, deflated; nested jars stored; other
  // files deflated; offsets relative to the archive's first byte.
  const std::vector<CentralEntry> entries = centralDirectory(file, layout);
  ASSERT_GE(entries.size(), 4u);
  EXPECT_EQ(entries[0].name, "com/tarvolin/xoq/");
  EXPECT_EQ(entries[0].localHeaderOffset, 0u);
  bool sawLoader = false;
  for (const CentralEntry& entry : entries) {
    EXPECT_EQ(
        readLittle32(reinterpret_cast<const uint8_t*>(file.data()) + layout.archiveStart + entry.localHeaderOffset),
        0x04034b50u)
        << entry.name;
    if (entry.name == "com/tarvolin/xoq/HolvaneClassLoader.class") {
      sawLoader = true;
      EXPECT_EQ(entry.method, 8);
    }
    if (entry.name == "lib/lib.jar") {
      EXPECT_EQ(entry.method, 0);
    }
    if (entry.name == "data/notes.txt") {
      EXPECT_EQ(entry.method, 8);
      EXPECT_EQ(entry.size, 5000u);
    }
  }
  EXPECT_TRUE(sawLoader);
  EXPECT_EQ(entries[entries.size() - 2].name, "lib/lib.jar");
  EXPECT_EQ(entries.back().name, "data/notes.txt");

  // The JDK's own ZIP reader accepts the executable as an archive.
  const ProcessResult listing = runProcess({"jar", "tf", output});
  EXPECT_EQ(listing.exitCode, 0) << listing.err;
  EXPECT_NE(listing.out.find("com/tarvolin/xoq/Handler.class\n"), std::string::npos) << listing.out;
  EXPECT_NE(listing.out.find("data/notes.txt\n"), std::string::npos) << listing.out;

  struct stat info;
  ASSERT_EQ(stat(output.c_str(), &info), 0);
  EXPECT_NE(info.st_mode & S_IXUSR, 0u) << "the Linux executable must stay executable";
}

TEST_F(Xoqpack, CommentGoesAfterTheArchive) {
  const std::string output = dir_.file("app");
  const ProcessResult result =
      runXoqpack({"--template", templatePath(Target::kLinux), "--comment", "built by the tests", "--output", output});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  const std::string file = readFile(output);
  EXPECT_EQ(file.substr(file.size() - 18), "built by the tests");
  const uint8_t* data = reinterpret_cast<const uint8_t*>(file.data());
  EXPECT_EQ(findArchiveCommentLength(data, file.size()), 18u);
  EXPECT_EQ(readLittle16(data + file.size() - 18 - 2), 18u);
}

TEST_F(Xoqpack, HelpExplainsEveryOption) {
  const ProcessResult result = runXoqpack({"--help"});
  EXPECT_EQ(result.exitCode, 0);
  for (const char* option : {"--output",
                             "--target",
                             "--template",
                             "--config",
                             "--add",
                             "--add-tree",
                             "--comment",
                             "--help",
                             "windows-console",
                             "--splash-bitmap",
                             "--splash-image",
                             "com/tarvolin/xoq/splash-image",
                             "--jar",
                             "--no-class-path",
                             "--icon",
                             "--file-version",
                             "--product-version",
                             "--product",
                             "--company",
                             "--description",
                             "--copyright",
                             "--internal-name",
                             "--execution-level",
                             "requireAdministrator",
                             "--no-dpi-aware",
                             "--utf8-code-page"}) {
    EXPECT_NE(result.out.find(option), std::string::npos) << option;
  }
}

// A packed jar whose classes look for the jar they came from as a file gets
// a warning that names one such class and the --extract that would unpack
// it: Ant's launcher (the application jar, through Locator's jar:file:
// URLs) and the extract test program (its code source's location). The
// probe's jar has no such class; an extracted jar needs no warning.
TEST_F(Xoqpack, WarnsOfJarsThatLookForTheirOwnFile) {
  const std::string launcher = "/usr/share/java/ant-launcher.jar";
  if (!std::filesystem::exists(launcher)) GTEST_SKIP() << launcher << " is missing: scripts/setup.sh installs it";
  const std::string output = dir_.file("app");
  const std::vector<std::string> jars = {"--target", "linux",
                                         "--jar",    launcher,
                                         "--add",    testAppJar("extract") + "=lib/extract.jar",
                                         "--add",    testAppJar("probe") + "=lib/probe.jar",
                                         "--output", output};
  ProcessResult result = runXoqpack(jars);
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.err,
            "xoqpack: warning: ant-launcher.jar (" + launcher +
                "): its class org.apache.tools.ant.launch.Locator may look for the jar it came from as a file, which "
                "a jar inside the executable is not; if the program needs that, add --extract ant-launcher.jar\n"
                "xoqpack: warning: lib/extract.jar (" +
                testAppJar("extract") +
                "): its class extract.Main may look for the jar it came from as a file, which a jar inside the "
                "executable is not; if the program needs that, add --extract lib/extract.jar\n");
  EXPECT_TRUE(std::filesystem::exists(output));

  // Extracted, by the option or by the configuration, they are files.
  writeFile(dir_.file("extract.cfg"), "extract lib/extract.jar\n");
  std::vector<std::string> extracted = jars;
  extracted.insert(extracted.end(), {"--extract", "ant-launcher.jar", "--config", dir_.file("extract.cfg")});
  result = runXoqpack(extracted);
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.err, "");
}

TEST_F(Xoqpack, RefusesBadInputWithOneLineAndNoOutput) {
  const std::string output = dir_.file("out");
  const std::string tmpl = templatePath(Target::kLinux);
  writeFile(dir_.file("a.jar"), "jar");
  writeFile(dir_.file("b.jar"), "jar");
  writeFile(dir_.file("plain.txt"), "no marker here");
  expectRefused({"--template", tmpl, "--config", dir_.file("missing.cfg"), "--output", output}, output, "missing.cfg");
  expectRefused({"--template", tmpl, "--add", dir_.file("missing.jar"), "--output", output}, output, "missing.jar");
  expectRefused({"--template", dir_.file("plain.txt"), "--output", output}, output, "not a xoq launcher template");
  expectRefused({"--template", dir_.file("missing-template"), "--output", output}, output, "missing-template");
  expectRefused({"--template", tmpl, "--add", dir_.file("a.jar") + "=x.jar", "--add", dir_.file("b.jar") + "=x.jar",
                 "--output", output},
                output, "x.jar");
  expectRefused(
      {"--template", tmpl, "--add", dir_.file("a.jar") + "=com/tarvolin/xoq/Handler.class", "--output", output}, output,
      "Handler.class");
  for (const char* name : {"/abs.jar", "C:x.jar", "\\root.jar", "../up.jar", "lib/../../up.jar", "lib//a.jar"}) {
    expectRefused({"--template", tmpl, "--add", dir_.file("a.jar") + "=" + name, "--output", output}, output,
                  "entry name");
  }
  expectRefused({"--template", tmpl, "--output", dir_.file("no/such/dir/out")}, dir_.file("no/such/dir/out"),
                "cannot write");
  expectRefused({"--output", output, "--bogus"}, output, "unknown option");
  expectRefused({"--template", tmpl}, output, "--output");

  writeFile(dir_.file("nul.cfg"), std::string("mainclass a\0b\r\n", 15));
  expectRefused({"--template", tmpl, "--config", dir_.file("nul.cfg"), "--output", output}, output, "NUL");

  // An executable that already carries a payload is no template.
  ASSERT_EQ(runXoqpack({"--template", tmpl, "--output", dir_.file("packaged")}).exitCode, 0);
  expectRefused({"--template", dir_.file("packaged"), "--output", output}, output, "already carries a payload");
}

TEST_F(Xoqpack, SplashImageIsAStoredEntryOnLinux) {
  const std::string image = dir_.file("splash.gif");
  ASSERT_EQ(runProcess({"convert", "-size", "48x32", "gradient:red-blue", image}).exitCode, 0);
  const std::string output = dir_.file("app");
  const ProcessResult result =
      runXoqpack({"--template", templatePath(Target::kLinux), "--splash-image", image, "--output", output});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  const std::string file = readFile(output);
  const uint8_t* data = reinterpret_cast<const uint8_t*>(file.data());
  const size_t marker = file.find(std::string(kArchiveLengthMarker, kArchiveLengthMarkerSize));
  const PayloadLayout layout = computePayloadLayout(data, file.size(), readLittle32(data + marker - 8));
  ASSERT_TRUE(layout.fits);
  bool found = false;
  for (const CentralEntry& entry : centralDirectory(file, layout)) {
    if (entry.name != "com/tarvolin/xoq/splash-image") continue;
    found = true;
    // Stored, so that the launcher can pass the mapped bytes on as they are.
    EXPECT_EQ(entry.method, 0);
    const size_t local = layout.archiveStart + entry.localHeaderOffset;
    const size_t start = local + 30 + readLittle16(data + local + 26) + readLittle16(data + local + 28);
    EXPECT_EQ(file.substr(start, entry.size), readFile(image));
  }
  EXPECT_TRUE(found);

  // A Linux launcher has no splash window, and the name belongs to xoq.
  const std::string refused = dir_.file("refused");
  expectRefused({"--template", templatePath(Target::kLinux), "--splash-bitmap", image, "--output", refused}, refused,
                "--splash-bitmap");
  expectRefused({"--template", templatePath(Target::kLinux), "--splash-image", dir_.file("app"), "--output", refused},
                refused, "not a JPEG, PNG or GIF");
  expectRefused({"--template", templatePath(Target::kLinux), "--add", image + "=com/tarvolin/xoq/splash-image",
                 "--output", refused},
                refused, "splash-image");
}

TEST_F(Xoqpack, FailureLeavesAnExistingOutputAsItWas) {
  const std::string output = dir_.file("existing");
  writeFile(output, "previous content");
  const ProcessResult result =
      runXoqpack({"--template", templatePath(Target::kLinux), "--add", dir_.file("missing.jar"), "--output", output});
  EXPECT_NE(result.exitCode, 0);
  EXPECT_EQ(readFile(output), "previous content");
}

}  // namespace
}  // namespace testing
}  // namespace xoq
