#!/usr/bin/python3
"""Small song files for the driver's playback tests, built here from nothing but numbers.

A bank holds looped sine samples (a whole number of periods per loop, so the pitch a render
shows is exact), sequences are written event by event, and every PSF is built by lfqutil's
batch mode, then rendered by a real PSF player through tools/render_psf.py.
"""

import math
import os
import struct
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(SOURCE, "tools"))
sys.path.insert(0, os.path.join(SOURCE, "tools", "demo"))

import adpcm  # noqa: E402
import audio_analysis as aa  # noqa: E402
import make_demo  # noqa: E402
import render_psf  # noqa: E402

BLOCK = 28  # samples per ADPCM block
SPU_RATE = 44100.0


class FixtureError(Exception):
    pass


# ---------------------------------------------------------------------------------------
# Samples


def sine_sample(period, loop_blocks=None, amplitude=0.5, attack_blocks=0):
    """ADPCM of a sine with `period` samples per cycle, looped over whole cycles.

    The loop holds lcm(period, 28) samples unless loop_blocks says otherwise; at pitch 0x1000
    the tone is 44100 / period Hz. attack_blocks of the same sine come before the loop."""
    if loop_blocks is None:
        loop_blocks = period // math.gcd(period, BLOCK)
        while loop_blocks < 2:
            loop_blocks *= 2
    total = (attack_blocks + loop_blocks) * BLOCK
    pcm = [round(amplitude * 32767 * math.sin(2 * math.pi * i / period)) for i in range(total)]
    return adpcm.encode(pcm, loop_start=attack_blocks * BLOCK)


def one_shot_sine(period, blocks, amplitude=0.5):
    """ADPCM of a sine that plays once and ends (no loop)."""
    pcm = [round(amplitude * 32767 * math.sin(2 * math.pi * i / period)) for i in range(blocks * BLOCK)]
    return adpcm.encode(pcm)


# ---------------------------------------------------------------------------------------
# Sound bank


def adsr(attack_shift=0, decay_shift=0, sustain_level=15, sustain_shift=31, sustain_step=3, release_shift=8,
         release_exponential=True):
    """ADSR1/ADSR2 words: linear attack, sustain that holds (shift 31, step 3), given release."""
    adsr1 = (attack_shift << 10) | (decay_shift << 4) | sustain_level
    adsr2 = (sustain_shift << 8) | (sustain_step << 6) | (0x20 if release_exponential else 0) | release_shift
    return adsr1, adsr2


def tone(sample, low=0, high=127, centre=60, fine=0, volume=127, pan=64, priority=64, reverb=False,
         bend=(2, 2), envelope=None):
    return {"sample": sample, "low": low, "high": high, "centre": centre, "fine": fine, "volume": volume,
            "pan": pan, "priority": priority, "mode": 4 if reverb else 0, "bend": bend,
            "adsr": envelope or adsr()}


