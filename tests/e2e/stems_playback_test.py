#!/usr/bin/python3
"""Each stem STEMS writes sounds only its own channel, in audacious and in libupse.

    stems_playback_test.py [unittest arguments]

A song plays a long note on channel 0 (787.5 Hz) and one on channel 2 (1113.7 Hz) with one sine
program; `lfqutil MAKE ... STEMS` has to write exactly song_ch00.psf and song_ch02.psf. Each
stem is rendered by both players; the band of its own note has to be loud and the other band
at least 40 dB below it. libupse is driven through its library (ctypes) in a child process with
a timeout, as it can crash on files it dislikes. Needs lfqutil (environment LFQUTIL); exits 77
(skipped) when neither player is installed.
"""

import os
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import driver_fixtures as fx  # noqa: E402
from driver_fixtures import aa  # noqa: E402

SKIPPED = 77
LIBUPSE = "/usr/lib/libupse.so.2"
BASE_PERIOD = 56  # samples per sine period: 787.5 Hz at the tone's centre note 60
KEY_HZ = {60: 44100.0 / BASE_PERIOD, 66: 44100.0 / BASE_PERIOD * 2 ** 0.5}  # a tritone: no shared harmonics
CHANNEL_KEYS = {0: 60, 2: 66}
RENDER_SECONDS = 3
SEPARATION_DB = 40.0

# Runs in a child: renders argv[1] for argv[3] seconds into argv[2] as raw 16-bit stereo frames.
UPSE_CHILD = r"""
import ctypes, sys
upse = ctypes.CDLL(sys.argv[4])
libc = ctypes.CDLL(None)
class IoFuncs(ctypes.Structure):
    _fields_ = [("open", ctypes.c_void_p), ("read", ctypes.c_void_p), ("seek", ctypes.c_void_p),
                ("close", ctypes.c_void_p)]
io = IoFuncs(*(ctypes.cast(getattr(libc, name), ctypes.c_void_p).value
               for name in ("fopen", "fread", "fseek", "fclose")))
upse.upse_load.restype = ctypes.c_void_p
if not upse.upse_load(sys.argv[1].encode(), ctypes.byref(io)):
    sys.exit("libupse refused the file")
wanted = int(float(sys.argv[3]) * 44100) * 4
chunks = []
got = [0]
@ctypes.CFUNCTYPE(None, ctypes.POINTER(ctypes.c_ubyte), ctypes.c_long, ctypes.c_void_p)
def collect(buffer, length, user):
    if got[0] < wanted:
        chunks.append(ctypes.string_at(buffer, length))
        got[0] += length
    if got[0] >= wanted:
        upse.upse_stop()
upse.upse_set_audio_callback(collect, None)
upse.upse_execute()
with open(sys.argv[2], "wb") as out:
    out.write(b"".join(chunks)[:wanted])
"""


def render_upse(psf, seconds):
    """The first `seconds` of libupse's playback of psf."""
    import numpy as np
    raw = os.path.splitext(psf)[0] + ".upse.raw"
    result = subprocess.run([sys.executable, "-c", UPSE_CHILD, psf, raw, str(seconds), LIBUPSE],
                            capture_output=True, text=True, timeout=60)
    if result.returncode != 0 or not os.path.exists(raw):
        raise fx.FixtureError("libupse failed (%d): %s" % (result.returncode, result.stderr.strip()))
    with open(raw, "rb") as handle:
        values = np.frombuffer(handle.read(), dtype="<i2").astype(np.float64) / 32768.0
    return aa.Audio(values.reshape(-1, 2), 44100)


def have_audacious():
    return shutil.which("audacious") is not None


def have_libupse():
    return os.path.exists(LIBUPSE)


class StemsPlaybackTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.mkdtemp(prefix="lfq-stems-")
        bank = fx.make_bank([fx.sine_sample(BASE_PERIOD)], {0: [fx.tone(1)]})
        events = []
        for channel, key in CHANNEL_KEYS.items():
            events += fx.note(0, 480 * 6, key, channel=channel)
        files = {"song.seq": fx.make_seq(events), "song.vh": bank[0], "song.vb": bank[1]}
        for name, data in files.items():
            with open(os.path.join(cls.dir, name), "wb") as handle:
                handle.write(data)
        result = subprocess.run([fx.lfqutil_path(), "MAKE", "SEQ", "song.seq", "VH", "song.vh", "VB", "song.vb",
                                 "TAG", "length", "0:%02d" % (RENDER_SECONDS + 1), "TAG", "fade", "0",
                                 "STEMS", "stem"], cwd=cls.dir, capture_output=True, text=True)
        if result.returncode != 0:
            raise fx.FixtureError("STEMS failed: " + result.stderr)

    @classmethod
    def tearDownClass(cls):
        if os.environ.get("LFQ_KEEP_TEST_FILES"):
            print("kept", cls.dir, file=sys.stderr)
        else:
            shutil.rmtree(cls.dir, ignore_errors=True)

    def test_one_stem_per_channel_with_notes(self):
        stems = sorted(name for name in os.listdir(self.dir) if name.startswith("stem_") and name.endswith(".psf"))
        self.assertEqual(stems, ["stem_ch00.psf", "stem_ch02.psf"])

    def check_separation(self, render, player):
        for channel, key in CHANNEL_KEYS.items():
            audio = render(os.path.join(self.dir, "stem_ch%02d.psf" % channel), RENDER_SECONDS)
            levels = {k: aa.band_level_db(audio, hz * 0.97, hz * 1.03, start=0.5, duration=2.0)
                      for k, hz in KEY_HZ.items()}
            other = [k for k in KEY_HZ if k != key][0]
            with self.subTest(player=player, channel=channel):
                self.assertGreater(levels[key], -40.0, "the stem's own note sounds: %s" % levels)
                self.assertGreater(levels[key] - levels[other], SEPARATION_DB,
                                   "the other channel is muted: %s" % levels)

    @unittest.skipUnless(have_audacious(), "audacious is not installed")
    def test_each_stem_sounds_only_its_channel_in_audacious(self):
        self.check_separation(fx.render, "audacious")

    @unittest.skipUnless(have_libupse(), "libupse is not installed")
    def test_each_stem_sounds_only_its_channel_in_libupse(self):
        self.check_separation(render_upse, "libupse")


if __name__ == "__main__":
    if not have_audacious() and not have_libupse():
        print("neither audacious nor libupse is installed", file=sys.stderr)
        sys.exit(SKIPPED)
    unittest.main()
