#!/usr/bin/env bash
# check-layers.sh [SOURCE_DIR]: fails when a room of src/ includes a room
# above it. The order, bottom up (docs/architecture.md explains each room):
#
#   base < platform < config < runtime < archive
#        < splash, instances, redirect, eventlog (beside one another)
#        < launcher
#
# A room may include itself and any room below it; the four rooms beside the
# application do not include one another. Unit tests (*_test.cc) sit on top
# with xoqpack, bench and tests/, and may include anything.
set -eu
src="${1:-$(dirname "$0")/..}/src"

rank() {
  case "$1" in
    base) echo 0 ;;
    platform) echo 1 ;;
    config) echo 2 ;;
    runtime) echo 3 ;;
    archive) echo 4 ;;
    splash | instances | redirect | eventlog) echo 5 ;;
    launcher) echo 6 ;;
    *) echo -1 ;;
  esac
}

failures=0
for file in "$src"/*/*.cc "$src"/*/*.h; do
  case "$file" in *_test.cc) continue ;; esac
  room=$(basename "$(dirname "$file")")
  own=$(rank "$room")
  if [ "$own" -lt 0 ]; then
    echo "check-layers: src/$room/ is not in the layer order (scripts/check-layers.sh, docs/architecture.md)"
    failures=$((failures + 1))
    continue
  fi
  while IFS=: read -r line target; do
    other=${target%%/*}
    [ "$other" = "$room" ] && continue
    theirs=$(rank "$other")
    [ "$theirs" -lt 0 ] && continue  # not one of ours (a test support header, say)
    if [ "$theirs" -ge "$own" ]; then
      echo "check-layers: src/$room/$(basename "$file"):$line includes $target, a room at or above $room"
      failures=$((failures + 1))
    fi
  done < <(grep -n '^#include "[a-z_]*/' "$file" | sed -E 's/^([0-9]+):#include "([^"]*)".*/\1:\2/')
done
if [ "$failures" -gt 0 ]; then
  echo "check-layers: $failures include(s) against the layer order"
  exit 1
fi
echo "check-layers: every include of src/ runs downward"
