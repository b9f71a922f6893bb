#!/usr/bin/env bash
# Wall time and peak memory of whole conversions (RINEX 3.04 observation and navigation
# files) of the largest shared raw recording, of its BNC raw twin, and of a long
# recording stretched from it to about 86,400 epochs (a day of 1 Hz data; carrier phases
# jump at its joins, so it measures speed only). Not run by the tests.
#
#   bench/bench_convert.sh               builds build/release when needed
#   BUILD=dir SHARED=dir HOURS=h bench/bench_convert.sh
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD:-$ROOT/build/release}
SHARED=${SHARED:-$ROOT/../shared}
HOURS=${HOURS:-4.8}   # the largest recording has 5 epochs a second: 4.8 h is 86,400 epochs

if [ ! -x "$BUILD/tolvar" ]; then
  cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DTOLVAR_TESTS=OFF >/dev/null
  cmake --build "$BUILD" -j "$(nproc)" --target tolvar >/dev/null
fi
if [ ! -x /usr/bin/time ]; then echo "needs /usr/bin/time (Debian package time)" >&2; exit 1; fi

input=$(ls -S "$SHARED"/data/rtcm/*.rtcm3 | head -1)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# One conversion: name, wall time (s), peak resident memory (MB), epochs written.
run() {
  local file=$1 label=${2:-$(basename "$1")} out="$work/out.$RANDOM"
  mkdir -p "$out"
  /usr/bin/time -v "$BUILD/tolvar" "$file" -o="$out" -v=3.04 >"$work/stdout" 2>"$work/time"
  local wall mem epochs
  wall=$(awk -F': ' '/Elapsed \(wall clock\)/ { n = split($2, p, ":"); s = 0;
                      for (i = 1; i <= n; i++) s = s * 60 + p[i]; print s }' "$work/time")
  mem=$(awk -F': ' '/Maximum resident set size/ { printf "%.1f", $2 / 1024 }' "$work/time")
  epochs=$(cat "$out"/*.[0-9][0-9]o 2>/dev/null | grep -c '^>' || true)
  printf '%-34s %10s s %9s MB %8s epochs\n' "$label" "$wall" "$mem" "$epochs"
  rm -rf "$out"
}

printf '%-34s %12s %12s %15s\n' recording "wall time" "peak memory" "written"
run "$input"
twin="${input%.rtcm3}.bncraw"
[ -f "$twin" ] && run "$twin"
if command -v python3 >/dev/null; then
  long="$work/$(basename "$input")"
  python3 "$SHARED/tools/rtcm_stretch.py" "$input" "$long" --hours "$HOURS" >/dev/null
  run "$long" "$(basename "$input") x ${HOURS} h"
fi
