#include "archive/archive_node.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "support/archive_reads.h"
#include "support/zip_builder.h"

namespace xoq {
namespace {

using testing::allPaths;
using testing::firstPath;
using testing::kNotFound;
using testing::openNode;
using testing::read;
using testing::ZipBuilder;

// --- Names -------------------------------------------------------------------

TEST(ArchiveNames, SeparatorsAreInterchangeableAndCaseCounts) {
  const auto node = openNode(ZipBuilder().deflated("com/x/A.class", "class A").stored("com\\x\\B.class", "B").build());
  ASSERT_TRUE(node->isOpen());
  const int32_t position = findEntry(*node, "com/x/A.class");
  ASSERT_GE(position, 0);
  EXPECT_EQ(findEntry(*node, "com\\x\\A.class"), position);
  EXPECT_EQ(findEntry(*node, "com/x\\A.class"), position);
  EXPECT_EQ(findEntry(*node, "COM/X/A.CLASS"), -1);
  EXPECT_EQ(findEntry(*node, "com/x/A.clas"), -1);

  EXPECT_EQ(read(*node, "com\\x\\A.class"), "class A");
  EXPECT_EQ(read(*node, "com/x\\A.class"), "class A");
  EXPECT_EQ(read(*node, "com/x/B.class"), "B");
  EXPECT_EQ(read(*node, "COM/X/A.CLASS"), kNotFound);
  // The entry path repeats the name as it was asked for.
  EXPECT_EQ(firstPath(*node, "com\\x\\A.class"), "com\\x\\A.class");
  EXPECT_EQ(firstPath(*node, "com/x/A.class"), "com/x/A.class");
}

TEST(ArchiveNames, NameOrderIsLengthThenSignedBytes) {
  EXPECT_LT(compareEntryNames("zz", "aaa"), 0);
  EXPECT_LT(compareEntryNames("\xE9", "a"), 0);  // bytes from 0x80 up come first
  EXPECT_LT(compareEntryNames("A", "a"), 0);
  EXPECT_EQ(compareEntryNames("a/b", "a\\b"), 0);
  EXPECT_GT(compareEntryNames("b", "a"), 0);

  // Nested archives are searched in that order: by length, then by bytes.
  const std::string kib = ZipBuilder().stored("same.txt", "from kib").build();
  const std::string lib = ZipBuilder().stored("same.txt", "from lib").build();
  const std::string latin = ZipBuilder().stored("other.txt", "latin").build();
  const std::string app = ZipBuilder().stored("main.txt", "app").build();
  const auto node = openNode(ZipBuilder()
                                 .stored("libs/lib.jar", lib)
                                 .stored("app.jar", app)
                                 .deflated("libs/kib.jar", kib)
                                 .stored("\xE9\xE9\xE9.jar", latin)
                                 .build());
  const std::vector<std::string> expected = {"\xE9\xE9\xE9.jar", "app.jar", "libs\\kib.jar", "libs\\lib.jar"};
  EXPECT_EQ(node->nestedNames(), expected);
  EXPECT_EQ(read(*node, "same.txt"), "from kib");
  EXPECT_EQ(firstPath(*node, "same.txt"), "libs\\kib.jar!same.txt");
  EXPECT_EQ(allPaths(*node, "same.txt"),
            (std::vector<std::string>{"libs\\kib.jar!same.txt", "libs\\lib.jar!same.txt"}));
  EXPECT_EQ(read(*node, "libs/lib.jar!same.txt"), "from lib");
}

TEST(ArchiveNames, ExclamationMarkAlwaysStartsAnEntryPath) {
  const std::string inner = ZipBuilder().stored("x.txt", "inner x").stored("!y", "inner !y").build();
  const auto node =
      openNode(ZipBuilder().stored("!x.txt", "bang").stored("a!b.txt", "a bang b").stored("a.jar", inner).build());
  // A name that begins with "!" is never found, by either operation.
  EXPECT_EQ(read(*node, "!x.txt"), kNotFound);
  EXPECT_EQ(read(*node, "!x.txt", false), kNotFound);
  EXPECT_EQ(firstPath(*node, "!x.txt"), kNotFound);
  EXPECT_EQ(read(*node, "!y"), kNotFound);
  EXPECT_EQ(firstPath(*node, "!y"), kNotFound);
  // An entry whose own name holds "!" cannot be reached: "a" is taken as the
  // name of a nested archive.
  EXPECT_EQ(read(*node, "a!b.txt"), kNotFound);
  EXPECT_EQ(firstPath(*node, "a!b.txt"), kNotFound);
  // The entry path of a nested entry reads it, without searchNested too.
  EXPECT_EQ(read(*node, "a.jar!x.txt", false), "inner x");
  EXPECT_EQ(firstPath(*node, "a.jar!x.txt"), "a.jar!x.txt");
  EXPECT_EQ(firstPath(*node, "x.txt"), "a.jar!x.txt");
  // The archive itself is an entry like any other.
  EXPECT_EQ(read(*node, "a.jar"), inner);
}

TEST(ArchiveNames, ParentStepsAreResolvedForReadsOnly) {
  EXPECT_EQ(resolveParentSteps("a\\b\\..\\c"), "a\\c");
  EXPECT_EQ(resolveParentSteps("a/b/../c"), "a\\c");
  EXPECT_EQ(resolveParentSteps("b\\..\\c"), "c");
  EXPECT_EQ(resolveParentSteps("\\..\\c"), "\\c");
  EXPECT_EQ(resolveParentSteps("..\\c"), "c");
  EXPECT_EQ(resolveParentSteps("a\\..\\"), "");
  EXPECT_EQ(resolveParentSteps("x\\a..\\b"), "b");
  EXPECT_EQ(resolveParentSteps("a\\b\\..\\..\\c"), "c");
  EXPECT_EQ(resolveParentSteps("a\\b..c"), "a\\b..c");

  const auto node = openNode(ZipBuilder().stored("a/c", "a c").stored("c", "c").stored("d/e/../f", "literal").build());
  EXPECT_EQ(read(*node, "a\\b\\..\\c"), "a c");
  EXPECT_EQ(read(*node, "a/b/../c"), "a c");
  EXPECT_EQ(read(*node, "..\\c"), "c");
  EXPECT_EQ(read(*node, "b/../c"), "c");
  // findEntryPaths takes the name as it stands.
  EXPECT_EQ(firstPath(*node, "a\\b\\..\\c"), kNotFound);
  EXPECT_EQ(firstPath(*node, "d/e/../f"), "d/e/../f");
  EXPECT_EQ(read(*node, "d/e/../f"), kNotFound);  // resolved to d\f
}

TEST(ArchiveNames, NestedArchiveNamesMatchOnTheirExactLength) {
  const std::string lib = ZipBuilder().stored("x.txt", "lib x").build();
  const auto node = openNode(ZipBuilder().stored("libs/lib.jar", lib).build());
  EXPECT_EQ(read(*node, "libs/lib.jar!x.txt"), "lib x");
  EXPECT_EQ(read(*node, "libs\\lib.jar!x.txt"), "lib x");
  EXPECT_EQ(read(*node, "lib!x.txt"), kNotFound);
  EXPECT_EQ(read(*node, "libs!x.txt"), kNotFound);
  EXPECT_EQ(read(*node, "libs/lib.ja!x.txt"), kNotFound);
  EXPECT_EQ(read(*node, "LIBS/lib.jar!x.txt"), kNotFound);
  EXPECT_EQ(firstPath(*node, "lib!x.txt"), kNotFound);
  EXPECT_EQ(firstPath(*node, "libs/lib.jar!x.txt"), "libs\\lib.jar!x.txt");
}

TEST(ArchiveNames, NestedArchivesByTheirSuffixInAnyCase) {
  const std::string inner = ZipBuilder().stored("in.txt", "inside").build();
  const auto node = openNode(ZipBuilder()
                                 .stored("x.JAR", inner)
                                 .deflated("y.Zip", inner)
                                 .stored(".jar", inner)
                                 .stored("z.txt", inner)
                                 .directory("d.jar/")
                                 .stored("text.zip", "not an archive")
                                 .build());
  EXPECT_EQ(node->nestedNames(), (std::vector<std::string>{"x.JAR", "y.Zip", "text.zip"}));
  // A nested entry that is no archive stays in the list, unopened.
  ASSERT_NE(node->child(2), nullptr);
  EXPECT_FALSE(node->child(2)->isOpen());
  EXPECT_EQ(read(*node, "text.zip!in.txt"), kNotFound);
  EXPECT_EQ(read(*node, "text.zip"), "not an archive");
  EXPECT_EQ(read(*node, "x.JAR!in.txt"), "inside");
  EXPECT_EQ(read(*node, "y.Zip!in.txt"), "inside");
  EXPECT_EQ(read(*node, ".jar!in.txt"), kNotFound);
  EXPECT_EQ(allPaths(*node, "in.txt"), (std::vector<std::string>{"x.JAR!in.txt", "y.Zip!in.txt"}));
}

// --- Nesting -------------------------------------------------------------------

// a.jar (stored) holds b.jar (deflated), which holds Z.class and c.jar
// (stored), which holds deep.txt.
std::string threeLevels() {
  const std::string c = ZipBuilder().stored("deep.txt", "too deep").build();
  const std::string b = ZipBuilder().deflated("Z.class", "class Z").stored("c.jar", c).build();
  const std::string a = ZipBuilder().deflated("b.jar", b).stored("A.class", "class A").build();
  return ZipBuilder().stored("a.jar", a).stored("top.txt", "top").build();
}

TEST(ArchiveNesting, TwoLevelsAreOpenedAndNoMore) {
  const auto node = openNode(threeLevels());
  // One level down is searched for a plain name, two levels down only by path.
  EXPECT_EQ(read(*node, "A.class"), "class A");
  EXPECT_EQ(read(*node, "A.class", false), kNotFound);
  EXPECT_EQ(read(*node, "Z.class"), kNotFound);
  EXPECT_EQ(read(*node, "a.jar!b.jar!Z.class"), "class Z");
  EXPECT_EQ(read(*node, "a.jar!Z.class"), kNotFound);
  EXPECT_EQ(firstPath(*node, "Z.class"), "a.jar!b.jar!Z.class");
  // The third level is not opened: its entries are found nowhere, though the
  // archive itself can be read as an entry.
  EXPECT_EQ(read(*node, "a.jar!b.jar!c.jar!deep.txt"), kNotFound);
  EXPECT_EQ(firstPath(*node, "deep.txt"), kNotFound);
  EXPECT_EQ(read(*node, "a.jar!b.jar!c.jar"), ZipBuilder().stored("deep.txt", "too deep").build());

  ASSERT_EQ(node->nestedNames().size(), 1u);
  const ArchiveNode* a = node->child(0);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->depth(), 1);
  ASSERT_EQ(a->nestedNames().size(), 1u);
  const ArchiveNode* b = a->child(0);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->depth(), 0);
  EXPECT_TRUE(b->nestedNames().empty());
}

