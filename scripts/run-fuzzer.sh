#!/usr/bin/env bash
# run-fuzzer.sh FUZZER SEEDS WORK RUNS: runs a libFuzzer target for RUNS
# inputs, starting from the seed files in SEEDS. New inputs go to WORK, which
# starts empty so that every run is the same; an input that crashes the
# target, or runs for over 20 seconds, is kept in WORK as crash-* or
# timeout-* and the run fails.
set -eu
fuzzer=$1 seeds=$2 work=$3 runs=$4
rm -rf "$work"
mkdir -p "$work/corpus"
exec "$fuzzer" -seed=1 -runs="$runs" -max_len=16384 -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 \
  -artifact_prefix="$work/" "$work/corpus" "$seeds"
