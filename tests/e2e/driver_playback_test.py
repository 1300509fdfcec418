#!/usr/bin/python3
"""Playback of PSFs built by lfqutil with the built-in driver, rendered by a real PSF player.

    driver_playback_test.py [unittest arguments, e.g. PitchTests]

Needs lfqutil (environment LFQUTIL, else build/default/ui/lfqutil) and audacious. Every test
writes its song files, builds a PSF with `lfqutil MAKE ... OUT`, renders a few seconds with
tools/render_psf.py and measures the WAV with tools/audio_analysis.py. The player starts its
output about 17 ms after the program starts, so times are measured from the first note.
"""

import json
import os
import shutil
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import driver_fixtures as fx  # noqa: E402
from driver_fixtures import aa  # noqa: E402

# A sine of 56 samples per period plays 787.5 Hz at pitch 0x1000 (44.1 kHz).
BASE_PERIOD = 56
BASE_HZ = 44100.0 / BASE_PERIOD


class DriverTestCase(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="lfq-driver-")

    def tearDown(self):
        if os.environ.get("LFQ_KEEP_TEST_FILES"):
            print("kept", self.dir, file=sys.stderr)
        else:
            shutil.rmtree(self.dir, ignore_errors=True)

    def play(self, name, seconds, files=None, params=None):
        psf = fx.build_psf(self.dir, name, files, params)
        return fx.render(psf, seconds)

    def assertCents(self, hz, reference, limit, what):
        off = aa.cents(hz, reference)
        self.assertLess(abs(off), limit, "%s: %.3f Hz is %.2f cents from %.3f Hz" % (what, hz, off, reference))


def simple_bank(envelope=None, reverb=False, priority=64, fine=0, centre=60, period=BASE_PERIOD):
    """Program 0: one looped sine tone over all keys."""
    return fx.make_bank([fx.sine_sample(period)], {
        0: [fx.tone(1, centre=centre, fine=fine, reverb=reverb, priority=priority,
                    envelope=envelope or fx.adsr(release_shift=6))]})


class PitchTests(DriverTestCase):
    def test_centre_note_plays_the_sample_at_its_own_rate_and_intervals_are_exact(self):
        vh, vb = simple_bank()
        events = fx.note(0, 960, 60) + fx.note(960, 960, 72) + fx.note(1920, 960, 67) + fx.note(2880, 960, 48)
        audio = self.play("pitch", 5, {"SEQ": fx.make_seq(events, 480, 500000, end_tick=4800), "VH": vh, "VB": vb})
        centre = aa.dominant_frequency(audio, start=0.2, duration=0.7)
        octave = aa.dominant_frequency(audio, start=1.2, duration=0.7)
        fifth = aa.dominant_frequency(audio, start=2.2, duration=0.7)
        below = aa.dominant_frequency(audio, start=3.2, duration=0.7)
        self.assertCents(centre, BASE_HZ, 5, "centre note")
        self.assertCents(octave / centre, 2.0, 5, "octave ratio")
        self.assertCents(fifth / centre, 1.5, 5, "fifth ratio")
        self.assertCents(fifth / centre, 2 ** (7 / 12.0), 1, "equal-tempered fifth")
        self.assertCents(below / centre, 0.5, 5, "octave below")

    def test_fine_tune_and_pitch_bend_with_the_tones_range(self):
        # Fine tune 64 raises by half a semitone; a full bend up with range 2 by two semitones.
        vh, vb = fx.make_bank([fx.sine_sample(BASE_PERIOD)], {
            0: [fx.tone(1, centre=60, fine=64, bend=(12, 2), envelope=fx.adsr(release_shift=6))]})
        events = fx.note(0, 1920, 60) + [(960, [0xE0, 0x7F, 0x7F]), (1440, [0xE0, 0x00, 0x00])]
        audio = self.play("bend", 3, {"SEQ": fx.make_seq(events, 480, 500000, end_tick=2400), "VH": vh, "VB": vb})
        self.assertCents(aa.dominant_frequency(audio, start=0.1, duration=0.8), BASE_HZ * 2 ** (0.5 / 12), 5,
                         "fine tune 64")
        self.assertCents(aa.dominant_frequency(audio, start=1.1, duration=0.35), BASE_HZ * 2 ** (2.5 / 12), 5,
                         "bend up 2 semitones")
        self.assertCents(aa.dominant_frequency(audio, start=1.6, duration=0.35), BASE_HZ * 2 ** (-11.5 / 12), 5,
                         "bend down 12 semitones")