bool inside(const ArchiveNode& part, const ArchiveNode& whole) {
  return part.bytes() >= whole.bytes() && part.bytes() + part.byteCount() <= whole.bytes() + whole.byteCount();
}

TEST(ArchiveNesting, StoredArchivesAreReadInPlaceDeflatedOnesInflatedOnce) {
  const std::string inner = ZipBuilder().stored("s.jar", ZipBuilder().stored("x", "x").build()).build();
  const auto node = openNode(ZipBuilder().stored("stored.jar", inner).deflated("packed.jar", inner).build());
  ASSERT_EQ(node->nestedNames(), (std::vector<std::string>{"packed.jar", "stored.jar"}));
  const ArchiveNode* packed = node->child(0);
  const ArchiveNode* stored = node->child(1);
  ASSERT_NE(packed, nullptr);
  ASSERT_NE(stored, nullptr);
  EXPECT_TRUE(inside(*stored, *node));
  EXPECT_FALSE(inside(*packed, *node));
  EXPECT_EQ(packed->byteCount(), inner.size());
  // A stored archive inside an inflated one lies in the inflated bytes.
  ASSERT_NE(packed->child(0), nullptr);
  EXPECT_TRUE(inside(*packed->child(0), *packed));
  EXPECT_EQ(read(*node, "packed.jar!s.jar!x"), "x");
  EXPECT_EQ(read(*node, "stored.jar!s.jar!x"), "x");
}

