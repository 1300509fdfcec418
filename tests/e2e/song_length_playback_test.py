#!/usr/bin/python3
"""The length lfqutil computes for a song agrees with how a real PSF player plays it.

    song_length_playback_test.py [unittest arguments]

Each song is built with `lfqutil MAKE ... TAG length auto OUT`, its computed length and pass ends
read back with `lfqutil --info --json`, and a copy tagged to play two seconds longer than the
computed length is rendered by audacious (tools/render_psf.py). A second pass has to start where
the model ends the first (within 0.1 s), a song that ends has to be silent after its length, and
the demo song has to sound up to its length. Times in the render count from the first note, which
the player starts about 17 ms after the program. Needs lfqutil (environment LFQUTIL); exits 77
(skipped) without audacious.
"""

import json
import math
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import driver_fixtures as fx  # noqa: E402
from driver_fixtures import aa, render_psf  # noqa: E402

SKIPPED = 77
BOUNDARY_LIMIT = 0.1  # seconds between a pass end in the model and the onset in the render
# A sine of 56 samples per period plays 787.5 Hz at pitch 0x1000, the tone's centre note 60.
BASE_PERIOD = 56
BASE_HZ = 44100.0 / BASE_PERIOD
DEMO = os.path.join(fx.SOURCE, "assets", "demo")


def key_hz(key):
    return BASE_HZ * 2 ** ((key - 60) / 12.0)


def song_bank():
    """Program 0: a looped sine over all keys with a quick release, so every note ends in silence."""
    return fx.make_bank([fx.sine_sample(BASE_PERIOD)], {0: [fx.tone(1, envelope=fx.adsr(release_shift=4))]})


def loop_start(tick, count):
    """Controller 99 value 20 marks the loop start; the data entry after it is the count (127: endless)."""
    return [(tick, [0xB0, 99, 20]), (tick, [0xB0, 6, count])]


def loop_end(tick):
    return [(tick, [0xB0, 99, 30])]


class SongLengthTestCase(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="lfq-length-")

    def tearDown(self):
        if os.environ.get("LFQ_KEEP_TEST_FILES"):
            print("kept", self.dir, file=sys.stderr)
        else:
            shutil.rmtree(self.dir, ignore_errors=True)

    def build(self, name, files, params=None):
        """Builds the PSF with an automatic length; returns its path and what --info --json says."""
        psf = fx.build_psf(self.dir, name, files, params, tags={"length": "auto"})
        result = subprocess.run([fx.lfqutil_path(), "--info", "--json", psf], capture_output=True, text=True)
        self.assertEqual(result.returncode, 0, result.stderr)
        info = json.loads(result.stdout)
        # "pass ends" reads like "1.90 3.10 s".
        info["pass_ends"] = [float(word) for word in info["facts"]["pass ends"].split()[:-1]]
        return psf, info

    def render_past_length(self, psf, info, extra=2.0):
        """Renders a copy that plays `extra` seconds past the computed length (fade 0)."""
        return fx.render(psf, int(math.ceil(info["length_s"] + extra)))

    def first_onset(self, audio):
        found = aa.onsets(audio)
        self.assertTrue(found, "the render holds notes")
        self.assertLess(found[0], 0.05, "the first note sounds at once")
        return found[0]

    def assertOnsetAt(self, audio, origin, seconds, key, what):
        """An onset within BOUNDARY_LIMIT of origin + seconds, where the note of `key` sounds."""
        found = aa.onsets(audio)
        nearest = min(found, key=lambda t: abs(t - origin - seconds))
        off = nearest - origin - seconds
        print("%-40s model %7.3f s  render %7.3f s  %+6.3f s" % (what, seconds, nearest - origin, off),
              file=sys.stderr)
        self.assertLess(abs(off), BOUNDARY_LIMIT, "%s: onsets %s" % (what, [round(t - origin, 3) for t in found]))
        hz = aa.dominant_frequency(audio, start=nearest + 0.03, duration=0.1)
        self.assertLess(abs(aa.cents(hz, key_hz(key))), 50, "%s: %.1f Hz, not key %d" % (what, hz, key))


class EndingSongTests(SongLengthTestCase):
    def test_one_pass_song_is_silent_after_its_computed_length(self):
        vh, vb = song_bank()
        # Four half-second notes of distinct pitch at 120 BPM, each released before the next.
        keys = (60, 64, 67, 72)
        events = []
        for i, key in enumerate(keys):
            events += fx.note(480 * i, 360, key)
        seq = fx.make_seq(events, 480, 500000, end_tick=1920)
        psf, info = self.build("ending", {"SEQ": seq, "VH": vh, "VB": vb},
                               {"Playback Amount": 1, "Automatic Stop": 1})
        self.assertEqual(info["fade_s"], 0)
        self.assertEqual(len(info["pass_ends"]), 1)
        self.assertAlmostEqual(info["pass_ends"][0], 2.0, delta=0.05)
        length = info["length_s"]
        self.assertGreaterEqual(length, info["pass_ends"][0])

        audio = self.render_past_length(psf, info)
        origin = self.first_onset(audio)
        for i, key in enumerate(keys):
            self.assertOnsetAt(audio, origin, 0.5 * i, key, "note %d" % (i + 1))
        self.assertEqual(len(aa.onsets(audio)), len(keys), "the song plays once")
        self.assertFalse(aa.is_silent(audio, start=origin + 1.55, duration=0.15), "the last note sounds")
        after = origin + length
        print("ending song: computed length %.3f s, render %.2f s, silent after the length" %
              (length, audio.duration), file=sys.stderr)
        self.assertTrue(aa.is_silent(audio, start=after, duration=audio.duration - after - 0.05),
                        "sound after the computed length %.3f s" % length)


