#!/usr/bin/env bash
# Reads the program's RINEX files with RTKLIB (Debian package rtklib: rnx2rtkp, convbin):
# converts the shared recordings that carry ephemerides at 2.11, 3.04, 3.05 and 4.00 and
# runs rnx2rtkp single-point positioning on the observation and navigation files of each
# version, per system. Not run by the tests.
#
#   bench/bench_rtklib_spp.sh                        builds build/release when needed
#   BUILD=dir SHARED=dir bench/bench_rtklib_spp.sh [RECORDING...]
#
# Per recording, version and system it prints the satellites of the system in the
# observation file, the epochs of the file, the epochs solved with the system alone
# ("alone") and the epochs solved with GPS and the system in which satellites of the
# system take part ("+GPS": rnx2rtkp turns down a single-system solution from four
# satellites, "lack of valid sats", so a system seen by four solves only with another).
# "nav" gives the ephemerides RTKLIB took from the navigation files (after it drops
# repeated ones) and the records written. A recording without observations is only read
# back. Last, how RTKLIB reads the transmission time that the files give as unknown.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD:-$ROOT/build/release}
SHARED=${SHARED:-$ROOT/../shared}
VERSIONS=${VERSIONS:-"2.11 3.04 3.05 4.00"}
if [ $# -gt 0 ]; then
  RECORDINGS="$*"
else
  RECORDINGS="ROVR_2019_01_20 GMSD_2012_10_13 TGLO_2009_12_18 EPHM_2018_08_03"
fi

for tool in rnx2rtkp convbin; do
  command -v $tool >/dev/null || { echo "needs $tool (apt-get install rtklib)" >&2; exit 1; }
done
if [ ! -x "$BUILD/tolvar" ]; then
  cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DTOLVAR_TESTS=OFF >/dev/null
  cmake --build "$BUILD" -j "$(nproc)" --target tolvar >/dev/null
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Navigation records of a file: lines after the header that start a record (a satellite
# in the first columns; not an orbit line, not a "> " line of version 4).
records() {
  awk 'h && substr($0, 1, 1) != ">" && substr($0, 2, 1) != " " { n++ }
       FNR == 1 { h = 0 } /END OF HEADER/ { h = 1 } END { print n + 0 }' "$@"
}

# Epochs of an observation file.
epochs() {
  if [ "$(head -c 9 "$1" | tr -d ' ' | cut -c1)" = 2 ]; then
    grep -cE '^ [ 0-9][0-9] [ 1][0-9] [ 0-9][0-9] [ 0-9][0-9] [ 0-9][0-9] [ 0-9][0-9]\.[0-9]{7}  [0-6]' "$1" || true
  else
    grep -c '^>' "$1" || true
  fi
}

# Satellites of system letter $2 in the PRN / # OF OBS lines of observation file $1.
sats() {
  awk -v s="$2" 'substr($0, 61) ~ /^PRN \/ # OF OBS/ && substr($0, 1, 3) == "   " &&
                 substr($0, 4, 1) == s { n++ } END { print n + 0 }' "$1"
}

# Single-point positioning: solution file $1 with navigation systems $2 (RTKLIB's mask:
# 1 GPS, 4 GLONASS, 8 Galileo, 32 BeiDou), then the observation and navigation files.
spp() {
  local pos=$1 mask=$2
  shift 2
  printf 'pos1-posmode=single\npos1-navsys=%d\n' "$mask" >"$pos.conf"
  rnx2rtkp -k "$pos.conf" -y 2 -o "$pos" "$@" >/dev/null 2>&1 || true
}
solved() { grep -vc '^%' "$1" 2>/dev/null || true; }
# Epochs of solution file $1 in which satellites of system letter $2 take part.
used() {
  awk -F, -v s="$2" '$1 == "$SAT" && substr($4, 1, 1) == s { e[$3] = 1 }
                     END { n = 0; for (k in e) n++; print n }' "$1.stat" 2>/dev/null || echo 0
}

printf '%-16s %-5s %-8s %5s %7s %6s %6s\n' recording ver system sats epochs alone +GPS
ttr=""
for rec in $RECORDINGS; do
  input="$SHARED/data/rtcm/$rec.rtcm3"
  [ -f "$input" ] || { echo "$rec: no $input" >&2; continue; }
  for v in $VERSIONS; do
    out="$work/$rec/$v"
    mkdir -p "$out"
    "$BUILD/tolvar" "$input" -o="$out" -v="$v" >"$out/console.txt" 2>&1 || true
    obs=$(ls "$out"/*.[0-9][0-9]o 2>/dev/null | head -1 || true)
    navs=$(ls "$out"/*.[0-9][0-9][NGHLJCIp] "$out"/*N.rnx 2>/dev/null || true)
    written=$( [ -n "$navs" ] && records $navs || echo 0)
    if [ -z "$navs" ]; then
      printf '%-16s %-5s no navigation file\n' "$rec" "$v"
      continue
    fi
    # One navigation file of version 3 or later, for the transmission time.
    for n in $navs; do
      [ -z "$ttr" ] && [ "$(head -c 9 "$n" | tr -d ' ' | cut -c1)" -ge 3 ] && ttr=$n
    done
    if [ -z "$obs" ]; then
      convbin -r rinex $navs -v 3.04 -n "$out/back.nav" -d "$out" >/dev/null 2>&1 || true
      printf '%-16s %-5s nav: no observations; convbin reads back %s of %s records\n' \
        "$rec" "$v" "$(records "$out/back.nav" 2>/dev/null || echo 0)" "$written"
      continue
    fi
    n=$(epochs "$obs")
    for s in G:1:GPS R:4:GLONASS E:8:Galileo C:32:BeiDou; do
      IFS=: read -r letter mask name <<<"$s"
      spp "$out/$letter.pos" "$mask" "$obs" $navs
      alone=$(solved "$out/$letter.pos")
      with=$alone
      if [ "$letter" != G ]; then
        spp "$out/G$letter.pos" $((1 | mask)) "$obs" $navs
        with=$(used "$out/G$letter.pos" "$letter")
      fi
      printf '%-16s %-5s %-8s %5s %7s %6s %6s\n' "$rec" "$v" "$name" \
        "$(sats "$obs" "$letter")" "$n" "$alone" "$with"
    done
    # The ephemerides RTKLIB took, from the trace of a run over the four systems.
    printf 'pos1-posmode=single\npos1-navsys=45\n' >"$out/all.conf"
    rnx2rtkp -k "$out/all.conf" -x 3 -o "$out/all.pos" "$obs" $navs >/dev/null 2>&1 || true
    neph=0 ngeph=0 nseph=0
    read -r neph ngeph nseph < <(sed -n 's/.*uniqnav: neph=\([0-9]*\) ngeph=\([0-9]*\) nseph=\([0-9]*\).*/\1 \2 \3/p' \
      "$out/all.pos.trace" 2>/dev/null | head -1) || true
    printf '%-16s %-5s nav: RTKLIB takes %s Keplerian, %s GLONASS, %s SBAS ephemerides of %s records\n' \
      "$rec" "$v" "${neph:-0}" "${ngeph:-0}" "${nseph:-0}" "$written"
  done
done

if [ -n "$ttr" ]; then
  convbin -r rinex "$ttr" -v 3.04 -n "$work/ttr.nav" -d "$work" >/dev/null 2>&1 || true
  echo
  echo "Transmission time written for unknown: $(grep -ohE '9\.99900*[ED]\+08' "$ttr" | sort -u | tr '\n' ' ')"
  # convbin writes back the transmission time it read (line 7, first field, of the
  # Keplerian records): a value other than 0.9999E9 is one it took for a real time and
  # moved (by whole weeks towards the record's time).
  echo "RTKLIB (convbin) writes it back as: $(awk 'h && /^[GEJCI][0-9][0-9] / { r = NR }
       h && r && NR == r + 7 { print substr($0, 5, 19) } /END OF HEADER/ { h = 1 }' \
       "$work/ttr.nav" 2>/dev/null | sort -u | tr '\n' ' ')"
fi
