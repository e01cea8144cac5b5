#include "version_info.h"

#include "base/byte_order.h"
#include "platform/text_encoding.h"

namespace xoq {

namespace {

constexpr uint32_t kFixedSignature = 0xFEEF04BD;
constexpr uint32_t kFixedStructureVersion = 0x00010000;
constexpr uint32_t kFileFlagsMask = 0x3F;
constexpr uint32_t kWindowsNt32 = 0x00040004;  // VOS_NT_WINDOWS32
constexpr uint32_t kApplication = 1;           // VFT_APP
constexpr uint16_t kBinary = 0;
constexpr uint16_t kText = 1;

// One block of the tree: wLength, wValueLength, wType, the key, then the
// value and the children, each starting on a 32-bit boundary. wLength
// counts the block with its children but without padding after it.
struct Block {
  std::string key;
  uint16_t type = kText;
  std::string value;
  uint16_t valueLength = 0;
  std::vector<Block> children;
};

void padTo32Bits(std::string& out) {
  while (out.size() % 4 != 0) out += '\0';
}

void appendUtf16(std::string& out, const std::u16string& text) {
  for (char16_t unit : text) appendLittle16(out, static_cast<uint16_t>(unit));
  appendLittle16(out, 0);
}

std::string encode(const Block& block) {
  std::string out(6, '\0');
  appendUtf16(out, utf8ToUtf16(block.key));
  padTo32Bits(out);
  out += block.value;
  for (const Block& child : block.children) {
    padTo32Bits(out);
    out += encode(child);
  }
  std::string header;
  appendLittle16(header, static_cast<uint16_t>(out.size()));
  appendLittle16(header, block.valueLength);
  appendLittle16(header, block.type);
  out.replace(0, 6, header);
  return out;
}

}  // namespace

bool parseVersionNumber(const std::string& text, VersionNumber& version, std::string& error) {
  version = {0, 0, 0, 0};
  size_t part = 0;
  size_t position = 0;
  while (true) {
    const size_t end = text.find('.', position) == std::string::npos ? text.size() : text.find('.', position);
    const std::string digits = text.substr(position, end - position);
    if (part == 4 || digits.empty() || digits.size() > 5 ||
        digits.find_first_not_of("0123456789") != std::string::npos || std::stoul(digits) > 0xFFFF) {
      error = "\"" + text + "\" is not a version of up to four numbers from 0 to 65535, such as 1.4.2.0";
      return false;
    }
    version[part++] = static_cast<uint16_t>(std::stoul(digits));
    if (end == text.size()) return true;
    position = end + 1;
  }
}

std::string versionInfoResource(const VersionNumber& fileVersion, const VersionNumber& productVersion,
                                const std::vector<std::pair<std::string, std::string>>& strings) {
  Block root;
  root.key = "VS_VERSION_INFO";
  root.type = kBinary;
  for (uint32_t field :
       {kFixedSignature, kFixedStructureVersion, static_cast<uint32_t>(fileVersion[0]) << 16 | fileVersion[1],
        static_cast<uint32_t>(fileVersion[2]) << 16 | fileVersion[3],
        static_cast<uint32_t>(productVersion[0]) << 16 | productVersion[1],
        static_cast<uint32_t>(productVersion[2]) << 16 | productVersion[3], kFileFlagsMask, 0u, kWindowsNt32,
        kApplication, 0u, 0u, 0u}) {
    appendLittle32(root.value, field);
  }
  root.valueLength = static_cast<uint16_t>(root.value.size());

  Block table;
  table.key = "040904B0";  // US English, UTF-16
  for (const auto& entry : strings) {
    Block text;
    text.key = entry.first;
    const std::u16string value = utf8ToUtf16(entry.second);
    appendUtf16(text.value, value);
    text.valueLength = static_cast<uint16_t>(value.size() + 1);  // in characters, with the NUL
    table.children.push_back(text);
  }
  Block stringInfo;
  stringInfo.key = "StringFileInfo";
  stringInfo.children.push_back(table);

  Block translation;
  translation.key = "Translation";
  translation.type = kBinary;
  appendLittle16(translation.value, 0x0409);
  appendLittle16(translation.value, 1200);
  translation.valueLength = 4;
  Block varInfo;
  varInfo.key = "VarFileInfo";
  varInfo.children.push_back(translation);

  root.children.push_back(stringInfo);
  root.children.push_back(varInfo);
  return encode(root);
}

}  // namespace xoq
