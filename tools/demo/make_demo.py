#!/usr/bin/python3
"""Generates the demo song (demo.seq, demo.vh, demo.vb and demo.json) from the
instrument definitions (instruments.txt) and the score (score.txt) beside this script.

  /usr/bin/python3 tools/demo/make_demo.py [--out DIR] [--check]

--out defaults to assets/demo of the source tree. --check regenerates into a temporary
directory and compares with the committed files (exit 1 when they differ).
"""

import argparse
import filecmp
import json
import math
import os
import re
import struct
import sys
import tempfile

import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import adpcm  # noqa: E402

OUTPUT_RATE = 44100.0
BLOCK = adpcm.BLOCK_SAMPLES

VH_HEADER_SIZE = 32
PROGRAM_RECORD_SIZE = 16
PROGRAM_TABLE_SIZE = 128 * PROGRAM_RECORD_SIZE
TONE_RECORD_SIZE = 32
TONES_PER_PROGRAM = 16
SIZE_TABLE_SIZE = 512

SEQ_END_MARKER = b"\x00\xff\x2f\x00"
LOOP_START_NRPN = 20
LOOP_END_NRPN = 30


class DemoError(Exception):
    pass


def note_frequency(note):
    return 440.0 * 2.0 ** ((note - 69) / 12.0)


# ----------------------------------------------------------------------------------------
# Instrument definitions


def _parse_fields(tokens, where):
    fields = {}
    for token in tokens:
        if "=" not in token:
            raise DemoError("%s: expected key=value, got %r" % (where, token))
        key, value = token.split("=", 1)
        fields[key] = value
    return fields


def parse_instruments(path):
    samples = []
    programs = []
    with open(path, encoding="utf-8") as handle:
        for number, raw in enumerate(handle, 1):
            line = raw.split("#", 1)[0].strip()
            if not line:
                continue
            where = "%s:%d" % (os.path.basename(path), number)
            words = line.split()
            if words[0] == "sample" and len(words) >= 3:
                sample = {"name": words[1], "kind": words[2]}
                sample.update(_parse_fields(words[3:], where))
                samples.append(sample)
            elif words[0] == "program" and len(words) >= 3:
                program = {"number": int(words[1]), "name": words[2], "tones": []}
                program.update(_parse_fields(words[3:], where))
                programs.append(program)
            elif words[0] == "tone" and len(words) >= 2:
                if not programs:
                    raise DemoError("%s: tone before any program" % where)
                tone = {"sample": words[1], "where": where}
                tone.update(_parse_fields(words[2:], where))
                programs[-1]["tones"].append(tone)
            else:
                raise DemoError("%s: cannot read %r" % (where, line))
    return samples, programs


# ----------------------------------------------------------------------------------------
# Sample synthesis. Every pitched loop holds a whole number of periods in a whole number
# of ADPCM blocks, so it repeats without a seam.


def choose_loop(frequency, min_blocks=2, max_blocks=400, tolerance_cents=1.0):
    """Picks (periods, blocks) whose loop frequency is closest to the target.

    Prefers the shortest loop within tolerance_cents, else the closest one found.
    """
    best = None
    for blocks in range(min_blocks, max_blocks + 1):
        length = blocks * BLOCK
        periods = max(1, int(round(frequency * length / OUTPUT_RATE)))
        actual = OUTPUT_RATE * periods / length
        cents = abs(1200.0 * math.log2(actual / frequency))
        if best is None or cents < best[2] - 1e-9:
            best = (periods, blocks, cents)
        if cents <= tolerance_cents:
            return periods, blocks, actual
    periods, blocks, _ = best
    return periods, blocks, OUTPUT_RATE * periods / (blocks * BLOCK)


def _harmonic_wave(t, frequency, amplitudes):
    wave = np.zeros_like(t)
    for index, amplitude in enumerate(amplitudes, 1):
        if amplitude != 0.0 and frequency * index < OUTPUT_RATE / 2:
            wave += amplitude * np.sin(2 * math.pi * frequency * index * t)
    return wave


def _normalise(wave, level):
    peak = np.max(np.abs(wave))
    if peak == 0:
        return wave
    return wave * (level * 32767.0 / peak)


