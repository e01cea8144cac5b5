#include "launcher/messages.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/config_store.h"

namespace xoq {
namespace {

TEST(MessageTable, TextsOfEveryMessage) {
  // On Windows these come from the string table compiled into this very
  // test program (launcher.rc), on Linux from the compiled-in copy.
  EXPECT_EQ(builtInMessage(1), "Java Runtime Environment not found.");
  EXPECT_EQ(builtInMessage(2), "Java Runtime Environment not valid.");
  EXPECT_EQ(builtInMessage(3), "Java Virtual Machine initialize failed.");
  EXPECT_EQ(builtInMessage(4), "Java Virtual Machine starts failed.");
  EXPECT_EQ(builtInMessage(5), "Can not get the virtual machine version.");
  EXPECT_EQ(builtInMessage(6), "Java virtual machine version %s is too low, require %s or higher.");
  EXPECT_EQ(builtInMessage(7), "The main startup class could not be found.");
  EXPECT_EQ(builtInMessage(8), "The main startup class is not valid, main method missing.");
  EXPECT_EQ(builtInMessage(9), "The program file is damaged or has been changed.");
  EXPECT_EQ(builtInMessage(10), "Error");
  EXPECT_EQ(builtInMessage(12), "Java virtual machine version %s is too high, version between %s and %s is required.");
  EXPECT_EQ(builtInMessage(13), "There is already an instance of this program running.");
  EXPECT_EQ(builtInMessage(14), "Open %s in your browser to get Java?");
  EXPECT_EQ(builtInMessage(15), "Java can be downloaded from %s");
  EXPECT_EQ(builtInMessage(16), "The files of this program cannot be unpacked into %s: %s.");
  // Gaps in the block and identifiers of other blocks have no text.
  for (int id : {-1, 0, 11, 17, 100}) EXPECT_EQ(builtInMessage(id), "") << id;
}

TEST(MessageTable, StringTableBlockEntries) {
  // Entry 0 empty, entry 1 "ab", entry 2 "c", the rest missing.
  const std::vector<uint16_t> block = {0, 2, 'a', 'b', 1, 'c', 0};
  EXPECT_EQ(stringTableEntry(block.data(), block.size(), 0), std::vector<uint16_t>{});
  EXPECT_EQ(stringTableEntry(block.data(), block.size(), 1), (std::vector<uint16_t>{'a', 'b'}));
  EXPECT_EQ(stringTableEntry(block.data(), block.size(), 2), std::vector<uint16_t>{'c'});
  EXPECT_EQ(stringTableEntry(block.data(), block.size(), 3), std::vector<uint16_t>{});
  EXPECT_EQ(stringTableEntry(block.data(), block.size(), 15), std::vector<uint16_t>{});
  // A length that runs past the end of the block is cut there.
  const std::vector<uint16_t> damaged = {0, 200, 'x', 'y'};
  EXPECT_EQ(stringTableEntry(damaged.data(), damaged.size(), 1), (std::vector<uint16_t>{'x', 'y'}));
  EXPECT_EQ(stringTableEntry(damaged.data(), damaged.size(), 2), std::vector<uint16_t>{});
}

TEST(UnescapeMessage, Escapes) {
  EXPECT_EQ(unescapeMessage("Already open\\nClose it first"), "Already open\nClose it first");
  EXPECT_EQ(unescapeMessage("a\\tb\\rc"), "a\tb\rc");
  EXPECT_EQ(unescapeMessage("back\\\\slash \\q\\\"x"), "back\\slash q\"x");
  EXPECT_EQ(unescapeMessage("trailing\\"), "trailing");
  EXPECT_EQ(unescapeMessage(""), "");
}

MessageOverrides overridesOf(const std::vector<std::string>& values) {
  StringList list;
  for (const std::string& value : values) list.append(value);
  MessageOverrides overrides;
  overrides.build(list);
  return overrides;
}

TEST(MessageOverrides, FirstLineWinsAndMalformedLinesAreSkipped) {
  const MessageOverrides overrides =
      overridesOf({"0=zero", "abc=x", "-3=negative", "no equals sign", "1=No Java here.", "1=Second",
                   " 7x=atoi stops at the x", "+8=plus", "13=Already open\\nClose it first", "4=", "5=a=b"});
  std::string text;
  ASSERT_TRUE(overrides.find(1, text));
  EXPECT_EQ(text, "No Java here.");
  ASSERT_TRUE(overrides.find(7, text));
  EXPECT_EQ(text, "atoi stops at the x");
  ASSERT_TRUE(overrides.find(8, text));
  EXPECT_EQ(text, "plus");
  ASSERT_TRUE(overrides.find(13, text));
  EXPECT_EQ(text, "Already open\nClose it first");
  ASSERT_TRUE(overrides.find(4, text));
  EXPECT_EQ(text, "");
  ASSERT_TRUE(overrides.find(5, text));
  EXPECT_EQ(text, "a=b");
  EXPECT_FALSE(overrides.find(0, text));
  EXPECT_FALSE(overrides.find(-3, text));
  EXPECT_FALSE(overrides.find(2, text));
  EXPECT_FALSE(overridesOf({"99999999999999999999=huge"}).find(0, text));
}

TEST(FormatMessage, VersionMessages) {
  const std::vector<std::string> tooHigh = {"1.8.0_402", "", "1.6", "", ""};
  EXPECT_EQ(formatMessage(builtInMessage(12), tooHigh),
            "Java virtual machine version 1.8.0_402 is too high, version between  and 1.6 is required.");
  EXPECT_EQ(formatMessage(builtInMessage(6), {"1.5.0", "1.8", "", "", ""}),
            "Java virtual machine version 1.5.0 is too low, require 1.8 or higher.");
}

TEST(FormatMessage, OverrideTextsCannotMisuseTheArguments) {
  const std::vector<std::string> five = {"v", "min", "max", "", ""};
  EXPECT_EQ(formatMessage("%s %s %s [%s%s] %s", five), "v min max [] ");
  // Other conversions are the user's text, not instructions.
  EXPECT_EQ(formatMessage("100%% sure %d %n %x %", five), "100% sure %d %n %x %");
  // No length limit: a long version string arrives whole.
  const std::string longVersion(5000, '9');
  EXPECT_EQ(formatMessage("[%s]", {longVersion, "", "", "", ""}), "[" + longVersion + "]");
}

TEST(ExitCodes, MessageIdentifiers) {
  for (int id : {1, 2, 4, 5, 6, 7, 8, 9, 12, 14, 15, 16}) EXPECT_EQ(exitCodeFor(id), id);
  EXPECT_EQ(exitCodeFor(static_cast<int>(MessageId::AlreadyRunning)), 11);
}

TEST(FatalMessage, OverridesFromTheConfigurationAndTheCaption) {
  // The process-wide table is built once, from the first configuration it
  // sees; this is the only test that gives it one.
  ConfigStore config;
  config.setPaths("/x/app", "/x");
  const std::string text = "message 1=No Java here.\r\nmessage 1=Second\r\nmessage 10=Problem\r\n";
  config.appendText(text.data(), text.size());
  ConfigStore* saved = theConfig;
  theConfig = &config;
  EXPECT_EQ(loadMessage(1), "No Java here.");
  EXPECT_EQ(loadMessage(2), "Java Runtime Environment not valid.");

  // Only a console can be captured here: the Linux launcher and the Windows
  // test program (a console program) write the message to standard error.
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(reportLaunchFailure(12, {"11.0.2", "", "1.6", "", ""}), 12);
  EXPECT_EQ(reportLaunchFailure(16, {"", "", "", "/c/xoq/runtimes", "Read-only file system"}), 16);
  showDamagedFileMessage();
  const std::string err = ::testing::internal::GetCapturedStderr();
  theConfig = saved;
  EXPECT_NE(err.find("Problem: Java virtual machine version 11.0.2 is too high, version between  and 1.6 is "
                     "required.\n"),
            std::string::npos)
      << err;
  EXPECT_NE(err.find("Problem: The files of this program cannot be unpacked into /c/xoq/runtimes: Read-only "
                     "file system.\n"),
            std::string::npos)
      << err;
  // A damaged file shows the built-in texts, whatever its configuration says.
  EXPECT_NE(err.find("Error: The program file is damaged or has been changed.\n"), std::string::npos) << err;
}

TEST(DownloadAddress, OnlyWebAddressesAreOffered) {
  EXPECT_TRUE(isDownloadAddress("https://adoptium.net/"));
  EXPECT_TRUE(isDownloadAddress("HTTP://example.org/get-java?x=1&y=%20"));
  // Nothing after the scheme, another scheme, a file name or a program: the
  // system would open or run whatever it names.
  for (const char* refused :
       {"https://", "http:/x", "ftp://example.org/", "file:///C:/x.exe", "C:\\Windows\\x.exe", "calc.exe", "",
        " https://example.org/", "https://example.org/a b", "https://example.org/\n"}) {
    EXPECT_FALSE(isDownloadAddress(refused)) << refused;
  }
}

}  // namespace
}  // namespace xoq
