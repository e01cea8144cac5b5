#!/usr/bin/env bash
# Builds everything and runs every test: the Linux unit tests (under
# AddressSanitizer and UndefinedBehaviorSanitizer), the Windows unit tests
# under Wine, and the end-to-end tests of packaged executables. The ctest
# summary is the last thing printed.
set -eu
cd "$(dirname "$0")/.."
scripts/build.sh
cd build
ctest --output-on-failure --parallel 2 --timeout 600