def synth_sample(sample):
    """Returns (int samples, loop start index, info dict) for one sample definition."""
    kind = sample["kind"]
    level = float(sample.get("level", "0.6"))
    info = {"name": sample["name"], "kind": kind}
    if kind in ("square", "sine"):
        note = int(sample["note"])
        periods, blocks, frequency = choose_loop(note_frequency(note))
        t = np.arange(blocks * BLOCK) / OUTPUT_RATE
        if kind == "square":
            # Odd harmonics with 1/n fall-off, softened further so the lead is not harsh.
            amplitudes = [(1.0 / n) * math.exp(-n / 9.0) if n % 2 else 0.0 for n in range(1, 40)]
        else:
            amplitudes = [1.0, 0.18, 0.07]
        wave = _harmonic_wave(t, frequency, amplitudes)
        loop_start = 0
        info.update(note=note, loop_frequency=frequency, loop_periods=periods)
    elif kind == "pluck":
        note = int(sample["note"])
        periods, blocks, frequency = choose_loop(note_frequency(note))
        attack_blocks = int(math.ceil(float(sample.get("attack_ms", "60")) / 1000.0 * OUTPUT_RATE / BLOCK))
        attack_len = attack_blocks * BLOCK
        total = attack_len + blocks * BLOCK
        t = np.arange(total) / OUTPUT_RATE
        # Brightness falls from a sharp saw to a mellow one across the attack, then holds.
        progress = np.minimum(1.0, np.arange(total) / float(attack_len))
        brightness = 22.0 - 18.0 * (1.0 - (1.0 - progress) ** 2)
        loudness = 1.0 + 0.35 * (1.0 - progress) ** 2
        wave = np.zeros(total)
        for n in range(1, 60):
            if frequency * n >= OUTPUT_RATE / 2:
                break
            wave += (1.0 / n) * np.exp(-n / brightness) * np.sin(2 * math.pi * frequency * n * t)
        wave *= loudness
        loop_start = attack_len
        info.update(note=note, loop_frequency=frequency, loop_periods=periods)
    elif kind == "noise":
        blocks = int(sample.get("blocks", "40"))
        rng = np.random.default_rng(int(sample.get("seed", "1")))
        white = rng.uniform(-1.0, 1.0, blocks * BLOCK)
        # Circular first differences (twice) keep the loop seamless and tilt it to the highs.
        wave = white - np.roll(white, 1)
        wave = wave - 0.5 * np.roll(wave, 1)
        loop_start = 0
        info.update(loop_frequency=None)
    elif kind == "kick":
        note = int(sample["note"])
        periods, blocks, frequency = choose_loop(note_frequency(note), max_blocks=80, tolerance_cents=5.0)
        start_hz = float(sample.get("from", "150"))
        attack_blocks = int(math.ceil(float(sample.get("attack_ms", "80")) / 1000.0 * OUTPUT_RATE / BLOCK))
        attack_len = attack_blocks * BLOCK
        total = attack_len + blocks * BLOCK
        t = np.arange(total) / OUTPUT_RATE
        t_attack = attack_len / OUTPUT_RATE
        tau = t_attack / 5.0
        # Instantaneous frequency falls from start_hz to the loop frequency; integrate it.
        inst = frequency + (start_hz - frequency) * np.exp(-t / tau)
        phase = 2 * math.pi * np.concatenate(([0.0], np.cumsum(inst[:-1]) / OUTPUT_RATE))
        # From the loop start on, a pure sine of the loop frequency continues the phase.
        loop_phase = phase[attack_len] + 2 * math.pi * frequency * (t[attack_len:] - t_attack)
        phase[attack_len:] = loop_phase
        body = np.sin(phase)
        click = np.exp(-t / 0.002) * np.sin(2 * math.pi * 1800.0 * t) * 0.25
        envelope = 0.65 + 0.35 * np.exp(-t / (t_attack / 2.0))
        envelope[attack_len:] = 0.65
        wave = body * envelope + click
        loop_start = attack_len
        info.update(note=note, loop_frequency=frequency, loop_periods=periods)
    else:
        raise DemoError("sample %s: unknown kind %r" % (sample["name"], kind))
    wave = _normalise(wave, level)
    return np.round(wave).astype(np.int64), loop_start, info


# ----------------------------------------------------------------------------------------
# Envelope words


def _split(value, count, where):
    parts = value.split(":")
    if len(parts) != count:
        raise DemoError("%s: %r needs %d parts" % (where, value, count))
    return parts


def _mode_bit(word, where):
    if word not in ("lin", "exp"):
        raise DemoError("%s: mode %r is neither lin nor exp" % (where, word))
    return 1 if word == "exp" else 0


def _ranged(value, low, high, what, where):
    number = int(value)
    if not low <= number <= high:
        raise DemoError("%s: %s %d outside %d..%d" % (where, what, number, low, high))
    return number


