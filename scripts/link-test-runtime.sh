#!/usr/bin/env bash
# link-test-runtime.sh JLINK OUTPUT: links java.base into a small runtime
# image with its class data archive, for the end-to-end tests, tidied as
# xoqpack --jlink tidies its own. jlink's chatter goes to OUTPUT.log and
# is shown only when it fails.
set -eu
jlink="$1"
output="$2"
rm -rf "$output"
if ! "$jlink" --add-modules java.base --strip-debug --no-man-pages --no-header-files --generate-cds-archive --compress=2 \
    --output "$output" >"$output.log" 2>&1; then
  cat "$output.log"
  exit 1
fi
# As xoqpack --jlink leaves it: no commands, no archive for huge heaps.
rm -rf "$output/bin" "$output/lib/server/classes_nocoops.jsa"