class EndlessSongTests(SongLengthTestCase):
    def test_second_and_third_passes_start_where_the_model_ends_the_passes_before(self):
        vh, vb = song_bank()
        # An intro note (key 48), then an endless loop: key 60 at 120 BPM, a change to 200 BPM, keys 64, 67
        # and 72. The tempo set inside the loop is the one its next pass starts with.
        events = fx.note(0, 360, 48) + loop_start(480, 127) + fx.note(480, 360, 60)
        events.append(fx.tempo_event(960, 300000))
        for i, key in enumerate((64, 67, 72)):
            events += fx.note(960 + 480 * i, 360, key)
        events += loop_end(2400)
        seq = fx.make_seq(events, 480, 500000, end_tick=2400)
        psf, info = self.build("endless", {"SEQ": seq, "VH": vh, "VB": vb})
        self.assertEqual(info["fade_s"], 10)
        ends = info["pass_ends"]
        self.assertGreaterEqual(len(ends), 2)
        # The first pass: intro and loop at 120 BPM for 960 ticks, then 1440 ticks at 200 BPM.
        self.assertAlmostEqual(ends[0], 1.0 + 0.9, delta=0.05)

        audio = self.render_past_length(psf, info)
        origin = self.first_onset(audio)
        self.assertOnsetAt(audio, origin, 0.0, 48, "intro")
        self.assertOnsetAt(audio, origin, ends[0], 60, "second pass (first pass end)")
        self.assertOnsetAt(audio, origin, ends[1], 60, "third pass (second pass end)")
        self.assertFalse(aa.is_silent(audio, start=origin + info["length_s"] - 0.5, duration=0.5),
                         "an endless song still sounds at its length")


def sound_returns(audio, start, duration, threshold_db=aa.SILENCE_DB):
    """The first time in the span, after a silent stretch, at which the level reaches threshold_db again."""
    times, levels = aa.level_envelope_db(audio, hop=0.001, window=0.005, start=start, duration=duration)
    silent = False
    for when, level in zip(times, levels):
        if level < threshold_db - 10:
            silent = True
        elif silent and level >= threshold_db:
            return float(when)
    return None


class DemoSongTests(SongLengthTestCase):
    # The demo's last bar lets the tails ring out; the silence after them lasts about two seconds.
    TAIL_SILENCE = 3.0

    def test_demo_sounds_up_to_its_computed_length(self):
        files = {}
        for keyword in ("SEQ", "VH", "VB"):
            with open(os.path.join(DEMO, "demo." + keyword.lower()), "rb") as handle:
                files[keyword] = handle.read()
        psf, info = self.build("demo", files)
        length = info["length_s"]
        ends = info["pass_ends"]
        print("demo: computed length %.3f s, fade %.1f s, pass ends %s" % (length, info["fade_s"], ends),
              file=sys.stderr)
        # The demo repeats without end: two passes and a fade.
        self.assertEqual(info["fade_s"], 10)
        self.assertEqual(len(ends), 2)
        self.assertAlmostEqual(length, ends[1], delta=0.1)
        audio = self.render_past_length(psf, info)
        # The demo opens with a slow pad, so its first onset is no clock: the player's start delay (about
        # 17 ms) is small enough to count from the start of the render.
        begin = 0.0
        for number, end in enumerate(ends, 1):
            for second in range(int(begin), int(end - self.TAIL_SILENCE)):
                self.assertFalse(aa.is_silent(audio, start=second, duration=1.0),
                                 "pass %d is silent in second %d" % (number, second))
            back = sound_returns(audio, end - self.TAIL_SILENCE, self.TAIL_SILENCE + 1.0)
            self.assertIsNotNone(back, "the song starts again after pass %d" % number)
            print("%-40s model %7.3f s  render %7.3f s  %+6.3f s" % ("demo pass %d end" % number, end, back,
                                                                      back - end), file=sys.stderr)
            self.assertLess(abs(back - end), BOUNDARY_LIMIT, "pass %d ends at %.3f s" % (number, back))
            begin = end


if __name__ == "__main__":
    if not os.path.exists(render_psf.AUDACIOUS):
        print("skipped: %s not installed" % render_psf.AUDACIOUS)
        sys.exit(SKIPPED)
    unittest.main()
