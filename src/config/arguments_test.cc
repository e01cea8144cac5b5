#include "config/arguments.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "support/files.h"

namespace xoq {
namespace {

struct Split {
  std::vector<std::string> tokens;
  std::vector<int32_t> marks;
};

Split split(const std::string& text) {
  std::string buffer = text;
  std::vector<char*> pointers;
  Split result;
  const size_t count = splitArguments(pointers, &buffer[0], &result.marks);
  EXPECT_EQ(count, pointers.size());
  EXPECT_EQ(result.marks.size(), pointers.size());
  for (char* token : pointers) {
    // Every token lies inside the text it was split from.
    EXPECT_GE(token, &buffer[0]);
    EXPECT_LE(token, &buffer[0] + buffer.size());
    result.tokens.push_back(token);
  }
  return result;
}

using Tokens = std::vector<std::string>;

TEST(SplitArguments, QuotesAndBackslashes) {
  EXPECT_EQ(split(R"(a\"b)").tokens, Tokens{R"(a"b)"});
  EXPECT_EQ(split(R"("a b"c)").tokens, Tokens{"a bc"});
  EXPECT_EQ(split(R"(a\\"b c")").tokens, Tokens{R"(a\b c)"});
  // Backslashes not followed by a quote are literal, however many.
  EXPECT_EQ(split(R"(C:\dir\\sub\ x)").tokens, (Tokens{R"(C:\dir\\sub\)", "x"}));
  // 2n backslashes before a quote: n, and the quote toggles.
  EXPECT_EQ(split(R"(a\\\\"b c")").tokens, Tokens{R"(a\\b c)"});
  // 2n+1: n and a literal quote.
  EXPECT_EQ(split(R"(a\\\"b c)").tokens, (Tokens{R"(a\"b)", "c"}));
  // A doubled quote inside quotes closes and reopens: it adds nothing.
  EXPECT_EQ(split(R"("a""b" "x "" y")").tokens, (Tokens{"ab", "x  y"}));
  // An unclosed quote runs to the end of the text.
  EXPECT_EQ(split(R"(x "open ended)").tokens, (Tokens{"x", "open ended"}));
  // The program name follows the same rules.
  EXPECT_EQ(split(R"("C:\Program Files\app.exe" -v)").tokens, (Tokens{R"(C:\Program Files\app.exe)", "-v"}));
}

TEST(SplitArguments, BlanksAndEmptyArguments) {
  EXPECT_EQ(split("a  \t b\t\tc").tokens, (Tokens{"a", "b", "c"}));
  EXPECT_EQ(split("  lead and trail \t ").tokens, (Tokens{"lead", "and", "trail"}));
  EXPECT_EQ(split(R"(x "" y)").tokens, (Tokens{"x", "", "y"}));
  EXPECT_EQ(split(R"("")").tokens, Tokens{""});
  EXPECT_TRUE(split("").tokens.empty());
  EXPECT_TRUE(split(" \t ").tokens.empty());
}

TEST(SplitArguments, WildcardMarks) {
  const Split result = split(R"(tool.exe *.txt "*.log" plain "b*"c? x? "quoted")");
  EXPECT_EQ(result.tokens, (Tokens{"tool.exe", "*.txt", "*.log", "plain", "b*c?", "x?", "quoted"}));
  EXPECT_EQ(result.marks, (std::vector<int32_t>{kNoWildcard, kWildcardOutsideQuotes, kWildcardInsideQuotes, kNoWildcard,
                                                kWildcardInsideQuotes, kWildcardOutsideQuotes, kNoWildcard}));
}

TEST(SplitArguments, AppendsAfterExistingTokensAndMarksAreOptional) {
  std::string first = "one *";
  std::string second = "two \"*\" three";
  std::vector<char*> tokens;
  std::vector<int32_t> marks;
  EXPECT_EQ(splitArguments(tokens, &first[0], &marks), 2u);
  EXPECT_EQ(splitArguments(tokens, &second[0], &marks), 5u);
  EXPECT_EQ(marks, (std::vector<int32_t>{0, 1, 0, -1, 0}));
  std::string third = "a*b c";
  EXPECT_EQ(splitArguments(tokens, &third[0], nullptr), 7u);
  EXPECT_STREQ(tokens[5], "a*b");
  EXPECT_EQ(splitArgumentLine("-Dx=\"a b\" second\tthird"), (Tokens{"-Dx=a b", "second", "third"}));
}

TEST(WildcardMode, ConfigWords) {
  EXPECT_EQ(wildcardMode("true"), kExpandUnquoted);
  EXPECT_EQ(wildcardMode("TRUE"), kExpandUnquoted);
  EXPECT_EQ(wildcardMode("Auto"), kExpandUnquoted);
  EXPECT_EQ(wildcardMode("all"), kExpandAll);
  EXPECT_EQ(wildcardMode("ALL"), kExpandAll);
  EXPECT_EQ(wildcardMode(""), kWildcardOff);
  EXPECT_EQ(wildcardMode("yes"), kWildcardOff);
  EXPECT_EQ(wildcardMode("true "), kWildcardOff);
}

// A real directory tree, made the current directory for the test, so that
// relative patterns are searched the way the launcher searches them.
class Expansion : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"a.txt", "b.txt", "ab.txt", "c.log", ".hidden.txt", "src/x/A.java", "src/x/notes.md",
                             "src/y/B.java", "src/y/deeper/C.java", "src/top.java", "src/plain"}) {
      testing::writeFile(dir_.file(name), "x");
    }
    saved_ = platform::currentDirectory();
    ASSERT_TRUE(platform::setCurrentDirectory(dir_.path()));
  }
  void TearDown() override { platform::setCurrentDirectory(saved_); }

