#!/usr/bin/env bash
# Runs the fuzz targets one after another, each for a fixed time on every core (FUZZ_WORKERS
# processes, the number of cores unless set, sharing the target's corpus), under ASan and UBSan:
#   tests/fuzz/run.sh BUILD_DIR SECONDS TARGET...
# Inputs: the corpus kept in tests/fuzz/corpus (and the RINEX files of tests/data), whole
# frames and lines cut from the recordings and RINEX files of tests/data, and what earlier runs found
# (BUILD_DIR/corpus/TARGET, where new inputs go). A
# finding (crash, leak, hang, unexpected exception) fails the run; its reproducer is printed
# in base64 (`base64 -d > crash; BUILD_DIR/tests/fuzz/TARGET crash` replays it).
# The targets run with TMPDIR=BUILD_DIR/tmp; the run fails too when a target leaves anything
# there (its private folder tolvar-fuzz-PID-*), after its normal end or after an interrupt, a
# SIGTERM or a SIGKILL (checked first, on generated inputs).
set -uo pipefail
build=$(cd "$1" && pwd)
seconds=$2
shift 2
root=$(cd "$(dirname "$0")/../.." && pwd)
bin="$build/tests/fuzz"
data="$root/tests/data"

mkdir -p "$build/seeds/rtcm" "$build/seeds/rinex" "$build/findings" "$build/logs"
if [ -d "$data/rtcm" ]; then
  "$bin/fuzz_seeds" recordings "$data/rtcm" "$build/seeds/rtcm" || exit 1
fi
if [ -d "$data/rinex" ]; then
  "$bin/fuzz_seeds" rinex "$data/rinex" "$build/seeds/rinex" || exit 1
fi

# The input folders of a kind of target (those that exist), after the target's own.
seed_dirs() {
  local d
  for d in "$root/tests/fuzz/corpus/$1" "$build/seeds/$1"; do
    [ -d "$d" ] && echo "$d"
  done
  [ "$1" = rinex ] && echo "$root/tests/data/rinex"
  return 0
}

export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export TMPDIR="$build/tmp"
rm -rf "$TMPDIR"
mkdir -p "$TMPDIR"

# True while the ended targets' TMPDIR is not empty (waits up to 5 s for the guards that
# remove the folders of processes that ended abnormally); names what stays.
debris_stays() {
  local i
  for i in $(seq 50); do
    [ -z "$(ls -A "$TMPDIR")" ] && return 1
    sleep 0.1
  done
  ls -A "$TMPDIR"
  return 0
}

# Prints the reproducers of findings whose names begin with PREFIX, in base64.
print_reproducers() {
  local f
  for f in "$1"*; do
    [ -e "$f" ] || continue
    echo "reproducer $(basename "$f") ($(stat -c %s "$f") bytes, base64):"
    base64 -w 76 "$f"
  done
}

# True when process PID ends within SECONDS.
ended_within() {
  local i
  for i in $(seq $(($1 * 10))); do
    kill -0 "$2" 2> /dev/null || return 0
    sleep 0.1
  done
  ! kill -0 "$2" 2> /dev/null
}