def envelope_words(tone):
    """Builds the two SPU envelope words from a tone's attack/decay/level/sustain/release."""
    where = tone["where"]
    a_mode, a_shift, a_step = _split(tone.get("attack", "lin:0:0"), 3, where)
    s_mode, s_dir, s_shift, s_step = _split(tone.get("sustain", "lin:up:31:3"), 4, where)
    r_mode, r_shift = _split(tone.get("release", "lin:8"), 2, where)
    if s_dir not in ("up", "down"):
        raise DemoError("%s: sustain direction %r" % (where, s_dir))
    word1 = (_mode_bit(a_mode, where) << 15) | (_ranged(a_shift, 0, 31, "attack shift", where) << 10)
    word1 |= _ranged(a_step, 0, 3, "attack step", where) << 8
    word1 |= _ranged(tone.get("decay", "0"), 0, 15, "decay", where) << 4
    word1 |= _ranged(tone.get("level", "15"), 0, 15, "sustain level", where)
    word2 = (_mode_bit(s_mode, where) << 15) | ((1 if s_dir == "down" else 0) << 14)
    word2 |= _ranged(s_shift, 0, 31, "sustain shift", where) << 8
    word2 |= _ranged(s_step, 0, 3, "sustain step", where) << 6
    word2 |= (_mode_bit(r_mode, where) << 5) | _ranged(r_shift, 0, 31, "release shift", where)
    return word1, word2


def _envelope_tick(level, exponential, decreasing, shift, step):
    """One envelope step at `level`: returns (change of level, samples until the next step)."""
    cycles = 1 << max(0, shift - 11)
    adjust = step << max(0, 11 - shift)
    if exponential and not decreasing and level > 0x6000:
        cycles *= 4
    if exponential and decreasing:
        adjust = (adjust * level) >> 15
    return adjust, cycles


def simulate_envelope(word1, word2, hold_seconds, max_seconds=12.0):
    """Simulates the envelope of a note held for hold_seconds, then released.

    Returns a dict of milestones in seconds: attack (peak reached), decay (sustain level
    reached), release_end (level 0 after key off) and level_at_release (0..0x7FFF).
    """
    a_exp = (word1 >> 15) & 1
    a_shift = (word1 >> 10) & 31
    a_step = 7 - ((word1 >> 8) & 3)
    d_shift = (word1 >> 4) & 15  # decay: this shift with step -8, exponential
    target = (((word1 & 15) + 1) * 0x800)
    s_exp = (word2 >> 15) & 1
    s_down = (word2 >> 14) & 1
    s_shift = (word2 >> 8) & 31
    s_step = (-8 + ((word2 >> 6) & 3)) if s_down else (7 - ((word2 >> 6) & 3))
    r_exp = (word2 >> 5) & 1
    r_shift = word2 & 31
    level = 0
    phase = "attack"
    result = {"attack": None, "decay": None, "release_end": None}
    hold = int(hold_seconds * OUTPUT_RATE)
    limit = int(max_seconds * OUTPUT_RATE)
    n = 0
    wait = 0
    while n < limit:
        if phase != "release" and n >= hold:
            result["level_at_release"] = level
            phase = "release"
            wait = 0
        if wait > 0:
            wait -= 1
            n += 1
            continue
        if phase == "attack":
            adjust, cycles = _envelope_tick(level, a_exp, False, a_shift, a_step)
            level = min(0x7FFF, level + adjust)
            if level >= 0x7FFF:
                result["attack"] = n / OUTPUT_RATE
                phase = "decay"
        elif phase == "decay":
            adjust, cycles = _envelope_tick(level, True, True, d_shift, -8)
            level = max(0, level + adjust)
            if level <= target or adjust == 0:
                result["decay"] = n / OUTPUT_RATE
                phase = "sustain"
        elif phase == "sustain":
            adjust, cycles = _envelope_tick(level, s_exp, s_down, s_shift, s_step)
            level = min(0x7FFF, max(0, level + adjust))
        else:
            adjust, cycles = _envelope_tick(level, r_exp, True, r_shift, -8)
            level = max(0, level + adjust)
            if level == 0:
                result["release_end"] = n / OUTPUT_RATE - hold_seconds
                break
        wait = cycles - 1
        n += 1
    result.setdefault("level_at_release", level)
    return result


# ----------------------------------------------------------------------------------------
# VH and VB


