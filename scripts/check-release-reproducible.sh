#!/usr/bin/env bash
# check-release-reproducible.sh RELEASE_DIR
#
# The release build is reproducible: builds it (scripts/release.sh into
# RELEASE_DIR/build and RELEASE_DIR/dist), builds it a second time from a
# copy of the source tree in another folder (RELEASE_DIR/elsewhere, a path
# with a blank), without the compiler cache, and compares the two: the archives byte for byte, and xoqpack and the templates as the
# linkers wrote them, none holding a path of either folder
# (scripts/compare-builds.sh). On a difference it names what differs. Both
# build folders are kept, so that a second run only rebuilds what changed.
#
# Two full release builds take longer than the test suite may, so ctest
# does not run this; run it by hand before a release:
#   scripts/check-release-reproducible.sh build/release
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$1"
release_dir=$(cd "$1" && pwd)
first_build="$release_dir/build"
first_dist="$release_dir/dist"
elsewhere="$release_dir/elsewhere with blanks"
version=$(head -n 1 "$source_dir/VERSION")

# The same moment as the first build took (release.sh's own rule); the copy
# has no git history to take it from.
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git -C "$source_dir" log -1 --format=%ct 2>/dev/null || true)
  SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-315532800}
fi
export SOURCE_DATE_EPOCH

"$source_dir/scripts/release.sh" --build-dir "$first_build" --dist-dir "$first_dist" >"$release_dir/release.log" 2>&1 || {
  tail -n 30 "$release_dir/release.log"
  echo "check-release-reproducible: the first release build failed"
  exit 1
}

# The tree as git sees it (tracked files and new ones not ignored), with
# the files' times, so that the second build folder stays incremental.
rm -rf "$elsewhere/src"
mkdir -p "$elsewhere/src"
if git -C "$source_dir" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  (cd "$source_dir" && git ls-files -z --cached --others --exclude-standard |
    xargs -0 sh -c 'for f; do [ -e "$f" ] && printf "%s\0" "$f"; done' sh |
    tar --null -T - -cf -) | (cd "$elsewhere/src" && tar -xf -)
else
  (cd "$source_dir" && tar --exclude=./build --exclude='./build-*' --exclude=./dist -cf - .) |
    (cd "$elsewhere/src" && tar -xf -)
fi
CCACHE_DISABLE=1 "$elsewhere/src/scripts/release.sh" --build-dir "$elsewhere/build" --dist-dir "$elsewhere/dist" \
  >"$elsewhere/release.log" 2>&1 || {
  tail -n 30 "$elsewhere/release.log"
  echo "check-release-reproducible: the second release build failed"
  exit 1
}

failures=0
"$source_dir/scripts/compare-builds.sh" "$first_build" "$elsewhere/build" "$elsewhere/src" || failures=$((failures + 1))
compare() {
  if cmp -s "$1" "$2"; then
    echo "same: ${1#"$release_dir"/}"
  else
    echo "DIFFERENT: ${1#"$release_dir"/} and ${2#"$release_dir"/} ($(cmp "$1" "$2" 2>&1 | head -n 1))"
    failures=$((failures + 1))
  fi
}
linux_archive="xoq-$version-linux-x86_64.tar.gz"
windows_archive="xoq-$version-windows-x86_64.zip"
compare "$first_dist/$linux_archive" "$elsewhere/dist/$linux_archive"
compare "$first_dist/$windows_archive" "$elsewhere/dist/$windows_archive"
if [ "$failures" -gt 0 ]; then
  # Which files of the archives differ.
  diff -r "$first_build/stage" "$elsewhere/build/stage" | head -n 20 || true
  echo "check-release-reproducible: $failures difference(s) between two builds of the same sources"
  exit 1
fi
echo "check-release-reproducible: two builds in different folders gave the same bytes"
