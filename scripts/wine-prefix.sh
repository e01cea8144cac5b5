#!/usr/bin/env bash
# wine-prefix.sh start|stop PREFIX
#   start: makes the Wine prefix the Windows tests run in (once; about ten
#          seconds) and keeps a wine server running for the whole test run,
#          so that each test does not pay for starting one.
#   stop:  ends that server.
set -eu
action=$1
export WINEPREFIX=$2
export WINEDEBUG=-all
# Keeps Wine from offering its Mono and Gecko installers, which would wait
# on a window nobody closes.
export WINEDLLOVERRIDES="mscoree,mshtml="
case "$action" in
  start)
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      mkdir -p "$WINEPREFIX"
      # Now and then Wine fails to set up a new process before it runs
      # anything; a failed boot is tried again from its start.
      for attempt in 1 2 3; do
        timeout 240 wineboot -i && break
        echo "wineboot failed (attempt $attempt)" >&2
        timeout 30 wineserver -k || true
        [ "$attempt" -lt 3 ] || exit 1
      done
    fi
    timeout 60 wineserver -w || true
    # A persistent server, ended by "stop" (or by itself when idle long).
    (setsid wineserver -p 600 </dev/null >/dev/null 2>&1 &)
    # The first program of a session starts Wine's own services, which live
    # on with the server and keep the output streams they were given: start
    # them here, with streams of their own, not in a test whose output ctest
    # waits to close.
    timeout 120 wine cmd /c exit </dev/null >/dev/null 2>&1 || true
    echo "wine prefix ready: $WINEPREFIX"
    ;;
  stop)
    timeout 30 wineserver -k || true
    ;;
  *)
    echo "usage: $0 start|stop PREFIX" >&2
    exit 2
    ;;
esac
