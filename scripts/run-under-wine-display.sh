#!/usr/bin/env bash
# run-under-wine-display.sh SECONDS PREFIX PROGRAM [ARGUMENTS...]: runs a
# Windows program under Wine on a virtual X display of its own (Xvfb,
# 1024x768), in the Wine prefix PREFIX, made first when missing.
#
# Windows that a program creates need a display under Wine. A prefix's
# desktop binds to the display of whichever process starts it first, so the
# prefix is this runner's own and its server is stopped before and after.
set -u
seconds=$1
prefix=$(realpath -m "$2")
shift 2
here=$(cd "$(dirname "$0")" && pwd)
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
if [ ! -f "$prefix/system.reg" ]; then
  "$here/wine-prefix.sh" start "$prefix" || exit 1
fi
wineserver -k 2>/dev/null
wineserver -w

# The display's number is the server's first line of output.
number_file=$(mktemp)
"$here/virtual-display.sh" $((seconds + 60)) >"$number_file" 2>/dev/null &
xvfb=$!
display=""
for _ in $(seq 1 300); do
  if [ "$(wc -l <"$number_file")" -ge 1 ]; then
    display=":$(head -n 1 "$number_file")"
    break
  fi
  kill -0 "$xvfb" 2>/dev/null || break
  sleep 0.1
done
rm -f "$number_file"
if [ -z "$display" ]; then
  echo "run-under-wine-display.sh: no Xvfb display could be started" >&2
  kill "$xvfb" 2>/dev/null
  wait "$xvfb" 2>/dev/null
  exit 1
fi

DISPLAY=$display "$here/run-under-wine.sh" "$seconds" "$@"
status=$?
# The desktop process and the server go before their display does.
wineserver -k 2>/dev/null
wineserver -w
kill "$xvfb" 2>/dev/null
wait "$xvfb" 2>/dev/null
exit "$status"
