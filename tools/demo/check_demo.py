#!/usr/bin/python3
"""Checks the demo song files on their own terms, without the generator's code.

  check_demo.py [--play] [DIR]     DIR defaults to assets/demo of the source tree

Reads demo.vh, demo.vb and demo.seq and checks: the VH layout and its size table against
the VB, every tone's sample, key range and program; the ADPCM blocks and loop flags of every
sample, and that ffmpeg's PS-ADPCM decoder (through a VAG wrapper) agrees with ours; the
SEQ header, every event with running status, the loop markers, the tempo changes, that
every note has a tone to play it within the SPU's pitch range, and the length of the piece.
Exit status 1 with the reasons on stdout when anything is wrong.

With --play, every sample is also played by the real PSF player's SPU (one voice at pitch
0x1000, rendered by tools/render_psf.py, no driver involved): it must keep sounding through
its loop, at the loop frequency that demo.json states (within 3 cents).
"""

import json
import os
import struct
import subprocess
import sys
import tempfile

import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import adpcm  # noqa: E402  (decoder only)

FFMPEG = "/usr/bin/ffmpeg"


class Checker:
    def __init__(self):
        self.failures = []

    def check(self, condition, text):
        if not condition:
            self.failures.append(text)
            print("FAIL: " + text)
        return condition


def read_vh(data, vb_length, c):
    bank = {}
    c.check(len(data) >= 2592, "VH shorter than 2592 bytes")
    c.check(data[0:4] == b"pBAV", "VH identifier is %r" % data[0:4])
    total = struct.unpack_from("<I", data, 0x0C)[0]
    program_count, tone_count, sample_count = struct.unpack_from("<HHH", data, 0x12)
    c.check(1 <= program_count <= 128, "program count %d" % program_count)
    c.check(1 <= sample_count <= 255, "sample count %d" % sample_count)
    c.check(len(data) == 2592 + 512 * program_count, "VH is %d bytes, expected 2592 + 512 x %d"
            % (len(data), program_count))
    c.check(total == len(data) + vb_length, "VH total size %d, files hold %d" % (total, len(data) + vb_length))
    size_table = 2080 + 512 * program_count
    sizes = [struct.unpack_from("<H", data, size_table + 2 * i)[0] for i in range(256)]
    c.check(all(sizes[i] > 0 and sizes[i] % 2 == 0 for i in range(1, sample_count + 1)),
            "sample sizes must be whole 16-byte blocks: %s" % sizes[1:sample_count + 1])
    c.check(not any(sizes[sample_count + 1:]), "size entries above the sample count are not zero")
    c.check(8 * sum(sizes[1:sample_count + 1]) == vb_length, "size table sums to %d bytes, VB is %d"
            % (8 * sum(sizes[1:sample_count + 1]), vb_length))
    bank["sizes"] = sizes[1:sample_count + 1]
    programs = {}
    tones_seen = 0
    for p in range(128):
        record = data[32 + 16 * p:48 + 16 * p]
        count = record[0]
        if p >= program_count:
            c.check(count == 0, "program %d beyond the program count has tones" % p)
            continue
        tones = []
        for t in range(16):
            base = 2080 + 512 * p + 32 * t
            fields = struct.unpack_from("<BBBBBBBB", data, base)
            adsr1, adsr2, owner, sample = struct.unpack_from("<HHhh", data, base + 16)
            if t >= count:
                c.check(sample == 0, "program %d tone %d beyond its tone count names a sample" % (p, t))
                continue
            _, mode, volume, pan, centre, fine, low, high = fields
            c.check(1 <= sample <= sample_count, "program %d tone %d: sample %d" % (p, t, sample))
            c.check(low <= high <= 127, "program %d tone %d: keys %d-%d" % (p, t, low, high))
            c.check(owner == p, "program %d tone %d: owner %d" % (p, t, owner))
            c.check(centre <= 127 and volume <= 127 and pan <= 127, "program %d tone %d: ranges" % (p, t))
            c.check(adsr1 != 0 or adsr2 != 0, "program %d tone %d: no envelope" % (p, t))
            tones.append({"low": low, "high": high, "centre": centre, "fine": fine, "sample": sample,
                          "mode": mode})
        tones_seen += len(tones)
        c.check(count >= 1, "program %d below the program count has no tones" % p)
        programs[p] = tones
    c.check(tones_seen == tone_count, "header tone count %d, programs hold %d" % (tone_count, tones_seen))
    bank["programs"] = programs
    return bank


