#!/usr/bin/env bash
# compare-builds.sh FIRST_BUILD SECOND_BUILD [FOLDER...]
#
# Two builds of the same sources in different folders gave the same
# programs: xoqpack, xoqpack.exe and the three launcher templates in each
# build's bin/ are the same bytes, as the linkers wrote them, and none holds
# the path of the source tree, of either build folder or of another FOLDER
# given (such as the source tree the second build came from). Names each
# difference; exits 1 on any.
#
# The test build and the release build of one tree are two such builds
# (ctest's release.reproducible compares them); check-release-reproducible.sh
# compares two release builds from two copies of the tree.
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
first=$(cd "$1" && pwd)
second=$(cd "$2" && pwd)
shift 2
failures=0
for file in xoqpack xoqpack.exe xoq-launcher xoq-launcher.exe xoq-launcher-console.exe; do
  if [ ! -f "$first/bin/$file" ] || [ ! -f "$second/bin/$file" ]; then
    echo "MISSING: $file in $first/bin or $second/bin"
    failures=$((failures + 1))
    continue
  fi
  if cmp -s "$first/bin/$file" "$second/bin/$file"; then
    echo "same: $file ($(stat -c %s "$first/bin/$file") bytes)"
  else
    echo "DIFFERENT: $file ($(cmp "$first/bin/$file" "$second/bin/$file" 2>&1 | head -n 1))"
    failures=$((failures + 1))
  fi
  for folder in "$source_dir" "$first" "$second" "$@"; do
    if grep -q -F -a "$folder" "$first/bin/$file" "$second/bin/$file"; then
      echo "EMBEDDED: $file holds the path $folder"
      failures=$((failures + 1))
    fi
  done
done
if [ "$failures" -gt 0 ]; then
  echo "compare-builds: $failures difference(s) between two builds of the same sources"
  exit 1
fi
echo "compare-builds: $first and $second built the same bytes"
