// The directory search behind file patterns with `*` and `?`.
#ifndef XOQ_PLATFORM_FILE_SEARCH_H_
#define XOQ_PLATFORM_FILE_SEARCH_H_

#include <string>
#include <vector>

namespace xoq {
namespace platform {

struct FoundEntry {
  std::string name;  // the entry's name alone, without its directory
  bool isDirectory = false;
};

/// The characters that separate path components in a pattern: '\' and '/'
/// on Windows; only '/' on Linux, where '\' is an ordinary file name
/// character.
extern const char kPatternSeparators[];

/// The entries of the directory named by `pattern` up to its last separator
/// (the current directory when there is none) whose names match the last
/// component, "." and ".." left out, hidden and system entries included.
/// Windows: _findfirst/_findnext, with the system's matching rules and
/// order. Linux: `*` matches any run of characters, `?` any one character,
/// everything else itself (case-sensitive, a leading '.' included), in
/// byte order of the names. False when the directory cannot be searched or
/// nothing matches.
bool findMatchingEntries(const std::string& pattern, std::vector<FoundEntry>& entries);

/// True when `name` matches `pattern` by the Linux rules above.
bool matchesPattern(const char* pattern, const char* name);

}  // namespace platform
}  // namespace xoq

#endif  // XOQ_PLATFORM_FILE_SEARCH_H_
