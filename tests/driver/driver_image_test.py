#!/usr/bin/env python3
"""Checks of the built-in driver image assets/driver.exe.

    driver_image_test.py layout    the fixed layout, the start-up code at pc0, the zero tail
    driver_image_test.py rebuild   driver/build_driver.sh reproduces the image byte for byte
                                   (exit 77, "skipped", without mipsel-linux-gnu-gcc)
"""

import os
import shutil
import struct
import subprocess
import sys
import tempfile

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
IMAGE = os.path.join(SOURCE, "assets", "driver.exe")
T_ADDR = 0x80010000
TEXT_SIZE = 0x14000


def at(text, address, length):
    start = address - T_ADDR
    return text[start:start + length]


def u32(text, address):
    return struct.unpack("<I", at(text, address, 4))[0]


# The header's first 0x4C bytes and the start of the region text, field by field.
EXPECTED_HEADER = (
    b"PS-X EXE"                   # 0x00 magic
    + bytes.fromhex("00000000")   # 0x08 text offset
    + bytes.fromhex("00000000")   # 0x0C data offset
    + bytes.fromhex("bc020280")   # 0x10 pc0 0x800202BC
    + bytes.fromhex("00000000")   # 0x14 gp0
    + bytes.fromhex("00000180")   # 0x18 t_addr 0x80010000
    + bytes.fromhex("00400100")   # 0x1C t_size 0x14000
    + bytes(16)                   # 0x20 d_addr, d_size, b_addr, b_size
    + bytes.fromhex("f0ff1f80")   # 0x30 s_addr 0x801FFFF0
    + bytes(4)                    # 0x34 s_size
    + bytes(20)                   # 0x38 saved SP, FP, GP, RA, S0
    + b"Sony Computer Entertainment Inc. for Japan area"
)

# Start-up code at pc0: the driver's own stack at 0x801FFF00 before anything else.
EXPECTED_ENTRY = bytes.fromhex(
    "1f801d3c"  # lui  sp, 0x801F
    "00ffbd37"  # ori  sp, sp, 0xFF00
)

# DriverInfo block header at 0x80022570: marker, the six words, the four song areas, the end.
EXPECTED_INFO_AREAS = bytes.fromhex(
    "00000180" "0000 1f00"  # area 0: 0x80010000, 0x001F0000
    "60280280" "48000000"   # area 1: mute block 0x80022860, 0x48
    "a8280280" "c4000000"   # area 2: parameter block 0x800228A8, 0xC4
    "6c290280" "a4000000"   # area 3: driver private 0x8002296C, 0xA4
    "00000000"              # end of the list
)

PARAMETERS = [
    ("SEQ/SEP/VAG Address", 0x800228A8, 4), ("VH Address", 0x800228AC, 4), ("VB Address", 0x800228B0, 4),
    ("Playback Type", 0x800228C0, 4), ("Playback Amount", 0x800228D4, 4), ("Automatic Stop", 0x800228E8, 4),
    ("SEP Play Mode", 0x800228C4, 4), ("Sequence Amount", 0x800228E4, 2), ("Sequence ID #1", 0x800228DE, 2),
    ("Sequence ID #2", 0x800228E0, 2), ("Sequence Tick Mode", 0x8002295C, 4), ("Reverb Mode", 0x80022928, 4),
    ("Reverb Depth (L)", 0x8002292C, 2), ("Reverb Depth (R)", 0x8002292E, 2), ("Reverb Delay", 0x80022930, 4),
    ("Reverb Feedback", 0x80022934, 4), ("Reverb Volume (L)", 0x80022918, 2), ("Reverb Volume (R)", 0x8002291A, 2),
    ("Master Volume (L)", 0x80022914, 2), ("Master Volume (R)", 0x80022916, 2),
    ("Sequence Volume (L)", 0x8002291C, 2), ("Sequence Volume (R)", 0x8002291E, 2), ("VAB ID", 0x800228DC, 2),
    ("VAB Transfer Mode", 0x800228D0, 2), ("VAB Non-Zero Volume", 0x80022938, 4),
    ("VAB High-Priority", 0x8002293C, 4), ("Video Mode", 0x800228C8, 4), ("Channel Output", 0x800228CC, 4),
    ("Custom Tempo?", 0x80022940, 4), ("Custom Tempo Value", 0x80022958, 2), ("Custom Accelerando?", 0x80022944, 4),
    ("Custom Crescendo?", 0x80022948, 4), ("Custom Decrescendo?", 0x8002294C, 4),
    ("Custom Ritardando?", 0x80022950, 4), ("Custom Tick Skip?", 0x80022954, 4),
    ("Custom Tick Resolution", 0x80022960, 4), ("Custom Tick Skip Unit", 0x80022968, 1),
    ("Custom Tick Skip Value", 0x8002296A, 2), ("Custom Tick Timing", 0x80022964, 4),
    ("De/Crescendo Volume", 0x80022920, 2),
] + [("Mute Channel %d" % n, 0x80022860 + 4 * n, 4) for n in range(16)]