def build_bank(samples_def, programs_def):
    """Returns (vh bytes, vb bytes, manifest entries)."""
    names = {}
    encoded = []
    sample_info = []
    offset = 0
    for index, sample in enumerate(samples_def):
        if sample["name"] in names:
            raise DemoError("sample %s defined twice" % sample["name"])
        names[sample["name"]] = index + 1
        pcm, loop_start, info = synth_sample(sample)
        data = adpcm.encode(pcm, loop_start=loop_start)
        decoded = adpcm.decode(data)
        info.update(number=index + 1, vb_offset=offset, bytes=len(data), samples=len(pcm),
                    loop_start_sample=loop_start, loop_start_byte=loop_start // BLOCK * adpcm.BLOCK_BYTES,
                    adpcm_snr_db=round(adpcm.snr_db(pcm, decoded), 1))
        encoded.append(data)
        sample_info.append(info)
        offset += len(data)
    if len(encoded) > 255:
        raise DemoError("more than 255 samples")

    numbers = sorted(p["number"] for p in programs_def)
    if numbers != list(range(len(numbers))):
        raise DemoError("programs must be numbered 0, 1, 2, ... without gaps")
    programs_def = sorted(programs_def, key=lambda p: p["number"])
    program_count = len(programs_def)
    tone_count = sum(len(p["tones"]) for p in programs_def)
    vb = b"".join(encoded)
    vh_size = VH_HEADER_SIZE + PROGRAM_TABLE_SIZE + program_count * TONES_PER_PROGRAM * TONE_RECORD_SIZE
    vh_size += SIZE_TABLE_SIZE

    header = bytearray()
    header += b"pBAV"                                   # format identifier
    header += struct.pack("<I", 7)                      # format version
    header += struct.pack("<I", 0)                      # bank identifier
    header += struct.pack("<I", vh_size + len(vb))      # total size of VH and VB
    header += struct.pack("<H", 0xEEEE)                 # reserved
    header += struct.pack("<HHH", program_count, tone_count, len(encoded))
    header += bytes([127, 64, 0, 0])                    # master volume, pan, attributes
    header += struct.pack("<I", 0xFFFFFFFF)             # reserved
    assert len(header) == VH_HEADER_SIZE

    program_table = bytearray(PROGRAM_TABLE_SIZE)
    tone_blocks = bytearray()
    program_info = []
    for program in programs_def:
        tones = program["tones"]
        if not 1 <= len(tones) <= TONES_PER_PROGRAM:
            raise DemoError("program %d has %d tones" % (program["number"], len(tones)))
        record = struct.pack("<BBBBBBHII", len(tones), int(program.get("volume", 127)),
                             int(program.get("priority", 0)), 0, int(program.get("pan", 64)), 0xFF, 0,
                             0xFFFFFFFF, 0xFFFFFFFF)
        base = program["number"] * PROGRAM_RECORD_SIZE
        program_table[base:base + PROGRAM_RECORD_SIZE] = record
        block = bytearray(TONES_PER_PROGRAM * TONE_RECORD_SIZE)
        tone_info = []
        for slot, tone in enumerate(tones):
            if tone["sample"] not in names:
                raise DemoError("%s: unknown sample %s" % (tone["where"], tone["sample"]))
            low, high = (int(v) for v in tone.get("keys", "0-127").split("-"))
            if not 0 <= low <= high <= 127:
                raise DemoError("%s: bad key range" % tone["where"])
            bend_down, bend_up = (int(v) for v in tone.get("bend", "2/2").split("/"))
            word1, word2 = envelope_words(tone)
            mode = 4 if tone.get("reverb", "no") == "yes" else 0
            centre = int(tone["centre"])
            record = struct.pack("<BBBBBBBBBBBBBBBBHHhhHHHH",
                                 int(tone.get("priority", 8)), mode, int(tone.get("volume", 127)),
                                 int(tone.get("pan", 64)), centre, int(tone.get("fine", 0)), low, high,
                                 0, 0, 0, 0, bend_down, bend_up, 0, 0, word1, word2, program["number"],
                                 names[tone["sample"]], 0, 0, 0, 0)
            assert len(record) == TONE_RECORD_SIZE
            block[slot * TONE_RECORD_SIZE:(slot + 1) * TONE_RECORD_SIZE] = record
            tone_info.append({"sample": names[tone["sample"]], "sample_name": tone["sample"], "keys": [low, high],
                              "centre": centre, "fine": int(tone.get("fine", 0)),
                              "volume": int(tone.get("volume", 127)), "pan": int(tone.get("pan", 64)),
                              "mode": mode, "adsr1": "0x%04X" % word1, "adsr2": "0x%04X" % word2,
                              "envelope_1s_note": simulate_envelope(word1, word2, 1.0)})
        tone_blocks += block
        program_info.append({"program": program["number"], "name": program["name"],
                             "volume": int(program.get("volume", 127)), "pan": int(program.get("pan", 64)),
                             "tones": tone_info})

    size_table = bytearray(SIZE_TABLE_SIZE)
    for index, data in enumerate(encoded):
        units = len(data) // 8
        if units > 0xFFFF:
            raise DemoError("sample %d too long" % (index + 1))
        struct.pack_into("<H", size_table, 2 * (index + 1), units)

    vh = bytes(header + program_table + tone_blocks + size_table)
    assert len(vh) == vh_size
    return vh, vb, {"samples": sample_info, "programs": program_info}


