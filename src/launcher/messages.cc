#include "launcher/messages.h"

#include <climits>
#include <cstdio>

#include "base/trace.h"
#include "config/ascii.h"
#include "config/config_store.h"
#include "platform/user_message.h"
#include "splash/splash_window.h"

namespace xoq {

namespace {

// Reads a decimal number as atoi does: leading white space, an optional
// sign, digits up to the first other character. Saturates instead of
// overflowing; no message has an identifier that large anyway.
long long readLeadingNumber(const char* text) {
  while (*text == ' ' || (*text >= '\t' && *text <= '\r')) ++text;
  bool negative = false;
  if (*text == '+' || *text == '-') negative = *text++ == '-';
  long long value = 0;
  while (*text >= '0' && *text <= '9') {
    if (value < INT_MAX) value = value * 10 + (*text - '0');
    ++text;
  }
  if (value > INT_MAX) value = INT_MAX;
  return negative ? -value : value;
}

// Built on the first lookup that has a configuration to read, then kept
// until the process ends. No lock: the first lookups happen on the main
// thread before the launch thread starts, or on the launch thread while
// the main thread waits.
const MessageOverrides* processOverrides() {
  static MessageOverrides* overrides = nullptr;
  if (overrides == nullptr && theConfig != nullptr) {
    StringList values;
    theConfig->messageValues(values);
    overrides = new MessageOverrides();
    overrides->build(values);
  }
  return overrides;
}

// Shows `text` in the one box, or asks it as a yes-or-no question; the
// answer (false for a plain message).
bool showWithCaption(const std::string& text, const std::string& caption, bool question = false) {
  trace("fatal message: %s", text.c_str());
  // The box may wait a long time for the user, who may also end the process
  // instead: a log file or command receiving the streams gets everything
  // printed so far first.
  fflush(nullptr);
  // The splash window, when there is one, owns the box and closes 100 ms
  // after it; without one the box has no owner and is still topmost. The
  // splash lock is not held while the box waits: the application's threads
  // and the splash thread go on using the splash meanwhile. A close that is
  // already pending (the launcher's own, armed before main) is cancelled
  // first: the splash would take the box it owns off the screen with it.
  scheduleLiveSplashClose(-1);
  void* owner = liveSplashOwner();
  bool yes = false;
  if (question) {
    yes = platform::askYesNo(text, caption, owner);
  } else {
    platform::showMessageBox(text, caption, owner);
  }
  scheduleLiveSplashClose(100);
  return yes;
}

}  // namespace

int exitCodeFor(int messageId) { return messageId == static_cast<int>(MessageId::AlreadyRunning) ? 11 : messageId; }

std::string unescapeMessage(const std::string& text) {
  std::string result;
  result.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      result += text[i];
      continue;
    }
    if (++i == text.size()) break;  // a backslash at the very end
    switch (text[i]) {
      case 'n':
        result += '\n';
        break;
      case 'r':
        result += '\r';
        break;
      case 't':
        result += '\t';
        break;
      default:
        result += text[i];
    }
  }
  return result;
}

void MessageOverrides::build(const StringList& values) {
  pairs_.clear();
  texts_.clear();
  for (size_t i = 0; i < values.size(); ++i) {
    const std::string value = values.str(i);
    const size_t equals = value.find('=');
    if (equals == std::string::npos) continue;
    const long long id = readLeadingNumber(value.substr(0, equals).c_str());
    if (id <= 0) continue;
    pairs_.push_back(static_cast<int32_t>(id));
    pairs_.push_back(static_cast<int32_t>(texts_.size()));
    texts_.append(unescapeMessage(value.substr(equals + 1)));
  }
  pairs_.push_back(0);
  pairs_.push_back(0);
}

bool MessageOverrides::find(int id, std::string& text) const {
  for (size_t i = 0; i + 1 < pairs_.size() && pairs_[i] != 0; i += 2) {
    const int32_t index = pairs_[i + 1];
    if (pairs_[i] == id && index >= 0 && static_cast<size_t>(index) < texts_.size()) {
      text = texts_.str(static_cast<size_t>(index));
      return true;
    }
  }
  return false;
}