def note_times(audio):
    onsets = aa.onsets(audio)
    return onsets


class TimingTests(DriverTestCase):
    def check_onsets(self, audio, expected, limit_ms):
        found = aa.onsets(audio)
        self.assertGreaterEqual(len(found), len(expected), "onsets found: %s" % found[:8])
        self.assertLess(found[0], 0.05, "the first note sounds at once")
        origin = found[0] - expected[0]
        worst = 0.0
        for want in expected:
            got = min(found, key=lambda t: abs(t - origin - want))
            worst = max(worst, abs(got - origin - want))
        self.assertLess(worst * 1000, limit_ms, "worst onset error %.1f ms" % (worst * 1000))

    def test_quarter_notes_keep_time_over_thirty_seconds_and_a_tempo_change(self):
        # Default tick mode (60 services a second): notes on beats at 120 and 150 BPM.
        vh, vb = simple_bank(envelope=fx.adsr(release_shift=4))
        events, expected, tempos = [], [], [(0, 500000), (480 * 30, 400000)]
        for i in range(67):
            tick = 480 * i
            events += fx.note(tick, 120, 60 + 12 * (i % 2))
            expected.append(fx.seconds_of_ticks(tick, tempos, 480))
        events.append(fx.tempo_event(480 * 30, 400000))
        seq = fx.make_seq(events, 480, 500000, end_tick=480 * 70)
        audio = self.play("tempo", 32, {"SEQ": seq, "VH": vh, "VB": vb})
        self.assertAlmostEqual(expected[-1], 15.0 + 36 * 0.4)
        self.check_onsets(audio, expected, 10)

    def test_uneven_times_at_240_services_a_second(self):
        vh, vb = simple_bank(envelope=fx.adsr(release_shift=4))
        resolution, events, expected, ticks = 96, [], [], []
        gaps = [37, 50, 23, 71, 64, 29, 96, 41]
        tick = 0
        for i in range(140):
            ticks.append(tick)
            tick += gaps[i % len(gaps)]
        tempos = [(0, 437000), (ticks[70], 361000)]
        for i, t in enumerate(ticks):
            events += fx.note(t, 12, 60 + 7 * (i % 2))
            expected.append(fx.seconds_of_ticks(t, tempos, resolution))
        events.append(fx.tempo_event(ticks[70], 361000))
        seq = fx.make_seq(events, resolution, 437000, end_tick=tick)
        audio = self.play("ticks", int(expected[-1]) + 2, {"SEQ": seq, "VH": vh, "VB": vb},
                          {"Sequence Tick Mode": 2})
        self.assertGreater(expected[-1], 25)
        self.check_onsets(audio, expected, 10)

    def test_custom_tempo_replaces_the_songs_tempo(self):
        vh, vb = simple_bank(envelope=fx.adsr(release_shift=4))
        events = []
        for i in range(12):
            events += fx.note(480 * i, 120, 60)
        seq = fx.make_seq(events, 480, 500000, end_tick=480 * 12)
        audio = self.play("custom", 6, {"SEQ": seq, "VH": vh, "VB": vb},
                          {"Custom Tempo?": 1, "Custom Tempo Value": 150})
        self.check_onsets(audio, [0.4 * i for i in range(12)], 10)