# ----------------------------------------------------------------------------------------
# Score


NOTE_STEPS = {"c": 0, "d": 2, "e": 4, "f": 5, "g": 7, "a": 9, "b": 11}
TOKEN = re.compile(r"\s*(?:(?P<note>[a-gr])(?P<acc>[+#-]?)(?P<len>\d*)(?P<dots>\.*)"
                   r"|(?P<cmd>[olv])(?P<num>\d+)|(?P<oct>[<>])|(?P<chord>\[[^\]]*\])(?P<clen>\d*)(?P<cdots>\.*)"
                   r"|(?P<ctl>[PXVW])(?P<cval>-?\d+)|(?P<tie>&)|(?P<bar>\|))")
CONTROLLERS = {"P": 10, "X": 11, "V": 7}


def _expand_repeats(text, where):
    pattern = re.compile(r"\(([^()]*)\)(\d+)")
    while True:
        expanded = pattern.sub(lambda m: " ".join([m.group(1)] * int(m.group(2))), text)
        if expanded == text:
            break
        text = expanded
    if "(" in text or ")" in text:
        raise DemoError("%s: unbalanced repeat" % where)
    return text


def _length_ticks(length, dots, default, resolution, where):
    if length:
        value = int(length)
        if value <= 0 or (resolution * 4) % value:
            raise DemoError("%s: length %s does not divide a whole note" % (where, length))
        ticks = resolution * 4 // value
    else:
        ticks = default
    add = ticks
    for _ in dots:
        add //= 2
        ticks += add
    return ticks


def parse_voice(text, resolution, where, state=None):
    """Parses one voice line into (notes, controls, length in ticks).

    notes are (tick, length, key, velocity); controls are (tick, "cc", number, value) and
    (tick, "bend", value, None) with value -8192..8191. state holds octave, default length and
    velocity; a voice continued on a later line passes the same dict so they carry over.
    """
    text = _expand_repeats(text, where)
    if state is None:
        state = {}
    state.setdefault("octave", 4)
    state.setdefault("length", resolution)
    state.setdefault("velocity", 100)
    notes = []
    controls = []
    tick = 0
    pos = 0
    tie = False
    text = text.rstrip()
    while pos < len(text):
        match = TOKEN.match(text, pos)
        if not match or match.end() == pos:
            raise DemoError("%s: cannot read %r" % (where, text[pos:pos + 12]))
        pos = match.end()
        if match.group("bar"):
            continue
        if match.group("tie"):
            tie = True
            continue
        if match.group("ctl"):
            value = int(match.group("cval"))
            if match.group("ctl") == "W":
                if not -8192 <= value <= 8191:
                    raise DemoError("%s: bend %d outside -8192..8191" % (where, value))
                controls.append((tick, "bend", value, None))
            else:
                if not 0 <= value <= 127:
                    raise DemoError("%s: controller value %d" % (where, value))
                controls.append((tick, "cc", CONTROLLERS[match.group("ctl")], value))
            continue
        if match.group("cmd"):
            number = int(match.group("num"))
            if match.group("cmd") == "o":
                state["octave"] = number
            elif match.group("cmd") == "l":
                state["length"] = _length_ticks(str(number), "", 0, resolution, where)
            else:
                if not 1 <= number <= 127:
                    raise DemoError("%s: velocity %d" % (where, number))
                state["velocity"] = number
            continue
        if match.group("oct"):
            state["octave"] += 1 if match.group("oct") == ">" else -1
            continue
        if match.group("chord"):
            ticks = _length_ticks(match.group("clen"), match.group("cdots"), state["length"], resolution, where)
            octave = state["octave"]
            for inner in TOKEN.finditer(match.group("chord")[1:-1]):
                if inner.group("oct"):
                    octave += 1 if inner.group("oct") == ">" else -1
                elif inner.group("note") and inner.group("note") != "r":
                    key = _key(inner.group("note"), inner.group("acc"), octave, where)
                    notes.append((tick, ticks, key, state["velocity"]))
            tick += ticks
            tie = False
            continue
        ticks = _length_ticks(match.group("len"), match.group("dots"), state["length"], resolution, where)
        if match.group("note") != "r":
            key = _key(match.group("note"), match.group("acc"), state["octave"], where)
            if tie:
                # "&" holds the previous note on: same key, ending here.
                if not notes or notes[-1][2] != key or notes[-1][0] + notes[-1][1] != tick:
                    raise DemoError("%s: '&' must join two notes of the same pitch" % where)
                first, length, _, velocity = notes[-1]
                notes[-1] = (first, length + ticks, key, velocity)
            else:
                notes.append((tick, ticks, key, state["velocity"]))
        elif tie:
            raise DemoError("%s: '&' before a rest" % where)
        tie = False
        tick += ticks
    if tie:
        raise DemoError("%s: '&' at the end of a line" % where)
    return notes, controls, tick


