// The typed face of the configuration store: one getter per key, each
// reading its key the one way the key is meant to be read (block only or
// whole text, expanded or not, made absolute or not) and giving its default.
#include <string>

#include "base/trace.h"
#include "config/ascii.h"
#include "config/config_store.h"
#include "config/expand.h"
#include "platform/platform.h"

namespace xoq {

namespace {

bool isSeparator(char c) { return c == '\\' || c == '/'; }

std::string traced(const char* key, std::string value) {
  trace("config %s: %s", key, value.c_str());
  return value;
}

bool tracedFlag(const char* key, bool on) {
  trace("config %s: %s", key, on ? "on" : "off");
  return on;
}

void traceValues(const char* key, const StringList& out, size_t first) {
  if (!traceEnabled()) return;
  if (first == out.size()) trace("config %s: none", key);
  for (size_t i = first; i < out.size(); ++i) trace("config %s: %s", key, out.at(i));
}

}  // namespace

bool isConfigWord(const std::string& value, const char* word) {
  size_t i = 0;
  for (; i < value.size() && word[i] != '\0'; ++i) {
    if (asciiLower(value[i]) != word[i]) return false;
  }
  return i == value.size() && word[i] == '\0';
}

std::string ConfigStore::resolvePath(const std::string& path) const {
  if (path.empty() || isSeparator(path[0]) || (path.size() >= 2 && path[1] == ':')) return path;
  // Plain concatenation, no normalisation: the application home wins over
  // the working directory, and is also the answer when neither has it, so
  // the error the caller reports names the place the user expects.
  std::string inHome = applicationHome_ + path;
  if (platform::isReadable(inHome)) return inHome;
  std::string inWorkingDirectory = workingDirectory_ + path;
  if (platform::isReadable(inWorkingDirectory)) return inWorkingDirectory;
  return inHome;
}

std::string ConfigStore::expandedValue(const char* key) const {
  return expandReferences(lookup(key, false, true), false, this);
}

void ConfigStore::expandedValues(const char* key, bool resolve, StringList& out) const {
  StringList raw;
  collectValues(key, false, true, raw);
  const size_t first = out.size();
  for (size_t i = 0; i < raw.size(); ++i) {
    const std::string value = expandReferences(raw.str(i), false, this);
    out.append(resolve ? resolvePath(value) : value);
  }
  traceValues(key, out, first);
}

std::string ConfigStore::mainClass() const { return traced("mainclass", lookup("mainclass", true, true)); }

void ConfigStore::argvValues(StringList& out) const { expandedValues("argv", false, out); }

std::string ConfigStore::wildcard() const { return traced("wildcard", lookup("wildcard", false, true)); }

void ConfigStore::messageValues(StringList& out) const { expandedValues("message", false, out); }

std::string ConfigStore::splash() const { return traced("splash", resolvePath(expandedValue("splash"))); }

std::string ConfigStore::splashTitle() const { return traced("splashtitle", lookup("splashtitle", false, true)); }

bool ConfigStore::splashCloseOnWindow() const {
  return tracedFlag("splashcloseonwindow", isConfigWord(lookup("splashcloseonwindow", false, true), "true"));
}

std::string ConfigStore::singleInstance() const {
  return traced("singleinstance", lookup("singleinstance", false, true));
}

std::string ConfigStore::forceCwd() const { return traced("forcecwd", expandedValue("forcecwd")); }

std::string ConfigStore::stdoutTarget() const { return traced("stdout", expandedValue("stdout")); }

std::string ConfigStore::stderrTarget() const { return traced("stderr", expandedValue("stderr")); }

std::string ConfigStore::jreOrder() const { return traced("jre_order", lookup("jre_order", false, true)); }

std::string ConfigStore::jre() const {
  std::string value = expandedValue("jre");
  if (value.empty()) value = "./jre/";
  return traced("jre", resolvePath(value));
}

std::string ConfigStore::jvmDll() const { return traced("jvmdll", resolvePath(expandedValue("jvmdll"))); }

std::string ConfigStore::preferredVmName() {
  if (preferredVm_.empty()) {
    preferredVm_ = expandedValue("vm");
    if (preferredVm_.empty()) preferredVm_ = "-";
    traced("vm", preferredVm_);
  }
  return preferredVm_;
}

std::string ConfigStore::minJre() const { return traced("minjre", lookup("minjre", false, true)); }

std::string ConfigStore::maxJre() const { return traced("maxjre", lookup("maxjre", false, true)); }

std::string ConfigStore::downloadUrl() const { return traced("downloadurl", expandedValue("downloadurl")); }

void ConfigStore::javaClassPathValues(StringList& out) const {
  const size_t first = out.size();
  collectValues("java_classpath", false, true, out);
  traceValues("java_classpath", out, first);
}

void ConfigStore::classPathValues(StringList& out) const {
  const size_t first = out.size();
  collectValues("classpath", false, true, out);
  traceValues("classpath", out, first);
}

void ConfigStore::javaLibs(StringList& out) const { expandedValues("java_libs", true, out); }

void ConfigStore::libs(StringList& out) const { expandedValues("libs", true, out); }

void ConfigStore::options(StringList& out) const { expandedValues("option", false, out); }

void ConfigStore::properties(StringList& out) const {
  // Properties reach Java as UTF-8, so they are never narrowed: a character
  // outside the ANSI code page survives, and what the references insert is
  // converted to UTF-8 instead.
  StringList raw;
  collectValues("property", false, false, raw);
  const size_t first = out.size();
  for (size_t i = 0; i < raw.size(); ++i) out.append(expandReferences(raw.str(i), true, this));
  traceValues("property", out, first);
}

void ConfigStore::exports(StringList& out) const { expandedValues("export", false, out); }

bool ConfigStore::asSystemClassLoader() const {
  return tracedFlag("assystemclassloader", !isConfigWord(lookup("assystemclassloader", false, true), "false"));
}

bool ConfigStore::compatible() const {
  return tracedFlag("compatible", isConfigWord(lookup("compatible", true, true), "true"));
}

bool ConfigStore::classDataCache() const {
  return tracedFlag("classdatacache", isConfigWord(lookup("classdatacache", false, true), "true"));
}

bool ConfigStore::codeSource() const {
  return tracedFlag("codesource", isConfigWord(lookup("codesource", false, true), "true"));
}

void ConfigStore::extractPatterns(StringList& out) const {
  const size_t first = out.size();
  collectValues("extract", true, false, out);
  traceValues("extract", out, first);
}

bool ConfigStore::disableExternal() const {
  return tracedFlag("disableexternal", isConfigWord(lookup("disableexternal", true, true), "true"));
}

}  // namespace xoq