def check_samples(vb, sizes, c):
    offset = 0
    samples = []
    for index, units in enumerate(sizes):
        data = vb[offset:offset + 8 * units]
        offset += 8 * units
        flags = adpcm.block_flags(data)
        number = index + 1
        for block in range(0, len(data), 16):
            c.check((data[block] >> 4) <= 4 and (data[block] & 15) <= 12,
                    "sample %d block %d: filter/shift byte %02X" % (number, block // 16, data[block]))
        c.check(flags[-1] & 1, "sample %d: last block has no end flag" % number)
        c.check(not any(f & 1 for f in flags[:-1]), "sample %d: end flag before the last block" % number)
        starts = [i for i, f in enumerate(flags) if f & 4]
        looped = bool(flags[-1] & 2)
        if looped:
            c.check(len(starts) == 1, "sample %d: %d loop starts" % (number, len(starts)))
            if starts:
                c.check(len(flags) - starts[0] >= 2, "sample %d: loop shorter than two blocks" % number)
        samples.append({"number": number, "data": data, "looped": looped, "loop_block": starts[0] if starts else None})
    return samples


def compare_with_ffmpeg(samples, c):
    if not os.path.exists(FFMPEG):
        print("note: %s missing, decoder comparison skipped" % FFMPEG)
        return
    with tempfile.TemporaryDirectory(prefix="check_demo.") as temp:
        for sample in samples:
            data = sample["data"]
            header = bytearray(48)
            header[0:4] = b"VAGp"
            struct.pack_into(">I", header, 4, 0x20)
            struct.pack_into(">I", header, 0x0C, len(data) + 16)
            struct.pack_into(">I", header, 0x10, 44100)
            header[0x20:0x28] = b"demo%02d" % sample["number"] + b"\0\0"
            vag = os.path.join(temp, "s%02d.vag" % sample["number"])
            wav = os.path.join(temp, "s%02d.raw" % sample["number"])
            with open(vag, "wb") as handle:
                handle.write(bytes(header) + bytes(16) + data)
            result = subprocess.run([FFMPEG, "-v", "error", "-y", "-f", "vag", "-i", vag, "-f", "s16le",
                                     "-c:a", "pcm_s16le", wav], stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                    check=False)
            if not c.check(result.returncode == 0, "ffmpeg cannot decode sample %d: %s"
                           % (sample["number"], result.stdout.decode("utf-8", "replace"))):
                continue
            with open(wav, "rb") as handle:
                theirs = np.frombuffer(handle.read(), dtype="<i2").astype(np.int64)[28:]
            ours = adpcm.decode(data).astype(np.int64)
            count = min(len(theirs), len(ours))
            c.check(count >= len(ours), "sample %d: ffmpeg gave %d samples, we %d" % (sample["number"], len(theirs),
                                                                                   len(ours)))
            # The decoders round the filter sum differently and the filters feed that back,
            # so values drift apart by tens of LSB; the signals must still agree closely.
            snr = adpcm.snr_db(ours[:count], theirs[:count]) if count else 0.0
            worst = int(np.max(np.abs(theirs[:count] - ours[:count]))) if count else 0
            c.check(snr >= 40.0, "sample %d: ffmpeg's decode is only %.1f dB from ours (max difference %d)"
                    % (sample["number"], snr, worst))
            print("sample %d: %d blocks, %s, ffmpeg agrees to %.1f dB (max difference %d LSB)"
                  % (sample["number"], len(data) // 16,
                     "loop from block %d" % sample["loop_block"] if sample["looped"] else "one-shot", snr, worst))


def read_varint(data, pos):
    value = 0
    for _ in range(4):
        if pos >= len(data):
            raise ValueError("delta time runs past the end")
        byte = data[pos]
        pos += 1
        value = (value << 7) | (byte & 0x7F)
        if not byte & 0x80:
            return value, pos
    raise ValueError("delta time longer than 4 bytes")


def check_seq(seq, bank, c):
    c.check(seq[0:4] == b"pQES", "SEQ magic %r" % seq[0:4])
    c.check(struct.unpack_from(">I", seq, 4)[0] == 1, "SEQ version is not 1")
    resolution = struct.unpack_from(">H", seq, 8)[0]
    tempo = int.from_bytes(seq[10:13], "big")
    c.check(resolution > 0 and tempo > 0, "resolution %d, tempo %d" % (resolution, tempo))
    marker = seq.find(b"\x00\xff\x2f\x00")
    c.check(marker == len(seq) - 4, "end marker at %d, file is %d bytes" % (marker, len(seq)))
    pos = 15
    tick = 0
    running = None
    programs = {}
    sounding = {}
    tempos = [(0, tempo)]
    loop_start = loop_end = None
    loop_count = None
    channels_with_notes = set()
    notes = 0
    nrpn = None
    try:
        while True:
            delta, pos = read_varint(seq, pos)
            tick += delta
            if pos >= len(seq):
                raise ValueError("event runs past the end")
            status = seq[pos]
            if status == 0xFF:
                kind = seq[pos + 1]
                if kind == 0x2F:
                    c.check(pos + 3 == len(seq), "events after the end of track")
                    break
                if kind != 0x51:
                    raise ValueError("meta event %02X at %d" % (kind, pos))
                tempos.append((tick, int.from_bytes(seq[pos + 2:pos + 5], "big")))
                running = 0xFF51  # a bare 0x51 would repeat the tempo event
                pos += 5
                continue
            if status & 0x80:
                running = status
                pos += 1
            elif running is None or running == 0xFF51:
                raise ValueError("data byte %02X without a status at %d" % (status, pos))
            kind, channel = running & 0xF0, running & 0x0F
            size = 1 if kind in (0xC0, 0xD0) else 2
            values = seq[pos:pos + size]
            if len(values) < size or any(v & 0x80 for v in values):
                raise ValueError("bad data bytes at %d" % pos)
            pos += size
            if kind == 0x90 and values[1] > 0:
                key = values[0]
                program = programs.get(channel, 0)
                tones = [t for t in bank["programs"].get(program, []) if t["low"] <= key <= t["high"]]
                c.check(tones, "tick %d: channel %d key %d has no tone in program %d" % (tick, channel, key, program))
                for tone in tones:
                    c.check(key - tone["centre"] < 24, "tick %d: key %d is 2 octaves above centre %d"
                            % (tick, key, tone["centre"]))
                c.check((channel, key) not in sounding,
                        "tick %d: channel %d key %d struck twice" % (tick, channel, key))
                sounding[(channel, key)] = tick
                channels_with_notes.add(channel)
                notes += 1
            elif kind == 0x80 or (kind == 0x90 and values[1] == 0):
                c.check((channel, values[0]) in sounding, "tick %d: note off without note on" % tick)
                sounding.pop((channel, values[0]), None)
            elif kind == 0xC0:
                c.check(values[0] in bank["programs"], "tick %d: program %d is not in the bank" % (tick, values[0]))
                programs[channel] = values[0]
            elif kind == 0xB0:
                if values[0] == 99:
                    nrpn = values[1]
                    if values[1] == 30:
                        c.check(loop_start is not None and loop_end is None, "loop end without loop start")
                        loop_end = tick
                        c.check(not sounding, "notes still sound at the loop end: %s" % sounding)
                elif values[0] == 6 and nrpn == 20:
                    c.check(loop_start is None, "second loop start")
                    loop_start = tick
                    loop_count = values[1]
                    c.check(not sounding, "notes sound across the loop start: %s" % sounding)
    except ValueError as error:
        c.check(False, "SEQ event walk: %s" % error)
        return None
    c.check(not sounding, "notes never released: %s" % sounding)
    c.check(loop_start is not None and loop_end is not None and loop_end > loop_start, "no loop section")
    c.check(len(tempos) >= 2 and len(set(t for _, t in tempos)) >= 2, "no tempo change")
    c.check(len(channels_with_notes) >= 4, "notes on only %d channels" % len(channels_with_notes))
    c.check(len(set(programs.values())) >= 4, "only %d programs used" % len(set(programs.values())))

    def seconds(start, stop):
        total = 0.0
        for index, (at, micros) in enumerate(tempos):
            until = tempos[index + 1][0] if index + 1 < len(tempos) else stop
            lo, hi = max(start, at), min(stop, until)
            if hi > lo:
                total += (hi - lo) * micros / 1e6 / resolution
        return total

    written = seconds(0, tick)
    section = seconds(loop_start, loop_end) if loop_end else 0.0
    plays = [written + (n - 1) * section for n in (loop_count, loop_count + 1)] if loop_count else [written]
    c.check(all(25.0 <= p <= 65.0 for p in plays), "length %s s out of range" % plays)
    print("SEQ: %d bytes, resolution %d, %d notes on channels %s, programs %s, tempi %s"
          % (len(seq), resolution, notes, sorted(channels_with_notes), sorted(set(programs.values())),
             ["%.1f BPM @%d" % (60e6 / t, at) for at, t in tempos]))
    print("SEQ: loop ticks %s-%s count %s, %.1f s as written, %.1f s / %.1f s with the loop played %d / %d times"
          % (loop_start, loop_end, loop_count, written, plays[0], plays[-1], loop_count or 1, (loop_count or 0) + 1))
    return True


def play_samples(samples, manifest, c):
    sys.path.insert(0, os.path.join(HERE, ".."))
    import audio_analysis as aa
    import render_psf
    described = {entry["number"]: entry for entry in manifest["samples"]}
    with tempfile.TemporaryDirectory(prefix="check_demo_play.") as temp:
        for sample in samples:
            number = sample["number"]
            psf = os.path.join(temp, "sample%02d.psf" % number)
            wav = os.path.join(temp, "sample%02d.wav" % number)
            with open(psf, "wb") as handle:
                handle.write(render_psf.make_voice_psf(sample["data"]))
            try:
                render_psf.render_psf(psf, wav, seconds=3)
                audio = aa.read_wav(wav)
            except (render_psf.RenderError, aa.AnalysisError) as error:
                c.check(False, "sample %d does not render: %s" % (number, error))
                continue
            level = max(aa.rms_db(audio, start=2.5))
            c.check(level > -40.0, "sample %d: silent at the end of a 3 s render (%.1f dBFS): loop broken?"
                    % (number, level))
            expected = described.get(number, {}).get("loop_frequency")
            text = "sample %d played by the player's SPU: RMS %.1f dBFS in its last 0.5 s" % (number, level)
            if expected:
                measured = aa.dominant_frequency(audio, start=1.0, duration=2.0, min_hz=0.7 * expected,
                                                 max_hz=1.5 * expected)
                off = aa.cents(measured, expected)
                c.check(abs(off) < 3.0, "sample %d: plays at %.3f Hz, demo.json says %.3f Hz" % (number, measured,
                                                                                             expected))
                text += ", %.3f Hz (%+.2f cents from %.3f Hz)" % (measured, off, expected)
            print(text)


def main(argv):
    play = "--play" in argv
    argv = [a for a in argv if a != "--play"]
    folder = argv[0] if argv else os.path.join(HERE, "..", "..", "assets", "demo")
    c = Checker()
    files = {}
    for name in ("demo.vh", "demo.vb", "demo.seq"):
        try:
            with open(os.path.join(folder, name), "rb") as handle:
                files[name] = handle.read()
        except OSError as error:
            print("check_demo: cannot read %s: %s" % (name, error.strerror))
            return 1
    bank = read_vh(files["demo.vh"], len(files["demo.vb"]), c)
    samples = check_samples(files["demo.vb"], bank["sizes"], c)
    c.check(all(s["looped"] for s in samples), "every demo sample should loop")
    compare_with_ffmpeg(samples, c)
    print("VH: %d programs, %d samples, VB %d bytes" % (len(bank["programs"]), len(samples), len(files["demo.vb"])))
    check_seq(files["demo.seq"], bank, c)
    if play:
        with open(os.path.join(folder, "demo.json"), encoding="utf-8") as handle:
            play_samples(samples, json.load(handle), c)
    print("check_demo: %s" % ("FAILED" if c.failures else "ok"))
    return 1 if c.failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