def _key(letter, accidental, octave, where):
    key = 12 * (octave + 1) + NOTE_STEPS[letter]
    if accidental in ("+", "#"):
        key += 1
    elif accidental == "-":
        key -= 1
    if not 0 <= key <= 127:
        raise DemoError("%s: note out of range" % where)
    return key


def parse_score(path):
    """Returns a dict with the header values, channel setups and a flat timeline."""
    score = {"resolution": 480, "tempo": 120.0, "rhythm": (4, 2), "channels": {}, "items": []}
    part = None
    tick = 0
    loop_depth = 0
    with open(path, encoding="utf-8") as handle:
        lines = list(enumerate(handle, 1))
    for number, raw in lines:
        line = raw.split("#", 1)[0].strip()
        if not line:
            continue
        where = "%s:%d" % (os.path.basename(path), number)
        words = line.split()
        if part is not None:
            if words[0] == "end":
                lengths = {label: voice[2] for label, voice in part["voices"].items()}
                if len(set(lengths.values())) != 1:
                    raise DemoError("%s: voices of part %s differ in length: %s" % (where, part["name"], lengths))
                length = next(iter(lengths.values()))
                for label, (notes, controls, _) in part["voices"].items():
                    channel = int(label.split(".")[0])
                    for note_tick, ticks, key, velocity in notes:
                        score["items"].append(("note", tick + note_tick, channel, key, velocity, ticks))
                    for control_tick, kind, a, b in controls:
                        score["items"].append((kind, tick + control_tick, channel, a, b))
                score["items"].append(("part", tick, part["name"], length))
                tick += length
                part = None
                continue
            match = re.match(r"(\d+(?:\.\d+)?)\s*:(.*)$", line)
            if not match:
                raise DemoError("%s: expected 'C: notes' inside a part" % where)
            label = match.group(1)
            channel = int(label.split(".")[0])
            if not 0 <= channel <= 15:
                raise DemoError("%s: channel %d" % (where, channel))
            state = part["states"].setdefault(label, {})
            notes, controls, length = parse_voice(match.group(2), score["resolution"], where, state)
            old_notes, old_controls, old_length = part["voices"].get(label, ([], [], 0))
            part["voices"][label] = (old_notes + [(t + old_length, l, k, v) for t, l, k, v in notes],
                                     old_controls + [(t + old_length, k, a, b) for t, k, a, b in controls],
                                     old_length + length)
            continue
        if words[0] == "resolution":
            score["resolution"] = int(words[1])
        elif words[0] == "rhythm":
            numerator, denominator = (int(v) for v in words[1].split("/"))
            score["rhythm"] = (numerator, int(round(math.log2(denominator))))
        elif words[0] == "tempo":
            if any(item[0] in ("note", "part") for item in score["items"]) or loop_depth:
                score["items"].append(("tempo", tick, float(words[1])))
            else:
                score["tempo"] = float(words[1])
        elif words[0] == "channel":
            fields = dict(zip(words[2::2], words[3::2]))
            score["channels"][int(words[1])] = {k: int(v) for k, v in fields.items()}
        elif words[0] == "part":
            part = {"name": words[1], "voices": {}, "states": {}}
        elif words[0] == "loop":
            if loop_depth:
                raise DemoError("%s: nested loops are not supported" % where)
            loop_depth = 1
            score["items"].append(("loop_start", tick, int(words[1])))
        elif words[0] == "endloop":
            if not loop_depth:
                raise DemoError("%s: endloop without loop" % where)
            loop_depth = 0
            score["items"].append(("loop_end", tick))
        else:
            raise DemoError("%s: cannot read %r" % (where, line))
    if part is not None or loop_depth:
        raise DemoError("%s: score ends inside a part or loop" % os.path.basename(path))
    score["length"] = tick
    return score


# ----------------------------------------------------------------------------------------
# SEQ


def delta_time_bytes(value):
    """A delta time: 7 bits a byte, most significant first, the high bit set on all but the last."""
    out = [value & 0x7F]
    value >>= 7
    while value:
        out.append(0x80 | (value & 0x7F))
        value >>= 7
    return bytes(reversed(out))


def tempo_micros(bpm):
    return int(round(60000000.0 / bpm))


def seconds_of_ticks(ticks, tempo_changes, resolution):
    """Seconds from the start to a tick, given [(tick, seconds per quarter note)] from tick 0."""
    total = 0.0
    for index, (start, quarter) in enumerate(tempo_changes):
        stop = tempo_changes[index + 1][0] if index + 1 < len(tempo_changes) else None
        if ticks <= start:
            break
        span = (min(ticks, stop) if stop is not None else ticks) - start
        total += span * quarter / resolution
    return total