  static Tokens expand(const std::string& pattern) {
    StringList matches;
    expandWildcard(pattern, matches);
    Tokens result;
    for (size_t i = 0; i < matches.size(); ++i) result.push_back(matches.str(i));
    return result;
  }
  static Tokens sorted(Tokens tokens) {
    std::sort(tokens.begin(), tokens.end());
    return tokens;
  }

  testing::TempDir dir_;
  std::string saved_;
};

TEST_F(Expansion, PatternsInOneDirectory) {
  EXPECT_EQ(sorted(expand("*.txt")), (Tokens{".hidden.txt", "a.txt", "ab.txt", "b.txt"}));
  EXPECT_EQ(sorted(expand("?.txt")), (Tokens{"a.txt", "b.txt"}));
  EXPECT_EQ(sorted(expand("a*")), (Tokens{"a.txt", "ab.txt"}));
  EXPECT_TRUE(expand("*.none").empty());
  EXPECT_TRUE(expand("missing/*.txt").empty());
  // Without wildcards: the name itself when it exists, else nothing.
  EXPECT_EQ(expand("c.log"), Tokens{"c.log"});
  EXPECT_TRUE(expand("d.log").empty());
  // An absolute pattern gives absolute names.
  EXPECT_EQ(sorted(expand(dir_.path() + "/?.txt")), (Tokens{dir_.file("a.txt"), dir_.file("b.txt")}));
}

TEST_F(Expansion, WildcardsInDirectoryComponents) {
  // Only the direct subdirectories of src; files there are not searched.
  EXPECT_EQ(sorted(expand("src/*/*.java")), (Tokens{"src/x/A.java", "src/y/B.java"}));
  EXPECT_EQ(sorted(expand("src/?/A.*")), (Tokens{"src/x/A.java"}));
  EXPECT_EQ(sorted(expand("src/*/deeper/*")), (Tokens{"src/y/deeper/C.java"}));
  EXPECT_EQ(sorted(expand("s*/t*")), (Tokens{"src/top.java"}));
}

