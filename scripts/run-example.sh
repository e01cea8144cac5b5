#!/usr/bin/env bash
# Builds everything, packages examples/hello (and examples/notes) for Linux
# (build/examples/hello) and Windows (build/examples/hello.exe), and runs the
# Linux one. Set XOQ_TRACE=1 to see every decision the launcher makes.
set -eu
cd "$(dirname "$0")/.."
scripts/build.sh
echo
echo "Packaged: build/examples/hello, build/examples/hello.exe, build/examples/notes, build/examples/notes.exe"
echo "Running build/examples/hello:"
build/examples/hello "$@"