def build_seq(score):
    """Encodes the score as a SEQ; returns (bytes, timeline for the manifest)."""
    resolution = score["resolution"]
    events = []  # (tick, order, sequence number, kind, payload)
    serial = 0

    def add(tick, order, kind, payload):
        nonlocal serial
        events.append((tick, order, serial, kind, payload))
        serial += 1

    # Order at one tick: note offs, markers and tempo in score order, set-up, note ons.
    for channel, setup in sorted(score["channels"].items()):
        add(0, 2, "channel", (0xC0 | channel, [setup.get("program", 0)]))
        add(0, 2, "channel", (0xB0 | channel, [7, setup.get("volume", 100)]))
        add(0, 2, "channel", (0xB0 | channel, [10, setup.get("pan", 64)]))
    for item in score["items"]:
        if item[0] == "note":
            _, tick, channel, key, velocity, length = item
            add(tick, 3, "channel", (0x90 | channel, [key, velocity]))
            add(tick + length, 0, "channel", (0x90 | channel, [key, 0]))
        elif item[0] == "cc":
            _, tick, channel, number, value = item
            add(tick, 2, "channel", (0xB0 | channel, [number, value]))
        elif item[0] == "bend":
            _, tick, channel, value, _ = item
            add(tick, 2, "channel", (0xE0 | channel, [(value + 8192) & 0x7F, (value + 8192) >> 7]))
        elif item[0] == "tempo":
            add(item[1], 1, "tempo", item[2])
        elif item[0] == "loop_start":
            add(item[1], 1, "loop_start", item[2])
        elif item[0] == "loop_end":
            add(item[1], 1, "loop_end", None)
    end_tick = score["length"]
    events.sort(key=lambda e: (e[0], e[1], e[2]))

    out = bytearray()
    out += b"pQES"
    out += struct.pack(">I", 1)
    out += struct.pack(">H", resolution)
    out += struct.pack(">I", tempo_micros(score["tempo"]))[1:]
    out += bytes([score["rhythm"][0], score["rhythm"][1]])
    assert len(out) == 15

    running = None
    last_tick = 0
    loop_channel = 0
    for tick, _, _, kind, payload in events:
        out += delta_time_bytes(tick - last_tick)
        last_tick = tick
        if kind == "channel":
            status, data = payload
            if status != running:
                out.append(status)
                running = status
            out += bytes(data)
        elif kind == "tempo":
            micros = tempo_micros(payload)
            out += bytes([0xFF, 0x51]) + struct.pack(">I", micros)[1:]
            running = None  # the next event names its status again
        elif kind == "loop_start":
            status = 0xB0 | loop_channel
            if status != running:
                out.append(status)
            out += bytes([99, LOOP_START_NRPN])
            out += delta_time_bytes(0) + bytes([6, payload])  # data entry: the loop count, running status
            running = None  # the first event inside the loop names its status
        elif kind == "loop_end":
            status = 0xB0 | loop_channel
            if status != running:
                out.append(status)
                running = status
            out += bytes([99, LOOP_END_NRPN])
    out += delta_time_bytes(end_tick - last_tick) + b"\xff\x2f\x00"
    # The end is found by searching for the marker, so it must not occur any earlier.
    marker_at = bytes(out).find(SEQ_END_MARKER)
    if marker_at != len(out) - 4:
        if end_tick != last_tick:
            raise DemoError("the score's last delta time hides the end marker; end on a note off")
        raise DemoError("the end marker occurs early, at byte %d" % marker_at)
    return bytes(out), events, end_tick


def timeline(score, events, end_tick):
    """Seconds of every note and marker, for the song as written (loop section once)."""
    tempo_changes = [(0, score["tempo"])] + [(e[0], e[4]) for e in events if e[3] == "tempo"]
    quarters = [(tick, 60.0 / bpm) for tick, bpm in tempo_changes]

    def seconds(tick):
        return seconds_of_ticks(tick, quarters, score["resolution"])

    notes = []
    for item in score["items"]:
        if item[0] == "note":
            _, tick, channel, key, velocity, length = item
            notes.append({"tick": tick, "seconds": round(seconds(tick), 6), "channel": channel, "key": key,
                          "velocity": velocity, "ticks": length,
                          "off_seconds": round(seconds(tick + length), 6)})
    notes.sort(key=lambda n: (n["tick"], n["channel"], n["key"]))
    controls = []
    markers = []
    for item in score["items"]:
        if item[0] in ("cc", "bend"):
            entry = {"kind": item[0], "tick": item[1], "seconds": round(seconds(item[1]), 6), "channel": item[2]}
            if item[0] == "cc":
                entry.update(controller=item[3], value=item[4])
            else:
                entry.update(value=item[3])
            controls.append(entry)
        elif item[0] != "note":
            entry = {"kind": item[0], "tick": item[1], "seconds": round(seconds(item[1]), 6)}
            if item[0] == "tempo":
                entry["bpm"] = item[2]
                entry["microseconds_per_quarter"] = tempo_micros(item[2])
            elif item[0] == "loop_start":
                entry["count"] = item[2]
            elif item[0] == "part":
                entry["name"] = item[2]
                entry["ticks"] = item[3]
            markers.append(entry)
    controls.sort(key=lambda c: (c["tick"], c["channel"]))
    return notes, controls, markers, seconds(end_tick)