TEST(ArchiveNesting, FindEntryPathsReportsEveryMatchDepthFirst) {
  const std::string inner = ZipBuilder().stored("r.txt", "inner").build();
  const std::string app = ZipBuilder().stored("r.txt", "app").stored("inner.jar", inner).build();
  const std::string lib = ZipBuilder().deflated("r.txt", "lib").build();
  const auto node =
      openNode(ZipBuilder().stored("libs/lib.jar", lib).stored("app.jar", app).stored("r.txt", "top").build());
  EXPECT_EQ(allPaths(*node, "r.txt"),
            (std::vector<std::string>{"r.txt", "app.jar!r.txt", "app.jar!inner.jar!r.txt", "libs\\lib.jar!r.txt"}));
  EXPECT_EQ(firstPath(*node, "r.txt"), "r.txt");
  // After a nested archive's name the rest is searched the same way, depth
  // first from that archive on.
  EXPECT_EQ(allPaths(*node, "app.jar!r.txt"), (std::vector<std::string>{"app.jar!r.txt", "app.jar!inner.jar!r.txt"}));
  EXPECT_EQ(allPaths(*node, "app.jar!inner.jar!r.txt"), (std::vector<std::string>{"app.jar!inner.jar!r.txt"}));
  EXPECT_TRUE(allPaths(*node, "missing.txt").empty());
  // Read back through the paths reported.
  EXPECT_EQ(read(*node, "app.jar!inner.jar!r.txt", false), "inner");
  EXPECT_EQ(read(*node, "libs\\lib.jar!r.txt", false), "lib");
  // The prefix given is put in front of every path.
  std::string path;
  ASSERT_TRUE(findEntryPaths(*node->child(0), "r.txt", path, "app.jar", nullptr, nullptr));
  EXPECT_EQ(path, "app.jar!r.txt");
}

