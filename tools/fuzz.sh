#!/bin/sh
# Runs the libFuzzer targets (built with the fuzz preset) on their corpora.
#   tools/fuzz.sh NAME SECONDS [RUNS]   fuzz one target (fuzz_NAME) for SECONDS on fuzz/corpus/NAME, or until it
#                                       has run RUNS inputs when that comes first (a campaign: 10000000)
#   tools/fuzz.sh all SECONDS    every target in turn, SECONDS each
#   tools/fuzz.sh seeds          rebuild the committed corpora from fuzz/make_seeds.py, minimised (-merge=1)
# New inputs go to build/fuzz/corpus/NAME (the committed corpus is only read); crashes and failed properties
# to build/fuzz/artifacts/NAME/. The exit status is non-zero when a target found anything. The targets' private
# directories go to /dev/shm when it is there: replacing files on a disk file system waits for the disk.
set -e
cd "$(dirname "$0")/.."
if [ -z "$LFQ_FUZZ_KEEP_TMPDIR" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi
TARGETS="psf_decode psf_set exe_psf vab sep_split seq_midi batch tags song_length unpack info foundation_strings foundation_text"
BUILD=build/fuzz

usage() {
  echo "usage: tools/fuzz.sh NAME SECONDS [RUNS] | tools/fuzz.sh all SECONDS | tools/fuzz.sh seeds   (NAME: $TARGETS)" >&2
  exit 2
}

build() {
  if [ ! -f "$BUILD/build.ninja" ]; then cmake --preset fuzz >/dev/null; fi
  targets=""
  for name in "$@"; do targets="$targets fuzz_$name"; done
  # shellcheck disable=SC2086
  cmake --build --preset fuzz --target $targets
}

run() {
  name=$1
  seconds=$2
  runs=${3:--1}
  mkdir -p "$BUILD/corpus/$name" "$BUILD/artifacts/$name"
  dict=""
  if [ -f "fuzz/$name.dict" ]; then dict="-dict=fuzz/$name.dict"; fi
  echo "fuzz_$name: $seconds s" >&2
  start=$(date +%s)
  status=0
  # shellcheck disable=SC2086
  "$BUILD/fuzz/fuzz_$name" -max_total_time="$seconds" -runs="$runs" -timeout=30 -rss_limit_mb=2560 \
    -print_final_stats=1 -artifact_prefix="$BUILD/artifacts/$name/" $dict "$BUILD/corpus/$name" "fuzz/corpus/$name" ||
    status=$?
  echo "fuzz_$name: stopped after $(($(date +%s) - start)) s" >&2
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
