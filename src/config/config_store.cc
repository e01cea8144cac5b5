#include "config/config_store.h"

#include <cstring>

#include "base/trace.h"
#include "config/ascii.h"
#include "config/payload.h"
#include "platform/platform.h"
#include "platform/text_encoding.h"

namespace xoq {

ConfigStore* theConfig = nullptr;

namespace {

bool isSeparator(char c) { return c == '\\' || c == '/'; }

// A key ends where a letter, digit or '_' cannot follow. Bytes of 0x80 and
// above count as letters: they belong to a longer, non-ASCII word.
bool continuesKey(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || u >= 0x80;
}

void appendUtf16(std::string& out, const unsigned char* bytes, size_t length, bool bigEndian) {
  for (size_t i = 0; i + 1 < length; i += 2) {
    const uint32_t unit = bigEndian ? (bytes[i] << 8 | bytes[i + 1]) : (bytes[i + 1] << 8 | bytes[i]);
    if (unit == 0) break;
    appendUnitAsUtf8(out, unit);
  }
}

}  // namespace

std::string withTrailingSeparator(const std::string& path) {
  if (!path.empty() && isSeparator(path.back())) return path;
  return path + "/";
}

std::vector<std::string> externalConfigCandidates(const std::string& executable) {
  size_t nameStart = executable.find_last_of("\\/");
  nameStart = nameStart == std::string::npos ? 0 : nameStart + 1;
  const size_t dot = executable.rfind('.');
  const std::string stem = (dot != std::string::npos && dot >= nameStart) ? executable.substr(0, dot) : executable;
  return {executable + ".cfg", executable + ".config", stem + ".cfg", stem + ".config"};
}

void ConfigStore::appendText(const char* bytes, size_t length) {
  const unsigned char* u = reinterpret_cast<const unsigned char*>(bytes);
  if (length >= 3 && u[0] == 0xEF && u[1] == 0xBB && u[2] == 0xBF) {
    text_.append(bytes + 3, length - 3);
  } else if (length >= 2 && u[0] == 0xFF && u[1] == 0xFE) {
    appendUtf16(text_, u + 2, length - 2, false);
  } else if (length >= 2 && u[0] == 0xFE && u[1] == 0xFF) {
    appendUtf16(text_, u + 2, length - 2, true);
  } else {
    text_ += narrowToUtf8(bytes, length);
  }
}

template <typename OnValue>
void ConfigStore::scan(const char* key, bool payloadOnly, bool narrow, OnValue onValue) const {
  const size_t keyLength = strlen(key);
  size_t position = payloadOnly ? static_cast<size_t>(externalLength_) : 0;
  if (position > text_.size()) return;
  const char* text = text_.c_str();
  // The text ends at its first NUL: a NUL inside a UTF-8 external file hides
  // the block from whole-text reads, while payload-only reads start after it.
  const size_t end = position + strnlen(text + position, text_.size() - position);
  while (position < end) {
    size_t lineEnd = position;
    while (lineEnd < end && text[lineEnd] != '\r' && text[lineEnd] != '\n') ++lineEnd;
    size_t next = lineEnd;
    if (next < end) {
      const char first = text[next++];
      // CR LF and LF CR are each one line break.
      if (next < end && (text[next] == '\r' || text[next] == '\n') && text[next] != first) ++next;
    }

    size_t i = position;
    while (i < lineEnd && text[i] == ' ') ++i;
    bool belongs = lineEnd - i >= keyLength;
    for (size_t k = 0; belongs && k < keyLength; ++k) belongs = asciiLower(text[i + k]) == asciiLower(key[k]);
    if (belongs && i + keyLength < lineEnd && continuesKey(text[i + keyLength])) belongs = false;
    if (belongs) {
      i += keyLength;
      while (i < lineEnd && text[i] == ' ') ++i;
      if (i < lineEnd && text[i] == '=') ++i;
      while (i < lineEnd && text[i] == ' ') ++i;
      std::string value(text + i, lineEnd - i);
      if (narrow) value = utf8ToNarrow(value);
      if (!onValue(value)) return;
    }
    position = next;
  }
}

std::string ConfigStore::lookup(const char* key, bool payloadOnly, bool narrow) const {
  std::string found;
  scan(key, payloadOnly, narrow, [&found](std::string& value) {
    found.swap(value);
    return false;
  });
  return found;
}

void ConfigStore::forEachValue(const char* key, bool payloadOnly, bool narrow, Visitor visitor, void* context) const {
  scan(key, payloadOnly, narrow, [visitor, context](const std::string& value) {
    visitor(context, value.c_str());
    return true;
  });
}

void ConfigStore::collectValues(const char* key, bool payloadOnly, bool narrow, StringList& out) const {
  scan(key, payloadOnly, narrow, [&out](const std::string& value) {
    out.append(value);
    return true;
  });
}

void ConfigStore::setPaths(const std::string& executable, const std::string& workingDirectory) {
  executablePath_ = executable;
  const size_t separator = executable.find_last_of("\\/");
  applicationHome_ = separator == std::string::npos ? std::string() : executable.substr(0, separator + 1);
  workingDirectory_ = withTrailingSeparator(workingDirectory);
}

void ConfigStore::refreshWorkingDirectory() { workingDirectory_ = withTrailingSeparator(platform::currentDirectory()); }

void ConfigStore::loadConfiguration() { loadConfiguration(platform::modulePath(), ownArchiveLength()); }

void ConfigStore::loadConfiguration(const std::string& executable, uint32_t archiveLength) {
  text_.clear();
  externalLength_ = 0;
  externalFile_.clear();

  platform::MappedFile image;
  image.open(executable);
  const PayloadLayout layout = locatePayload(*this, image.data(), image.size(), archiveLength);
  setPaths(executable, platform::currentDirectory());
  trace("executable: %s", executablePath_.c_str());
  trace("payload position: %lld (archive %u bytes, comment %u bytes, file %u bytes)",
        static_cast<long long>(layout.payloadPosition), layout.archiveLength, layout.commentLength, layout.fileSize);

  readExternalFile();
  if (!text_.empty()) text_ += "\r\n";
  externalLength_ = static_cast<int32_t>(text_.size());

  if (layout.configFits) {
    const char* block = reinterpret_cast<const char*>(image.data()) + layout.configStart;
    // The stored length counts the NUL; the text stops at its first NUL.
    const size_t length = strnlen(block, layout.configLength);
    appendText(block, length);
    trace("configuration block: %u bytes", static_cast<unsigned>(length));
  } else {
    trace("configuration block: none (the payload does not fit the file)");
  }
  image.close();

  applyDisableExternal();
}

void ConfigStore::readExternalFile() {
  for (const std::string& candidate : externalConfigCandidates(executablePath_)) {
    if (!platform::isReadable(candidate)) continue;
    std::string content;
    if (!platform::readWholeFile(candidate, content)) continue;
    appendText(content.data(), content.size());
    externalFile_ = candidate;
    trace("external configuration: %s (%u bytes)", candidate.c_str(), static_cast<unsigned>(content.size()));
    return;
  }
  trace("external configuration: none");
}

void ConfigStore::applyDisableExternal() {
  if (!isConfigWord(lookup("disableexternal", true, true), "true") || externalLength_ == 0) return;
  text_.erase(0, static_cast<size_t>(externalLength_));
  externalLength_ = 0;
  trace("external configuration disabled by the block");
}

}  // namespace xoq
