#!/usr/bin/env bash
# Installs the Debian packages that building and testing xoq need, only those
# that are missing. Safe to run again.
set -eu
packages=(
  cmake ninja-build g++ zlib1g-dev googletest   # Linux launcher, xoqpack, tests
  clang libclang-rt-14-dev                      # fuzz targets (libFuzzer comes with clang's runtime)
  openjdk-17-jdk-headless                       # javac and jar for the support classes; a JVM for the tests
  g++-mingw-w64-x86-64-posix libz-mingw-w64-dev # Windows launcher
  binutils-mingw-w64-x86-64                     # windres, objdump for the export table
  wine wine64                                   # Windows tests
  xvfb xdotool imagemagick                      # windows and message boxes on a virtual display
  osslsigncode openssl                          # signing a packaged .exe in the tests, with a throw-away certificate
  python3-pefile icoutils pev                   # PE readers that are not ours, for the resources xoqpack writes
  libx11-dev                                    # the tests read the virtual display's windows and pixels
  liblog4j2-java junit5 libclojure-java         # real libraries the compatibility tests package
  libh2-java checkstyle                         # real applications the Windows tests package
  ant jython libspring-core-java libcommons-logging-java # libraries that need real files (extract tests)
  libdeflate-dev                                # the Linux launcher's inflater
  maven libmaven3-core-java libmaven-plugin-tools-java libplexus-utils2-java   # the Maven plugin, built offline
  libmaven-compiler-plugin-java libmaven-resources-plugin-java libmaven-jar-plugin-java   # against Debian's
  libmaven-install-plugin-java libsurefire-java                                # /usr/share/maven-repo
  libcommons-cli-java libcommons-lang3-java     # the dependencies of examples/maven
  # (Maven and its plugins with the libraries above are also archive_bench's
  # large application: some 280 jars under /usr/share/java)
)
# The jmods that jlink links JDK 17 runtimes from (xoqpack --jlink and its
# tests): inside openjdk-17-jdk-headless up to Debian 12, a package of their
# own in later releases.
if apt-cache show openjdk-17-jmods >/dev/null 2>&1; then
  packages+=(openjdk-17-jmods)
fi
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The Windows Java runtime that the Windows end-to-end tests run under Wine,
# cached outside the build tree (scripts/windows-runtime.sh says where).
command -v npm >/dev/null 2>&1 || {
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends npm >/dev/null || true
}
"$(dirname "$0")/windows-runtime.sh" >/dev/null ||
  echo "setup.sh: the Windows Java runtime could not be had; the tests that need it will say so and skip" >&2
