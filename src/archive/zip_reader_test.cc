#include "archive/zip_reader.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "archive/archive_node.h"
#include "support/archive_reads.h"
#include "support/files.h"
#include "support/zip_builder.h"

namespace xoq {
namespace {

using testing::kNotFound;
using testing::openNode;
using testing::read;
using testing::Zip64End;
using testing::ZipBuilder;

void patch16(std::string& bytes, size_t offset, uint16_t value) {
  bytes[offset] = static_cast<char>(value & 0xFF);
  bytes[offset + 1] = static_cast<char>(value >> 8);
}

void patch32(std::string& bytes, size_t offset, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

// Records every size the reader asks room for.
struct Recorder {
  std::string out;
  std::vector<uint32_t> requests;
};

bool recordAllocation(void* argument, uint32_t size, uint8_t** destination) {
  Recorder* recorder = static_cast<Recorder*>(argument);
  recorder->requests.push_back(size);
  recorder->out.assign(size, '\0');
  *destination = reinterpret_cast<uint8_t*>(&recorder->out[0]);
  return true;
}

// --- Finding the archive ---------------------------------------------------------

TEST(ZipContainer, ArchiveAfterOtherBytesAndBeforeTrailingBytes) {
  const std::string archive = ZipBuilder().stored("a.txt", "A").deflated("b.txt", "B B B B B B").build();
  // A launcher image in front: offsets count from the archive's first byte.
  const std::string image(5000, '\x90');
  const auto prefixed = openNode(image + archive);
  EXPECT_EQ(read(*prefixed, "a.txt"), "A");
  EXPECT_EQ(read(*prefixed, "b.txt"), "B B B B B B");
  // Bytes after the end record that its comment length does not count, as a
  // signature appended to a signed executable.
  const auto signedFile = openNode(image + archive + std::string(40000, 's'));
  EXPECT_EQ(read(*signedFile, "b.txt"), "B B B B B B");
}

TEST(ZipContainer, EndRecordSignaturesInTheCommentAreSkipped) {
  std::string fake = "PK\x05\x06";
  fake += std::string(8, '\0');
  fake += "\xFF\xFF\xFF\x7F\xFF\xFF\xFF\x7F";  // a directory far beyond the file
  fake += std::string(2, '\0');
  const auto node = openNode(ZipBuilder().stored("real.txt", "real").comment("before " + fake + " after").build());
  EXPECT_TRUE(node->isOpen());
  EXPECT_EQ(read(*node, "real.txt"), "real");
}

TEST(ZipContainer, NotAnArchiveIsAnEmptyOne) {
  for (const std::string& bytes : {std::string(), std::string("PK\x05\x06", 4), std::string(100000, 'x'),
                                   std::string("PK\x03\x04 not really a zip file at all")}) {
    const auto node = openNode(bytes);
    EXPECT_FALSE(node->isOpen());
    EXPECT_EQ(node->entryCount(), 0u);
    EXPECT_EQ(read(*node, "x"), kNotFound);
  }
  const auto empty = openNode(ZipBuilder().build());
  EXPECT_TRUE(empty->isOpen());
  EXPECT_EQ(empty->entryCount(), 0u);
}

TEST(ZipContainer, TheWorstCaseOfDeflateIsStillRead) {
  // Zeros compress about as far as deflate goes; the size limit per
  // compressed byte must not turn such an entry away.
  const std::string zeros(4 << 20, '\0');
  ZipBuilder builder;
  builder.deflated("zeros.bin", zeros);
  EXPECT_GT(builder.last().size / builder.last().compressedSize, 1000u);
  const auto node = openNode(builder.build());
  EXPECT_EQ(read(*node, "zeros.bin"), zeros);
}

// --- More than 65535 entries ------------------------------------------------------

// 70,000 entries, as jar writes them: ZIP64 end record and locator, the end
// record's counts saying "see there".
ZipBuilder manyEntries(size_t count) {
  ZipBuilder builder;
  for (size_t i = 0; i < count; ++i)
    builder.stored("d" + std::to_string(i % 97) + "/e" + std::to_string(i), "#" + std::to_string(i));
  return builder;
}

void expectAllEntries(const ArchiveNode& node, size_t count, const std::string& context) {
  ASSERT_TRUE(node.isOpen()) << context;
  EXPECT_EQ(node.entryCount(), count) << context;
  for (const size_t i : {size_t{0}, size_t{65534}, size_t{65535}, size_t{65536}, count - 1}) {
    const std::string name = "d" + std::to_string(i % 97) + "/e" + std::to_string(i);
    EXPECT_EQ(read(node, name), "#" + std::to_string(i)) << name << " " << context;
  }
}

TEST(LargeArchive, SeventyThousandEntriesWithZip64EndRecords) {
  const size_t count = 70000;
  ZipBuilder builder = manyEntries(count);
  // A jar of its own, then the same behind a launcher image with the
  // locator counting from the archive's first byte, or from the file's, as
  // xoqpack writes it so that the runtime's own reader finds it too.
  expectAllEntries(*openNode(builder.zip64End(Zip64End::kArchiveOffset).build()), count, "jar");
  expectAllEntries(*openNode(builder.zip64End(Zip64End::kArchiveOffset, 0, true).build()), count, "saturated");
  const std::string image(3000, '\x90');
  expectAllEntries(*openNode(image + builder.zip64End(Zip64End::kArchiveOffset).build()), count, "archive offset");
  expectAllEntries(*openNode(image + builder.zip64End(Zip64End::kFileOffset, image.size()).build()), count,
                   "file offset");
  // Without ZIP64 records the end record holds only the low 16 bits of the
  // count; the central directory's headers tell the rest.
  expectAllEntries(*openNode(builder.zip64End(Zip64End::kNone).build()), count, "count cut to 16 bits");
}

TEST(LargeArchive, Zip64RecordsThatDoNotAddUp) {
  ZipBuilder builder = manyEntries(3);
  const std::string good = builder.zip64End(Zip64End::kArchiveOffset, 0, true).build();
  const size_t locator = good.size() - 22 - 20;
  const size_t record = locator - 56;
  ASSERT_TRUE(openNode(good)->isOpen());
  // A locator pointing anywhere else, a record whose counts or sizes differ
  // from the end record's, a record claiming a directory beyond it, a split
  // archive: the saturated end record alone leads nowhere.
  std::string elsewhere = good;
  patch32(elsewhere, locator + 8, 7);
  std::string otherCount = good;
  patch32(otherCount, good.size() - 22 + 8, 0x00020002);
  std::string beyond = good;
  patch32(beyond, record + 48, 0x7FFFFFFF);
  std::string split = good;
  patch32(split, locator + 16, 2);
  for (const std::string* damaged : {&elsewhere, &otherCount, &beyond, &split}) {
    const auto node = openNode(*damaged);
    EXPECT_FALSE(node->isOpen());
    EXPECT_EQ(read(*node, "d0/e0"), kNotFound);
  }
}

std::string zip64Extra(const std::vector<uint64_t>& values) {
  std::string extra;
  auto put = [&extra](uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) extra += static_cast<char>((value >> (8 * i)) & 0xFF);
  };
  put(1, 2);
  put(values.size() * 8, 2);
  for (const uint64_t value : values) put(value, 8);
  return extra;
}

TEST(LargeArchive, SizesAndOffsetsFromTheZip64ExtraField) {
  ZipBuilder builder;
  builder.stored("plain.txt", "plain");
  builder.deflated("sizes.txt", "sizes in the extra field, sizes in the extra field");
  builder.last().centralExtra = zip64Extra({builder.last().size, builder.last().compressedSize});
  builder.last().size = builder.last().compressedSize = 0xFFFFFFFFu;
  builder.stored("offset.txt", "the header offset in the extra field");
  builder.last().headerOffset = 0xFFFFFFFFu;
  builder.stored("huge.txt", "claims 5 GB");
  builder.last().centralExtra = zip64Extra({5ull << 30});
  builder.last().size = 0xFFFFFFFFu;
  builder.stored("short.txt", "the extra field lacks the compressed size");
  builder.last().centralExtra = zip64Extra({builder.last().size});
  builder.last().size = builder.last().compressedSize = 0xFFFFFFFFu;
  // The true offset of offset.txt: behind the first two entries.
  size_t offset = 0;
  for (size_t i = 0; i < 2; ++i)
    offset += 30 + builder.entries()[i].localName.size() + builder.entries()[i].body.size();
  builder.entries()[2].centralExtra = std::string("\x99\x99\x02\x00", 4) + "ab" + zip64Extra({offset});
  const auto node = openNode(builder.build());
  ASSERT_TRUE(node->isOpen());
  EXPECT_EQ(read(*node, "plain.txt"), "plain");
  EXPECT_EQ(read(*node, "sizes.txt"), "sizes in the extra field, sizes in the extra field");
  EXPECT_EQ(read(*node, "offset.txt"), "the header offset in the extra field");
  EXPECT_EQ(read(*node, "huge.txt"), kNotFound);
  EXPECT_EQ(read(*node, "short.txt"), kNotFound);
}

// --- Entry times ------------------------------------------------------------------

std::string extendedTimestamp(int32_t seconds) {
  std::string extra("\x55\x54\x05\x00\x01", 5);
  for (int i = 0; i < 4; ++i) extra += static_cast<char>((static_cast<uint32_t>(seconds) >> (8 * i)) & 0xFF);
  return extra;
}

std::string ntfsTimes(int64_t ticks) {
  std::string extra("\x0a\x00\x20\x00\x00\x00\x00\x00\x01\x00\x18\x00", 12);
  for (int copy = 0; copy < 3; ++copy) {
    for (int i = 0; i < 8; ++i) extra += static_cast<char>((static_cast<uint64_t>(ticks) >> (8 * i)) & 0xFF);
  }
  return extra;
}

TEST(EntryTimes, DosTimeAndTheExtraFieldsThatOverrideIt) {
  ZipBuilder builder;
  builder.stored("dos.txt", "x");
  builder.last().dosDate = static_cast<uint16_t>(((2021 - 1980) << 9) | (7 << 5) | 14);
  builder.last().dosTime = static_cast<uint16_t>((9 << 11) | (30 << 5) | (58 / 2));
  builder.stored("unix.txt", "x");
  builder.last().centralExtra = extendedTimestamp(1600000000);
  builder.stored("before1970.txt", "x");
  builder.last().centralExtra = extendedTimestamp(-86400);
  builder.stored("ntfs.txt", "x");
  // 2020-09-13 12:26:40.1234567 UTC in 100 ns since 1601.
  builder.last().centralExtra = ntfsTimes(132444736001234567LL);
  builder.stored("both.txt", "x");
  builder.last().centralExtra = ntfsTimes(132444736001234567LL) + extendedTimestamp(1000);
  builder.stored("no-mtime-flag.txt", "x");
  builder.last().centralExtra = std::string("\x55\x54\x01\x00\x02", 5);
  builder.stored("inner.jar", ZipBuilder().stored("deep.txt", "y").build());
  builder.last().centralExtra = extendedTimestamp(1700000000);
  const auto node = openNode(builder.build());

  auto infoOf = [&node](const std::string& name) {
    EntryInfo info;
    EXPECT_TRUE(findEntryInfo(*node, name, false, info)) << name;
    return info;
  };
  const EntryInfo dos = infoOf("dos.txt");
  EXPECT_EQ(dos.time.dos >> 16, builder.entries()[0].dosDate);
  EXPECT_EQ(dos.time.dos & 0xFFFF, builder.entries()[0].dosTime);
  EXPECT_FALSE(dos.time.hasUnixTime);
  EXPECT_EQ(dos.size, 1u);
  EXPECT_TRUE(infoOf("unix.txt").time.hasUnixTime);
  EXPECT_EQ(infoOf("unix.txt").time.unixMillis, 1600000000000LL);
  EXPECT_EQ(infoOf("before1970.txt").time.unixMillis, -86400000LL);
  EXPECT_EQ(infoOf("ntfs.txt").time.unixMillis, 1600000000123LL);
  EXPECT_EQ(infoOf("both.txt").time.unixMillis, 1000000LL);  // the later block wins
  EXPECT_FALSE(infoOf("no-mtime-flag.txt").time.hasUnixTime);
  EXPECT_EQ(infoOf("inner.jar").time.unixMillis, 1700000000000LL);
  EXPECT_EQ(infoOf("inner.jar").size, builder.entries()[6].size);
  EXPECT_EQ(infoOf("inner.jar!deep.txt").size, 1u);
  EntryInfo missing;
  EXPECT_FALSE(findEntryInfo(*node, "nothing.txt", false, missing));
  EXPECT_FALSE(findEntryInfo(*node, "deep.txt", false, missing));
  EXPECT_TRUE(findEntryInfo(*node, "deep.txt", true, missing));
}

// --- Damaged entries --------------------------------------------------------------

TEST(DamagedArchive, ACrcMismatchMeansNotFound) {
  const std::string inner = ZipBuilder().stored("inner-ok.txt", "fine").build();
  ZipBuilder damagedInner;
  damagedInner.stored("inner-good.txt", "good inside");
  damagedInner.deflated("inner-bad.txt", "bad inside bad inside");
  damagedInner.last().crc ^= 1;

  ZipBuilder builder;
  builder.stored("good.txt", "good");
  builder.deflated("bad-deflated.txt", "some text, some text, some text");
  builder.last().crc ^= 1;
  builder.stored("bad-stored.txt", "stored");
  builder.last().crc ^= 0x80000000u;
  builder.deflated("packed.jar", inner);
  builder.last().crc ^= 1;
  builder.stored("stored.jar", damagedInner.build());
  builder.stored("dup.txt", "top copy");
  builder.last().crc ^= 1;
  builder.stored("a.jar", ZipBuilder().stored("dup.txt", "nested copy").build());
  const auto node = openNode(builder.build());

  EXPECT_EQ(read(*node, "good.txt"), "good");
  EXPECT_EQ(read(*node, "bad-deflated.txt"), kNotFound);
  EXPECT_EQ(read(*node, "bad-stored.txt"), kNotFound);
  // A deflated nested archive that does not inflate to its CRC is not opened.
  EXPECT_EQ(node->nestedNames(), (std::vector<std::string>{"a.jar", "packed.jar", "stored.jar"}));
  EXPECT_EQ(node->child(1), nullptr);
  EXPECT_EQ(read(*node, "inner-ok.txt"), kNotFound);
  // A stored one is read in place; each of its entries is checked on its own.
  EXPECT_EQ(read(*node, "stored.jar!inner-good.txt"), "good inside");
  EXPECT_EQ(read(*node, "stored.jar!inner-bad.txt"), kNotFound);
  // A damaged entry is as good as absent: the search goes on to the nested
  // archives, and the caller is asked for room a second time.
  Recorder recorder;
  ASSERT_TRUE(readEntryBytes(*node, "dup.txt", true, recordAllocation, &recorder));
  EXPECT_EQ(recorder.out, "nested copy");
  EXPECT_EQ(recorder.requests, (std::vector<uint32_t>{8, 11}));
  EXPECT_EQ(read(*node, "dup.txt", false), kNotFound);
}

TEST(DamagedArchive, UnsupportedEntriesAreNotFound) {
  const std::string inner = ZipBuilder().stored("inner.txt", "inner").build();
  ZipBuilder builder;
  builder.stored("plain.txt", "plain");
  builder.stored("bzip2.txt", "not really bzip2");
  builder.last().method = 12;
  builder.stored("encrypted.txt", "not really encrypted");
  builder.last().flags |= 1;
  builder.stored("elsewhere.txt", "on disk 1");
  builder.last().disk = 1;
  builder.stored("sizes.txt", "stored, but the sizes differ");
  builder.last().size -= 1;
  builder.stored("locked.jar", inner);
  builder.last().flags |= 1;
  const auto node = openNode(builder.build());
  EXPECT_EQ(read(*node, "plain.txt"), "plain");
  for (const char* name : {"bzip2.txt", "encrypted.txt", "elsewhere.txt", "sizes.txt", "locked.jar", "inner.txt"}) {
    EXPECT_EQ(read(*node, name), kNotFound) << name;
  }
  EXPECT_EQ(node->nestedNames(), (std::vector<std::string>{"locked.jar"}));
  EXPECT_EQ(node->child(0), nullptr);
}

TEST(DamagedArchive, SplitArchivesAreEmpty) {
  const auto node = openNode(ZipBuilder().stored("a.txt", "a").splitOverDisks().build());
  EXPECT_FALSE(node->isOpen());
  EXPECT_EQ(read(*node, "a.txt"), kNotFound);
}

TEST(DamagedArchive, SizesAndOffsetsBeyondTheArchive) {
  ZipBuilder builder;
  builder.stored("first.txt", "first");
  builder.deflated("long.txt", "claims more data than there is");
  builder.last().compressedSize = 0xFFFFFF00u;
  builder.stored("far.txt", "header far away");
  builder.last().headerOffset = 0x7FFFFFFF;
  builder.stored("late.txt", "header in the directory");
  builder.stored("stored-huge.txt", "x");
  builder.last().compressedSize = builder.last().size = 0x7FFFFFF0u;
  builder.stored("extra.txt", "local extra field too long");
  builder.stored("last.txt", "last");
  const size_t directory = builder.centralDirectoryOffset();
  builder.entries()[3].headerOffset = static_cast<int64_t>(directory) - 10;
  std::string archive = builder.build();
  // The local header of extra.txt claims a 65535-byte extra field.
  size_t extraHeader = 0;
  for (size_t i = 0; i < 5; ++i) {
    extraHeader += 30 + builder.entries()[i].localName.size() + builder.entries()[i].body.size();
  }
  patch16(archive, extraHeader + 28, 0xFFFF);

  const auto node = openNode(archive);
  ASSERT_TRUE(node->isOpen());
  EXPECT_EQ(read(*node, "first.txt"), "first");
  EXPECT_EQ(read(*node, "last.txt"), "last");
  for (const char* name : {"long.txt", "far.txt", "late.txt", "stored-huge.txt", "extra.txt"}) {
    Recorder recorder;
    EXPECT_FALSE(readEntryBytes(*node, name, true, recordAllocation, &recorder)) << name;
    EXPECT_TRUE(recorder.requests.empty()) << name;
  }
}

TEST(DamagedArchive, DirectoryFieldsBeyondTheArchive) {
  ZipBuilder builder;
  builder.stored("a.txt", "a").stored("b.txt", "b");
  const std::string good = builder.build();
  const size_t end = good.size() - 22;
  const size_t directory = builder.centralDirectoryOffset();

  std::string offsetBeyond = good;
  patch32(offsetBeyond, end + 16, 0x7FFFFFFF);
  std::string sizeBeyond = good;
  patch32(sizeBeyond, end + 12, static_cast<uint32_t>(end + 1));
  std::string tooManyEntries = good;
  patch16(tooManyEntries, end + 8, 0xFFFF);
  patch16(tooManyEntries, end + 10, 0xFFFF);
  std::string nameBeyond = good;
  patch16(nameBeyond, directory + 28, 0xFFFF);
  std::string commentBeyond = good;
  patch16(commentBeyond, directory + 32, 0x7FFF);
  std::string notADirectory = good;
  notADirectory[directory + 2] = 'x';

  for (const std::string* damaged :
       {&offsetBeyond, &sizeBeyond, &tooManyEntries, &nameBeyond, &commentBeyond, &notADirectory}) {
    const auto node = openNode(*damaged);
    EXPECT_FALSE(node->isOpen());
    EXPECT_EQ(read(*node, "a.txt"), kNotFound);
  }
}

TEST(DamagedArchive, AClaimedSizeFarBeyondTheData) {
  const std::string text = "a few words of text, a few words of text";
  ZipBuilder builder;
  builder.deflated("huge.txt", text);
  builder.last().size = 0x7FFFFFFF;
  builder.deflated("bomb.jar", ZipBuilder().stored("x", "x").build());
  builder.last().size = 0x7FFFFFF0;
  builder.deflated("more.txt", text);
  builder.last().size = 5000;
  builder.deflated("less.txt", text);
  builder.last().size -= 1;
  builder.deflated("fine.txt", text);
  const auto node = openNode(builder.build());

  Recorder huge;
  EXPECT_FALSE(readEntryBytes(*node, "huge.txt", true, recordAllocation, &huge));
  EXPECT_TRUE(huge.requests.empty());
  EXPECT_EQ(node->child(0), nullptr);  // bomb.jar
  EXPECT_EQ(read(*node, "bomb.jar!x"), kNotFound);
  // Within what deflate could produce, the room is asked for, but the data
  // then ends early or runs over, and the entry is not found.
  Recorder more;
  EXPECT_FALSE(readEntryBytes(*node, "more.txt", true, recordAllocation, &more));
  EXPECT_EQ(more.requests, std::vector<uint32_t>{5000});
  EXPECT_EQ(read(*node, "less.txt"), kNotFound);
  EXPECT_EQ(read(*node, "fine.txt"), text);
}

TEST(DamagedArchive, DamagedDeflateData) {
  ZipBuilder builder;
  const std::string text(3000, 'q');
  builder.deflated("cut.txt", text);
  builder.last().body.resize(builder.last().body.size() / 2);
  builder.last().compressedSize = static_cast<uint32_t>(builder.last().body.size());
  builder.deflated("noise.txt", "noise");
  builder.last().body = std::string("\xFF\xFF\xFF\xFF\xFF\xFF", 6);
  builder.last().compressedSize = 6;
  builder.deflated("ok.txt", text);
  const auto node = openNode(builder.build());
  EXPECT_EQ(read(*node, "cut.txt"), kNotFound);
  EXPECT_EQ(read(*node, "noise.txt"), kNotFound);
  EXPECT_EQ(read(*node, "ok.txt"), text);
}

// An archive with entries of every kind; names of different lengths, so
// that no single damaged byte turns one name into another.
struct Sample {
  ZipBuilder builder;
  std::map<std::string, std::string> contents;  // entry path -> bytes
  std::map<std::string, std::string> nestedOf;  // entry path -> the top entry that holds it
};

Sample makeSample() {
  Sample sample;
  ZipBuilder lib;
  lib.stored("lib-one.txt", "the first entry of the stored jar");
  lib.deflated("lib/Two.class", "the second entry of the stored jar, deflated, deflated");
  ZipBuilder packed;
  packed.deflated("packed/Three.class", "inside the deflated jar, class three three three");
  packed.stored("p4.txt", "p4 stored inside the deflated jar");
  sample.builder.stored("alpha.txt", "alpha, stored at the top");
  sample.builder.deflated("bravo/B.class", "bravo, deflated at the top, bravo bravo bravo");
  sample.builder.stored("lib.jar", lib.build());
  sample.builder.directory("zulu-dir/");
  sample.builder.stored("empty-file.txt", "");
  sample.builder.deflated("packed-archive.jar", packed.build());
  sample.builder.deflated("charlie-long-name.properties", "charlie=deflated\ncharlie=again\n");
  sample.contents["alpha.txt"] = "alpha, stored at the top";
  sample.contents["bravo/B.class"] = "bravo, deflated at the top, bravo bravo bravo";
  sample.contents["charlie-long-name.properties"] = "charlie=deflated\ncharlie=again\n";
  sample.contents["zulu-dir/"] = "";
  sample.contents["empty-file.txt"] = "";
  sample.contents["lib.jar!lib-one.txt"] = "the first entry of the stored jar";
  sample.contents["lib.jar!lib/Two.class"] = "the second entry of the stored jar, deflated, deflated";
  sample.contents["packed-archive.jar!packed/Three.class"] = "inside the deflated jar, class three three three";
  sample.contents["packed-archive.jar!p4.txt"] = "p4 stored inside the deflated jar";
  for (const auto& item : sample.contents) {
    const size_t bang = item.first.find('!');
    sample.nestedOf[item.first] = bang == std::string::npos ? item.first : item.first.substr(0, bang);
  }
  return sample;
}

// Whatever the damage, a read gives either nothing or the true bytes.
void expectNothingButTheTruth(const ArchiveNode& node, const Sample& sample, const std::string& context) {
  for (const auto& item : sample.contents) {
    const std::string byPath = read(node, item.first, false);
    if (byPath != kNotFound) {
      EXPECT_EQ(byPath, item.second) << item.first << " " << context;
    }
    const std::string name = item.first.substr(item.first.find('!') + 1);
    const std::string byName = read(node, name, true);
    if (byName != kNotFound) {
      EXPECT_EQ(byName, item.second) << name << " " << context;
    }
    std::vector<std::string> paths = testing::allPaths(node, name);
    EXPECT_LE(paths.size(), 1u) << name << " " << context;
  }
}

TEST(DamagedArchive, TruncatedDataAtEveryOffset) {
  // The entries' data cut at every offset, the central directory kept: the
  // entries that still fit are read, the others are not found.
  const Sample sample = makeSample();
  const std::string good = sample.builder.build();
  const size_t directory = sample.builder.centralDirectoryOffset();
  std::map<std::string, size_t> endOf;  // top entry name -> end of its data
  size_t position = 0;
  for (const testing::ZipBuilderEntry& entry : sample.builder.entries()) {
    position += 30 + entry.localName.size() + entry.body.size();
    endOf[entry.name] = position;
  }
  for (size_t cut = 0; cut <= directory; ++cut) {
    std::string truncated = good.substr(0, cut) + good.substr(directory);
    patch32(truncated, truncated.size() - 22 + 16, static_cast<uint32_t>(cut));
    const auto node = openNode(truncated);
    ASSERT_TRUE(node->isOpen());
    for (const auto& item : sample.contents) {
      const bool fits = endOf[sample.nestedOf.at(item.first)] <= cut;
      EXPECT_EQ(read(*node, item.first, false), fits ? item.second : kNotFound) << item.first << " cut at " << cut;
    }
  }
}

TEST(DamagedArchive, FileCutShortAtEveryOffset) {
  const Sample sample = makeSample();
  const std::string good = sample.builder.build();
  for (size_t length = 0; length < good.size(); ++length) {
    const auto node = openNode(good.substr(0, length));
    expectNothingButTheTruth(*node, sample, "cut to " + std::to_string(length));
  }
}

TEST(DamagedArchive, EveryByteChanged) {
  const Sample sample = makeSample();
  const std::string good = sample.builder.build();
  for (size_t offset = 0; offset < good.size(); ++offset) {
    for (const int change : {0xFF, 0x01, 0x80}) {
      std::string damaged = good;
      damaged[offset] = static_cast<char>(damaged[offset] ^ change);
      const auto node = openNode(damaged);
      expectNothingButTheTruth(*node, sample, "byte " + std::to_string(offset) + " ^ " + std::to_string(change));
    }
  }
}

// The payload and the jars stored in it are read from the file, at their
// data's position, rather than through the mapping; whatever the damage,
// that reads what reading from memory reads.
TEST(DamagedArchive, ReadFromTheFileAsFromMemory) {
  Sample sample = makeSample();
  // A local header whose extra field is longer, and one whose name is
  // shorter, than the central directory's entry lets guess.
  sample.builder.deflated("delta/D.class", "delta, its local header has a long extra field, delta delta");
  sample.builder.last().extra = std::string(5000, '\0');
  sample.contents["delta/D.class"] = "delta, its local header has a long extra field, delta delta";
  sample.builder.stored("echo.txt", std::string(20000, 'e'));
  sample.builder.last().localName = "e.txt";
  sample.contents["echo.txt"] = std::string(20000, 'e');
  sample.nestedOf["delta/D.class"] = "delta/D.class";
  sample.nestedOf["echo.txt"] = "echo.txt";
  const std::string good = sample.builder.build();
  testing::TempDir dir;
  const std::string path = dir.file("payload");
  auto compare = [&](const std::string& bytes, const std::string& context) {
    testing::writeFile(path, bytes);
    ArchiveNode fromFile(kPayloadNestingDepth);
    openArchiveFile(fromFile, path);
    const auto fromMemory = openNode(bytes);
    for (const auto& item : sample.contents) {
      const std::string name = item.first.substr(item.first.find('!') + 1);
      EXPECT_EQ(read(fromFile, item.first, false), read(*fromMemory, item.first, false)) << item.first << context;
      EXPECT_EQ(read(fromFile, name), read(*fromMemory, name)) << name << context;
    }
  };
  {
    testing::writeFile(path, std::string(3000, 'M') + good);
    ArchiveNode node(kPayloadNestingDepth);
    ASSERT_TRUE(openArchiveFile(node, path));
    for (const auto& item : sample.contents) EXPECT_EQ(read(node, item.first, false), item.second) << item.first;
  }
  // Every few bytes: every byte of every header is covered by the memory
  // tests above.
  const size_t step = good.size() / 300 + 1;
  for (size_t offset = 0; offset < good.size(); offset += step) {
    std::string damaged = good;
    damaged[offset] = static_cast<char>(damaged[offset] ^ 0xFF);
    compare(damaged, " byte " + std::to_string(offset));
  }
  for (size_t length = 0; length < good.size(); length += step) {
    compare(good.substr(0, length), " cut to " + std::to_string(length));
  }
}

}  // namespace
}  // namespace xoq
