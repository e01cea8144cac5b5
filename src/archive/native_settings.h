// What the class and resource natives take from the configuration and from
// the running runtime once, and keep for the rest of the process: they run
// on the runtime's threads, where the launcher's records may already be gone.
#ifndef XOQ_ARCHIVE_NATIVE_SETTINGS_H_
#define XOQ_ARCHIVE_NATIVE_SETTINGS_H_

#include <jni.h>

#include <cstdint>
#include <string>

namespace xoq {

class ArchiveNode;
class ConfigStore;

/// Takes `compatible` and `codesource` from `config` now. Until this has
/// run, the first native that needs a switch reads it from theConfig.
void primeNativeSettings(const ConfigStore& config);

/// `compatible`: class files are readable as resources through "xoq:" URLs.
bool classFilesReadable();

/// `codesource`: classes from the payload get a code source naming the
/// executable.
bool codeSourcesWanted();

/// The feature version by which multi-release jars of `archive` are served:
/// 0 when none of its jars is one (and then nothing is asked of the
/// runtime), else the running runtime's, asked once.
int32_t multiReleaseVersion(JNIEnv* env, const ArchiveNode& archive);

/// The feature version java.util.jar.JarFile serves at run time, from the
/// system properties "java.version" ("1.8.0_392", "17.0.15"),
/// "jdk.util.jar.version" (may lower it, not below 8) and
/// "jdk.util.jar.enableMultiRelease" ("false" turns versions off: 0).
int32_t releaseFromProperties(const std::string& javaVersion, const std::string& jarVersion,
                              const std::string& enableMultiRelease);

}  // namespace xoq

#endif  // XOQ_ARCHIVE_NATIVE_SETTINGS_H_