# ----------------------------------------------------------------------------------------


def generate(out_dir, quiet=False):
    samples_def, programs_def = parse_instruments(os.path.join(HERE, "instruments.txt"))
    vh, vb, bank_info = build_bank(samples_def, programs_def)
    score = parse_score(os.path.join(HERE, "score.txt"))
    seq, events, end_tick = build_seq(score)
    notes, controls, markers, written_seconds = timeline(score, events, end_tick)

    loop = [m for m in markers if m["kind"] in ("loop_start", "loop_end")]
    loop_seconds = loop[1]["seconds"] - loop[0]["seconds"] if len(loop) == 2 else 0.0
    manifest = {
        "generated_by": "tools/demo/make_demo.py from tools/demo/instruments.txt and tools/demo/score.txt",
        "seq": {"bytes": len(seq), "resolution": score["resolution"], "tempo_bpm": score["tempo"],
                "microseconds_per_quarter": tempo_micros(score["tempo"]), "rhythm": list(score["rhythm"]),
                "end_tick": end_tick, "seconds_as_written": round(written_seconds, 6),
                "loop_section_seconds": round(loop_seconds, 6),
                "channels": {str(k): v for k, v in sorted(score["channels"].items())},
                "markers": markers, "controls": controls, "notes": notes},
        "vh": {"bytes": len(vh), "programs": len(bank_info["programs"]),
               "tones": sum(len(p["tones"]) for p in bank_info["programs"]),
               "samples": len(bank_info["samples"])},
        "vb": {"bytes": len(vb)},
    }
    manifest.update(bank_info)
    for sample in manifest["samples"]:
        if sample.get("loop_frequency") is not None:
            sample["loop_frequency"] = round(sample["loop_frequency"], 6)

    os.makedirs(out_dir, exist_ok=True)
    for name, data in (("demo.seq", seq), ("demo.vh", vh), ("demo.vb", vb)):
        with open(os.path.join(out_dir, name), "wb") as handle:
            handle.write(data)
    with open(os.path.join(out_dir, "demo.json"), "w", encoding="utf-8") as handle:
        json.dump(manifest, handle, indent=1, sort_keys=True)
        handle.write("\n")
    if not quiet:
        print("demo.seq %d bytes, %.1f s as written (loop section %.1f s, count %s)"
              % (len(seq), written_seconds, loop_seconds, loop[0].get("count") if loop else "-"))
        print("demo.vh  %d bytes: %d programs, %d tones, %d samples"
              % (len(vh), manifest["vh"]["programs"], manifest["vh"]["tones"], manifest["vh"]["samples"]))
        print("demo.vb  %d bytes" % len(vb))
        for sample in manifest["samples"]:
            freq = sample.get("loop_frequency")
            print("  sample %d %-6s %5d bytes, loop from byte %5d%s, ADPCM SNR %.1f dB"
                  % (sample["number"], sample["name"], sample["bytes"], sample["loop_start_byte"],
                     ", %.3f Hz" % freq if freq else "", sample["adpcm_snr_db"]))
    return manifest


def main(argv):
    parser = argparse.ArgumentParser(description="Generates the demo song.")
    parser.add_argument("--out", default=os.path.join(HERE, "..", "..", "assets", "demo"))
    parser.add_argument("--check", action="store_true", help="compare a fresh generation with --out")
    args = parser.parse_args(argv)
    try:
        if args.check:
            with tempfile.TemporaryDirectory() as temp:
                generate(temp, quiet=True)
                names = ["demo.seq", "demo.vh", "demo.vb", "demo.json"]
                _, mismatch, errors = filecmp.cmpfiles(temp, args.out, names, shallow=False)
                if mismatch or errors:
                    print("make_demo: generated files differ from %s: %s" % (args.out, mismatch + errors))
                    return 1
                print("make_demo: %s is up to date" % args.out)
                return 0
        generate(os.path.normpath(args.out))
    except DemoError as error:
        print("make_demo: %s" % error, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
