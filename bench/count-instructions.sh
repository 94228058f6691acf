#!/usr/bin/env bash
# Instructions per stereo sample of the engine, counted by callgrind (stable on
# a busy machine, unlike timings). Usage: bench/count-instructions.sh [bench binary] [default|active]
set -euo pipefail
BENCH="${1:-build/test/bench/corvantide_bench}"
SETTING="${2:-active}"
OUT="$(mktemp -d)"
trap 'rm -rf "$OUT"' EXIT

valgrind --tool=callgrind --collect-atstart=no --callgrind-out-file="$OUT/cg.out" \
  "$BENCH" --callgrind "$SETTING" > "$OUT/stdout" 2> "$OUT/stderr" \
  || { cat "$OUT/stderr" >&2; echo "FAILED: callgrind run" >&2; exit 1; }

SAMPLES="$(sed -n 's/^measured stereo samples: \([0-9]*\).*/\1/p' "$OUT/stdout")"
TOTAL="$(sed -n 's/^totals: *\([0-9]*\).*/\1/p' "$OUT/cg.out")"
[ -n "$SAMPLES" ] && [ -n "$TOTAL" ] || { echo "FAILED: could not read the counts" >&2; exit 1; }
awk -v t="$TOTAL" -v n="$SAMPLES" -v s="$SETTING" \
  'BEGIN { printf "%s: %d instructions over %d stereo samples = %.0f per stereo sample\n", s, t, n, t / n }'
