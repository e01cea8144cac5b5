// The resources xoqpack writes, against the tools of the Windows toolchain:
// windres (binutils' resource compiler) builds the same resources from an
// .rc file into a program of its own, icoutils' wrestool extracts them from
// both, and pev's peres and readpe list what they find.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "e2e/windows/resources_fixture.h"

namespace xoq {
namespace testing {
namespace {

class ResourceTools : public Resources {
 protected:
  // A program with the same resources as everyOption() gives, made by the
  // toolchain: windres compiles the .rc, the mingw-w64 compiler links it.
  std::string referenceProgram(const std::vector<std::string>& options) {
    writeFile(dir_.file("reference.rc"),
              "LANGUAGE 9, 1\n"
              "1 ICON \"" +
                  valueOf(options, "--icon") +
                  "\"\n"
                  "100 BITMAP \"" +
                  valueOf(options, "--splash-bitmap") +
                  "\"\n"
                  "100 RCDATA \"" +
                  valueOf(options, "--splash-image") +
                  "\"\n"
                  "1 VERSIONINFO\n"
                  "FILEVERSION 1,4,2,0\nPRODUCTVERSION 1,4,0,0\nFILEFLAGSMASK 0x3f\nFILEFLAGS 0\n"
                  "FILEOS 0x40004\nFILETYPE 1\nFILESUBTYPE 0\n"
                  "BEGIN\n BLOCK \"StringFileInfo\"\n BEGIN\n  BLOCK \"040904B0\"\n  BEGIN\n"
                  "   VALUE \"CompanyName\", \"Example Ltd\"\n"
                  "   VALUE \"FileDescription\", \"Notes for everyone\"\n"
                  "   VALUE \"FileVersion\", \"1.4.2\"\n"
                  "   VALUE \"InternalName\", \"notes\"\n"
                  "   VALUE \"LegalCopyright\", \"\xC2\xA9 2024 Example Ltd\"\n"
                  "   VALUE \"OriginalFilename\", \"Notes.exe\"\n"
                  "   VALUE \"ProductName\", \"Notes\"\n"
                  "   VALUE \"ProductVersion\", \"1.4\"\n"
                  "  END\n END\n BLOCK \"VarFileInfo\"\n BEGIN\n  VALUE \"Translation\", 0x409, 1200\n END\n"
                  "END\n");
    writeFile(dir_.file("reference.c"), "int main(void) { return 0; }\n");
    RunOptions options120;
    options120.timeoutSeconds = 120;
    const ProcessResult compiled = runProcess({"x86_64-w64-mingw32-windres", "-c", "65001", dir_.file("reference.rc"),
                                               "-O", "coff", "-o", dir_.file("reference.o")},
                                              options120);
    EXPECT_EQ(compiled.exitCode, 0) << compiled.err;
    const ProcessResult linked = runProcess({"x86_64-w64-mingw32-gcc", dir_.file("reference.c"),
                                             dir_.file("reference.o"), "-o", dir_.file("reference.exe")},
                                            options120);
    EXPECT_EQ(linked.exitCode, 0) << linked.err;
    return dir_.file("reference.exe");
  }

  static std::string extract(const std::string& exe, const std::vector<std::string>& selection) {
    std::vector<std::string> command = {"wrestool", "-x"};
    command.insert(command.end(), selection.begin(), selection.end());
    command.push_back(exe);
    const ProcessResult result = runProcess(command);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(result.err.empty()) << result.err;
    return result.out;
  }
};

TEST_F(ResourceTools, WindresBuildsTheSameResourcesAndWrestoolReadsThemAlike) {
  const std::vector<std::string> options = everyOption();
  const std::string ours = pack("Notes.exe", options, Target::kWindows);
  const std::string reference = referenceProgram(options);

  const ProcessResult listed = runProcess({"wrestool", "--list", ours});
  EXPECT_TRUE(listed.err.empty()) << listed.err;
  for (const char* resource :
       {"--type=2 --name=100", "--type=3 --name=1", "--type=3 --name=4", "--type=6 --name=1", "--type=10 --name=100",
        "--type=14 --name=1", "--type=16 --name=1", "--type=24 --name=1"}) {
    EXPECT_NE(listed.out.find(std::string(resource) + " --language=1033"), std::string::npos) << resource << "\n"
                                                                                              << listed.out;
  }
  // Byte for byte what the resource compiler makes, raw and as wrestool
  // converts it back into files.
  for (const std::vector<std::string>& selection :
       std::vector<std::vector<std::string>>{{"--raw", "--type=2", "--name=100"},
                                             {"--raw", "--type=10", "--name=100"},
                                             {"--raw", "--type=14", "--name=1"},
                                             {"--raw", "--type=3", "--name=1"},
                                             {"--raw", "--type=3", "--name=4"},
                                             {"--raw", "--type=16", "--name=1"},
                                             {"--type=14", "--name=1"},
                                             {"--type=2", "--name=100"}}) {
    const std::string ourBytes = extract(ours, selection);
    EXPECT_FALSE(ourBytes.empty()) << selection[1];
    EXPECT_TRUE(ourBytes == extract(reference, selection)) << selection[0] << " " << selection[1];
  }
  // Converted back, the bitmap is the user's file, and the icon the user's
  // .ico (wrestool pads an icon file with zeros, for either program).
  EXPECT_EQ(extract(ours, {"--type=2", "--name=100"}), readFile(valueOf(options, "--splash-bitmap")));
  const std::string icon = readFile(valueOf(options, "--icon"));
  EXPECT_EQ(extract(ours, {"--type=14", "--name=1"}).substr(0, icon.size()), icon);
}

TEST_F(ResourceTools, PevListsEveryResourceInTheNewSection) {
  const std::string exe = pack("Notes.exe", everyOption(), Target::kWindowsConsole);
  const ProcessResult listed = runProcess({"peres", "--list", exe});
  EXPECT_EQ(listed.exitCode, 0) << listed.err;
  for (const char* resource :
       {"RT_BITMAP 0064 0409", "RT_ICON 0001 0409", "RT_ICON 0004 0409", "RT_STRING 0001 0409", "RT_RCDATA 0064 0409",
        "RT_GROUP_ICON 0001 0409", "RT_VERSION 0001 0409", "RT_MANIFEST 0001 0409"}) {
    EXPECT_NE(listed.out.find(resource), std::string::npos) << resource << "\n" << listed.out;
  }
  // readpe: the resource directory entry points at the last section, .rsrc.
  const ProcessResult directories = runProcess({"readpe", "--dirs", exe});
  const ProcessResult sections = runProcess({"readpe", "--all-sections", exe});
  const auto tokenAfter = [](const std::string& text, const std::string& label, size_t from) {
    const size_t at = text.find(label, from);
    std::istringstream in(at == std::string::npos ? std::string() : text.substr(at + label.size()));
    std::string token;
    in >> token;
    return token;
  };
  const size_t last = sections.out.rfind("Name:");
  ASSERT_NE(last, std::string::npos) << sections.out;
  EXPECT_EQ(tokenAfter(sections.out, "Name:", last), ".rsrc");
  EXPECT_EQ(tokenAfter(directories.out, "IMAGE_DIRECTORY_ENTRY_RESOURCE:", 0),
            tokenAfter(sections.out, "Virtual Address:", last))
      << directories.out;
}

}  // namespace
}  // namespace testing
}  // namespace xoq
