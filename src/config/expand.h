// References inside configuration values: environment variables, the
// launcher's own names (APPLICATION_HOME, PWD, XOQ_APP_PATH, HOME) and, on
// Windows, registry values. One pass over the value: what a reference is
// replaced with is not scanned again, except registry values of the
// expandable string type.
//
//   %NAME%   %{NAME}%   $NAME   ${NAME}   %% -> %   $$ -> $
//
// A plain name is a run of ASCII letters, digits and '_'; a braced name is
// everything up to the next '}' (to the end of the text when there is none).
// A name is looked up in the environment, then among the launcher's own
// names, then in the registry; PWD alone is always the launcher's working
// directory. A reference that nothing resolves stays in the text as written.
#ifndef XOQ_CONFIG_EXPAND_H_
#define XOQ_CONFIG_EXPAND_H_

#include <string>

namespace xoq {

class ConfigStore;

/// `text` with its references replaced; the launcher's own names come from
/// `theConfig` (unknown while it is not set). With `utf8Output` the text is
/// UTF-8 and every inserted value is converted from the narrow form to
/// UTF-8. Never fails.
std::string expandReferences(const std::string& text, bool utf8Output);

/// The same, with the launcher's own names taken from `config` (unknown when
/// it is null).
std::string expandReferences(const std::string& text, bool utf8Output, const ConfigStore* config);

/// The value of a launcher-defined name (ASCII case ignored): the
/// application home and working directory with their trailing separator, the
/// executable's path, and HOME (HOMEDRIVE + HOMEPATH, empty when either is
/// missing, kept once built). False for any other name, and for the
/// store's names when `config` is null.
bool resolveSpecialName(const std::string& name, const ConfigStore* config, std::string& value);

/// resolveSpecialName with `theConfig`.
bool resolveSpecialName(const std::string& name, std::string& value);

}  // namespace xoq

#endif  // XOQ_CONFIG_EXPAND_H_