// --- Many nested archives --------------------------------------------------------

TEST(ManyNestedArchives, TheFirstArchiveInSearchOrderThatHoldsANameWins) {
  // Sixty jars, each holding some of these names, with its own name in the
  // bytes; one holds a jar of its own too.
  const std::vector<std::string> names = {"a/A.class", "a/B.class",    "b/c/C.class",         "b/c/",
                                          "top.txt",   "x\\y/Z.class", "META-INF/MANIFEST.MF"};
  ZipBuilder top;
  std::vector<std::string> jars;  // as held: '\\' separators
  std::map<std::string, std::vector<std::string>> holders;
  const std::string grandchildHolder = "lib\\jjjjjjj13.jar";
  for (int j = 0; j < 60; ++j) {
    const std::string jarName = "lib/" + std::string(static_cast<size_t>(j % 7 + 1), 'j') + std::to_string(j) + ".jar";
    const std::string held = "lib\\" + jarName.substr(4);
    jars.push_back(held);
    ZipBuilder jar;
    for (size_t k = 0; k < names.size(); ++k) {
      if ((static_cast<size_t>(j) * 7 + k * 3) % 5 != 0) continue;
      jar.stored(names[k], held + " " + names[k]);
      holders[names[k]].push_back(held);
    }
    if (held == grandchildHolder) jar.stored("inner.jar", ZipBuilder().stored("a/A.class", "inner").build());
    top.stored(jarName, jar.build());
  }
  top.stored("top.txt", "the payload's own");
  const auto node = openNode(top.build());
  std::sort(jars.begin(), jars.end(),
            [](const std::string& a, const std::string& b) { return compareEntryNames(a, b) < 0; });
  ASSERT_EQ(node->nestedNames(), jars);

  for (const std::string& name : names) {
    std::vector<std::string> expectedPaths;
    std::string expectedRead = kNotFound;
    if (name == "top.txt") {
      expectedPaths.push_back(name);
      expectedRead = "the payload's own";
    }
    for (const std::string& jar : jars) {
      const std::vector<std::string>& holding = holders[name];
      if (std::find(holding.begin(), holding.end(), jar) != holding.end()) {
        expectedPaths.push_back(jar + "!" + name);
        if (expectedRead == kNotFound) expectedRead = jar + " " + name;
      }
      if (jar == grandchildHolder && name == "a/A.class") expectedPaths.push_back(jar + "!inner.jar!a/A.class");
    }
    EXPECT_EQ(read(*node, name), expectedRead) << name;
    EXPECT_EQ(allPaths(*node, name), expectedPaths) << name;
    EXPECT_EQ(firstPath(*node, name), expectedPaths.empty() ? kNotFound : expectedPaths.front()) << name;
  }
  ASSERT_FALSE(holders["a/A.class"].empty());
  const std::string firstA = holders["a/A.class"].front();
  // Parent steps are resolved before the folder is looked for.
  EXPECT_EQ(read(*node, "q/../a/A.class"), read(*node, "a/A.class"));
  EXPECT_EQ(read(*node, "a\\b\\..\\..\\top.txt", false), "the payload's own");
  // A folder that archives have, a name that none has; a folder nobody has.
  EXPECT_EQ(read(*node, "a/Missing.class"), kNotFound);
  EXPECT_TRUE(allPaths(*node, "a/Missing.class").empty());
  EXPECT_EQ(read(*node, "nowhere/A.class"), kNotFound);
  // Two levels down only by path, or for findEntryPaths.
  EXPECT_EQ(read(*node, "inner.jar!a/A.class"), kNotFound);
  EXPECT_EQ(read(*node, grandchildHolder + "!inner.jar!a/A.class", false), "inner");
}