def check_layout():
    with open(IMAGE, "rb") as handle:
        data = handle.read()
    failures = []

    def expect(condition, text):
        if not condition:
            failures.append(text)

    expect(len(data) == 2048 + TEXT_SIZE, "the image is %d bytes, not %d" % (len(data), 2048 + TEXT_SIZE))
    expect(data[:len(EXPECTED_HEADER)] == EXPECTED_HEADER, "header fields differ")
    expect(not any(data[len(EXPECTED_HEADER):2048]), "the rest of the header is not zero")
    text = data[2048:]

    expect(at(text, 0x800202BC, 8) == EXPECTED_ENTRY, "no start-up code at pc0: %s" % at(text, 0x800202BC, 8).hex())
    expect(any(at(text, T_ADDR, 0x1000)), "no program at the load address")
    expect(at(text, 0x80022130, 10) == b"Quillmoss\0", "maker name")
    expect(at(text, 0x8002213C, 32) == b"Lanternfieldquarrystone V.4.2.0\0", "driver name")
    expect(at(text, 0x8002215C, 9) == b"MAIN.EXE\0", "executable name")
    expect(at(text, 0x80022570, 16) == b"PSF_DRIVER_INFO:", "driver-info marker")
    words = struct.unpack("<6I", at(text, 0x80022580, 24))
    expect(words[2:4] == (0x8002213C, 0x8002215C), "driver-info name addresses %s" % (words,))
    expect(at(text, 0x80022598, 36) == EXPECTED_INFO_AREAS, "song areas %s" % at(text, 0x80022598, 36).hex())

    for index, (name, value_at, width) in enumerate(PARAMETERS):
        name_at, got_value, got_width = struct.unpack("<3I", at(text, 0x800225BC + 12 * index, 12))
        got_name = at(text, name_at, len(name) + 1) if T_ADDR <= name_at < T_ADDR + TEXT_SIZE else b""
        expect(got_name == name.encode() + b"\0" and name_at % 4 == 0, "parameter %02d name" % index)
        expect((got_value, got_width) == (value_at, width), "parameter %02d value address or width" % index)
    expect(u32(text, 0x800225BC + 12 * len(PARAMETERS)) == 0, "the parameter list does not end after 56 entries")

    tail = at(text, 0x8002285C, T_ADDR + TEXT_SIZE - 0x8002285C)
    expect(not any(tail), "the text is not zero from 0x8002285C on")

    if failures:
        for failure in failures:
            print("FAIL:", failure)
        return 1
    print("layout ok")
    return 0


def check_rebuild():
    if shutil.which("mipsel-linux-gnu-gcc") is None:
        print("mipsel-linux-gnu-gcc not found: rebuild skipped")
        return 77
    work = tempfile.mkdtemp(prefix="lfq-driver-rebuild-")
    try:
        out = os.path.join(work, "driver.exe")
        subprocess.run(["sh", os.path.join(SOURCE, "driver", "build_driver.sh"), "--out", out], check=True)
        with open(out, "rb") as handle:
            rebuilt = handle.read()
        with open(IMAGE, "rb") as handle:
            committed = handle.read()
        if rebuilt != committed:
            first = next((i for i in range(min(len(rebuilt), len(committed))) if rebuilt[i] != committed[i]),
                         min(len(rebuilt), len(committed)))
            print("FAIL: the rebuilt image differs from assets/driver.exe from byte 0x%X on" % first)
            return 1
        print("rebuild reproduces assets/driver.exe")
        return 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


def main(argv):
    if argv == ["layout"]:
        return check_layout()
    if argv == ["rebuild"]:
        return check_rebuild()
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
