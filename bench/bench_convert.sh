#!/usr/bin/env bash
# Speed of whole conversions into RINEX 3.04 (observation and navigation files), tolvar
# side by side with convbin of RTKLIB (Debian package rtklib, installed when missing and run
# as root) on the same inputs in the same run: the largest shared raw recording, and two
# recordings stretched to 24 hours with ../shared/tools/rtcm_stretch.py (carrier phases jump
# at the joins of the copies, so they measure speed only). Each input is converted RUNS
# times by each program, alternately; the medians, the ratio tolvar / convbin and tolvar's
# peak resident memory are printed. Not run by the tests.
#
#   bench/bench_convert.sh                 builds build/release when needed
#   RUNS=5 HOURS=24 BUILD=dir SHARED=dir bench/bench_convert.sh [RECORDING...]
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD:-$ROOT/build/release}
SHARED=${SHARED:-$ROOT/../shared}
RUNS=${RUNS:-3}
HOURS=${HOURS:-24}

if [ ! -x "$BUILD/tolvar" ]; then
  cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DTOLVAR_TESTS=OFF >/dev/null
  cmake --build "$BUILD" -j "$(nproc)" --target tolvar >/dev/null
fi
need() {  # program, Debian package
  command -v "$1" >/dev/null && return
  if [ "$(id -u)" = 0 ]; then
    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$2" >/dev/null
  fi
  command -v "$1" >/dev/null || { echo "needs $1 (Debian package $2)" >&2; exit 1; }
}
need convbin rtklib
need python3 python3
[ -x /usr/bin/time ] || need time time

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The inputs: the shared ROVR recording as it is, ROVR and MIXD stretched to HOURS hours.
inputs=()
if [ $# -gt 0 ]; then
  inputs=("$@")
else
  rovr="$SHARED/data/rtcm/ROVR_2019_01_20.rtcm3"
  mixd="$SHARED/data/rtcm/MIXD_2018_05_10.rtcm3"
  inputs+=("$rovr")
  for f in "$rovr" "$mixd"; do
    long="$work/long/$(basename "$f")"
    mkdir -p "$work/long"
    python3 "$SHARED/tools/rtcm_stretch.py" "$f" "$long" --hours "$HOURS" >/dev/null
    inputs+=("$long")
  done
fi

# Wall time (s) and peak resident memory (MB) of one command, from GNU time.
measure() {
  local log=$1; shift
  /usr/bin/time -f '%e %M' -o "$log" "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
}
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

printf '%-36s %9s %9s %7s %10s %8s\n' recording tolvar convbin ratio "tolvar MB" epochs
for input in "${inputs[@]}"; do
  name=$(basename "$input")
  # RTCM 3 carries no week: convbin is told the day, which the file name carries.
  day=$(echo "$name" | sed -n 's/.*_\(20[0-9][0-9]\)_\([0-9][0-9]\)_\([0-9][0-9]\).*/\1\/\2\/\3/p')
  : > "$work/t.tolvar"
  : > "$work/t.convbin"
  : > "$work/m.tolvar"
  for ((i = 0; i < RUNS; i++)); do
    out="$work/out"
    rm -rf "$out"
    mkdir -p "$out"
    measure "$work/log" "$BUILD/tolvar" "$input" -o="$out" -v=3.04
    read -r wall mem < "$work/log"
    echo "$wall" >> "$work/t.tolvar"
    echo "$mem" >> "$work/m.tolvar"
    epochs=$(cat "$out"/*.[0-9][0-9]o 2>/dev/null | grep -c '^>' || true)
    rm -rf "$out"
    mkdir -p "$out"
    measure "$work/log" convbin -r rtcm3 -v 3.04 -tr "$day" 00:00:00 -d "$out" "$input"
    read -r wall mem < "$work/log"
    echo "$wall" >> "$work/t.convbin"
  done
  tt=$(median < "$work/t.tolvar")
  tc=$(median < "$work/t.convbin")
  mm=$(sort -g "$work/m.tolvar" | tail -1)
  printf '%-36s %8.2fs %8.2fs %7.2f %10.1f %8s\n' "$name" "$tt" "$tc" \
    "$(awk -v a="$tt" -v b="$tc" 'BEGIN { print (b > 0) ? a / b : 0 }')" \
    "$(awk -v m="$mm" 'BEGIN { print m / 1024 }')" "$epochs"
done