# Starts every target on generated inputs, ends each with SIGNAL once it runs and checks
# that its folder goes. A finding of a target before the signal fails the check like one of
# the main runs.
check_cleanup() {
  local signal=$1 target pid i log prefix failed=0
  local -a started=()
  for target in "${targets[@]}"; do
    prefix="$build/findings/cleanup-$target-$signal-"
    rm -f "$prefix"*
    "$bin/$target" -max_total_time=120 -artifact_prefix="$prefix" \
      > "$build/logs/$target-$signal.log" 2>&1 &
    started+=($!)
  done
  i=0
  for target in "${targets[@]}"; do
    pid=${started[$i]}
    i=$((i + 1))
    log="$build/logs/$target-$signal.log"
    for _ in $(seq 100); do
      grep -q 'INITED' "$log" && break
      sleep 0.1
    done
    kill -s "$signal" "$pid" 2> /dev/null
    if ! ended_within 30 "$pid" 2> /dev/null; then
      # libFuzzer's own interrupt handler allocates; a signal that lands inside the
      # allocator leaves it waiting on itself. Our folder must still go: SIGKILL, and the
      # guard removes it.
      echo "$target: still running 30 s after SIG$signal (stuck in libFuzzer's interrupt" \
        "handler), killed"
      kill -s KILL "$pid" 2> /dev/null
    fi
    { wait "$pid"; } 2> /dev/null
    prefix="$build/findings/cleanup-$target-$signal-"
    if grep -q -E 'SUMMARY: |deadly signal|Test unit written' "$log" ||
      compgen -G "$prefix*" > /dev/null; then
      failed=1
      echo "$target: FINDING before SIG$signal"
      tail -n 60 "$log"
      print_reproducers "$prefix"
    fi
  done
  if debris_stays; then
    echo "after SIG$signal, left in $TMPDIR"
    rm -rf "${TMPDIR:?}"/*
    return 1
  fi
  return $failed
}

# One target's run: its log in BUILD_DIR/logs, its findings in BUILD_DIR/findings. In a run
# of a minute almost every feature is seen fewer than 255 times, libFuzzer's default bound of
# a rare feature, and libFuzzer looks each feature of every execution up in the growing list
# of rare ones: a bound of 8 keeps that list short.
workers=${FUZZ_WORKERS:-$(nproc 2>/dev/null || echo 2)}
run_target() {
  local target=$1 kind=${1#fuzz_}
  kind=${kind%%_*}  # the seeds of fuzz_KIND_...: tests/fuzz/corpus/KIND
  local work="$build/corpus/$target" dict=()
  mkdir -p "$work"
  rm -f "$build/findings/$target-"*
  [ -f "$root/tests/fuzz/$kind.dict" ] && dict=(-dict="$root/tests/fuzz/$kind.dict")
  mapfile -t seeds < <(seed_dirs "$kind")
  # Each worker writes its log as fuzz-N.log into the target's log folder.
  local logs="$build/logs/$target"
  rm -rf "$logs"
  mkdir -p "$logs"
  # A run that outlives its time by two minutes is stuck outside an input (an input that
  # hangs ends its worker after 30 s as a finding): it and its workers are killed.
  (cd "$logs" && timeout -k 10 $((seconds + 120)) "$bin/$target" -jobs="$workers" \
    -workers="$workers" -max_total_time="$seconds" -max_len=20000 -timeout=30 \
    -rss_limit_mb=2048 -entropic_feature_frequency_threshold=8 \
    -print_final_stats=1 -artifact_prefix="$build/findings/$target-" "${dict[@]}" \
    "$work" "${seeds[@]}" > "$build/logs/$target.log" 2>&1)
}

targets=("$@")
status=0
for signal in INT TERM KILL; do
  check_cleanup "$signal" || status=1
done

# The targets run one after another, each on every core.
for target in "$@"; do
  run_target "$target"
  rc=$?
  logs=("$build/logs/$target"/fuzz-*.log)
  runs=$(cat "${logs[@]}" 2>/dev/null | sed -n 's/^stat::number_of_executed_units: *//p' |
    awk '{ n += $1 } END { print n + 0 }')
  cov=$(cat "${logs[@]}" 2>/dev/null | grep -o 'cov: [0-9]*' | sort -t' ' -k2 -n | tail -1)
  echo "$target: $runs executions in ${seconds} s on $workers core(s), ${cov:-cov: ?} edges," \
    "$(ls "$build/corpus/$target" | wc -l) inputs kept"
  if [ $rc -ne 0 ]; then
    status=1
    if [ $rc -eq 124 ] || [ $rc -eq 137 ]; then
      echo "$target: FINDING: did not end within $((seconds + 120)) s, killed (exit code $rc)"
    else
      echo "$target: FINDING (exit code $rc)"
    fi
    for log in "${logs[@]}"; do
      grep -q -E 'ERROR|SUMMARY|deadly signal|Test unit written' "$log" && tail -n 60 "$log"
    done
    print_reproducers "$build/findings/$target-"
  fi
done
if debris_stays; then
  status=1
  echo "after the runs, left in $TMPDIR"
fi
exit $status
