#!/usr/bin/env bash
# run-under-wine.sh SECONDS PROGRAM [ARGUMENTS...]: runs a Windows program
# under Wine, killed after SECONDS.
#
# Now and then Wine cannot set up a new process's address space (it finds the
# fixed address of its shared user data taken) and gives up before the
# program's first instruction. The program never ran, so it is started again,
# up to three more times; any other failure is the program's own and stands.
set -u
seconds=$1
shift
errors=$(mktemp)
trap 'rm -f "$errors"' EXIT
for attempt in 1 2 3 4; do
  timeout --kill-after=10 "$seconds" wine "$@" 2> >(tee "$errors" >&2)
  status=$?
  wait  # for tee, so that the file holds all of standard error
  if [ "$status" -eq 0 ] || ! grep -q "wine: failed to map the shared user data" "$errors"; then
    exit "$status"
  fi
  echo "run-under-wine.sh: Wine failed to start the program (attempt $attempt); starting it again" >&2
done
exit "$status"