std::vector<uint16_t> stringTableEntry(const uint16_t* block, size_t unitCount, int index) {
  size_t position = 0;
  const auto lengthAt = [&](size_t at) -> size_t { return at < unitCount ? block[at] : 0; };
  for (int skipped = 0; skipped < index; ++skipped) position += 1 + lengthAt(position);
  const size_t length = lengthAt(position);
  std::vector<uint16_t> units;
  // An entry that claims more units than the block holds is cut at its end.
  for (size_t i = 0; i < length && position + 1 + i < unitCount; ++i) units.push_back(block[position + 1 + i]);
  return units;
}

std::string loadMessage(int id) {
  std::string text;
  const MessageOverrides* overrides = processOverrides();
  if (overrides != nullptr && overrides->find(id, text)) return text;
  return builtInMessage(id);
}

std::string formatMessage(const std::string& format, const std::vector<std::string>& arguments) {
  std::string result;
  size_t next = 0;
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%' || i + 1 == format.size()) {
      result += format[i];
    } else if (format[i + 1] == 's') {
      if (next < arguments.size() && next < 5) result += arguments[next];
      ++next;
      ++i;
    } else if (format[i + 1] == '%') {
      result += '%';
      ++i;
    } else {
      result += '%';
    }
  }
  return result;
}

void showFatalMessage(const std::string& text) {
  showWithCaption(text, loadMessage(static_cast<int>(MessageId::ErrorCaption)));
}

void showDamagedFileMessage() {
  showWithCaption(builtInMessage(static_cast<int>(MessageId::FileDamaged)),
                  builtInMessage(static_cast<int>(MessageId::ErrorCaption)));
}

bool isDownloadAddress(const std::string& address) {
  size_t scheme = 0;
  for (const char* prefix : {"https://", "http://"}) {
    size_t i = 0;
    while (prefix[i] != '\0' && i < address.size() && asciiLower(address[i]) == prefix[i]) ++i;
    if (prefix[i] == '\0') {
      scheme = i;
      break;
    }
  }
  if (scheme == 0 || address.size() == scheme) return false;
  for (char c : address) {
    if (static_cast<unsigned char>(c) <= ' ' || c == '\x7f') return false;
  }
  return true;
}

void showRuntimeNotFound(const std::string& text) {
  const std::string address = theConfig != nullptr ? theConfig->downloadUrl() : std::string();
  if (address.empty()) {
    showFatalMessage(text);
    return;
  }
  if (!isDownloadAddress(address)) {
    trace("downloadurl %s: not an http or https address, not offered", address.c_str());
    showFatalMessage(text);
    return;
  }
  if (platform::isConsoleProgram()) {
    showFatalMessage(text + "\n" + formatMessage(loadMessage(static_cast<int>(MessageId::DownloadHint)), {address}));
    return;
  }
  const std::string question =
      text + "\n\n" + formatMessage(loadMessage(static_cast<int>(MessageId::DownloadQuestion)), {address});
  const bool open = showWithCaption(question, loadMessage(static_cast<int>(MessageId::ErrorCaption)), true);
  trace("download question: %s", open ? "yes" : "no");
  if (open && !platform::openWebAddress(address)) trace("could not open %s", address.c_str());
}

int reportLaunchFailure(int result, const LaunchFailureDetails& details) {
  if (result == static_cast<int>(MessageId::FileDamaged)) {
    showDamagedFileMessage();
    return result;
  }
  std::string text = loadMessage(result);
  if (result == static_cast<int>(MessageId::VersionTooLow) || result == static_cast<int>(MessageId::VersionTooHigh)) {
    text = formatMessage(text, {details.javaVersion, details.minJre, details.maxJre, std::string(), std::string()});
  } else if (result == static_cast<int>(MessageId::RuntimeCacheFailed)) {
    text = formatMessage(text, {details.folder, details.reason, std::string(), std::string(), std::string()});
  }
  if (result == static_cast<int>(MessageId::RuntimeNotFound)) {
    showRuntimeNotFound(text);
    return result;
  }
  showFatalMessage(text);
  return result;
}

}  // namespace xoq
