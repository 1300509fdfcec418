"""Prints how long a SEQ plays as written (loops once through), in seconds, read straight from its bytes.

Kept apart from the converter on purpose: delta times and tempo events are read here the way the
playback driver reads them (running status also for the meta status FF, FF 51 with three tempo bytes and
no length byte, FF 2F or any other meta or system status ending the track), so the length of a MIDI
render can be checked against a figure the converter did not produce.
"""
import sys

DATA_BYTES = {0x8: 2, 0x9: 2, 0xA: 2, 0xB: 2, 0xC: 1, 0xD: 1, 0xE: 2}


def seq_seconds(data):
    resolution = (data[8] << 8) | data[9]
    tempo = (data[10] << 16) | (data[11] << 8) | data[12]
    at, status, microseconds = 15, 0, 0
    while True:
        delta = 0
        while True:
            byte = data[at]
            at += 1
            delta = (delta << 7) | (byte & 0x7F)
            if byte < 0x80:
                break
        microseconds += delta * tempo / resolution
        if data[at] >= 0x80:
            status = data[at]
            at += 1
        first = data[at] & 0x7F
        at += 1
        if status >> 4 in DATA_BYTES:
            at += DATA_BYTES[status >> 4] - 1
        elif status == 0xFF and first == 0x51:
            tempo = (data[at] << 16) | (data[at + 1] << 8) | data[at + 2]
            at += 3
        else:
            return microseconds / 1e6


for path in sys.argv[1:]:
    with open(path, "rb") as file:
        print(f"{seq_seconds(file.read()):.3f}")
