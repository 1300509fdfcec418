#!/usr/bin/env python3
"""Builds the built-in driver image (a PS-X EXE) from the layout description and a MIPS program.

    make_driver_image.py [--layout driver_layout.json] [--program PROGRAM.bin] --out assets/driver.exe

PROGRAM.bin is the raw text of a program linked at t_addr (objcopy -O binary). It is laid from t_addr on
and must end below the fixed region; the fixed strings, the driver-info block, the parameter names and the
parameter list are then written from the description, with every parameter value, the mute block and the
parameter block left 0. Without --program the text holds only an idle loop at pc0 ("j pc0" and a nop), so
a player can load the image without running into undefined code.

Standard library only. The output is written to a temporary file beside the target and renamed over it.
"""

import argparse
import json
import os
import struct
import sys
import tempfile

HEADER_SIZE = 2048
RAM_BASE = 0x80000000
RAM_END = 0x80200000
INFO_HEADER_SIZE = 76
PARAMETER_ENTRY_SIZE = 12


class LayoutError(Exception):
    pass


def number(text):
    if isinstance(text, int):
        return text
    return int(text, 0)


def ascii_bytes(text, what):
    try:
        data = text.encode("ascii")
    except UnicodeEncodeError:
        raise LayoutError("%s is not ASCII: %r" % (what, text))
    if b"\0" in data:
        raise LayoutError("%s holds a NUL: %r" % (what, text))
    return data


class Text:
    """The text of the image, addressed by PlayStation address."""

    def __init__(self, base, size):
        self.base = base
        self.bytes = bytearray(size)
        self.written = bytearray(size)  # 1 where the fixed layout has put a byte

    def offset(self, address, length, what):
        start = address - self.base
        if address < self.base or start + length > len(self.bytes):
            raise LayoutError("%s at 0x%08X (+%d bytes) lies outside the text" % (what, address, length))
        return start

    def put(self, address, data, what):
        start = self.offset(address, len(data), what)
        for i in range(len(data)):
            if self.written[start + i]:
                raise LayoutError("%s at 0x%08X overlaps another fixed item" % (what, address + i))
            self.written[start + i] = 1
        self.bytes[start:start + len(data)] = data

    def put_u32(self, address, value, what):
        self.put(address, struct.pack("<I", value & 0xFFFFFFFF), what)


def build_header(header):
    out = bytearray(HEADER_SIZE)
    magic = ascii_bytes(header["magic"], "magic")
    if len(magic) != 8:
        raise LayoutError("the magic must be 8 characters")
    out[0:8] = magic
    words = ["text_offset", "data_offset", "pc0", "gp0", "t_addr", "t_size", "d_addr", "d_size", "b_addr",
             "b_size", "s_addr", "s_size"]
    for i, name in enumerate(words):
        struct.pack_into("<I", out, 0x08 + 4 * i, number(header[name]))
    saved = header["saved_registers"]
    if len(saved) != 5:
        raise LayoutError("saved_registers must hold five words (SP, FP, GP, RA, S0)")
    for i, value in enumerate(saved):
        struct.pack_into("<I", out, 0x38 + 4 * i, number(value))
    marker = ascii_bytes(header["region_marker"], "region marker")
    if len(marker) >= HEADER_SIZE - 0x4C:
        raise LayoutError("the region marker is too long")
    out[0x4C:0x4C + len(marker)] = marker
    return out


