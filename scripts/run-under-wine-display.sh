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

display=""
xvfb=""
for number in $(seq 150 230); do
  [ -e "/tmp/.X$number-lock" ] || [ -e "/tmp/.X11-unix/X$number" ] && continue
  timeout $((seconds + 60)) Xvfb ":$number" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb=$!
  for _ in $(seq 1 100); do
    [ -e "/tmp/.X11-unix/X$number" ] && break
    kill -0 "$xvfb" 2>/dev/null || break
    sleep 0.1
  done
  if [ -e "/tmp/.X11-unix/X$number" ] && kill -0 "$xvfb" 2>/dev/null; then
    display=":$number"
    break
  fi
  kill "$xvfb" 2>/dev/null
  wait "$xvfb" 2>/dev/null
  xvfb=""
done
if [ -z "$display" ]; then
  echo "run-under-wine-display.sh: no Xvfb display could be started" >&2
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
