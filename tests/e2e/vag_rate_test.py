#!/usr/bin/python3
"""VAG files extracted by `lfqutil --convert` sound at the pitch their tone sounds at.

    vag_rate_test.py [unittest arguments]

Each VAG is decoded by ffmpeg at the rate its header gives and its dominant frequency measured;
a PSF playing the sample's tone at its centre note (and, for a fine-tuned bank, a VAG-mode PSF
of the extracted file) is rendered by audacious and measured the same way. The two must agree
within 10 cents. Needs lfqutil (environment LFQUTIL), ffmpeg and audacious; exits 77 (skipped)
when one of the players is missing.
"""

import json
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import driver_fixtures as fx  # noqa: E402
from driver_fixtures import aa, render_psf  # noqa: E402

FFMPEG = "/usr/bin/ffmpeg"
SKIPPED = 77
LIMIT_CENTS = 10.0
# ffmpeg's VAG reader starts 16 bytes early: the zero header bytes 48-63 come out as one block.
LEADING_SAMPLES = fx.BLOCK
DEMO = os.path.join(fx.SOURCE, "assets", "demo")


def decode_vag(vag_path):
    """The VAG decoded by ffmpeg, without the leading block of header bytes."""
    wav = os.path.splitext(vag_path)[0] + ".ffmpeg.wav"
    result = subprocess.run([FFMPEG, "-nostdin", "-v", "error", "-y", "-f", "vag", "-i", vag_path, "-c:a",
                             "pcm_s16le", wav], capture_output=True, text=True)
    if result.returncode != 0:
        raise AssertionError("ffmpeg cannot decode %s: %s" % (vag_path, result.stderr.strip()))
    audio = aa.read_wav(wav)
    return aa.Audio(audio.samples[LEADING_SAMPLES:], audio.rate)


def vag_rate(vag_path):
    with open(vag_path, "rb") as handle:
        header = handle.read(20)
    return int.from_bytes(header[16:20], "big")


def convert(directory, name, vh, vb):
    """Writes name.vab and runs `lfqutil --convert` on it; the VAG paths by sample index."""
    vab = os.path.join(directory, name + ".vab")
    with open(vab, "wb") as handle:
        handle.write(vh + vb)
    result = subprocess.run([fx.lfqutil_path(), "--convert", vab], capture_output=True, text=True)
    if result.returncode != 0:
        raise AssertionError("lfqutil --convert failed (%d): %s" % (result.returncode, result.stderr.strip()))
    return lambda index: os.path.join(directory, "%s%02d.vag" % (name, index))


def centre_note_song(program, centre):
    """Program change, then the centre note held for two seconds (120 BPM, 480 ticks a quarter)."""
    events = [(0, [0xC0, program])] + fx.note(0, 1920, centre)
    return fx.make_seq(events, 480, 500000, end_tick=2400)


class VagRateTestCase(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="lfq-vag-")

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def play(self, name, files, params=None):
        return fx.render(fx.build_psf(self.dir, name, files, params), 3)

    def assertSamePitch(self, what, decoded_hz, played_hz):
        off = aa.cents(decoded_hz, played_hz)
        print("%-28s ffmpeg %9.3f Hz  player %9.3f Hz  %+6.2f cents" % (what, decoded_hz, played_hz, off),
              file=sys.stderr)
        self.assertLess(abs(off), LIMIT_CENTS, what)


class DemoBankTests(VagRateTestCase):
    def test_demo_vags_decode_at_the_pitch_the_player_plays_their_tones(self):
        with open(os.path.join(DEMO, "demo.json"), encoding="utf-8") as handle:
            manifest = json.load(handle)
        banks = {}
        for part in ("vh", "vb"):
            with open(os.path.join(DEMO, "demo." + part), "rb") as handle:
                banks[part] = handle.read()
        vag_path = convert(self.dir, "demo", banks["vh"], banks["vb"])
        checked = 0
        for sample in manifest["samples"]:
            if sample["kind"] not in ("square", "sine", "pluck"):
                continue  # noise has no pitch; the kick's loop is a single period after a sweep
            program, tone = next((p, t) for p in manifest["programs"] for t in p["tones"]
                                 if t["sample"] == sample["number"])
            vag = vag_path(sample["number"] - 1)
            # The looped part holds whole periods of the sample's note.
            decoded = decode_vag(vag)
            loop = aa.Audio(decoded.samples[sample["loop_start_sample"]:sample["samples"]], decoded.rate)
            decoded_hz = aa.dominant_frequency(loop)
            audio = self.play("demo-%s" % sample["name"], {"SEQ": centre_note_song(program["program"], tone["centre"]),
                                                           "VH": banks["vh"], "VB": banks["vb"]})
            attack = tone["envelope_1s_note"]["attack"]
            played_hz = aa.dominant_frequency(audio, start=max(0.3, attack + 0.1), duration=0.9)
            self.assertSamePitch("demo %s (%d Hz)" % (sample["name"], vag_rate(vag)), decoded_hz, played_hz)
            checked += 1
        self.assertEqual(checked, 3)


class FineTunedBankTests(VagRateTestCase):
    PERIOD = 56  # 787.5 Hz at 44.1 kHz

    def test_fine_tuned_samples_keep_their_pitch_through_extraction_and_vag_mode(self):
        # Two long looped sines (100 periods), each played by a tone of its own fine tuning.
        fines = (64, 127)
        samples = [fx.sine_sample(self.PERIOD, loop_blocks=200) for _ in fines]
        vh, vb = fx.make_bank(samples, {p: [fx.tone(p + 1, centre=60, fine=fine)] for p, fine in enumerate(fines)})
        vag_path = convert(self.dir, "tuned", vh, vb)
        for index, fine in enumerate(fines):
            vag = vag_path(index)
            decoded_hz = aa.dominant_frequency(decode_vag(vag), duration=200 * fx.BLOCK / vag_rate(vag))
            tone_audio = self.play("tone%d" % fine, {"SEQ": centre_note_song(index, 60), "VH": vh, "VB": vb})
            tone_hz = aa.dominant_frequency(tone_audio, start=0.3, duration=1.5)
            with open(vag, "rb") as handle:
                vag_bytes = handle.read()
            vag_audio = self.play("vag%d" % fine, {"VAG": vag_bytes, "VH": vh, "VB": vb}, {"Playback Type": 2})
            vag_hz = aa.dominant_frequency(vag_audio, start=0.3, duration=1.5)
            what = "fine %d (%d Hz)" % (fine, vag_rate(vag))
            self.assertSamePitch(what + " tone", decoded_hz, tone_hz)
            self.assertSamePitch(what + " VAG mode", decoded_hz, vag_hz)


if __name__ == "__main__":
    missing = [tool for tool in (FFMPEG, render_psf.AUDACIOUS) if not os.path.exists(tool)]
    if missing:
        print("skipped: %s not installed" % ", ".join(missing))
        sys.exit(SKIPPED)
    unittest.main()