TEST(ManyNestedArchives, FolderHashesTakeTheFolderOnly) {
  EXPECT_EQ(folderHash("a/b/C.class"), folderHash("a\\b\\D.class"));
  EXPECT_EQ(folderHash("a/b/"), folderHash("a/x"));  // a folder's own entry is in its parent
  EXPECT_EQ(folderHash("Top.class"), folderHash("other.txt"));
  EXPECT_EQ(folderHash("dir/"), folderHash("top.txt"));
  EXPECT_NE(folderHash("a/b/C.class"), folderHash("a/B/C.class"));
}

// --- Multi-release jars ---------------------------------------------------------

std::string multiReleaseJar(const std::string& manifest) {
  return ZipBuilder()
      .deflated("META-INF/MANIFEST.MF", manifest)
      .stored("p/A.class", "A base")
      .stored("p/B.class", "B base")
      .stored("p/r.txt", "r base")
      .stored("META-INF/versions/9/p/A.class", "A 9")
      .stored("META-INF/versions/9/p/r.txt", "r 9")
      .stored("META-INF/versions/11/p/A.class", "A 11")
      .stored("META-INF/versions/30/p/A.class", "A 30")
      .stored("META-INF/versions/9/META-INF/x.txt", "x 9")
      .stored("META-INF/x.txt", "x base")
      .directory("p/")
      .directory("META-INF/versions/11/p/")
      .stored("META-INF/versions/011/p/B.class", "B 011")
      .stored("META-INF/versions/0/p/B.class", "B 0")
      .build();
}

std::string readForRelease(const ArchiveNode& node, const std::string& name, int32_t release,
                           EntryLocation* location = nullptr) {
  std::string out;
  if (!readEntryBytes(node, name, true, testing::allocateString, &out, release, location)) return kNotFound;
  return out;
}

