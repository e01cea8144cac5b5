#!/usr/bin/env bash
# run-with-timeout.sh SECONDS COMMAND...: runs COMMAND, killed after SECONDS.
set -u
seconds=$1
shift
exec timeout --kill-after=10 "$seconds" "$@"