#ifdef _WIN32
TEST_F(Expansion, BackslashesAndWindowsMatching) {
  EXPECT_EQ(sorted(expand("src\\*\\*.java")), (Tokens{"src\\x\\A.java", "src\\y\\B.java"}));
  // The system's search matches without regard to case.
  EXPECT_EQ(sorted(expand("SRC\\X\\*.JAVA")), (Tokens{"SRC\\X\\A.java"}));
}
#else
TEST_F(Expansion, LinuxMatchingIsExact) {
  EXPECT_TRUE(expand("SRC/*/*.JAVA").empty());
  // '\' is a file name character on Linux, not a separator.
  testing::writeFile(dir_.file("back\\slash.txt"), "x");
  EXPECT_EQ(expand("back\\*"), Tokens{"back\\slash.txt"});
}
#endif

Tokens collect(const platform::CommandLine& commandLine, WildcardMode mode) {
  ArgumentStore store;
  const int count = collectArguments(commandLine, mode, store);
  char** vector = store.vector();
  Tokens result;
  for (int i = 0; i < count; ++i) result.push_back(vector[i]);
  EXPECT_EQ(vector[count], nullptr);
  return result;
}

platform::CommandLine rawLine(const std::string& text) {
  platform::CommandLine commandLine;
  commandLine.text = text;
  return commandLine;
}

TEST_F(Expansion, RawCommandLineQuotedPatternsDependOnTheMode) {
  const platform::CommandLine line = rawLine(R"(tool.exe ?.txt "*.log" *.none "x y")");
  EXPECT_EQ(collect(line, kExpandUnquoted), (Tokens{"tool.exe", "a.txt", "b.txt", "*.log", "*.none", "x y"}));
  EXPECT_EQ(collect(line, kExpandAll), (Tokens{"tool.exe", "a.txt", "b.txt", "c.log", "*.none", "x y"}));
  // Off expands nothing, quoted or not.
  EXPECT_EQ(collect(line, kWildcardOff), (Tokens{"tool.exe", "?.txt", "*.log", "*.none", "x y"}));
}

TEST_F(Expansion, SplitCommandLineArgumentsAreOneTokenEach) {
  platform::CommandLine line;
  line.split = true;
  line.arguments = {"/opt/tool", "?.txt", "\"*.log\"", "a b*", "*.none", "plain"};
  // The shell's quotes are gone; a quote that reached the launcher is part
  // of the name, and a blank does not split.
  EXPECT_EQ(collect(line, kExpandUnquoted),
            (Tokens{"/opt/tool", "a.txt", "b.txt", "\"*.log\"", "a b*", "*.none", "plain"}));
  line.arguments = {"tool", "*.log"};
  EXPECT_EQ(collect(line, kExpandUnquoted), (Tokens{"tool", "c.log"}));
}

TEST(ArgumentStore, RebuildsFromScratch) {
  ArgumentStore store;
  store.append("first");
  store.append("");
  store.append("third");
  char** vector = store.vector();
  ASSERT_EQ(store.count(), 3);
  EXPECT_STREQ(vector[0], "first");
  EXPECT_STREQ(vector[1], "");
  EXPECT_STREQ(vector[2], "third");
  EXPECT_EQ(vector[3], nullptr);
  store.clear();
  EXPECT_EQ(store.count(), 0);
  EXPECT_EQ(store.vector()[0], nullptr);
}

TEST(ProcessCommandLine, NamesThisProgram) {
  const platform::CommandLine line = platform::processCommandLine();
#ifdef _WIN32
  EXPECT_FALSE(line.split);
  EXPECT_NE(line.text.find("xoq_unit_tests"), std::string::npos) << line.text;
#else
  ASSERT_TRUE(line.split);
  ASSERT_FALSE(line.arguments.empty());
  EXPECT_NE(line.arguments[0].find("xoq_unit_tests"), std::string::npos) << line.arguments[0];
#endif
}

}  // namespace
}  // namespace xoq
