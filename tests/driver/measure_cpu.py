#!/usr/bin/python3
"""Measures the driver's load on the player's emulated CPU with a test build of the driver.

    measure_cpu.py [--lfqutil PATH] [--max-load PERCENT]

Builds the driver with LFQ_COST_PROBE and LFQ_BENCH (driver/build_driver.sh), turns the image
into a PSF (lfqutil --convert), builds songs on it (lfqutil OPEN ... OUT) and renders them in
audacious. The probe counts main-loop polls between 2.5 ms heartbeats while the song plays and
afterwards sounds the counts as pitches (see driver/src/main.c); an empty song gives the idle
count, so 1 - polls / idle is the share of the CPU the services take. Prints the load per tick
mode for the dense song of the playback tests (24 voices busy), the longest service and the cost
of single operations. Exit 1 when the mean load at the default tick mode exceeds --max-load;
77 when the cross compiler or lfqutil is missing.
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(SOURCE, "tests", "e2e"))
import driver_fixtures as fx  # noqa: E402
from driver_fixtures import aa  # noqa: E402

PROBE_HZ = 44100.0 / 56  # sample 1 of the songs below at pitch 0x1000
HEARTBEAT_US = 2500.0
BENCH = ["(loop)", "VoiceUpdateVolume", "VoiceUpdatePitch", "VoiceAllocate, all busy", "BankGetTone",
         "SPU register read", "VoicesReap", "PitchStep"]


def dense_song():
    envelope = fx.adsr(release_shift=10)
    vh, vb = fx.make_bank([fx.sine_sample(56)], {
        0: [fx.tone(1, centre=60, envelope=envelope), fx.tone(1, centre=48, envelope=envelope)]})
    events = fx.busy_channels_events(400)
    return {"SEQ": fx.make_seq(events, 96, 333333, end_tick=24 * 400), "VH": vh, "VB": vb}


def empty_song():
    vh, vb = fx.make_bank([fx.sine_sample(56)], {0: [fx.tone(1)]})
    return {"SEQ": fx.make_seq([], 96, 333333), "VH": vh, "VB": vb}


def probe_values(wav, count):
    audio = aa.read_wav(wav)
    values = []
    for start, duration in [(20.6, 0.8), (21.6, 0.8), (22.6, 0.8)] + [(23.55 + 0.5 * k, 0.4) for k in range(count)]:
        hz = aa.dominant_frequency(audio, start=start, duration=duration)
        values.append(hz / PROBE_HZ * 4096 - 2048)
    return values


def main(argv):
    parser = argparse.ArgumentParser()
    parser.add_argument("--lfqutil", default=None)
    parser.add_argument("--max-load", type=float, default=50.0)
    args = parser.parse_args(argv)
    if shutil.which("mipsel-linux-gnu-gcc") is None:
        print("mipsel-linux-gnu-gcc not found: skipped")
        return 77
    try:
        lfqutil = args.lfqutil or fx.lfqutil_path()
    except fx.FixtureError as error:
        print(error)
        return 77
    work = tempfile.mkdtemp(prefix="lfq-driver-cpu-")
    try:
        exe = os.path.join(work, "probe.exe")
        subprocess.run(["sh", os.path.join(SOURCE, "driver", "build_driver.sh"), "--out", exe,
                        "--define", "LFQ_COST_PROBE", "--define", "LFQ_BENCH"], check=True)
        subprocess.run([lfqutil, "--convert", exe], check=True)
        driver_psf = os.path.join(work, "probe.psf")
        results = {}
        for name, song in (("empty", empty_song()), ("dense", dense_song())):
            paths = {}
            for keyword, data in song.items():
                paths[keyword] = os.path.join(work, "%s.%s" % (name, keyword.lower()))
                with open(paths[keyword], "wb") as handle:
                    handle.write(data)
            for mode in (1, 2, 6):
                out = os.path.join(work, "%s%d.psf" % (name, mode))
                subprocess.run([lfqutil, "OPEN", driver_psf, "SEQ", paths["SEQ"], "VH", paths["VH"], "VB",
                                paths["VB"], "PARAM", "Sequence Tick Mode", str(mode), "OUT", out], check=True)
                wav = os.path.join(work, "%s%d.wav" % (name, mode))
                fx.render_psf.render_psf(out, wav, seconds=28)
                results[name, mode] = probe_values(wav, len(BENCH))
        idle = max(results["empty", mode][1] for mode in (1, 2, 6))  # services that find nothing to do
        print("idle main-loop polls per 2.5 ms heartbeat: %.0f (one poll is about %.2f us)"
              % (idle, HEARTBEAT_US / idle))
        load_default = None
        for mode, label in ((1, "60 Hz (default)"), (2, "240 Hz"), (6, "400 Hz")):
            least, mean, longest = results["dense", mode][:3]
            load = 100.0 * (1 - mean / idle)
            rate = {1: 60.0, 2: 240.0, 6: 400.0}[mode]
            per_service_ms = load / 100.0 / rate * 1000.0
            if mode == 1:
                load_default = load
            print("dense song, tick mode %d (%s): mean CPU load %.1f %%, %.2f ms per service, longest service "
                  "spans %.0f us of heartbeats, fewest polls in one heartbeat %.0f"
                  % (mode, label, load, per_service_ms, longest * 10, least))
        base = results["empty", 1][3]
        for k, name in enumerate(BENCH):
            count = results["empty", 1][3 + k]
            if k == 0:
                print("bench loop: %.0f iterations per heartbeat" % count)
            else:
                print("%-26s %.0f per heartbeat, about %.1f us each" % (name, count,
                                                                         HEARTBEAT_US / count - HEARTBEAT_US / base))
        if load_default is not None and load_default > args.max_load:
            print("FAIL: mean load %.1f %% above %.1f %%" % (load_default, args.max_load))
            return 1
        return 0
    finally:
        if os.environ.get("LFQ_KEEP_TEST_FILES"):
            print("kept", work)
        else:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
