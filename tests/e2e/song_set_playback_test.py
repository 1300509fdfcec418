#!/usr/bin/python3
"""A song set built with LIB and MINI plays in real PSF players like the full PSFs of its songs.

    song_set_playback_test.py [unittest arguments]

Two songs on one bank are built twice with lfqutil: as two full PSFs (MAKE ... OUT), and as a set
(MAKE VH VB LIB bank.psflib SEQ a.seq MINI a.minipsf SEQ b.seq MINI b.minipsf). Each minipsf has to
be under 4 KiB, and in each player (audacious through tools/render_psf.py, libupse through the
upse_render helper named by UPSE_RENDER) it has to sound its notes at the same onsets and pitches as
the full PSF of its song. Needs lfqutil (environment LFQUTIL); exits 77 (skipped) without either player.
"""

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
SECONDS = 4
ONSET_LIMIT = 0.005  # seconds between the same note in the two renders
BASE_PERIOD = 56  # a sine of 56 samples plays 787.5 Hz at the centre note 60
SONGS = {
    "a": [(0, 60), (480, 64), (960, 67), (1440, 72)],
    "b": [(0, 72), (240, 69), (720, 65), (1200, 62), (1680, 57)],
}


def key_hz(key):
    return 44100.0 / BASE_PERIOD * 2 ** ((key - 60) / 12.0)


def upse_render():
    path = os.environ.get("UPSE_RENDER", "")
    return path if path and os.path.exists(path) else None


def render_upse(psf, seconds):
    wav = os.path.splitext(psf)[0] + ".upse.wav"
    # libupse never frees what upse_load allocates: in a sanitizer build the leak check would fail the render.
    env = dict(os.environ, ASAN_OPTIONS="detect_leaks=0")
    subprocess.run([upse_render(), psf, wav, str(seconds)], check=True, timeout=120, capture_output=True, env=env)
    return aa.read_wav(wav)


class SongSetTests(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.mkdtemp(prefix="lfq-set-")
        vh, vb = fx.make_bank([fx.sine_sample(BASE_PERIOD)], {0: [fx.tone(1, envelope=fx.adsr(release_shift=4))]})
        files = {"bank.vh": vh, "bank.vb": vb}
        for name, notes in SONGS.items():
            events = []
            for tick, key in notes:
                events += fx.note(tick, 200, key)
            files[name + ".seq"] = fx.make_seq(events, 480, 500000, end_tick=2400)
        for name, data in files.items():
            with open(os.path.join(cls.dir, name), "wb") as handle:
                handle.write(data)
        run = lambda args: subprocess.run([fx.lfqutil_path()] + args, cwd=cls.dir, capture_output=True, text=True)
        for name in SONGS:
            result = run(["MAKE", "SEQ", name + ".seq", "VH", "bank.vh", "VB", "bank.vb", "TAG", "length", "auto",
                          "OUT", name + ".psf"])
            assert result.returncode == 0, result.stderr
        os.makedirs(os.path.join(cls.dir, "set"))
        result = run(["MAKE", "VH", "bank.vh", "VB", "bank.vb", "LIB", "set/bank.psflib", "TAG", "length", "auto",
                      "SEQ", "a.seq", "MINI", "set/a.minipsf", "SEQ", "b.seq", "MINI", "set/b.minipsf"])
        assert result.returncode == 0, result.stderr

    @classmethod
    def tearDownClass(cls):
        if os.environ.get("LFQ_KEEP_TEST_FILES"):
            print("kept", cls.dir, file=sys.stderr)
        else:
            shutil.rmtree(cls.dir, ignore_errors=True)

    def path(self, name):
        return os.path.join(self.dir, name)

    def test_minipsfs_are_small(self):
        for name in SONGS:
            size = os.path.getsize(self.path("set/%s.minipsf" % name))
            print("%s.minipsf: %d bytes, %s.psf: %d bytes" % (name, size, name,
                                                              os.path.getsize(self.path(name + ".psf"))),
                  file=sys.stderr)
            self.assertLess(size, 4096)

    def assertPlaysAlike(self, full, mini, notes, player):
        """The same onsets, each at the same pitch, which is the pitch of one of the song's keys."""
        full_onsets = aa.onsets(full)
        mini_onsets = aa.onsets(mini)
        self.assertGreaterEqual(len(full_onsets), len(notes) - 1, "%s: full PSF onsets %s" % (player, full_onsets))
        self.assertEqual(len(mini_onsets), len(full_onsets), "%s: minipsf onsets %s" % (player, mini_onsets))
        for at_full, at_mini in zip(full_onsets, mini_onsets):
            self.assertLess(abs(at_full - at_mini), ONSET_LIMIT, "%s: note at %.3f s" % (player, at_full))
            hz_full = aa.dominant_frequency(full, start=at_full + 0.03, duration=0.1)
            hz_mini = aa.dominant_frequency(mini, start=at_mini + 0.03, duration=0.1)
            self.assertLess(abs(aa.cents(hz_mini, hz_full)), 5, "%s: note at %.3f s" % (player, at_full))
            nearest = min(abs(aa.cents(hz_mini, key_hz(key))) for _, key in notes)
            self.assertLess(nearest, 50, "%s: %.1f Hz at %.3f s is no key of the song" % (player, hz_mini, at_mini))

    @unittest.skipUnless(os.path.exists(render_psf.AUDACIOUS), "audacious not installed")
    def test_set_plays_like_full_psfs_in_audacious(self):
        for name, notes in SONGS.items():
            full = fx.render(self.path(name + ".psf"), SECONDS)
            mini = fx.render(self.path("set/%s.minipsf" % name), SECONDS)
            self.assertPlaysAlike(full, mini, notes, "audacious " + name)

    @unittest.skipUnless(upse_render(), "libupse helper not built (UPSE_RENDER)")
    def test_set_plays_like_full_psfs_in_libupse(self):
        for name, notes in SONGS.items():
            full = render_upse(self.path(name + ".psf"), SECONDS)
            mini = render_upse(self.path("set/%s.minipsf" % name), SECONDS)
            self.assertPlaysAlike(full, mini, notes, "libupse " + name)


if __name__ == "__main__":
    if not os.path.exists(render_psf.AUDACIOUS) and not upse_render():
        print("skipped: neither audacious nor the libupse helper is available")
        sys.exit(SKIPPED)
    unittest.main()