TEST(MultiRelease, VersionedEntriesForTheRunningRelease) {
  const std::string jar = multiReleaseJar("Manifest-Version: 1.0\r\nMulti-Release: true\r\n\r\nName: p/\r\n");
  const auto node = openNode(ZipBuilder().stored("top.txt", "top").stored("lib/mr.jar", jar).build());
  ASSERT_NE(node->child(0), nullptr);
  EXPECT_TRUE(node->child(0)->multiRelease());
  EXPECT_TRUE(node->anyMultiRelease());
  // The highest version from the release down to 9, else the base entry.
  EXPECT_EQ(readForRelease(*node, "p/A.class", 17), "A 11");
  EXPECT_EQ(readForRelease(*node, "p/A.class", 11), "A 11");
  EXPECT_EQ(readForRelease(*node, "p/A.class", 10), "A 9");
  EXPECT_EQ(readForRelease(*node, "p/A.class", 30), "A 30");
  EXPECT_EQ(readForRelease(*node, "p/A.class", 8), "A base");
  EXPECT_EQ(readForRelease(*node, "p/A.class", 0), "A base");
  EXPECT_EQ(readForRelease(*node, "p/r.txt", 25), "r 9");
  EXPECT_EQ(readForRelease(*node, "p/B.class", 25), "B base");
  // META-INF is never versioned, and an entry path names the entry itself.
  EXPECT_EQ(readForRelease(*node, "META-INF/x.txt", 25), "x base");
  EXPECT_EQ(readForRelease(*node, "lib/mr.jar!p/A.class", 0), "A base");
  EXPECT_EQ(readForRelease(*node, "lib/mr.jar!META-INF/versions/11/p/A.class", 0), "A 11");

  EntryLocation location;
  EXPECT_EQ(readForRelease(*node, "p\\A.class", 17, &location), "A 11");
  EXPECT_EQ(location.archive, "lib\\mr.jar");
  EXPECT_EQ(location.name, "META-INF/versions/11/p/A.class");
  // A versioned directory stands for nothing: the base directory is found.
  EXPECT_EQ(readForRelease(*node, "p/", 17, &location), "");
  EXPECT_EQ(location.name, "p/");
  EXPECT_EQ(readForRelease(*node, "top.txt", 17, &location), "top");
  EXPECT_EQ(location.archive, "");
  EXPECT_EQ(location.name, "top.txt");

  std::vector<std::string> paths;
  std::string unused;
  findEntryPaths(*node, "p\\A.class", unused, "", testing::collectPath, &paths, 17);
  EXPECT_EQ(paths, std::vector<std::string>{"lib\\mr.jar!META-INF\\versions\\11\\p\\A.class"});
  EXPECT_EQ(firstPath(*node, "p\\A.class"), "lib\\mr.jar!p\\A.class");
}

TEST(MultiRelease, OnlyTheManifestsMainSectionMakesAJarMultiRelease) {
  const struct {
    const char* manifest;
    bool multiRelease;
  } cases[] = {
      {"Manifest-Version: 1.0\nmulti-release: TRUE\n", true},
      {"Manifest-Version: 1.0\rMulti-Release: true", true},
      {"Manifest-Version: 1.0\r\nMulti-Rel\r\n ease: true\r\n", true},
      {"Manifest-Version: 1.0\r\nMulti-Release: false\r\n", false},
      {"Manifest-Version: 1.0\r\nMulti-Release: true \r\n", false},
      {"Manifest-Version: 1.0\r\nX-Multi-Release: true\r\n", false},
      {"Manifest-Version: 1.0\r\n\r\nName: p/\r\nMulti-Release: true\r\n", false},
  };
  for (const auto& item : cases) {
    EXPECT_EQ(manifestDeclaresMultiRelease(item.manifest), item.multiRelease) << item.manifest;
    const auto node = openNode(multiReleaseJar(item.manifest));
    EXPECT_EQ(node->multiRelease(), item.multiRelease) << item.manifest;
    EXPECT_EQ(readForRelease(*node, "p/A.class", 17), item.multiRelease ? "A 11" : "A base") << item.manifest;
  }
  // The flag without versioned entries changes nothing.
  const auto plain = openNode(ZipBuilder().stored("META-INF/MANIFEST.MF", "Multi-Release: true\n").build());
  EXPECT_FALSE(plain->multiRelease());
}

