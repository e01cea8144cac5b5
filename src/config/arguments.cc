#include "config/arguments.h"

#include <cstring>

#include "base/trace.h"
#include "config/config_store.h"
#include "platform/file_search.h"
#include "platform/platform.h"

namespace xoq {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

bool isPatternSeparator(char c) { return c != '\0' && strchr(platform::kPatternSeparators, c) != nullptr; }

void growMarks(std::vector<int32_t>* marks, size_t length) {
  if (marks != nullptr && marks->size() < length) marks->resize(length, kNoWildcard);
}

int32_t markOf(const char* argument) {
  return strpbrk(argument, "*?") != nullptr ? kWildcardOutsideQuotes : kNoWildcard;
}

bool selectedForExpansion(int32_t mark, WildcardMode mode) {
  if (mark == kNoWildcard || mode == kWildcardOff) return false;
  return mark == kWildcardOutsideQuotes || mode == kExpandAll;
}

// The process-wide store: filled once on the main thread before the launch
// thread starts, read only afterwards, and kept until the process ends since
// the launch holds pointers into it.
ArgumentStore& processArgumentStore() {
  static ArgumentStore* store = new ArgumentStore();
  return *store;
}

}  // namespace

WildcardMode wildcardMode(const std::string& value) {
  if (isConfigWord(value, "true") || isConfigWord(value, "auto")) return kExpandUnquoted;
  if (isConfigWord(value, "all")) return kExpandAll;
  return kWildcardOff;
}

size_t splitArguments(std::vector<char*>& tokens, char* text, std::vector<int32_t>* marks) {
  const size_t end = strlen(text);
  size_t read = 0;
  size_t write = 0;
  bool quoted = false;
  while (read < end) {
    while (read < end && isBlank(text[read])) {
      text[write++] = '\0';
      ++read;
    }
    if (read >= end) break;
    tokens.push_back(text + write);
    while (read < end && (quoted || !isBlank(text[read]))) {
      const char c = text[read];
      if (c == '"') {
        quoted = !quoted;
        ++read;
      } else if (c == '\\') {
        size_t run = 0;
        while (read < end && text[read] == '\\') {
          text[write++] = '\\';
          ++read;
          ++run;
        }
        if (read < end && text[read] == '"') {
          write -= (run + 1) / 2;
          if (run % 2 == 1) {
            text[write++] = '"';
            ++read;
          }
        }
      } else {
        if ((c == '*' || c == '?') && marks != nullptr) {
          growMarks(marks, tokens.size());
          int32_t& mark = (*marks)[tokens.size() - 1];
          if (mark != kWildcardInsideQuotes) mark = quoted ? kWildcardInsideQuotes : kWildcardOutsideQuotes;
        }
        text[write++] = c;
        ++read;
      }
    }
  }
  text[write] = '\0';
  growMarks(marks, tokens.size());
  return tokens.size();
}

std::vector<std::string> splitArgumentLine(const std::string& line) {
  std::string copy(line.c_str());
  std::vector<char*> tokens;
  splitArguments(tokens, &copy[0], nullptr);
  return std::vector<std::string>(tokens.begin(), tokens.end());
}

void expandWildcard(const std::string& pattern, StringList& matches) {
  const size_t wildcard = pattern.find_first_of("*?");
  if (wildcard == std::string::npos) {
    if (platform::exists(pattern)) matches.append(pattern);
    return;
  }
  size_t prefixEnd = 0;  // one past the last separator before the wildcard
  for (size_t i = wildcard; i-- > 0;) {
    if (isPatternSeparator(pattern[i])) {
      prefixEnd = i + 1;
      break;
    }
  }
  size_t componentEnd = wildcard;
  while (componentEnd < pattern.size() && !isPatternSeparator(pattern[componentEnd])) ++componentEnd;
  const bool lastComponent = componentEnd == pattern.size();
  const std::string prefix = pattern.substr(0, prefixEnd);

  std::vector<platform::FoundEntry> entries;
  platform::findMatchingEntries(pattern.substr(0, componentEnd), entries);
  for (const platform::FoundEntry& entry : entries) {
    if (lastComponent) {
      matches.append(prefix + entry.name);
    } else if (entry.isDirectory) {
      // Each recursion consumes one component of the pattern, so the depth
      // is bounded by the pattern, whatever links the tree holds.
      expandWildcard(prefix + entry.name + pattern.substr(componentEnd), matches);
    }
  }
}

void ArgumentStore::clear() {
  strings_.clear();
  pointers_.clear();
}

void ArgumentStore::append(const std::string& argument) { strings_.append(argument); }

char** ArgumentStore::vector() {
  pointers_.clear();
  // The launch reads the arguments through `char**`, as `main` has them;
  // nothing writes through these pointers.
  for (size_t i = 0; i < strings_.size(); ++i) pointers_.push_back(const_cast<char*>(strings_.at(i)));
  pointers_.push_back(nullptr);
  return pointers_.data();
}

int collectArguments(const platform::CommandLine& commandLine, WildcardMode mode, ArgumentStore& store) {
  std::vector<std::string> tokens;
  std::vector<int32_t> marks;
  if (commandLine.split) {
    for (const std::string& argument : commandLine.arguments) {
      tokens.push_back(argument);
      marks.push_back(markOf(argument.c_str()));
    }
  } else {
    std::string copy(commandLine.text.c_str());
    std::vector<char*> pointers;
    splitArguments(pointers, &copy[0], &marks);
    tokens.assign(pointers.begin(), pointers.end());
  }

  store.clear();
  for (size_t i = 0; i < tokens.size(); ++i) {
    if (!selectedForExpansion(marks[i], mode)) {
      store.append(tokens[i]);
      continue;
    }
    StringList matches;
    expandWildcard(tokens[i], matches);
    if (matches.empty()) {
      store.append(tokens[i]);
      continue;
    }
    for (size_t m = 0; m < matches.size(); ++m) store.append(matches.str(m));
  }
  return store.count();
}

int collectProgramArguments(WildcardMode mode, char**& vector) {
  ArgumentStore& store = processArgumentStore();
  const int count = collectArguments(platform::processCommandLine(), mode, store);
  vector = store.vector();
  return count;
}

void applyWildcardArguments(const ConfigStore& config, int& argc, char**& argv) {
  const std::string value = config.wildcard();
  const WildcardMode mode = wildcardMode(value);
  if (mode == kWildcardOff) {
    trace("program arguments: %d, as the process received them", argc > 0 ? argc - 1 : 0);
  } else {
    argc = collectProgramArguments(mode, argv);
    trace("program arguments: %d, rebuilt from the command line (wildcard %s, %s)", argc > 0 ? argc - 1 : 0,
          value.c_str(), mode == kExpandAll ? "quoted patterns too" : "unquoted patterns only");
  }
  for (int i = 1; i < argc; ++i) trace("program argument %d: %s", i, argv[i]);
}

}  // namespace xoq
