// Scratch files for tests, on both targets.
#ifndef XOQ_TESTS_SUPPORT_FILES_H_
#define XOQ_TESTS_SUPPORT_FILES_H_

#include <string>

namespace xoq {
namespace testing {

/// A fresh directory under the system's temporary folder, removed with
/// everything in it when the object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  /// The directory, without a trailing separator.
  const std::string& path() const { return path_; }
  /// path() + "/" + name
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

/// Writes `content` to `path`, creating missing parent directories.
void writeFile(const std::string& path, const std::string& content);
/// Lets the owner run `path`, as a copy of a packaged executable needs.
void makeExecutable(const std::string& path);
/// The content of `path`; empty when it cannot be read.
std::string readFile(const std::string& path);
/// The content of `path` once it exists, waiting at most `seconds` for it:
/// for files that a process which outlives the one the test ran (a command
/// receiving its output) writes. Empty when it never appears.
std::string awaitFile(const std::string& path, int seconds = 60);

/// `text` without its carriage returns: lines as Linux writes them, where
/// the Windows C runtime's text mode writes CR LF.
std::string withoutCarriageReturns(const std::string& text);

}  // namespace testing
}  // namespace xoq

#endif  // XOQ_TESTS_SUPPORT_FILES_H_
