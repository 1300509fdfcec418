#!/usr/bin/env python3
"""Writes the raw seed inputs of every fuzz target into DIR/NAME/, made only from the project's own
fixtures (assets/demo, assets/driver.exe) and hand-made bytes. tools/fuzz.sh seeds minimises them into
fuzz/corpus/NAME/ with libFuzzer's -merge=1."""

import pathlib
import struct
import sys
import zlib

ROOT = pathlib.Path(__file__).resolve().parent.parent
DEMO = ROOT / "assets" / "demo"


def psf(program, tags=b"", version=1, level=9):
    section = zlib.compress(program, level)
    return b"PSF" + bytes([version]) + struct.pack("<III", 0, len(section), zlib.crc32(section)) + section + tags


def exe(t_addr, text, t_size=None):
    header = bytearray(2048)
    header[0:8] = b"PS-X EXE"
    struct.pack_into("<IIII", header, 0x10, 0x80010000, 0, t_addr, len(text) if t_size is None else t_size)
    struct.pack_into("<I", header, 0x30, 0x801FFFF0)
    return bytes(header) + text


def moved_driver(t_addr):
    """The built-in driver with its text starting at t_addr, each byte at its own address."""
    driver = (ROOT / "assets" / "driver.exe").read_bytes()
    text = driver[2048:]
    if t_addr >= 0x80010000:
        text = text[t_addr - 0x80010000:]
    else:
        text = bytes(0x80010000 - t_addr) + text
    return exe(t_addr, text)


def set_files(files):
    """Files of a song set as the psf_set target reads them: name, EXE and tag text, with 16-bit lengths."""
    out = b""
    for name, program, tags in files:
        out += bytes([name]) + struct.pack("<H", len(program)) + program + struct.pack("<H", len(tags)) + tags
    return out


def seq(events, resolution=480, tempo=500000):
    return b"pQES" + struct.pack(">IH", 1, resolution) + tempo.to_bytes(3, "big") + bytes([4, 2]) + events


def sep(records):
    body = b"pQES\x00\x00"
    for number, (header, data, size) in enumerate(records):
        body += struct.pack(">H", number) + header + struct.pack(">I", len(data) if size is None else size) + data
    return body


def vh(programs, sizes):
    header = bytearray(32)
    header[0:4] = b"pBAV"
    struct.pack_into("<I", header, 4, 7)
    struct.pack_into("<HHH", header, 0x12, programs, programs, len(sizes))
    header[0x18:0x1A] = bytes([0x7F, 0x40])
    table = bytearray(2048)
    tones = bytearray(512 * programs)
    for p in range(programs):
        table[16 * p] = 1
        struct.pack_into("<h", tones, 512 * p + 22, 1)  # tone 0 plays sample 0
        tones[512 * p + 5] = 64  # fine tuning
    sample_table = bytearray(512)
    for i, units in enumerate(sizes):
        struct.pack_into("<H", sample_table, 2 + 2 * i, units)
    return bytes(header + table + tones + sample_table)


def driver_with_song(driver, song, bank):
    """The built-in driver with the song at its default sequence address and the bank at its VH address."""
    text = bytearray(driver[2048:])
    for address, data in ((0x800A0000, song), (0x800E0000, bank)):
        offset = address - 0x80010000
        text[len(text):offset] = bytes(max(0, offset - len(text)))
        text[offset:offset + len(data)] = data
    return exe(0x80010000, bytes(text))


def parameters(fields):
    """A 196-byte parameter block with 32-bit fields at the given offsets (16-bit ones fit in the same form)."""
    block = bytearray(196)
    for offset, value in fields.items():
        width = 2 if offset in (0x36, 0x38, 0x3C, 0xB0, 0xC2) else 1 if offset == 0xC0 else 4
        block[offset:offset + width] = value.to_bytes(width, "little")
    return bytes(block)


def song_length_input(block, song, bank, flags=0):
    """The song-length target's input: parameter size, mute and listing flags, song size, then the parts."""
    return bytes([len(block), flags]) + struct.pack("<H", len(song)) + block + song + bank


