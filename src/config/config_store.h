// The one configuration object of the process: the configuration text (the
// external file next to the executable first, then the payload's block),
// held as UTF-8 and scanned line by line on every read. Nothing is parsed
// into a table; the text is a few hundred bytes and each key is read a
// handful of times during start-up.
#ifndef XOQ_CONFIG_CONFIG_STORE_H_
#define XOQ_CONFIG_CONFIG_STORE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "config/string_list.h"

namespace xoq {

class ConfigStore {
 public:
  /// Called once per value of a multi-valued read, in text order. `value`
  /// is NUL-terminated and valid for the duration of the call.
  using Visitor = void (*)(void* context, const char* value);

  ConfigStore() = default;
  ConfigStore(const ConfigStore&) = delete;
  ConfigStore& operator=(const ConfigStore&) = delete;
  ConfigStore(ConfigStore&&) = default;
  ConfigStore& operator=(ConfigStore&&) = default;

  /// Loads the configuration of the running executable: its own path and
  /// patched archive length.
  void loadConfiguration();

  /// Loads the configuration of the executable at `executable`, whose
  /// payload holds an archive of `archiveLength` bytes. Reports nothing: a
  /// missing external file means no external part, an unreadable
  /// executable or a block that does not fit the file means no block.
  void loadConfiguration(const std::string& executable, uint32_t archiveLength);

  /// Transcodes one source to UTF-8 by its byte-order mark (UTF-8, UTF-16
  /// LE or BE; the ANSI code page without a mark) and appends it.
  void appendText(const char* bytes, size_t length);

  /// The value of the first line that belongs to `key`; empty when none.
  std::string lookup(const char* key, bool payloadOnly, bool narrow) const;

  /// Calls `visitor` for the value of every line that belongs to `key`.
  void forEachValue(const char* key, bool payloadOnly, bool narrow, Visitor visitor, void* context) const;

  /// Appends the value of every line that belongs to `key` to `out`.
  void collectValues(const char* key, bool payloadOnly, bool narrow, StringList& out) const;

  /// The assembled configuration text (UTF-8, may hold a NUL that ends it).
  const std::string& text() const { return text_; }
  int32_t externalLength() const { return externalLength_; }
  /// The external file that was read, or empty.
  const std::string& externalFile() const { return externalFile_; }

  int32_t payloadPosition() const { return payloadPosition_; }
  void setPayloadPosition(int32_t position) { payloadPosition_ = position; }

  const std::string& executablePath() const { return executablePath_; }
  const std::string& applicationHome() const { return applicationHome_; }
  const std::string& workingDirectory() const { return workingDirectory_; }

  /// Re-reads the current directory, after the start-up sequence changed it.
  void refreshWorkingDirectory();

  /// Sets the paths without loading anything; for stores built in memory.
  void setPaths(const std::string& executable, const std::string& workingDirectory);

 private:
  // Calls `onValue(value)` for every matching line; stops early when it
  // returns false.
  template <typename OnValue>
  void scan(const char* key, bool payloadOnly, bool narrow, OnValue onValue) const;

  void readExternalFile();
  void applyDisableExternal();

  std::string text_;
  int32_t externalLength_ = 0;
  std::string executablePath_;
  std::string applicationHome_;
  std::string workingDirectory_;
  int32_t payloadPosition_ = 0;
  std::string externalFile_;
};

/// The external configuration file names for `executable`, in the order they
/// are tried: path + ".cfg", path + ".config", then the same with the file's
/// extension replaced (equal to the first two when it has none).
std::vector<std::string> externalConfigCandidates(const std::string& executable);

/// `path` with a "/" appended unless it already ends in '\' or '/'.
std::string withTrailingSeparator(const std::string& path);

}  // namespace xoq

#endif  // XOQ_CONFIG_CONFIG_STORE_H_
