#!/usr/bin/env bash
# Configures and builds everything into build/: the Linux and Windows
# launchers, xoqpack, the tests and the packaged example.
set -eu
cd "$(dirname "$0")/.."
"$(dirname "$0")/setup.sh"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build