def make_bank(samples, programs, bank_volume=127, bank_pan=64):
    """VH and VB bytes. samples: ADPCM byte strings (sample numbers count from 1);
    programs: {program number: [tone dicts]} with volume 127 and pan 64 per program."""
    used = sorted(programs)
    program_count = len(used)
    tone_count = sum(len(programs[p]) for p in used)
    header = b"pBAV" + struct.pack("<III", 7, 0, 0) + struct.pack("<HHHH", 0, program_count, tone_count,
                                                                  len(samples))
    header += bytes([bank_volume, bank_pan, 0, 0]) + struct.pack("<I", 0)
    assert len(header) == 32
    table = bytearray(128 * 16)
    blocks = bytearray()
    for p in used:
        tones = programs[p]
        struct.pack_into("<BBBBBB", table, 16 * p, len(tones), 127, 64, 0, 64, 0)
        block = bytearray(512)
        for t, tone in enumerate(tones):
            a1, a2 = tone["adsr"]
            struct.pack_into("<BBBBBBBBBBBBBBBBHHhhII", block, 32 * t, tone["priority"], tone["mode"],
                             tone["volume"], tone["pan"], tone["centre"], tone["fine"], tone["low"], tone["high"],
                             0, 0, 0, 0, tone["bend"][0], tone["bend"][1], 0, 0, a1, a2, p, tone["sample"], 0, 0)
        blocks += block
    sizes = bytearray(512)
    for n, data in enumerate(samples, 1):
        if len(data) % 8:
            raise FixtureError("sample sizes are whole 8-byte units")
        struct.pack_into("<H", sizes, 2 * n, len(data) // 8)
    return header + bytes(table) + bytes(blocks) + bytes(sizes), b"".join(samples)


# ---------------------------------------------------------------------------------------
# Sequences


def events_bytes(events, end_tick=None):
    """Event data from (tick, bytes) pairs (sorted by tick, stable), ended by FF 2F 00."""
    out = bytearray()
    last = 0
    for tick, data in sorted(events, key=lambda e: e[0]):
        out += make_demo.delta_time_bytes(tick - last) + bytes(data)
        last = tick
    end = last if end_tick is None else end_tick
    out += make_demo.delta_time_bytes(end - last) + b"\xff\x2f\x00"
    return bytes(out)


def make_seq(events, resolution=480, tempo_us=500000, end_tick=None):
    header = b"pQES" + struct.pack(">I", 1) + struct.pack(">H", resolution) + struct.pack(">I", tempo_us)[1:]
    return header + bytes([4, 2]) + events_bytes(events, end_tick)


def make_sep(sequences):
    """sequences: list of (events, resolution, tempo_us, end_tick) in id order."""
    out = bytearray(b"pQES\x00\x00")
    for number, (events, resolution, tempo_us, end_tick) in enumerate(sequences):
        data = events_bytes(events, end_tick)
        out += struct.pack(">HH", number, resolution) + struct.pack(">I", tempo_us)[1:] + bytes([4, 2])
        out += struct.pack(">I", len(data)) + data
    return bytes(out)


def note(tick, length, key, velocity=100, channel=0):
    """A note on and its note off (velocity 0)."""
    return [(tick, [0x90 | channel, key, velocity]), (tick + length, [0x90 | channel, key, 0])]


def busy_channels_events(steps):
    """Twelve channels retriggering notes every 24 ticks for `steps` steps, with a bend, a volume
    and a pan change between the notes: the load that keeps all 24 voices of a two-layer program
    busy."""
    events = []
    for step in range(steps):
        tick = 24 * step
        for ch in range(12):
            key = 48 + (step * 7 + ch * 5) % 24
            events += note(tick, 23, key, channel=ch)
            events.append((tick + 6, [0xE0 | ch, (step * 13) & 0x7F, 0x40 + step % 3]))
            events.append((tick + 12, [0xB0 | ch, 7, 80 + step % 40]))
            events.append((tick + 18, [0xB0 | ch, 10, (step * 11 + ch) % 128]))
    return events


def make_vag(adpcm_data, rate, name=b"fixture"):
    """A VAG as the utility writes them: 64-byte header, then the blocks and an end block."""
    data = adpcm_data + b"\x00\x07" + b"\x77" * 14
    header = b"VAGp" + struct.pack(">III", 0x20, 0, len(data)) + struct.pack(">I", rate) + bytes(12)
    header += name[:16].ljust(16, b"\0") + bytes(16)
    return header + data


# ---------------------------------------------------------------------------------------
# Building and rendering


def lfqutil_path():
    path = os.environ.get("LFQUTIL")
    if path:
        return path
    for candidate in ("build/default/ui/lfqutil", "build/driver/ui/lfqutil"):
        full = os.path.join(SOURCE, candidate)
        if os.path.exists(full):
            return full
    raise FixtureError("lfqutil not found: set LFQUTIL")


def build_psf(directory, name, files=None, params=None, lfqutil=None, tags=None):
    """Runs `lfqutil MAKE [SEQ f] [VAG f] [VH f] [VB f] PARAM name value... [TAG name value...] OUT name.psf`.

    files: {"SEQ": bytes, "VH": bytes, "VB": bytes, "VAG": bytes}, written beside the PSF."""
    args = [lfqutil or lfqutil_path(), "MAKE"]
    if params:
        args.append("PARAM")
        for key, value in params.items():
            args += [key, str(value)]
    for keyword in ("SEQ", "VAG", "VH", "VB"):
        if files and keyword in files:
            path = os.path.join(directory, "%s.%s" % (name, keyword.lower()))
            with open(path, "wb") as handle:
                handle.write(files[keyword])
            args += [keyword, path]
    if tags:
        args.append("TAG")
        for key, value in tags.items():
            args += [key, str(value)]
    out = os.path.join(directory, name + ".psf")
    args += ["OUT", out]
    result = subprocess.run(args, capture_output=True, text=True)
    if result.returncode != 0 or not os.path.exists(out):
        raise FixtureError("lfqutil failed (%d): %s" % (result.returncode, result.stderr.strip()))
    return out


def render(psf, seconds):
    wav = os.path.splitext(psf)[0] + ".wav"
    render_psf.render_psf(psf, wav, seconds=seconds)
    return aa.read_wav(wav)


def band_only(audio, low_hz, high_hz):
    """The audio with everything outside low_hz..high_hz removed (FFT mask, each channel)."""
    import numpy as np
    out = np.empty_like(audio.samples)
    for c in range(audio.channels):
        spectrum = np.fft.rfft(audio.samples[:, c])
        freqs = np.fft.rfftfreq(audio.frames, 1.0 / audio.rate)
        spectrum[(freqs < low_hz) | (freqs > high_hz)] = 0
        out[:, c] = np.fft.irfft(spectrum, audio.frames)
    return aa.Audio(out, audio.rate)


def seconds_of_ticks(ticks, tempo_changes, resolution):
    """Seconds from the start to a tick, given [(tick, microseconds per quarter)] from tick 0."""
    return make_demo.seconds_of_ticks(ticks, [(tick, tempo / 1e6) for tick, tempo in tempo_changes], resolution)


def tempo_event(tick, tempo_us):
    return (tick, [0xFF, 0x51] + list(struct.pack(">I", tempo_us)[1:]))