// --- Entries -------------------------------------------------------------------

TEST(ArchiveEntries, EmptyEntriesAndDirectories) {
  const auto node = openNode(ZipBuilder()
                                 .stored("empty.txt", "")
                                 .deflated("packed-empty.txt", "")
                                 .directory("com/x/")
                                 .stored("com/x/A.class", "A")
                                 .stored("com/y/B.class", "B")
                                 .stored("empty.jar", "")
                                 .build());
  EXPECT_EQ(read(*node, "empty.txt"), "");
  EXPECT_EQ(read(*node, "packed-empty.txt"), "");
  EXPECT_EQ(read(*node, "com/x/"), "");
  EXPECT_EQ(read(*node, "com\\x\\"), "");
  EXPECT_EQ(read(*node, "com/x"), kNotFound);
  EXPECT_EQ(read(*node, "com/y/"), kNotFound);  // no entry of its own
  EXPECT_EQ(firstPath(*node, "com/x/"), "com/x/");
  // An empty nested archive keeps its name but has no child.
  ASSERT_EQ(node->nestedNames(), (std::vector<std::string>{"empty.jar"}));
  EXPECT_EQ(node->child(0), nullptr);
  EXPECT_EQ(read(*node, "empty.jar"), "");
  EXPECT_EQ(read(*node, "empty.jar!com/x/A.class"), kNotFound);
}

TEST(ArchiveEntries, OfTwoEntriesWithOneNameTheFirstWrittenIsRead) {
  const auto node = openNode(ZipBuilder().stored("twice.txt", "first").deflated("twice.txt", "second").build());
  EXPECT_EQ(read(*node, "twice.txt"), "first");
  EXPECT_EQ(node->entryCount(), 2u);
}

TEST(ArchiveEntries, EveryEntryOfALargeArchiveIsFound) {
  ZipBuilder builder;
  std::vector<std::string> names;
  for (int i = 0; i < 3000; ++i) {
    names.push_back("pkg" + std::to_string(i % 37) + "/Class" + std::to_string(i) + ".class");
    if (i % 10 == 0) {
      builder.deflated(names.back(), "content of " + names.back());
    } else {
      builder.stored(names.back(), "content of " + names.back());
    }
  }
  const auto node = openNode(builder.build());
  ASSERT_EQ(node->entryCount(), names.size());
  for (size_t i = 1; i < node->entryCount(); ++i) {
    EXPECT_LT(compareEntryNames(node->entryName(i - 1), node->entryName(i)), 0);
  }
  for (const std::string& name : names) EXPECT_EQ(read(*node, name), "content of " + name);
  EXPECT_EQ(read(*node, "pkg0/Class1.class"), kNotFound);
}

TEST(ArchiveEntries, UnopenedNodesFindNothing) {
  ArchiveNode node(kPayloadNestingDepth);
  EXPECT_FALSE(node.isOpen());
  EXPECT_EQ(findEntry(node, "x"), -1);
  EXPECT_EQ(read(node, "x"), kNotFound);
  EXPECT_EQ(read(node, "a.jar!x"), kNotFound);
  EXPECT_EQ(firstPath(node, "x"), kNotFound);
  // Once opened, a node is not opened again.
  const std::string archive = ZipBuilder().stored("x", "x").build();
  ArchiveNode once(0);
  std::unique_ptr<uint8_t[]> first(new uint8_t[archive.size()]);
  memcpy(first.get(), archive.data(), archive.size());
  EXPECT_TRUE(openArchiveMemory(once, std::move(first), archive.size()));
  std::unique_ptr<uint8_t[]> second(new uint8_t[archive.size()]);
  memcpy(second.get(), archive.data(), archive.size());
  EXPECT_FALSE(openArchiveMemory(once, std::move(second), archive.size()));
  EXPECT_EQ(read(once, "x"), "x");
}

}  // namespace
}  // namespace xoq
