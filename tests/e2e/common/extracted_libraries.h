// Debian's libraries that need their jars as real files, as the extract
// tests of both targets package and run them: Apache Ant (its launcher finds
// its own jar through a class's location), Jython (its standard library is
// in its jar) and Spring 3 core (classpath*: scanning asks jar: URLs for
// their file). Each target compares a packaged run against its own java -cp
// over the same jars.
#ifndef XOQ_TESTS_E2E_COMMON_EXTRACTED_LIBRARIES_H_
#define XOQ_TESTS_E2E_COMMON_EXTRACTED_LIBRARIES_H_

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace xoq {
namespace testing {

/// Where Debian installs its jars.
inline const std::string kDebianJava = "/usr/share/java/";

/// A Debian jar and the name it has under lib/, in the payload and in the
/// folder that java -cp reads.
struct LibraryJar {
  std::string debian;
  std::string as;
};

/// Ant's launcher and its core.
inline const std::vector<LibraryJar> kAntJars = {{"ant-launcher.jar", "ant-launcher.jar"}, {"ant.jar", "ant.jar"}};

/// Copies the Debian jars into `folder`/lib/, where java -cp reads them,
/// and returns the xoqpack arguments that add them as lib/<name>.
inline std::vector<std::string> copyLibraryJars(const std::vector<LibraryJar>& jars, const std::string& folder) {
  std::filesystem::create_directories(folder + "/lib");
  std::vector<std::string> arguments;
  for (const LibraryJar& jar : jars) {
    const std::string copy = folder + "/lib/" + jar.as;
    std::filesystem::copy_file(kDebianJava + jar.debian, copy, std::filesystem::copy_options::overwrite_existing);
    arguments.insert(arguments.end(), {"--add", copy + "=lib/" + jar.as});
  }
  return arguments;
}

/// Spring's core and the logging it needs, and extract.Main's program that
/// scans with it.
inline const std::vector<LibraryJar> kSpringJars = {{"spring3-core.jar", "spring-core.jar"},
                                                    {"commons-logging.jar", "commons-logging.jar"}};

/// What extract.Main's "spring" run prints that must be the same as under
/// java -cp: how many resources the scan found, how a class resource reads
/// through its URL, and the kind of file the code source is.
inline const std::vector<std::string> kSpringComparedKeys = {
    "resources", "resource.protocol", "resource.sha256", "codesource.protocol", "codesource.name", "codesource.isFile"};

/// Debian's jython.jar and those of the jars its manifest's Class-Path names
/// that are installed here (the rest are optional to Jython), as full paths.
inline std::vector<std::string> jythonJars() {
  std::vector<std::string> jars = {kDebianJava + "jython.jar"};
  for (const char* jar :
       {"servlet-api",  "mariadb-java-client", "postgresql",   "antlr3",           "antlr3-runtime", "stringtemplate4",
        "asm",          "asm-commons",         "asm-util",     "commons-compress", "guava",          "icu4j",
        "jffi",         "jnr-constants",       "jnr-ffi",      "jnr-netdb",        "jnr-posix",      "jline2",
        "netty-buffer", "netty-codec",         "netty-common", "netty-handler",    "netty-resolver", "netty-transport",
        "jaxb-api"}) {
    const std::string path = kDebianJava + jar + ".jar";
    if (std::filesystem::exists(path)) jars.push_back(path);
  }
  return jars;
}

/// The xoqpack arguments that add each of `jars` (full paths) as lib/ and
/// its file name.
inline std::vector<std::string> addedUnderLib(const std::vector<std::string>& jars) {
  std::vector<std::string> arguments;
  for (const std::string& jar : jars) {
    arguments.insert(arguments.end(), {"--add", jar + "=lib/" + std::filesystem::path(jar).filename().string()});
  }
  return arguments;
}

/// Jython's main class, started with the arguments of Debian's own launcher
/// script and a line that needs the standard library's os module; it
/// prints "True".
inline const std::string kJythonMainClass = "org.python.util.jython";
inline const std::vector<std::string> kJythonArguments = {"-Dpython.home=/usr", "-Dpython.executable=/usr/bin/jython",
                                                          "-c", "import os,sys; print(os.getcwd() != None)"};

/// The line of `text` that starts with `start`, without its line end; empty
/// when there is none.
inline std::string lineWith(const std::string& text, const std::string& start) {
  const size_t at = text.find(start);
  if (at == std::string::npos) return std::string();
  const size_t end = text.find_first_of("\r\n", at);
  return text.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

}  // namespace testing
}  // namespace xoq

#endif  // XOQ_TESTS_E2E_COMMON_EXTRACTED_LIBRARIES_H_