class MixTests(DriverTestCase):
    def two_channel_song(self):
        # Channel 0 holds key 60 (787.5 Hz), channel 1 key 67 (1179.8 Hz).
        vh, vb = simple_bank()
        events = fx.note(0, 1920, 60, channel=0) + fx.note(0, 1920, 67, channel=1)
        return {"SEQ": fx.make_seq(events, 480, 500000, end_tick=2400), "VH": vh, "VB": vb}

    def test_a_muted_channel_is_silent_while_the_others_play(self):
        song = self.two_channel_song()
        both = self.play("both", 2, song)
        muted = self.play("muted", 2, song, {"Mute Channel 1": 1})
        low, high = (760, 815), (1150, 1210)
        self.assertGreater(aa.band_level_db(both, *high, start=0.2, duration=1.5), -40)
        self.assertGreater(aa.band_level_db(muted, *low, start=0.2, duration=1.5), -40)
        self.assertLess(aa.band_level_db(muted, *high, start=0.2, duration=1.5),
                        aa.band_level_db(both, *high, start=0.2, duration=1.5) - 40)
        self.assertAlmostEqual(aa.band_level_db(muted, *low, start=0.2, duration=1.5),
                               aa.band_level_db(both, *low, start=0.2, duration=1.5), delta=0.3)

    def test_half_master_volume_left_lowers_the_left_channel_by_six_decibels(self):
        song = self.two_channel_song()
        full = self.play("full", 2, song)
        half = self.play("half", 2, song, {"Master Volume (L)": 64})
        full_l, full_r = aa.rms_db(full, start=0.2, duration=1.5)
        half_l, half_r = aa.rms_db(half, start=0.2, duration=1.5)
        self.assertAlmostEqual(full_l - half_l, 6.0, delta=0.5)
        self.assertAlmostEqual(full_r - half_r, 0.0, delta=0.2)

    def test_reverb_mode_adds_a_decaying_tail_after_the_last_note(self):
        vh, vb = simple_bank(reverb=True, envelope=fx.adsr(release_shift=2))
        seq = fx.make_seq(fx.note(0, 240, 60), 480, 500000, end_tick=480 * 8)
        song = {"SEQ": seq, "VH": vh, "VB": vb}
        dry = self.play("dry", 4, song, {"Playback Amount": 1})
        wet = self.play("wet", 4, song, {"Playback Amount": 1, "Reverb Mode": 5})
        # The note ends at 0.25 s and its release is over within a few milliseconds.
        self.assertLess(aa.rms_db(dry, start=0.4, duration=1.0)[0], -90)
        early = aa.rms_db(wet, start=0.4, duration=0.3)[0]
        late = aa.rms_db(wet, start=1.6, duration=0.3)[0]
        self.assertGreater(early, -50)
        self.assertGreater(early - late, 6, "the tail decays: %.1f then %.1f dB" % (early, late))
        # Setting up the reverb work area does not hold back the first note.
        self.assertLess(aa.onsets(wet)[0], 0.05)

    def test_sequence_volume_and_mono_output(self):
        song = self.two_channel_song()
        panned = dict(song)
        vh, vb = fx.make_bank([fx.sine_sample(BASE_PERIOD)], {0: [fx.tone(1, pan=0, envelope=fx.adsr())]})
        panned.update(VH=vh, VB=vb)
        stereo = self.play("left", 2, panned)
        mono = self.play("mono", 2, panned, {"Channel Output": 1})
        self.assertLess(aa.rms_db(stereo, start=0.2, duration=1.5)[1], -90)
        mono_l, mono_r = aa.rms_db(mono, start=0.2, duration=1.5)
        self.assertAlmostEqual(mono_l, mono_r, delta=0.1)
        quiet = self.play("quiet", 2, song, {"Sequence Volume (L)": 55, "Sequence Volume (R)": 55})
        loud = self.play("loud", 2, song)
        # Levels follow the square of the volume: 55 against the default 110 is 12 dB.
        self.assertAlmostEqual(aa.rms_db(loud, start=0.2, duration=1.5)[0] -
                               aa.rms_db(quiet, start=0.2, duration=1.5)[0], 12.0, delta=0.7)

    def test_decrescendo_fades_to_its_volume(self):
        vh, vb = simple_bank()
        seq = fx.make_seq(fx.note(0, 480 * 12, 60), 480, 500000, end_tick=480 * 12)
        audio = self.play("fade", 5, {"SEQ": seq, "VH": vh, "VB": vb},
                          {"Custom Decrescendo?": 2, "De/Crescendo Volume": 1})
        start = aa.rms_db(audio, start=0.1, duration=0.2)[0]
        middle = aa.rms_db(audio, start=0.9, duration=0.2)[0]
        end = aa.rms_db(audio, start=3.0, duration=0.5)[0]
        self.assertGreater(start - middle, 2)
        self.assertGreater(start - end, 40)


