// The program's arguments: the tokenizer that splits a Windows command line
// (and each `argv` line) the way Windows programs split theirs, the file
// pattern expansion of `*` and `?`, and the argument vector that the
// `wildcard` key rebuilds from the process's own command line.
#ifndef XOQ_CONFIG_ARGUMENTS_H_
#define XOQ_CONFIG_ARGUMENTS_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "config/string_list.h"
#include "platform/command_line.h"

namespace xoq {

class ConfigStore;

/// Where a token held wildcard characters, one entry per token.
enum WildcardMark : int32_t {
  kNoWildcard = 0,             // no `*` or `?`
  kWildcardOutsideQuotes = 1,  // only outside double quotes
  kWildcardInsideQuotes = -1,  // at least one inside double quotes
};

/// Which tokens the rebuilt command line expands.
enum WildcardMode : int {
  kWildcardOff = 0,     // `main`'s arguments stay in force
  kExpandUnquoted = 1,  // tokens marked kWildcardOutsideQuotes
  kExpandAll = 2,       // tokens marked either way
};

/// The mode a `wildcard` value asks for: "true" and "auto" give
/// kExpandUnquoted, "all" kExpandAll (any letter case), anything else off.
WildcardMode wildcardMode(const std::string& value);

/// Splits the NUL-terminated `text` in place into tokens: blanks separate
/// them outside double quotes, quotes are removed, 2n backslashes before a
/// quote give n and a quote toggle, 2n+1 give n and a literal quote,
/// backslashes elsewhere are literal. Appends a pointer into `text` per token
/// to `tokens` and returns its new length; when `marks` is not null it ends
/// up with one WildcardMark per entry of `tokens`.
size_t splitArguments(std::vector<char*>& tokens, char* text, std::vector<int32_t>* marks);

/// The tokens of `line` (up to its first NUL), split as a command line is.
std::vector<std::string> splitArgumentLine(const std::string& line);

/// Appends to `matches` every existing path that `pattern` matches, with the
/// pattern's directory prefix (a relative pattern gives relative names), in
/// the order the directory search returns them; directory components may
/// hold wildcards too (src\*\*.java). A pattern without `*` or `?` is
/// appended when it exists. Appends nothing when nothing matches.
void expandWildcard(const std::string& pattern, StringList& matches);

/// The rebuilt arguments, program name first, and a null-terminated array
/// of pointers to them. Lives until the process ends once filled.
class ArgumentStore {
 public:
  void clear();
  void append(const std::string& argument);
  /// Number of arguments, the program name included.
  int count() const { return static_cast<int>(strings_.size()); }
  /// The arguments; valid until the next append or clear.
  char** vector();

 private:
  StringList strings_;
  std::vector<char*> pointers_;
};

/// Fills `store` from `commandLine`: raw text is split with splitArguments;
/// arguments already split (Linux) are one token each, marked
/// kWildcardOutsideQuotes when they hold `*` or `?`, since the quoting the
/// shell removed cannot be seen any more. Tokens the mode selects are
/// replaced by their matches, or kept as written when there are none.
/// Returns the count, program name included.
int collectArguments(const platform::CommandLine& commandLine, WildcardMode mode, ArgumentStore& store);

/// Rebuilds the process-wide ArgumentStore from the process's own command
/// line in `mode`; `vector` receives its pointers. Returns the count,
/// program name included.
int collectProgramArguments(WildcardMode mode, char**& vector);

/// Start-up step: with a `wildcard` mode, replaces `argc` and `argv` (the
/// program name first, as `main` received them) by the rebuilt arguments;
/// otherwise leaves them.
void applyWildcardArguments(const ConfigStore& config, int& argc, char**& argv);

}  // namespace xoq

#endif  // XOQ_CONFIG_ARGUMENTS_H_
