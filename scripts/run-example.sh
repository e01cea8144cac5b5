#!/usr/bin/env bash
# Builds everything, packages examples/hello for Linux (build/examples/hello)
# and Windows (build/examples/hello.exe), and runs the Linux one.
set -eu
cd "$(dirname "$0")/.."
scripts/build.sh
echo
echo "Packaged: build/examples/hello and build/examples/hello.exe"
echo "Running build/examples/hello with the trace on (XOQ_TRACE=1):"
XOQ_TRACE=1 build/examples/hello "$@"