class StructureTests(DriverTestCase):
    def test_sep_plays_the_sequence_named_by_sequence_id_1(self):
        vh, vb = simple_bank()
        records = [(fx.note(0, 1920, key), 480, 500000, 1920) for key in (60, 67, 72)]
        sep = fx.make_sep(records)
        second = self.play("sep2", 2, {"SEQ": sep, "VH": vh, "VB": vb}, {"Sequence ID #1": 2})
        self.assertCents(aa.dominant_frequency(second, start=0.2, duration=1.5), BASE_HZ * 2, 5, "sequence 2")
        first = self.play("sep1", 2, {"SEQ": sep, "VH": vh, "VB": vb}, {"Sequence ID #1": 1})
        self.assertCents(aa.dominant_frequency(first, start=0.2, duration=1.5), BASE_HZ * 2 ** (7 / 12.0), 5,
                         "sequence 1")
        together = self.play("sep02", 2, {"SEQ": sep, "VH": vh, "VB": vb},
                             {"Sequence Amount": 2, "Sequence ID #1": 0, "Sequence ID #2": 2})
        self.assertGreater(aa.band_level_db(together, 770, 805, start=0.2, duration=1.5), -40)
        self.assertGreater(aa.band_level_db(together, 1550, 1600, start=0.2, duration=1.5), -40)

    def test_vag_plays_at_its_header_rate(self):
        # 40 samples per period at 32,000 Hz: 800 Hz.
        vag = fx.make_vag(fx.sine_sample(40), 32000)
        audio = self.play("vag", 2, {"VAG": vag})
        self.assertCents(aa.dominant_frequency(audio, start=0.2, duration=1.5), 800.0, 5, "VAG at 32 kHz")
        moved = self.play("vag2", 2, {"VAG": fx.make_vag(fx.sine_sample(28), 22050)}, {"Playback Type": 2})
        self.assertCents(aa.dominant_frequency(moved, start=0.2, duration=1.5), 787.5, 5, "VAG at 22.05 kHz")

    def test_a_looped_song_plays_past_its_end_until_the_length_tag(self):
        vh, vb = simple_bank(envelope=fx.adsr(release_shift=4))
        events = [(0, [0xB0, 99, 20]), (0, [0xB0, 6, 127])]
        for i in range(4):
            events += fx.note(240 * i, 60, 60)
        events.append((960, [0xB0, 99, 30]))
        seq = fx.make_seq(events, 480, 500000, end_tick=960)
        audio = self.play("loop", 12, {"SEQ": seq, "VH": vh, "VB": vb})
        found = aa.onsets(audio)
        self.assertGreater(len(found), 40)
        self.assertGreater(found[-1], 11.4)
        self.assertFalse(aa.is_silent(audio, start=11.0, duration=1.0))

    def test_loop_counts_playback_amount_and_automatic_stop(self):
        vh, vb = simple_bank(envelope=fx.adsr(release_shift=4))
        # Two notes, the second inside a loop played three times: 1 + 3 notes, 2 s a pass.
        events = fx.note(0, 60, 60) + [(480, [0xB0, 99, 20]), (480, [0xB0, 6, 3])]
        events += fx.note(480, 60, 67) + [(960, [0xB0, 99, 30])]
        seq = fx.make_seq(events, 480, 500000, end_tick=960)
        audio = self.play("twice", 6, {"SEQ": seq, "VH": vh, "VB": vb},
                          {"Playback Amount": 2, "Automatic Stop": 1})
        found = aa.onsets(audio)
        self.assertEqual(len(found), 8, found)
        self.assertTrue(aa.is_silent(audio, start=4.2, duration=1.5))

    def test_nothing_placed_renders_silence(self):
        audio = self.play("empty", 3)
        self.assertAlmostEqual(audio.duration, 3.0, places=2)
        self.assertTrue(aa.is_silent(audio, threshold_db=-120))

    def test_malformed_song_data_plays_silence(self):
        vh, vb = simple_bank()
        good = fx.make_seq(fx.note(0, 480, 60), 480, 500000)
        sep = fx.make_sep([(fx.note(0, 480, 60), 480, 500000, None)] * 2)
        sep_second = 6 + 13 + (len(sep) - 6 - 26) // 2  # where the second record's number stands
        cases = {
            "magic": ({"SEQ": b"QQES" + good[4:], "VH": vh, "VB": vb}, {}),
            "header only": ({"SEQ": good[:10], "VH": vh, "VB": vb}, {}),
            "sep ids": ({"SEQ": sep[:sep_second] + b"\x00\x05" + sep[sep_second + 2:], "VH": vh, "VB": vb},
                        {"Sequence ID #1": 1}),
            "sep size": ({"SEQ": b"pQES\x00\x00\x00\x00\x01\xe0\x07\xa1\x20\x04\x02\xff\xff\xff\xff",
                          "VH": vh, "VB": vb}, {"Sequence ID #1": 1}),
            "vag": ({"SEQ": b"VAGp" + bytes(8) + b"\xff\xff\xff\xff" + bytes(64), "VH": vh, "VB": vb}, {}),
            # The bank address points at the sequence, which is no bank.
            "bank": ({"SEQ": good, "VH": vh, "VB": vb}, {"VH Address": 0x800A0000}),
            # Song data said to lie at the very end of RAM, or below the program (where nothing can be placed:
            # the PSF does not hold that RAM, so the driver finds whatever the player has there).
            "end of ram": ({"VH": vh, "VB": vb}, {"SEQ/SEP/VAG Address": 0x801FFFFC, "VB Address": 0x801FFF00}),
            "low": ({}, {"SEQ/SEP/VAG Address": 0x80001000, "VH Address": 0x80000800}),
        }
        for name, (files, params) in cases.items():
            audio = self.play(name.replace(" ", "_"), 2, files, params)
            self.assertTrue(aa.is_silent(audio, threshold_db=-90), name)

    def test_garbage_events_do_not_stop_the_player(self):
        vh, vb = simple_bank()
        noise = bytes((i * 7919 + 13) * 2654435761 % 251 for i in range(4000))
        seq = b"pQES\x00\x00\x00\x01\x01\xe0\x07\xa1\x20\x04\x02" + noise
        audio = self.play("garbage", 3, {"SEQ": seq, "VH": vh, "VB": vb})
        self.assertAlmostEqual(audio.duration, 3.0, places=2)