def lay_fixed_blocks(layout, text):
    strings = {}
    for entry in layout["strings"]:
        data = ascii_bytes(entry["text"], entry["name"])
        address = number(entry["address"])
        text.put(address, data + b"\0", entry["name"])
        strings[entry["name"]] = address

    names = layout["parameter_names"]
    names_at = number(names["start"])
    names_end = number(names["end"])
    alignment = number(names["alignment"])

    parameters = layout["parameter_list"]
    list_at = number(parameters["address"])
    entries = parameters["entries"]
    if len(entries) > 65535:
        raise LayoutError("too many parameters")
    for index, entry in enumerate(entries):
        what = "parameter %02d name" % index
        data = ascii_bytes(entry["name"], what) + b"\0"
        if not data[:-1]:
            raise LayoutError("%s is empty" % what)
        if names_at % alignment:
            names_at += alignment - names_at % alignment
        if names_at + len(data) > names_end:
            raise LayoutError("the parameter names do not fit below 0x%08X" % names_end)
        text.put(names_at, data, what)
        width = number(entry["width"])
        if width not in (1, 2, 4):
            raise LayoutError("parameter %02d has width %d" % (index, width))
        value_at = number(entry["value_address"])
        text.offset(value_at, width, "parameter %02d value" % index)
        entry_at = list_at + PARAMETER_ENTRY_SIZE * index
        text.put(entry_at, struct.pack("<III", names_at, value_at, width), "parameter %02d entry" % index)
        names_at += len(data)
    list_end = list_at + PARAMETER_ENTRY_SIZE * len(entries)
    if list_end != number(parameters["end"]):
        raise LayoutError("the parameter list ends at 0x%08X, not at 0x%08X" % (list_end, number(parameters["end"])))
    text.put_u32(list_end, 0, "end of the parameter list")

    info = layout["driver_info"]
    info_at = number(info["address"])
    marker = ascii_bytes(info["marker"], "driver-info marker")
    if len(marker) != 16:
        raise LayoutError("the driver-info marker must be 16 characters")
    areas = info["song_areas"]
    if len(areas) != 4:
        raise LayoutError("the driver-info block lists four song areas")
    if number(info["driver_name_address"]) != strings.get("driver_name"):
        raise LayoutError("driver_name_address does not point at the driver name")
    if number(info["executable_name_address"]) != strings.get("executable_name"):
        raise LayoutError("executable_name_address does not point at the executable name")
    block = bytearray(marker)
    for name in ("code_address", "entry_address", "driver_name_address", "executable_name_address", "checksum",
                 "patch_address"):
        block += struct.pack("<I", number(info[name]))
    for area in areas:
        block += struct.pack("<II", number(area["address"]), number(area["size"]))
    block += struct.pack("<I", 0)
    assert len(block) == INFO_HEADER_SIZE
    if info_at + INFO_HEADER_SIZE != list_at:
        raise LayoutError("the parameter list must follow the driver-info block header directly")
    text.put(info_at, block, "driver-info block")

    if number(areas[1]["size"]) > 72 or number(areas[2]["size"]) > 196:
        raise LayoutError("the mute block holds at most 72 bytes and the parameter block at most 196")


def build_image(layout, program):
    header = build_header(layout["header"])
    t_addr = number(layout["header"]["t_addr"])
    t_size = number(layout["header"]["t_size"])
    pc0 = number(layout["header"]["pc0"])
    if t_addr < RAM_BASE or t_addr + t_size > RAM_END or t_size % 4:
        raise LayoutError("t_addr and t_size do not place the text inside RAM")
    text = Text(t_addr, t_size)
    fixed_start = number(layout["fixed_region"]["start"])
    fixed_end = number(layout["fixed_region"]["end"])
    zero_from = number(layout["zero_from"])

    if program is None:
        if pc0 % 4 or not t_addr <= pc0 < fixed_start - 8:
            raise LayoutError("pc0 does not lie in the program part of the text")
        jump = 0x08000000 | ((pc0 >> 2) & 0x03FFFFFF)  # j pc0
        text.bytes[pc0 - t_addr:pc0 - t_addr + 8] = struct.pack("<II", jump, 0)  # and a nop in the delay slot
    else:
        if t_addr + len(program) > fixed_start:
            raise LayoutError("the program is %d bytes long and reaches 0x%08X; it must end below 0x%08X"
                              % (len(program), t_addr + len(program), fixed_start))
        text.bytes[0:len(program)] = program

    lay_fixed_blocks(layout, text)
    # Everything from the end of the parameter list on stays zero: the mute block, the parameter block and
    # the driver's private area start out as zeros, and the utility fills in the defaults.
    for offset in range(zero_from - t_addr, len(text.bytes)):
        if text.bytes[offset]:
            raise LayoutError("the text is not zero at 0x%08X" % (t_addr + offset))
    for offset in range(fixed_start - t_addr, fixed_end - t_addr):
        if not text.written[offset]:
            text.bytes[offset] = 0
    return bytes(header) + bytes(text.bytes)


def write_whole(path, data):
    directory = os.path.dirname(os.path.abspath(path))
    handle, temporary = tempfile.mkstemp(prefix=".driver-", dir=directory)
    try:
        with os.fdopen(handle, "wb") as out:
            out.write(data)
        umask = os.umask(0)
        os.umask(umask)
        os.chmod(temporary, 0o666 & ~umask)
        os.replace(temporary, path)
    except BaseException:
        os.unlink(temporary)
        raise


def main(argv):
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description="Build the built-in driver image (PS-X EXE).")
    parser.add_argument("--layout", default=os.path.join(here, "driver_layout.json"),
                        help="layout description (default: driver_layout.json beside this script)")
    parser.add_argument("--program", help="raw program text linked at t_addr (objcopy -O binary output)")
    parser.add_argument("--out", required=True, help="the PS-X EXE to write, e.g. assets/driver.exe")
    args = parser.parse_args(argv)

    try:
        with open(args.layout, "r", encoding="utf-8") as f:
            layout = json.load(f)
        program = None
        if args.program:
            with open(args.program, "rb") as f:
                program = f.read()
        image = build_image(layout, program)
    except (OSError, ValueError, KeyError, LayoutError) as error:
        print("make_driver_image.py: %s" % error, file=sys.stderr)
        return 1
    write_whole(args.out, image)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
