#!/usr/bin/env bash
# Source coverage reached by the inputs of the fuzz targets:
#   tests/fuzz/coverage.sh COVERAGE_BUILD FUZZ_BUILD TARGET...
# replays the kept corpus, the seeds and what FUZZ_BUILD's runs found through the targets
# of COVERAGE_BUILD (built with -DTOLVAR_FUZZ=COVERAGE) and reports the line, region and
# function coverage of the RTCM decoder and reader files, then of the command-line files.
set -euo pipefail
cov=$(cd "$1" && pwd)
fuzz=$(cd "$2" && pwd)
shift 2
root=$(cd "$(dirname "$0")/../.." && pwd)
profiles="$cov/profiles"
rm -rf "$profiles"
mkdir -p "$profiles"

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
report() {
  llvm-cov report "${objects[@]:1}" -instr-profile="$profiles/all.profdata" "$@"
}
echo "RTCM decoder and reader:"
report "$root"/codecs/zqt_rtc_parser*.cpp "$root/codecs/zqt_rtcm_reader.cpp" \
  "$root/codecs/zqt_rtcm_types.cpp" "$root/codecs/zqt_crc.cpp"
echo "RINEX readers:"
report "$root"/codecs/zqt_rnx_reader*.cpp
echo "Command line:"
report "$root/app/UMerrow.cpp" "$root/app/tolvar_project.cpp"
