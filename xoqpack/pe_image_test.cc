// The resource writer on a small hand-made image, for what the launcher
// templates never show: resources named by text, a resource section that is
// the last thing in the file and grows there, a damaged directory. The
// templates themselves are read back by independent readers in the
// end-to-end tests.
#include <gtest/gtest.h>

#include <string>

#include "base/byte_order.h"
#include "pe_image.h"
#include "resource_tree.h"

namespace xoq {
namespace {

constexpr uint32_t kSectionRva = 0x1000;
constexpr uint32_t kRawOffset = 0x200;
const char kSymbols[] = "symbol table after the sections";

void put32(std::string& file, size_t at, uint32_t value) {
  writeLittle32(reinterpret_cast<uint8_t*>(&file[at]), value);
}

// A PE32+ image with one section, .rsrc, holding `resources` and followed
// by a stand-in for an unstripped image's symbol table.
std::string imageWith(const std::string& resources) {
  const uint32_t raw = static_cast<uint32_t>((resources.size() + 0x1FF) / 0x200 * 0x200);
  std::string file(kRawOffset, '\0');
  file[0] = 'M';
  file[1] = 'Z';
  put32(file, 0x3C, 0x40);
  file.replace(0x40, 4, std::string("PE\0\0", 4));
  const size_t header = 0x44;
  file[header] = static_cast<char>(0x64);
  file[header + 1] = static_cast<char>(0x86);
  file[header + 2] = 1;                       // one section
  put32(file, header + 8, kRawOffset + raw);  // the symbol table
  file[header + 16] = static_cast<char>(0xF0);
  const size_t optional = header + 20;
  file[optional] = 0x0B;
  file[optional + 1] = 0x02;
  put32(file, optional + 32, 0x1000);
  put32(file, optional + 36, 0x200);
  put32(file, optional + 56, kSectionRva + 0x1000);
  put32(file, optional + 60, kRawOffset);
  put32(file, optional + 108, 16);
  put32(file, optional + 112 + 16, kSectionRva);
  put32(file, optional + 112 + 20, static_cast<uint32_t>(resources.size()));
  const size_t section = optional + 0xF0;
  file.replace(section, 5, ".rsrc");
  put32(file, section + 8, static_cast<uint32_t>(resources.size()));
  put32(file, section + 12, kSectionRva);
  put32(file, section + 16, raw);
  put32(file, section + 20, kRawOffset);
  put32(file, section + 36, 0x40000040);
  file += resources;
  file.resize(kRawOffset + raw, '\0');
  return file + kSymbols;
}

Resource resource(ResourceName type, ResourceName name, const std::string& data) {
  Resource r;
  r.type = type;
  r.name = name;
  r.language = ResourceName::number(kLanguageUsEnglish);
  r.data = data;
  return r;
}

TEST(ResourceWriter, TextAndNumberNamesSurviveARoundTripInWindowsOrder) {
  ResourceTree tree;
  tree.set(resource(ResourceName::number(kResourceBitmap), ResourceName::number(100), "bitmap"));
  tree.set(resource(ResourceName{0, u"MYTYPE"}, ResourceName{0, u"b"}, "lower b"));
  tree.set(resource(ResourceName{0, u"MYTYPE"}, ResourceName{0, u"A"}, "upper A"));
  tree.set(resource(ResourceName{0, u"MYTYPE"}, ResourceName::number(7), "seven"));
  tree.set(resource(ResourceName{0, u"MYTYPE"}, ResourceName{0, u"B"}, "replaces b"));  // case ignored

  PeImage image;
  std::string error;
  ASSERT_TRUE(image.parse(imageWith(tree.write(kSectionRva)), error)) << error;
  ResourceTree read;
  ASSERT_TRUE(read.read(image, error)) << error;
  ASSERT_EQ(read.resources().size(), 4u);
  // Text names first, without regard to case, then numbers.
  EXPECT_EQ(read.resources()[0].name.text, u"A");
  EXPECT_EQ(read.resources()[1].data, "replaces b");
  EXPECT_EQ(read.resources()[2].name.id, 7);
  EXPECT_EQ(read.resources()[3].type.id, kResourceBitmap);
  EXPECT_EQ(read.resources()[3].data, "bitmap");
}

TEST(ResourceWriter, LastSectionGrowsWhereItIsAndTheSymbolTableMovesBehind) {
  ResourceTree tree;
  tree.set(resource(ResourceName::number(kResourceString), ResourceName::number(1), "messages"));
  PeImage image;
  std::string error;
  ASSERT_TRUE(image.parse(imageWith(tree.write(kSectionRva)), error)) << error;
  ASSERT_TRUE(tree.read(image, error)) << error;
  tree.set(resource(ResourceName::number(kResourceData), ResourceName::number(100), std::string(5000, 'j')));
  ASSERT_TRUE(image.replaceResources([&](uint32_t rva) { return tree.write(rva); }, error)) << error;

  PeImage grown;
  ASSERT_TRUE(grown.parse(image.bytes(), error)) << error;
  ASSERT_EQ(grown.sections().size(), 1u);
  const PeSection& section = grown.sections()[0];
  EXPECT_EQ(section.virtualAddress, kSectionRva);
  EXPECT_EQ(section.rawSize % 0x200, 0u);
  EXPECT_GT(section.rawSize, 5000u);
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(grown.bytes().data());
  EXPECT_EQ(readLittle32(bytes + 0x44 + 8), kRawOffset + section.rawSize);
  EXPECT_EQ(grown.bytes().substr(kRawOffset + section.rawSize), kSymbols);
  EXPECT_EQ(readLittle32(bytes + 0x58 + 56), kSectionRva + 0x2000u);  // SizeOfImage
  ResourceTree read;
  ASSERT_TRUE(read.read(grown, error)) << error;
  ASSERT_EQ(read.resources().size(), 2u);
  EXPECT_EQ(read.resources()[0].data, "messages");
  EXPECT_EQ(read.resources()[1].data, std::string(5000, 'j'));
}

TEST(ResourceWriter, DamagedDirectoriesAreReportedNotFollowed) {
  ResourceTree tree;
  tree.set(resource(ResourceName::number(kResourceString), ResourceName::number(1), "messages"));
  std::string section = tree.write(kSectionRva);
  put32(section, 16 + 4, 0x80000000u | 0x7000);  // the type's subdirectory beyond the section
  PeImage image;
  std::string error;
  ASSERT_TRUE(image.parse(imageWith(section), error)) << error;
  EXPECT_FALSE(tree.read(image, error));
  EXPECT_NE(error.find("damaged"), std::string::npos) << error;

  // 64 names of one type all lead to one leaf whose data is the whole
  // section: each would copy it again.
  std::string hostile(0x1000, '\0');
  put32(hostile, 14, 1);  // the root: one type
  put32(hostile, 16, 5);
  put32(hostile, 20, 0x80000000u | 24);
  put32(hostile, 24 + 14, 64);  // the type: 64 names, one directory
  for (uint32_t i = 0; i < 64; ++i) {
    put32(hostile, 40 + 8 * i, i + 1);
    put32(hostile, 40 + 8 * i + 4, 0x80000000u | 552);
  }
  put32(hostile, 552 + 14, 1);  // the name: one language, one leaf
  put32(hostile, 568, kLanguageUsEnglish);
  put32(hostile, 572, 576);
  put32(hostile, 576, kSectionRva);
  put32(hostile, 580, 0x1000);
  ASSERT_TRUE(image.parse(imageWith(hostile), error)) << error;
  EXPECT_FALSE(tree.read(image, error));
  EXPECT_NE(error.find("more than the whole file"), std::string::npos) << error;
}

TEST(ResourceWriter, DebugDataThatOnlyAFileOffsetFindsIsNotMovedAway) {
  ResourceTree tree;
  tree.set(resource(ResourceName::number(kResourceString), ResourceName::number(1), "messages"));
  std::string section = tree.write(kSectionRva);
  const size_t debug = section.size();
  section += std::string(28, '\0');  // one debug directory entry
  put32(section, debug + 16, sizeof kSymbols);
  put32(section, debug + 24, kRawOffset + 0x200);  // where the symbols stand
  std::string file = imageWith(section);
  put32(file, 0x58 + 112 + 8 * 6, kSectionRva + static_cast<uint32_t>(debug));
  put32(file, 0x58 + 112 + 8 * 6 + 4, 28);
  PeImage image;
  std::string error;
  ASSERT_TRUE(image.parse(file, error)) << error;
  tree.set(resource(ResourceName::number(kResourceData), ResourceName::number(100), std::string(5000, 'j')));
  EXPECT_FALSE(image.replaceResources([&](uint32_t rva) { return tree.write(rva); }, error));
  EXPECT_NE(error.find("debugging data"), std::string::npos) << error;
}

}  // namespace
}  // namespace xoq
