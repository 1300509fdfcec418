#!/bin/sh
# Runs the libFuzzer targets (built with the fuzz preset) on their corpora.
#   tools/fuzz.sh NAME SECONDS [RUNS]   fuzz one target (fuzz_NAME) for SECONDS on fuzz/corpus/NAME, or until it
#                                       has run RUNS inputs when that comes first (a campaign: 10000000)
#   tools/fuzz.sh all SECONDS    every target in turn, SECONDS each
#   tools/fuzz.sh seeds          rebuild the committed corpora from fuzz/make_seeds.py, minimised (-merge=1)
#   tools/fuzz.sh replay NAME|all run every input of the grown corpora once under AddressSanitizer
#   tools/fuzz.sh campaign RUNS [NAME...]  run each target (all by default) until the log counts RUNS inputs
#                                for it, resuming where earlier runs stopped
#   tools/fuzz.sh figures        the logs' inputs, seconds and findings per target
#   tools/fuzz.sh keep           move this machine's log into the committed record fuzz/campaign.log, so that
#                                a campaign resumes on another machine
# LFQ_FUZZ_PRESET=fuzz-campaign picks the build without AddressSanitizer (several times the inputs a second,
# for long campaigns; replay its corpora afterwards). Each run's figures, with the commit it ran on, are added to
# build/fuzz/campaign.log; campaign and figures count that log and the record together.
# New inputs go to build/fuzz/corpus/NAME (the committed corpus is only read); crashes and failed properties
# to build/fuzz/artifacts/NAME/. The exit status is non-zero when a target found anything. The targets' private
# directories go to /dev/shm when it is there: replacing files on a disk file system waits for the disk.
set -e
cd "$(dirname "$0")/.."
# Without AddressSanitizer the C library's malloc serves the targets: keep the 2 MiB images on the heap and the
# heap's top in place between inputs, or every input pays for fresh pages (unpack: fifteen times slower).
export GLIBC_TUNABLES=glibc.malloc.mmap_threshold=33554432:glibc.malloc.trim_threshold=268435456
if [ -z "$LFQ_FUZZ_KEEP_TMPDIR" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi
PRESET=${LFQ_FUZZ_PRESET:-fuzz}
case "$PRESET" in fuzz | fuzz-campaign) ;; *) echo "LFQ_FUZZ_PRESET: fuzz or fuzz-campaign" >&2; exit 2 ;; esac
TARGETS="psf_decode psf_set exe_psf vab sep_split seq_midi batch tags song_length unpack info foundation_strings foundation_text"
BUILD=build/$PRESET
CORPUS=build/fuzz/corpus
LOG=build/fuzz/campaign.log
RECORD=fuzz/campaign.log

usage() {
  echo "usage: tools/fuzz.sh NAME SECONDS [RUNS] | all SECONDS | seeds | replay NAME|all | campaign RUNS [NAME...] |" \
    "figures | keep   (NAME: $TARGETS)" >&2
  exit 2
}

build() {
  if [ ! -f "$BUILD/build.ninja" ]; then cmake --preset "$PRESET" >/dev/null; fi
  targets=""
  for name in "$@"; do targets="$targets fuzz_$name"; done
  # shellcheck disable=SC2086
  cmake --build --preset "$PRESET" --target $targets
}

run() {
  name=$1
  seconds=$2
  runs=${3:--1}
  mkdir -p "$CORPUS/$name" "$BUILD/artifacts/$name"
  dict=""
  if [ -f "fuzz/$name.dict" ]; then dict="-dict=fuzz/$name.dict"; fi
  echo "fuzz_$name: $seconds s" >&2
  # The commit the run starts on (the binary was built from it; a commit made during a long run is not it).
  commit=$(git rev-parse --short HEAD 2>/dev/null || echo unknown)
  start=$(date +%s)
  status=0
  # shellcheck disable=SC2086
  log=$(mktemp)
  "$BUILD/fuzz/fuzz_$name" -max_total_time="$seconds" -runs="$runs" -timeout=30 -rss_limit_mb=2560 \
    -print_final_stats=1 -artifact_prefix="$BUILD/artifacts/$name/" $dict "$CORPUS/$name" "fuzz/corpus/$name" \
    2>"$log" || status=$?
  cat "$log" >&2
  elapsed=$(($(date +%s) - start))
  inputs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  rm -f "$log"
  echo "fuzz_$name: stopped after $elapsed s" >&2
  mkdir -p build/fuzz
  echo "$(date -u +%FT%TZ) $PRESET $name inputs=${inputs:-0} per_s=${rate:-0} seconds=$elapsed status=$status" \
    "commit=$commit" >>"$LOG"
  return "$status"
}

