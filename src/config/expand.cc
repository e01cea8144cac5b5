#include "config/expand.h"

#include <mutex>

#include "config/config_store.h"
#include "config/registry_reference.h"
#include "platform/platform.h"
#include "platform/text_encoding.h"

namespace xoq {

namespace {

bool isNameCharacter(char c) {
  // Bytes of 0x80 and above end a plain name: names are ASCII, and a
  // non-ASCII letter right after "$X" is more likely text than name.
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// HOME is composed once and kept for the process; while the composition is
// empty it is tried again, since the variables may appear later (exports).
std::mutex homeMutex;
std::string homeValue;

std::string composedHome() {
  std::lock_guard<std::mutex> lock(homeMutex);
  if (homeValue.empty()) {
    std::string drive, path;
    if (platform::getEnvironment("HOMEDRIVE", drive) && platform::getEnvironment("HOMEPATH", path)) {
      homeValue = drive + path;
    }
  }
  return homeValue;
}

bool lookUpName(const std::string& name, const ConfigStore* config, std::string& value) {
  // PWD is the one name the launcher answers before the environment: shells
  // export a PWD of their own to every program (a POSIX path even under
  // MSYS on Windows), and it goes stale once forcecwd changes the directory.
  if (config != nullptr && isConfigWord(name, "pwd")) {
    value = config->workingDirectory();
    return true;
  }
  // Otherwise the environment first, so a variable of the same name wins
  // over the launcher's own names (HOME above all); the registry last.
  return platform::getEnvironment(name, value) || resolveSpecialName(name, config, value) ||
         readRegistryReference(name, config, value);
}

}  // namespace

bool resolveSpecialName(const std::string& name, const ConfigStore* config, std::string& value) {
  if (config != nullptr) {
    if (isConfigWord(name, "application_home")) {
      value = config->applicationHome();
      return true;
    }
    if (isConfigWord(name, "pwd")) {
      value = config->workingDirectory();
      return true;
    }
    if (isConfigWord(name, "xoq_app_path")) {
      value = config->executablePath();
      return true;
    }
  }
  if (isConfigWord(name, "home")) {
    value = composedHome();
    return true;
  }
  return false;
}

bool resolveSpecialName(const std::string& name, std::string& value) {
  return resolveSpecialName(name, theConfig, value);
}

std::string expandReferences(const std::string& text, bool utf8Output) {
  return expandReferences(text, utf8Output, theConfig);
}

std::string expandReferences(const std::string& text, bool utf8Output, const ConfigStore* config) {
  const size_t length = text.size();
  std::string result;
  size_t scan = 0;
  size_t copied = 0;
  while (true) {
    const size_t start = text.find_first_of("%$", scan);
    if (start == std::string::npos) break;
    const char introducer = text[start];

    // The name, and `after`: the position just after the name, or after
    // the '}' of the braced form.
    size_t nameStart = start + 1;
    size_t nameEnd = nameStart;
    size_t after = nameStart;
    if (nameStart < length && text[nameStart] == '{') {
      ++nameStart;
      const size_t close = text.find('}', nameStart);
      nameEnd = close == std::string::npos ? length : close;
      after = close == std::string::npos ? length : close + 1;
    } else {
      while (nameEnd < length && isNameCharacter(text[nameEnd])) ++nameEnd;
      after = nameEnd;
    }

    if (nameEnd == nameStart) {
      // "%%" and "$$" (also "%{}%", "${}$") stand for the character itself;
      // any other empty name is no reference.
      if (after < length && text[after] == introducer) {
        result.append(text, copied, start - copied);
        result += introducer;
        scan = copied = after + 1;
      } else {
        scan = after;
      }
      continue;
    }

    size_t end = after;
    if (introducer == '%') {
      // "%" references need their closing "%": "50%x off" is plain text.
      if (after >= length || text[after] != '%') {
        scan = after;
        continue;
      }
      end = after + 1;
    }

    std::string value;
    if (!lookUpName(text.substr(nameStart, nameEnd - nameStart), config, value)) {
      scan = end;
      continue;
    }
    if (utf8Output && hasHighBytes(value)) value = narrowToUtf8(value);
    result.append(text, copied, start - copied);
    result += value;
    scan = copied = end;
  }
  result.append(text, copied, std::string::npos);
  return result;
}

}  // namespace xoq
