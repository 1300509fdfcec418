#!/bin/sh
# The outputs of the README's demo command and of --convert on a SEQ, a SEP, a VAB, an EXE and a PSF, checked
# byte for byte against the SHA-256 sums in expected_outputs.sha256, which the Linux build writes. Run with
# the Linux program, the check holds the sums to it; run with the Windows program under Wine, it shows that
# both write the same bytes, also for a file named with non-ASCII letters and for a path written with
# backslashes (Windows only).
# Usage: same_outputs_test.sh SOURCE_DIR WORK_DIR windows|linux PROGRAM [EMULATOR]
set -eu
source_dir=$1
work=$2
platform=$3
program=$4
emulator=${5:-}

rm -rf "$work"
mkdir -p "$work/sub"
cd "$work"
cp "$source_dir/assets/demo/demo.seq" "$source_dir/assets/demo/demo.vh" "$source_dir/assets/demo/demo.vb" .
cp "$source_dir/assets/driver.exe" driver.exe

run() {
  if [ -n "$emulator" ]; then "$emulator" "$program" "$@"; else "$program" "$@"; fi
}

# Four bytes, most significant first.
be32() {
  for shift in 24 16 8 0; do
    # shellcheck disable=SC2059
    printf "\\$(printf %03o $(( ($1 >> shift) & 255 )))"
  done
}

# A SEP of two sequences, each the demo song: "pQES", version 0, then per record its number, the SEQ's seven
# timing bytes, the data size and the data.
seq_size=$(wc -c < demo.seq)
data_size=$((seq_size - 15))
{
  printf 'pQES\000\000'
  for number in 0 1; do
    printf "\\000\\$(printf %03o $number)"
    dd if=demo.seq bs=1 skip=8 count=7 2>/dev/null
    be32 "$data_size"
    tail -c "$data_size" demo.seq
  done
} > demo.sep

run MAKE SEQ demo.seq VH demo.vh VB demo.vb PARAM "Master Volume (L)" 127 OUT demo.psf
run COMBINE demo.vab demo.vh demo.vb
run --convert demo.seq demo.sep demo.vab driver.exe demo.psf

failures=0
check() {
  expected=$(grep " $2\$" "$source_dir/tests/windows/expected_outputs.sha256" | cut -d' ' -f1)
  actual=$(sha256sum "$1" 2>/dev/null | cut -d' ' -f1)
  if [ -z "$expected" ] || [ "$expected" != "$actual" ]; then
    echo "DIFFERENT: $1 (expected the bytes of $2)"
    failures=$((failures + 1))
  else
    echo "same: $1"
  fi
}
while read -r _ name; do
  check "$name" "$name"
done < "$source_dir/tests/windows/expected_outputs.sha256"

if [ "$platform" = windows ]; then
  # A name outside the ANSI code page, and a path with backslashes: the same bytes come out.
  cp demo.seq "町.seq"
  cp demo.seq sub/back.seq
  run --convert "町.seq" 'sub\back.seq'
  check "町.mid" demo.mid
  check sub/back.mid demo.mid
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures outputs differ"
  exit 1
fi
echo "every output has the expected bytes"
