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

  /// The absolute form of a configured path: unchanged when empty, when it
  /// begins with '\' or '/' or when its second character is ':'; else the
  /// application home + path when that exists, the working directory + path
  /// when that exists, and the application home form when neither does.
  std::string resolvePath(const std::string& path) const;

  // The typed getters, one per key. An absent or empty key gives the default
  // named here. Values are in the narrow form unless said otherwise;
  // "expanded" means references inside are replaced (expandReferences, with
  // this store's paths), and multi-valued getters append every line's value,
  // in text order, to `out`. With XOQ_TRACE set, each getter traces what it
  // hands out.

  /// `mainclass`, from the configuration block only; empty when absent.
  std::string mainClass() const;
  /// `argv`, each value expanded; one value may hold several arguments.
  void argvValues(StringList& out) const;
  /// `wildcard` as written; callers compare it with isConfigWord.
  std::string wildcard() const;
  /// `message`, each value ("number=text") expanded.
  void messageValues(StringList& out) const;
  /// `splash`, expanded and resolved; empty when absent.
  std::string splash() const;
  /// `splashtitle` as written.
  std::string splashTitle() const;
  /// `splashcloseonwindow`: true only for "true" in any letter case.
  bool splashCloseOnWindow() const;
  /// `singleinstance` as written; callers compare it with isConfigWord.
  std::string singleInstance() const;
  /// `forcecwd`, expanded; empty when the current directory is kept.
  std::string forceCwd() const;
  /// `stdout`, expanded; empty when standard output stays as it is.
  std::string stdoutTarget() const;
  /// `stderr`, expanded; empty when standard error stays as it is.
  std::string stderrTarget() const;
  /// `jre_order` as written; empty when absent (the search has the default).
  std::string jreOrder() const;
  /// `jre`, expanded, "./jre/" when that leaves it empty, then resolved.
  std::string jre() const;
  /// `jvmdll`, expanded and resolved; empty when absent.
  std::string jvmDll() const;
  /// `vm`, expanded, read on the first call and kept; "-" when there is
  /// none. Callers treat one character or less as no preference.
  std::string preferredVmName();
  /// `minjre` as written; empty: no lower bound.
  std::string minJre() const;
  /// `maxjre` as written; empty: no upper bound.
  std::string maxJre() const;
  /// `downloadurl`, expanded: where to get Java when no runtime is found;
  /// empty when absent.
  std::string downloadUrl() const;
  /// `java_classpath` lines as written: the class path code splits them at
  /// ';' and expands each entry itself.
  void javaClassPathValues(StringList& out) const;
  /// `classpath` lines as written, for the same reason.
  void classPathValues(StringList& out) const;
  /// `java_libs`, each expanded and resolved.
  void javaLibs(StringList& out) const;
  /// `libs`, each expanded and resolved.
  void libs(StringList& out) const;
  /// `option`, each expanded.
  void options(StringList& out) const;
  /// `property`, each kept in UTF-8 and expanded into UTF-8.
  void properties(StringList& out) const;
  /// `export`, each expanded.
  void exports(StringList& out) const;
  /// `assystemclassloader`: on unless the value is "false" in any letter
  /// case, exactly.
  bool asSystemClassLoader() const;
  /// `compatible`, from the configuration block only; off unless "true".
  bool compatible() const;
  /// `codesource`: off unless "true"; the external file may set it.
  bool codeSource() const;
  /// `disableexternal`, from the configuration block only; off unless "true".
  bool disableExternal() const;
  /// `classdatacache`: off unless "true".
  bool classDataCache() const;
  /// `extract`, from the configuration block only (xoqpack prepares the
  /// entries it names), as written, in UTF-8 like the entry names.
  void extractPatterns(StringList& out) const;

  /// Sets the paths without loading anything; for stores built in memory.
  void setPaths(const std::string& executable, const std::string& workingDirectory);

 private:
  // Calls `onValue(value)` for every matching line; stops early when it
  // returns false.
  template <typename OnValue>
  void scan(const char* key, bool payloadOnly, bool narrow, OnValue onValue) const;

  void readExternalFile();
  void applyDisableExternal();

  std::string expandedValue(const char* key) const;
  void expandedValues(const char* key, bool resolve, StringList& out) const;

  std::string text_;
  int32_t externalLength_ = 0;
  std::string executablePath_;
  std::string applicationHome_;
  std::string workingDirectory_;
  std::string preferredVm_;
  int32_t payloadPosition_ = 0;
  std::string externalFile_;
};

/// The external configuration file names for `executable`, in the order they
/// are tried: path + ".cfg", path + ".config", then the same with the file's
/// extension replaced (equal to the first two when it has none).
std::vector<std::string> externalConfigCandidates(const std::string& executable);

/// `path` with a "/" appended unless it already ends in '\' or '/'.
std::string withTrailingSeparator(const std::string& path);

/// True when `value` is `word` (lower-case ASCII) without regard to ASCII
/// case, with nothing before or after it: how boolean and word-valued keys
/// compare.
bool isConfigWord(const std::string& value, const char* word);

/// The process's one configuration, for the natives and helpers that the
/// virtual machine calls on its own threads. Set on the main thread before
/// any other thread starts and cleared only after the launch thread has
/// ended, so no lock guards it.
extern ConfigStore* theConfig;

}  // namespace xoq

#endif  // XOQ_CONFIG_CONFIG_STORE_H_
