// The user's messages: the numbered texts (the executable's string table on
// Windows, compiled in on Linux), the overrides from `message` lines, the one
// fatal message box, and the exit code that goes with each message.
#ifndef XOQ_LAUNCHER_MESSAGES_H_
#define XOQ_LAUNCHER_MESSAGES_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "config/string_list.h"

namespace xoq {

/// The identifiers of the message table (string-table blocks 1 and 2).
enum class MessageId : int {
  RuntimeNotFound = 1,
  RuntimeNotValid = 2,
  VmInitFailed = 3,
  VmStartFailed = 4,
  VersionUnreadable = 5,
  VersionTooLow = 6,
  MainClassNotFound = 7,
  MainMethodMissing = 8,
  FileDamaged = 9,
  ErrorCaption = 10,
  VersionTooHigh = 12,
  AlreadyRunning = 13,
  DownloadQuestion = 14,    // with `downloadurl`: the box's question after message 1
  DownloadHint = 15,        // with `downloadurl`: the line printed after message 1
  RuntimeCacheFailed = 16,  // the carried runtime or extracted files cannot be put into the user's cache
};

/// The process exit code that goes with a message: 11 for AlreadyRunning,
/// the identifier itself otherwise.
int exitCodeFor(int messageId);

/// `text` with its backslash escapes resolved: \n, \r and \t become line
/// feed, carriage return and tab, a backslash before any other character
/// becomes that character, a backslash at the very end is dropped.
std::string unescapeMessage(const std::string& text);

/// The overrides from `message` lines ("number=text"), first line first.
class MessageOverrides {
 public:
  /// Builds the table from the values of the `message` key: values without
  /// '=' and identifiers of 0 or less (read as atoi reads them) are skipped;
  /// texts are unescaped.
  void build(const StringList& values);
  /// The text of the first line for `id`; false when none.
  bool find(int id, std::string& text) const;

 private:
  std::vector<int32_t> pairs_;  // identifier, index into texts_; closed by (0, 0)
  StringList texts_;
};

/// The text of message `id` in the executable's own table, without
/// overrides: the string-table resource on Windows (converted with wcstombs
/// under the process locale), the compiled-in copy on Linux. Empty when the
/// table has no such entry.
std::string builtInMessage(int id);

/// The entry `index` (0 to 15) of a string-table block: 16 entries of a
/// 16-bit length and that many UTF-16 units. Positions outside the block
/// count as length 0. Returns the entry's units.
std::vector<uint16_t> stringTableEntry(const uint16_t* block, size_t unitCount, int index);

/// The text of message `id`: the first `message` override for it, else the
/// built-in text; empty when neither exists. The overrides are read from
/// the process's configuration on the first call that finds one.
std::string loadMessage(int id);

/// Fills the printf-style `format` with up to five string arguments, for
/// messages 6 and 12: each "%s" takes the next argument (an empty string
/// after the fifth), "%%" gives '%', and any other '%' is copied as written.
/// Override texts are the user's, so no other conversion is ever honoured;
/// the result grows as needed and is never cut.
std::string formatMessage(const std::string& format, const std::vector<std::string>& arguments);

/// Shows `text` as the one fatal message: a modal box captioned with message
/// 10 (standard error in a console program and on Linux). Does not end the
/// process.
void showFatalMessage(const std::string& text);

/// Shows message 9 with the built-in texts only: the configuration that
/// could override them belongs to the file that failed its check.
void showDamagedFileMessage();

/// True when `address` may be offered as the place to get Java: an http or
/// https address (the scheme in any letter case) with something after it and
/// no control characters or blanks. Anything else is never handed to the
/// system to open: a file name there would start a program.
bool isDownloadAddress(const std::string& address);

/// Shows message 1 (no runtime found). With a `downloadurl` that
/// isDownloadAddress accepts, a GUI program asks whether to open it
/// (message 1, a blank line and message 14 with the address for its %s; Yes
/// opens it in the browser), and a console program and Linux print message
/// 15 with the address below message 1. Without one, message 1 alone.
void showRuntimeNotFound(const std::string& text);

/// What a launch failure's message is filled in with: for 6 and 12 the
/// virtual machine's version, `minjre` and `maxjre`; for 16 the cache
/// folder and the system's reason.
struct LaunchFailureDetails {
  std::string javaVersion;
  std::string minJre;
  std::string maxJre;
  std::string folder;
  std::string reason;
};

/// Reports a launch result other than 0: message `result`, for 6 and 12
/// formatted with the version and the bounds, for 16 with the folder and
/// the reason; result 9 shows the damaged-file message. Returns `result`.
int reportLaunchFailure(int result, const LaunchFailureDetails& details);

}  // namespace xoq

#endif  // XOQ_LAUNCHER_MESSAGES_H_