class DemoTests(DriverTestCase):
    def test_every_instrument_of_the_demo_is_audible_on_its_own(self):
        demo = os.path.join(fx.SOURCE, "assets", "demo")
        with open(os.path.join(demo, "demo.json"), encoding="utf-8") as handle:
            manifest = json.load(handle)
        files = {}
        for keyword in ("SEQ", "VH", "VB"):
            with open(os.path.join(demo, "demo." + keyword.lower()), "rb") as handle:
                files[keyword] = handle.read()
        channels = sorted(int(c) for c in manifest["seq"]["channels"])
        whole = self.play("demo", 16, files)
        self.assertGreater(aa.rms_db(whole, start=4, duration=8)[0], -40)
        self.assertGreater(max(aa.peak_db(whole)), -20)
        self.assertLess(max(aa.peak_db(whole)), -0.1, "no clipping")
        for channel in channels:
            first = min(n["seconds"] for n in manifest["seq"]["notes"] if n["channel"] == channel)
            self.assertLess(first, 14, "channel %d starts within the render" % channel)
            params = {"Mute Channel %d" % c: 1 for c in range(16) if c != channel}
            alone = self.play("demo%d" % channel, 16, files, params)
            self.assertGreater(max(aa.peak_db(alone, start=first)), -40, "channel %d" % channel)
            self.assertTrue(aa.is_silent(alone, start=0, duration=max(first - 0.05, 0.01), threshold_db=-70)
                            if first > 0.1 else True, "channel %d is silent before its first note" % channel)


class LoadTests(DriverTestCase):
    def test_markers_keep_time_under_a_dense_twenty_four_voice_song(self):
        # Twelve quiet channels retrigger two-layer notes every sixteenth at 180 BPM, so all 24
        # voices stay busy and every sixteenth 12 note offs and 24 voice starts (stealing
        # releasing voices) fall in one service, with bends and controllers between. Channel 15
        # marks every other sixteenth with a loud tone of top priority, after the others.
        envelope = fx.adsr(release_shift=10)
        vh, vb = fx.make_bank([fx.sine_sample(BASE_PERIOD), fx.sine_sample(8)], {
            0: [fx.tone(1, centre=60, volume=12, envelope=envelope),
                fx.tone(1, centre=48, volume=12, envelope=envelope)],
            1: [fx.tone(2, centre=60, priority=127, envelope=fx.adsr(release_shift=2))]})
        resolution, tempo, markers, expected = 96, 333333, [], []
        events = [(0, [0xCF, 1])] + fx.busy_channels_events(360)
        for i in range(90):
            markers += fx.note(48 * i, 12, 60, channel=15)
            expected.append(48 * i * tempo / 1e6 / resolution)
        seq = fx.make_seq(events + markers, resolution, tempo, end_tick=24 * 360)
        audio = self.play("dense", 16, {"SEQ": seq, "VH": vh, "VB": vb})
        found = aa.onsets(audio)
        origin = found[0]
        worst = max(min(abs(t - origin - want) for t in found) for want in expected)
        self.assertLess(worst * 1000, 10, "worst marker error %.1f ms" % (worst * 1000))
        drift = [min(found, key=lambda t: abs(t - origin - want)) - origin - want for want in expected]
        self.assertLess(abs(sum(drift[-10:]) / 10 - sum(drift[1:11]) / 10) * 1000, 2, "no drift")


if __name__ == "__main__":
    unittest.main()
