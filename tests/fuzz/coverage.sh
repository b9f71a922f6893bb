#!/usr/bin/env bash
# Source coverage reached by the inputs of the fuzz targets:
#   tests/fuzz/coverage.sh COVERAGE_BUILD FUZZ_BUILD TARGET...
# replays the kept corpus, the seeds and what FUZZ_BUILD's runs found through the targets
# of COVERAGE_BUILD (built with -DTOLVAR_FUZZ=COVERAGE, every object of the program linked
# into each target) and reports the line, region and function coverage of every source file
# of the program (app/main.cpp aside, whose main is libFuzzer's).
set -euo pipefail
cov=$(cd "$1" && pwd)
fuzz=$(cd "$2" && pwd)
shift 2
root=$(cd "$(dirname "$0")/../.." && pwd)
profiles="$cov/profiles"
rm -rf "$profiles"
mkdir -p "$profiles"
# The targets' private folders go to a folder of their own.
export TMPDIR="$cov/tmp"
mkdir -p "$TMPDIR"

objects=()
for target in "$@"; do
  kind=${target#fuzz_}
  kind=${kind%%_*}
  dirs=()
  for d in "$fuzz/corpus/$target" "$root/tests/fuzz/corpus/$kind" "$fuzz/seeds/$kind"; do
    [ -d "$d" ] && dirs+=("$d")
  done
  [ "$kind" = rinex ] && dirs+=("$root/tests/data/rinex")
  find "${dirs[@]}" -type f -print0 |
    LLVM_PROFILE_FILE="$profiles/$target-%p.profraw" xargs -0 -r -n 500 \
      "$cov/tests/fuzz/$target" > /dev/null 2>&1 || true
  objects+=(-object "$cov/tests/fuzz/$target")
done

llvm-profdata merge -sparse "$profiles"/*.profraw -o "$profiles/all.profdata"
mapfile -t sources < <(cd "$root" && git ls-files --cached --others --exclude-standard \
  'foundation/*.cpp' 'obsmodel/*.cpp' 'navigation/*.cpp' 'codecs/*.cpp' 'app/*.cpp' |
  grep -v '^app/main\.cpp$' | sed "s|^|$root/|")
llvm-cov report "${objects[@]:1}" -instr-profile="$profiles/all.profdata" "${sources[@]}" |
  sed "s|$root/||"
