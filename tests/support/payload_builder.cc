#include "support/payload_builder.h"

namespace xoq {
namespace testing {

namespace {

void appendLittle32(std::string& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

}  // namespace

std::string emptyZipArchive() { return std::string("PK\x05\x06", 4) + std::string(18, '\0'); }

BuiltPayload buildPayloadFile(const std::string& image, const std::string& block, const std::string& archive,
                              const std::string& comment) {
  BuiltPayload built;
  built.file = image + block;
  built.file += '\0';
  appendLittle32(built.file, static_cast<uint32_t>(block.size() + 1));
  built.file.append(16, '\0');
  built.file += archive;
  built.file += comment;
  built.archiveLength = static_cast<uint32_t>(archive.size());
  return built;
}

}  // namespace testing
}  // namespace xoq