def main():
    out = pathlib.Path(sys.argv[1])
    driver = (ROOT / "assets" / "driver.exe").read_bytes()
    demo_seq = (DEMO / "demo.seq").read_bytes()
    demo_vh = (DEMO / "demo.vh").read_bytes()
    demo_vb = (DEMO / "demo.vb").read_bytes()
    small_exe = exe(0x80010000, bytes(range(256)) * 4)
    end_of_track = b"\x00\xff\x2f\x00"
    tiny_seq = seq(b"\x00\x90\x3c\x64\x60\x80\x3c\x00\x00\xff\x51\x07\xa1\x20" + end_of_track)
    adpcm = bytes([0x00, 0x02] + [0x11] * 14) + bytes([0x00, 0x03] + [0x22] * 14)
    small_vh = vh(1, [4, 2])
    # A loop of four passes marked with controller 99 (20 at its start, data entry 4, 30 at its end).
    loop_seq = seq(b"\x00\xb0\x63\x14\x00\x06\x04\x00\x90\x3c\x64\x60\x80\x3c\x00\x00\xb0\x63\x1e" + end_of_track)
    two_records = sep([(tiny_seq[8:15], tiny_seq[15:], None), (tiny_seq[8:15], end_of_track, None)])
    vag = b"VAGp" + struct.pack(">III", 0x20, 0, len(adpcm) + 16) + struct.pack(">I", 22050) + bytes(44) + adpcm + bytes(
        [0x00, 0x07] + [0x77] * 14)
    seeds = {
        "psf_decode": {
            "raw_driver": b"\x00" + psf(driver),
            "raw_driver_checked": b"\x80" + psf(driver, b"[TAG]length=3:00.000"),
            "repair_driver": b"\x01" + psf(driver),
            "repair_small_checked": b"\x81" + psf(small_exe, level=1),
            "exe_late_driver": b"\x02" + moved_driver(0x80022000),
            "exe_late_driver_checked": b"\x82" + moved_driver(0x80022000),
            "exe_small": b"\x02" + small_exe,
            "raw_text_checked": b"\x80" + psf(b"hello, PSF", b"[TAG]title=x"),
            "raw_version2": b"\x00" + psf(b"PS2", version=2),
        },
        "psf_set": {
            "plain": set_files([(0, small_exe, b"title=x")]),
            "lib_and_mini": set_files([(0, exe(0x80010800, bytes(range(256)) * 8), b"_lib=f1.psf\n_lib2=f2.psf"),
                                       (1, small_exe, b""), (2, exe(0x80010100, b"\x55" * 64), b"")]),
            "chain_loop": set_files([(0, small_exe, b"_lib=f1.psf"), (1, small_exe, b"_lib=f0.psf")]),
            "deep": set_files([(n, small_exe, b"_lib=f%d.psf" % (n + 1) if n < 7 else b"") for n in range(8)]),
            "high_lib": set_files([(0, exe(0x80010000, b"\x01"), b"_lib=f1.psf"), (1, exe(0x801FF000, b"\x02" * 0x1000), b"")]),
        },
        "exe_psf": {
            "small_exe": small_exe,
            "text": b"a text file, not a program\n",
            "psf_of_exe": psf(small_exe, b"[TAG]length=3:00.000"),
            "psf_stored": psf(b"stored", level=0),
            "seq": demo_seq,
        },
        "vab": {
            "demo_vab": demo_vh + demo_vb,
            "demo_vh": b"\x00" + demo_vh[1:],
            "small_vab": small_vh + adpcm + b"\x00" * 16 + b"trailing",
            "small_short_vb": small_vh + adpcm[:20],
            "no_samples": vh(2, []),
        },
        "sep_split": {
            "demo_sep": sep([(demo_seq[8:15], demo_seq[15:], None)]),
            "two_records": sep([(tiny_seq[8:15], tiny_seq[15:], None), (tiny_seq[8:15], end_of_track, None)]),
            "cut_record": sep([(tiny_seq[8:15], tiny_seq[15:], None), (tiny_seq[8:15], end_of_track, 99)]),
            "seq": tiny_seq,
        },
        "seq_midi": {
            "demo_seq": demo_seq,
            "tiny_seq": tiny_seq,
            "marker_in_header": b"pQES\x00\xff\x2f\x00" + bytes(7) + end_of_track,
            "no_end": tiny_seq[:-4],
            "sep": sep([(tiny_seq[8:15], tiny_seq[15:], None)]),
        },
        "batch": {
            "make_out": b"MAKE\nSEQ\ns.seq\nVH\nh.vh\nVB\nb.vb\nOUT\no.psf",
            "open_param": b"OPEN\nd.psf\nPARAM\nMaster Volume (L)\n100\nPARAM\n03\n2\nOUT\no.psf",
            "split": b"SPLIT\nv.vab",
            "combine": b"COMBINE\nc.vab\nh.vh\nb.vb",
            "vab_vag": b"MAKE\nVAB\nv.vab\nVAG\ns.seq\nOUT\nx.psf",
            "sep_same": b"MAKE\nSEQ\np.sep\nOUT\nd.psf",
            "stray": b"MAKE\nWHAT\nOUT\ny.psf",
        },
        "tags": {
            "tag_text": b"title=Demo Song\n  Artist = Someone \ncomment=line one\ncomment=line two\nno equals\n=x\nlength=1:02.5\n",
            "set_records": b"title=Demo\x00LENGTH=3:00.25\x00fade=auto\x00_refresh=50\x00comment= a \r\nb\rc\x00"
            + "artist=caf\u00e9".encode("utf-8") + b"\x00title=\x00utf8=1\x00_lib=x\x009bad=1",
            "psf_tags": psf(b"x", b"[TAG]title=t\nfade=10"),
            "duration": struct.pack("<d", 62.34) + b"1:02:03.4567",
            "duration_tenth": struct.pack("<d", 0.1) + b"59.9",
        },
        "unpack": {
            "demo": b"\x08demo.psf" + bytes(10) + struct.pack("<H", len(demo_seq)) + demo_seq + demo_vh
            + b"[TAG]title=Demo\nlength=1:00.0",
            "sep_two_slots": b"\x05s.psf" + bytes([0x3C]) + struct.pack("<I", 2) + bytes([0x36]) + struct.pack("<HH", 1, 0)
            + struct.pack("<H", len(two_records)) + two_records + small_vh + adpcm,
            "vag_mode": b"\x07-v.x.psf" + bytes([0x18]) + struct.pack("<I", 2) + bytes([0]) + struct.pack("<I", 0x800A0000) + struct.pack("<H", len(vag))
            + vag + small_vh + b"[TAG]comment=it's\ncomment=two lines\n_lib=x.psflib\nutf8=1",
            "garbage_after_seq": b"\x00" + bytes(10) + struct.pack("<H", len(tiny_seq) + 3) + tiny_seq + b"\x07\x07\x07",
        },
        "song_length": {
            "demo_defaults": song_length_input(b"", demo_seq, demo_vh),
            "demo_ramps": song_length_input(parameters({0x2C: 2, 0x40: 1, 0x9C: 3, 0xBC: 240}), demo_seq, demo_vh),
            "demo_tempo": song_length_input(parameters({0x98: 1, 0xB0: 200, 0xB8: 96, 0x20: 1}), demo_seq, b""),
            "loop": song_length_input(parameters({0x2C: 3}), loop_seq, small_vh),
            "sep_two": song_length_input(parameters({0x3C: 2, 0x1C: 1, 0x38: 1}), two_records, b"", flags=0x81),
            "vag": song_length_input(parameters({0x18: 2, 0x2C: 2}), vag, b""),
            "tick_skip": song_length_input(parameters({0xAC: 1, 0xC0: 1, 0xC2: 4}), tiny_seq, small_vh),
        },
        "info": {
            "psf_built": b"\x01\x08demo.psf" + small_exe + b"[TAG]title=x\nlength=0:05",
            "psf_driver": b"\x01\x00" + driver + b"[TAG]fade=auto",
            "psf_demo_song": b"\x00\x00" + psf(driver_with_song(driver, demo_seq, demo_vh), b"[TAG]length=auto"),
            "psf_raw": b"\x00\x05a.psf" + psf(small_exe, b"[TAG]title=\xff\"q\"\ncomment=a\\b"),
            "seq": b"\x02\x08demo.seq" + demo_seq,
            "sep": b"\x02\x05p.sep" + two_records,
            "vab": b"\x03\x05b.vab" + small_vh + adpcm + bytes(16),
            "vh": b"\x04\x04d.vh" + demo_vh,
            "vag": b"\x05\x05v.vag" + vag,
            "name_escapes": b"\x05\x06\"\\\n\x01\xc3(" + vag,
        },
        "foundation_strings": {
            "narrow": b"\x00\x03\x05a!" + "Latin-1 caf\xe9".encode("latin-1"),
            "utf8": b"\x01\x02\x07 e" + "  héllo wörld ✓ 𝄞 \xc3".encode("utf-8", "surrogatepass") + b"\xc3\x28\xed\xa0\x80",
            "utf16": b"\x02\x01\x03aa" + "ab𝄞\r\n".encode("utf-16-le") + b"\x00\xd8x\x00",
            "utf16_swapped": b"\x03\x04\x02bc" + "swap 𝄞".encode("utf-16-be"),
        },
        "foundation_text": {
            "lines": b"first\r\nsecond\rthird\nfourth\r\n\r\n",
            "bom": b"\xef\xbb\xbf" + "UTF-8 text ✓\r\nline".encode("utf-8") + b"\xff",
            "nul": b"before\x00after\r",
            "binary": bytes(range(256)),
        },
    }
    for target, files in seeds.items():
        folder = out / target
        folder.mkdir(parents=True, exist_ok=True)
        for name, data in files.items():
            (folder / name).write_bytes(data)


if __name__ == "__main__":
    main()