case "$1" in
  seeds)
    [ $# -eq 1 ] || usage
    # shellcheck disable=SC2086
    build $TARGETS
    raw=$(mktemp -d)
    trap 'rm -rf "$raw"' EXIT
    python3 fuzz/make_seeds.py "$raw"
    for name in $TARGETS; do
      rm -rf "fuzz/corpus/$name"
      mkdir -p "fuzz/corpus/$name"
      "$BUILD/fuzz/fuzz_$name" -merge=1 "fuzz/corpus/$name" "$raw/$name" 2>&1 | grep -E "MERGE-OUTER: [0-9]+ new files" >&2
    done
    ;;
  figures)
    [ $# -eq 1 ] || usage
    logs=$(ls "$RECORD" "$LOG" 2>/dev/null) || true
    [ -n "$logs" ] || { echo "no runs logged yet" >&2; exit 1; }
    # Status 72 is libFuzzer's exit on an interrupt (a run stopped with Ctrl+C or SIGINT), no finding.
    # shellcheck disable=SC2086
    awk '{ for (i = 4; i <= NF; i++) { split($i, kv, "="); v[kv[1]] = kv[2] }
           if (!($3 in n)) order[++count] = $3
           n[$3] += v["inputs"]; s[$3] += v["seconds"]; if (v["status"] != 0 && v["status"] != 72) f[$3]++ }
         END { for (i = 1; i <= count; i++) { t = order[i]
                 printf "%-20s %12d inputs %7d s %8.0f per s  %d run(s) with a finding\n", t, n[t], s[t],
                        s[t] ? n[t] / s[t] : 0, f[t] } }' $logs
    ;;
  campaign)
    [ $# -ge 2 ] || usage
    goal=$2
    shift 2
    names=${*:-$TARGETS}
    # shellcheck disable=SC2086
    build $names
    for name in $names; do
      # shellcheck disable=SC2046
      done_inputs=$(awk -v t="$name" '$3 == t { sub("inputs=", "", $4); n += $4 } END { print n + 0 }' \
        $(ls "$RECORD" "$LOG" 2>/dev/null) /dev/null)
      [ "$done_inputs" -lt "$goal" ] || continue
      run "$name" 360000 $((goal - done_inputs)) || exit 1
    done
    ;;
  keep)
    [ $# -eq 1 ] || usage
    [ -s "$LOG" ] || { echo "nothing logged on this machine" >&2; exit 1; }
    cat "$LOG" >>"$RECORD"
    rm -f "$LOG"
    echo "$RECORD: $(wc -l <"$RECORD") runs recorded" >&2
    ;;
  replay)
    [ $# -eq 2 ] || usage
    [ "$PRESET" = fuzz ] || { echo "replay runs under AddressSanitizer: leave LFQ_FUZZ_PRESET unset" >&2; exit 2; }
    names=$2
    [ "$names" = all ] && names=$TARGETS
    # shellcheck disable=SC2086
    build $names
    failed=""
    for name in $names; do
      mkdir -p "$CORPUS/$name" "$BUILD/artifacts/$name"
      echo "fuzz_$name: replaying $(find "$CORPUS/$name" -type f | wc -l) inputs" >&2
      log=$(mktemp)
      "$BUILD/fuzz/fuzz_$name" -runs=0 -timeout=30 -rss_limit_mb=2560 -artifact_prefix="$BUILD/artifacts/$name/" \
        "$CORPUS/$name" "fuzz/corpus/$name" >"$log" 2>&1 || { cat "$log" >&2; failed="$failed $name"; }
      grep -E "INITED|DONE" "$log" >&2 || true
      rm -f "$log"
    done
    if [ -n "$failed" ]; then
      echo "fuzz targets whose corpora hold a finding:$failed" >&2
      exit 1
    fi
    ;;
  all)
    [ $# -eq 2 ] || usage
    # shellcheck disable=SC2086
    build $TARGETS
    failed=""
    for name in $TARGETS; do run "$name" "$2" || failed="$failed $name"; done
    if [ -n "$failed" ]; then
      echo "fuzz targets that found something:$failed" >&2
      exit 1
    fi
    ;;
  *)
    [ $# -eq 2 ] || [ $# -eq 3 ] || usage
    case " $TARGETS " in *" $1 "*) ;; *) usage ;; esac
    build "$1"
    run "$1" "$2" "${3:--1}"
    ;;
esac
