#!/bin/sh
# Builds the playback driver with Debian's mipsel cross compiler and rebuilds the driver image.
#
#   driver/build_driver.sh [--out FILE] [--program FILE] [--define NAME[=VALUE]]...
#
# --out      the PS-X EXE to write (default: assets/driver.exe of this tree)
# --program  also keep the raw program text (linked at 0x80010000) in FILE
# --define   adds a preprocessor definition (test builds only; the committed image uses none)
# KEEP=DIR in the environment keeps the intermediate files (objects, driver.elf, driver.map).
# The output is the same, byte for byte, on every run with the same compiler.
set -eu

HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(cd "$HERE/.." && pwd)
OUT="$ROOT/assets/driver.exe"
PROGRAM=""
DEFINES=""
while [ $# -gt 0 ]; do
  case "$1" in
    --out) OUT=$2; shift 2 ;;
    --program) PROGRAM=$2; shift 2 ;;
    --define) DEFINES="$DEFINES -D$2"; shift 2 ;;
    *) echo "build_driver.sh: unknown argument: $1" >&2; exit 2 ;;
  esac
done

CROSS=${CROSS:-mipsel-linux-gnu-}
CC="${CROSS}gcc"
OBJCOPY="${CROSS}objcopy"
READELF="${CROSS}readelf"
OBJDUMP="${CROSS}objdump"
NM="${CROSS}nm"
for tool in "$CC" "$OBJCOPY" "$READELF" "$OBJDUMP" "$NM"; do
  command -v "$tool" >/dev/null 2>&1 || { echo "build_driver.sh: $tool not found (package gcc-mipsel-linux-gnu)" >&2; exit 3; }
done

WORK=$(mktemp -d)
trap 'if [ -n "${KEEP:-}" ]; then rm -rf "$KEEP"; cp -r "$WORK" "$KEEP"; fi; rm -rf "$WORK"' EXIT INT TERM

CFLAGS="-march=r3000 -mtune=r3000 -mabi=32 -msoft-float -mno-abicalls -fno-pic -mno-shared -G0 -mno-gpopt
  -mno-llsc -mno-check-zero-division -O2 -ffreestanding -fno-builtin -fno-tree-loop-distribute-patterns
  -fno-common -fno-stack-protector -fno-asynchronous-unwind-tables -fno-unwind-tables -ffunction-sections
  -fdata-sections -fno-ident -g0 -Wall -Wextra -Werror -std=c99"
OBJECTS=""
for source in "$HERE"/src/crt0.S "$HERE"/src/*.c; do
  object="$WORK/$(basename "$source").o"
  # shellcheck disable=SC2086
  (cd "$HERE/src" && "$CC" $CFLAGS $DEFINES -c "$(basename "$source")" -o "$object")
  OBJECTS="$OBJECTS $object"
done
# shellcheck disable=SC2086
"$CC" $CFLAGS -nostdlib -nostartfiles -static -no-pie -Wl,-T,"$HERE/driver.ld" -Wl,--gc-sections \
  -Wl,--build-id=none -Wl,-Map,"$WORK/driver.map" -o "$WORK/driver.elf" $OBJECTS

# The program must be plain R3000 code: no PIC, no instructions the R3000 lacks.
if "$READELF" -h "$WORK/driver.elf" | grep -Eq 'pic|cpic'; then
  echo "build_driver.sh: the program was built position-independent" >&2; exit 1
fi
if "$OBJDUMP" -d "$WORK/driver.elf" | awk -F'\t' 'NF >= 3 { print $3 }' |
   grep -Eqw '^(teq|movn|movz|sync|ll|sc|ext|ins|seb|seh|clz|mul)'; then
  echo "build_driver.sh: the program holds instructions the R3000 lacks" >&2; exit 1
fi
if "$NM" "$WORK/driver.elf" | grep -Eq ' U '; then
  echo "build_driver.sh: unresolved symbols:" >&2; "$NM" "$WORK/driver.elf" | grep ' U ' >&2; exit 1
fi

"$OBJCOPY" -O binary "$WORK/driver.elf" "$WORK/driver.bin"
if [ -n "$PROGRAM" ]; then cp "$WORK/driver.bin" "$PROGRAM"; fi
python3 "$HERE/image/make_driver_image.py" --program "$WORK/driver.bin" --out "$OUT"
