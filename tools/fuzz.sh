#!/bin/sh
# Runs each fuzz target for a while from its corpus in tests/corpus/, then merges the corpus with
# what was found, keeping the inputs that add coverage and every hand-named one (seed-*,
# regression-*). A crash stops the run, its input kept in <build>/crashes/.
# Usage: tools/fuzz.sh <fuzz build folder> <seconds> <max input length> <target>...
set -eu
work=$(cd "$1" && pwd); seconds=$2; max_len=$3; shift 3
# Many small files are written: tmpfs spares the disk when there is one.
[ -d /dev/shm ] && export TMPDIR=/dev/shm
for t in "$@"; do
  fuzzer=$work/tests/fuzz/fuzz_$t; corpus=tests/corpus/$t; log=$work/fuzz_$t.log
  found=$work/found/$t; merged=$work/merged/$t
  rm -rf "$found" "$merged" "$work"/crashes/"$t"-*
  mkdir -p "$found" "$merged" "$corpus" "$work/crashes"
  echo "Fuzzing $t for $seconds s"
  "$fuzzer" -max_total_time="$seconds" -max_len="$max_len" -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$work/crashes/$t-" "$found" "$corpus" 2>"$log" || { tail -40 "$log"; exit 1; }
  grep -E '^stat::(number_of_executed_units|new_units_added)' "$log"
  cp "$corpus"/*-* "$merged"/ 2>/dev/null || true
  "$fuzzer" -merge=1 "$merged" "$corpus" "$found" 2>>"$log" || { tail -20 "$log"; exit 1; }
  rm -rf "$corpus" && mv "$merged" "$corpus"
  echo "$corpus: $(ls "$corpus" | wc -l) inputs"
done
