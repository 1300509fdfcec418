#!/usr/bin/python3
"""Measures what a WAV file holds: levels, pitch, note onsets, silence and decay tails.

  audio_analysis.py FILE.wav [--start S] [--duration D] [--json]
  audio_analysis.py --self-test

Levels are in dB relative to full scale (a full-scale square is 0 dBFS, a full-scale sine
has RMS -3.01 dBFS and peak 0 dBFS). Times are in seconds from the start of the file.
"""

import argparse
import json
import math
import os
import struct
import sys
import tempfile

import numpy as np

SILENCE_DB = -60.0
MIN_DB = -200.0


class AnalysisError(Exception):
    """The WAV could not be read or a measurement was impossible."""


class Audio:
    """Samples of a WAV as floats in -1..1, shape (frames, channels)."""

    def __init__(self, samples, rate):
        samples = np.asarray(samples, dtype=np.float64)
        if samples.ndim == 1:
            samples = samples[:, np.newaxis]
        self.samples = samples
        self.rate = int(rate)

    @property
    def channels(self):
        return self.samples.shape[1]

    @property
    def frames(self):
        return self.samples.shape[0]

    @property
    def duration(self):
        return self.frames / float(self.rate)

    def mono(self):
        """The mean of all channels, one dimension."""
        return np.mean(self.samples, axis=1)

    def span(self, start=0.0, duration=None):
        """A new Audio holding start .. start + duration seconds (clipped to the file)."""
        first = max(0, int(round(start * self.rate)))
        last = self.frames if duration is None else min(self.frames, first + int(round(duration * self.rate)))
        return Audio(self.samples[first:max(first, last)], self.rate)


# ----------------------------------------------------------------------------------------
# WAV input and output


def read_wav(path):
    """Reads a RIFF WAVE file of integer PCM (8/16/24/32-bit) or 32/64-bit float."""
    try:
        with open(path, "rb") as handle:
            data = handle.read()
    except OSError as error:
        raise AnalysisError("cannot read %s: %s" % (path, error.strerror)) from error
    if len(data) < 12 or data[0:4] != b"RIFF" or data[8:12] != b"WAVE":
        raise AnalysisError("%s is not a RIFF WAVE file" % path)
    fmt = None
    pcm = None
    pos = 12
    while pos + 8 <= len(data):
        chunk_id = data[pos:pos + 4]
        size = struct.unpack_from("<I", data, pos + 4)[0]
        body = data[pos + 8:min(len(data), pos + 8 + size)]  # a writer may leave a size too large
        if chunk_id == b"fmt ":
            if len(body) < 16:
                raise AnalysisError("%s: short fmt chunk" % path)
            fmt = struct.unpack_from("<HHIIHH", body, 0)
            if fmt[0] == 0xFFFE and len(body) >= 26:
                fmt = (struct.unpack_from("<H", body, 24)[0],) + fmt[1:]
        elif chunk_id == b"data":
            pcm = body
            break
        pos += 8 + size + (size & 1)
    if fmt is None or pcm is None:
        raise AnalysisError("%s: no fmt or data chunk" % path)
    tag, channels, rate, _, _, bits = fmt
    if channels < 1:
        raise AnalysisError("%s: no channels" % path)
    width = bits // 8
    usable = len(pcm) - len(pcm) % (width * channels)
    pcm = pcm[:usable]
    if tag == 1 and bits == 8:
        values = (np.frombuffer(pcm, dtype=np.uint8).astype(np.float64) - 128.0) / 128.0
    elif tag == 1 and bits == 16:
        values = np.frombuffer(pcm, dtype="<i2").astype(np.float64) / 32768.0
    elif tag == 1 and bits == 24:
        raw = np.frombuffer(pcm, dtype=np.uint8).reshape(-1, 3).astype(np.int32)
        ints = raw[:, 0] | (raw[:, 1] << 8) | (raw[:, 2] << 16)
        ints = np.where(ints >= 1 << 23, ints - (1 << 24), ints)
        values = ints.astype(np.float64) / float(1 << 23)
    elif tag == 1 and bits == 32:
        values = np.frombuffer(pcm, dtype="<i4").astype(np.float64) / float(1 << 31)
    elif tag == 3 and bits in (32, 64):
        values = np.frombuffer(pcm, dtype="<f4" if bits == 32 else "<f8").astype(np.float64)
    else:
        raise AnalysisError("%s: unsupported sample format (tag %d, %d bits)" % (path, tag, bits))
    return Audio(values.reshape(-1, channels), rate)


def write_wav(path, samples, rate=44100):
    """Writes floats in -1..1 (shape (frames,) or (frames, channels)) as 16-bit PCM."""
    samples = np.asarray(samples, dtype=np.float64)
    if samples.ndim == 1:
        samples = samples[:, np.newaxis]
    channels = samples.shape[1]
    ints = np.clip(np.round(samples * 32767.0), -32768, 32767).astype("<i2")
    body = ints.tobytes()
    header = b"RIFF" + struct.pack("<I", 36 + len(body)) + b"WAVE"
    header += b"fmt " + struct.pack("<IHHIIHH", 16, 1, channels, rate, rate * channels * 2, channels * 2, 16)
    header += b"data" + struct.pack("<I", len(body))
    with open(path, "wb") as handle:
        handle.write(header + body)


# ----------------------------------------------------------------------------------------
# Levels


def to_db(value):
    """Amplitude ratio to dB; 0 gives -200."""
    return 20.0 * math.log10(value) if value > 0 else MIN_DB


def rms_db(audio, start=0.0, duration=None):
    """RMS level of each channel in dBFS, as a list."""
    part = audio.span(start, duration).samples
    if part.shape[0] == 0:
        return [MIN_DB] * audio.channels
    return [to_db(float(np.sqrt(np.mean(part[:, c] ** 2)))) for c in range(part.shape[1])]


def peak_db(audio, start=0.0, duration=None):
    """Peak level of each channel in dBFS, as a list."""
    part = audio.span(start, duration).samples
    if part.shape[0] == 0:
        return [MIN_DB] * audio.channels
    return [to_db(float(np.max(np.abs(part[:, c])))) for c in range(part.shape[1])]


def is_silent(audio, threshold_db=SILENCE_DB, start=0.0, duration=None):
    """True when no channel's peak reaches threshold_db (default -60 dBFS)."""
    return max(peak_db(audio, start, duration)) < threshold_db


def band_level_db(audio, low_hz, high_hz, start=0.0, duration=None):
    """Energy between low_hz and high_hz of the channel mean, in dB relative to full scale RMS."""
    signal = audio.span(start, duration).mono()
    if len(signal) == 0:
        return MIN_DB
    spectrum = np.fft.rfft(signal)
    freqs = np.fft.rfftfreq(len(signal), 1.0 / audio.rate)
    band = (freqs >= low_hz) & (freqs <= high_hz)
    # Parseval: the mean square of the band's part of the signal.
    power = 2.0 * np.sum(np.abs(spectrum[band]) ** 2) / (len(signal) ** 2)
    return 10.0 * math.log10(power) if power > 0 else MIN_DB


# ----------------------------------------------------------------------------------------
# Pitch


def cents(frequency, reference):
    """Distance from reference to frequency in cents (1/100 semitone)."""
    return 1200.0 * math.log2(frequency / reference)


def note_frequency(note):
    """Equal-tempered frequency of a MIDI note number (69 = 440 Hz)."""
    return 440.0 * 2.0 ** ((note - 69) / 12.0)


def dominant_frequency(audio, start=0.0, duration=None, min_hz=20.0, max_hz=None, channel=None):
    """Frequency of the strongest spectral peak, in Hz.

    Hann window, zero padding to at least 4x, parabolic interpolation of the log magnitude
    around the peak bin. On a steady 1 s tone the error is far below 1 cent from about 40 Hz up.
    channel: None for the mean of all channels, else a channel index.
    """
    part = audio.span(start, duration)
    signal = part.mono() if channel is None else part.samples[:, channel]
    count = len(signal)
    if count < 64:
        raise AnalysisError("too few samples for a frequency measurement")
    signal = signal - np.mean(signal)
    window = np.hanning(count)
    size = 1 << int(math.ceil(math.log2(count * 4)))
    magnitude = np.abs(np.fft.rfft(signal * window, size))
    freqs = np.arange(len(magnitude)) * part.rate / float(size)
    if max_hz is None:
        max_hz = part.rate / 2.0
    allowed = (freqs >= min_hz) & (freqs <= max_hz)
    if not np.any(allowed) or np.max(magnitude[allowed]) <= 0:
        raise AnalysisError("no spectral peak between %g and %g Hz" % (min_hz, max_hz))
    candidates = np.where(allowed, magnitude, 0.0)
    peak = int(np.argmax(candidates))
    offset = 0.0
    if 0 < peak < len(magnitude) - 1:
        a, b, c = (math.log(max(magnitude[i], 1e-300)) for i in (peak - 1, peak, peak + 1))
        denominator = a - 2.0 * b + c
        if denominator < 0:
            offset = 0.5 * (a - c) / denominator
    return (peak + offset) * part.rate / float(size)


# ----------------------------------------------------------------------------------------
# Onsets and decay


def level_envelope_db(audio, hop=0.001, window=0.002, start=0.0, duration=None):
    """(times, levels): RMS of the channel mean in dBFS over `window` every `hop` seconds."""
    part = audio.span(start, duration)
    signal = part.mono()
    hop_n = max(1, int(round(hop * part.rate)))
    win_n = max(1, int(round(window * part.rate)))
    if len(signal) < win_n:
        return np.zeros(0), np.zeros(0)
    squares = np.concatenate(([0.0], np.cumsum(signal ** 2)))
    starts = np.arange(0, len(signal) - win_n + 1, hop_n)
    mean_square = (squares[starts + win_n] - squares[starts]) / win_n
    levels = 10.0 * np.log10(np.maximum(mean_square, 1e-20))
    return start + starts / float(part.rate), levels


def onsets(audio, rise_db=9.0, floor_db=-50.0, min_gap=0.03, start=0.0, duration=None):
    """Times in seconds where the level jumps: note starts.

    The level is the RMS over 10 ms windows, one every millisecond, stamped with the window's
    end (10 ms hold a half period of a 50 Hz tone, so a steady low note does not ripple). A
    window whose level is rise_db above the mean level of the 15 ms before it began, and at
    least floor_db, marks an onset; the time reported is where that rise began, so a note
    that starts after silence or over a quieter sound is placed within a few milliseconds.
    Onsets closer than min_gap to the previous one are merged into it.
    """
    hop = 0.001
    window = 0.010
    times, levels = level_envelope_db(audio, hop=hop, window=window, start=start, duration=duration)
    times = times + window
    found = []
    win = int(round(window / hop))
    lookback = 15
    last = -1e9
    k = 1
    while k < len(levels):
        ref_hi = k - win
        ref_lo = max(0, ref_hi - lookback)
        if ref_hi > ref_lo:
            reference = float(np.mean(levels[ref_lo:ref_hi]))
        else:
            reference = float(levels[0]) if k > 0 else MIN_DB
        reference = max(reference, floor_db - rise_db)
        if levels[k] >= floor_db and levels[k] - reference >= rise_db:
            # Walk back, at most one window, to where the rise began.
            j = k
            while j > max(0, k - win - 1) and levels[j] - levels[j - 1] > 0.05:
                j -= 1
            when = float(times[j])
            if when - last >= min_gap:
                found.append(when)
                last = when
            # Skip the rest of the rise before looking again.
            while k + 1 < len(levels) and levels[k + 1] > levels[k]:
                k += 1
            k += 1
            continue
        k += 1
    return found


class Decay:
    """How the sound fades after the last onset.

    onset: time of the last onset; peak_time, peak_db: the loudest point after it (RMS over
    10 ms windows every 5 ms, stamped with their centres);
    times_to_drop: {dB drop: seconds from the onset until the level stays below peak - drop};
    slope_db_per_s: fitted fall rate between peak - 5 dB and peak - 35 dB (None if too short);
    t60: 60 / -slope when the slope is negative; end_time: where the RMS level falls below the
    silence threshold for good (None if it never does).
    """

    def __init__(self, **fields):
        self.__dict__.update(fields)

    def as_dict(self):
        return dict(self.__dict__)


def decay_after_last_onset(audio, drops=(10.0, 20.0, 40.0), silence_db=SILENCE_DB, onset_list=None):
    """Measures the decay tail after the last onset (e.g. a reverb or release tail)."""
    if onset_list is None:
        onset_list = onsets(audio)
    onset = onset_list[-1] if onset_list else 0.0
    times, levels = level_envelope_db(audio, hop=0.005, window=0.01, start=onset)
    times = times + 0.005  # stamp each window with its centre
    if len(levels) == 0:
        raise AnalysisError("nothing after the last onset")
    peak_index = int(np.argmax(levels))
    peak_level = float(levels[peak_index])
    after_times = times[peak_index:]
    after = levels[peak_index:]
    times_to_drop = {}
    for drop in drops:
        above = np.nonzero(after >= peak_level - drop)[0]
        last_above = int(above[-1]) if len(above) else 0
        if last_above + 1 < len(after):
            times_to_drop[drop] = float(after_times[last_above + 1] - onset)
        else:
            times_to_drop[drop] = None
    fit = (after <= peak_level - 5.0) & (after >= max(peak_level - 35.0, silence_db))
    slope = None
    if np.count_nonzero(fit) >= 4:
        first_fit = int(np.argmax(fit))
        last_fit = len(fit) - 1 - int(np.argmax(fit[::-1]))
        xs = after_times[first_fit:last_fit + 1]
        ys = after[first_fit:last_fit + 1]
        slope = float(np.polyfit(xs, ys, 1)[0])
    loud = np.nonzero(after >= silence_db)[0]
    end_time = None
    if len(loud) and int(loud[-1]) + 1 < len(after):
        end_time = float(after_times[int(loud[-1]) + 1])
    return Decay(onset=onset, peak_time=float(times[peak_index]), peak_db=peak_level,
                 times_to_drop=times_to_drop, slope_db_per_s=slope,
                 t60=(60.0 / -slope) if slope is not None and slope < 0 else None, end_time=end_time)


# ----------------------------------------------------------------------------------------
# Summary and command line


def summarize(audio, start=0.0, duration=None):
    """A dict of every measurement over one span of the file."""
    part = audio.span(start, duration)
    summary = {"rate": audio.rate, "channels": audio.channels, "duration": part.duration,
               "rms_db": rms_db(part), "peak_db": peak_db(part), "silent": is_silent(part)}
    if not summary["silent"]:
        try:
            summary["dominant_hz"] = dominant_frequency(part)
        except AnalysisError:
            summary["dominant_hz"] = None
        found = onsets(part)
        summary["onsets"] = [start + t for t in found]
        try:
            summary["decay"] = decay_after_last_onset(part, onset_list=found).as_dict()
        except AnalysisError:
            summary["decay"] = None
    return summary


def _self_test():
    rate = 44100
    failures = []
    rng = np.random.default_rng(3)

    def check(condition, text):
        if not condition:
            failures.append(text)
        print("%s: %s" % ("ok  " if condition else "FAIL", text))

    def tone(freq, seconds, amplitude=0.5, harmonics=(1.0,)):
        t = np.arange(int(seconds * rate)) / float(rate)
        return sum(amplitude * h * np.sin(2 * math.pi * freq * (i + 1) * t + 0.3 * i) for i, h in enumerate(harmonics))

    with tempfile.TemporaryDirectory(prefix="audio_analysis_test.") as temp:
        def roundtrip(samples, name):
            path = os.path.join(temp, name)
            write_wav(path, samples, rate)
            return read_wav(path)

        # Levels: a full-scale sine left, half of it right; through a 16-bit file.
        sine = tone(1000.0, 1.0, amplitude=1.0)
        audio = roundtrip(np.stack([sine, 0.5 * sine], axis=1), "levels.wav")
        rms = rms_db(audio)
        peak = peak_db(audio)
        check(audio.channels == 2 and audio.rate == rate and audio.frames == rate, "stereo file reads back")
        check(abs(rms[0] + 3.01) < 0.02 and abs(rms[1] + 9.03) < 0.02, "RMS per channel %.3f %.3f dB" % tuple(rms))
        check(abs(peak[0]) < 0.01 and abs(peak[1] + 6.02) < 0.02, "peak per channel %.3f %.3f dB" % tuple(peak))

        # Frequency: steady 1 s tones, pure, with harmonics, and in noise.
        worst = 0.0
        for freq in (41.2, 55.0, 110.3, 261.6256, 440.0, 787.5, 1234.5, 4186.0, 9000.0):
            for harmonics in ((1.0,), (1.0, 0.5, 0.33, 0.25)):
                signal = tone(freq, 1.0, 0.4, harmonics) + rng.normal(0.0, 0.01, rate)
                measured = dominant_frequency(roundtrip(signal, "f.wav"))
                worst = max(worst, abs(cents(measured, freq)))
        check(worst < 0.5, "dominant frequency within 0.5 cent on 1 s tones (worst %.4f cent)" % worst)
        short = dominant_frequency(Audio(tone(330.0, 0.2), rate))
        check(abs(cents(short, 330.0)) < 3.0, "a 0.2 s tone within 3 cents (%.3f)" % cents(short, 330.0))
        span = np.concatenate([tone(220.0, 1.0), tone(660.0, 1.0)])
        measured = dominant_frequency(Audio(span, rate), start=1.0, duration=1.0)
        check(abs(cents(measured, 660.0)) < 0.5, "frequency of a chosen span")

        # Onsets: notes with fast and medium attacks after silence, repeated notes on a
        # sustained tone (short release dip), a louder note over a quieter one, and noise hits.
        t = np.arange(int(4.0 * rate)) / float(rate)
        signal = np.zeros_like(t)
        expected = []

        def add_note(at, length, freq, amp, attack, release=0.01, noise=False):
            n0 = int(at * rate)
            n = int(length * rate)
            env = np.minimum(1.0, np.arange(n) / max(1.0, attack * rate))
            env *= np.minimum(1.0, (n - np.arange(n)) / max(1.0, release * rate))
            wave = rng.uniform(-1, 1, n) if noise else np.sin(2 * math.pi * freq * np.arange(n) / rate)
            signal[n0:n0 + n] += amp * env * wave
            expected.append(at)

        add_note(0.250, 0.30, 220.0, 0.5, 0.001)
        add_note(0.700, 0.25, 330.0, 0.3, 0.005)
        add_note(1.250, 0.10, 49.0, 0.5, 0.001)                  # a low note: 10 ms windows hold it steady
        add_note(0.990, 0.25, 330.0, 0.3, 0.002)                 # same pitch after a short gap
        add_note(1.400, 0.40, 82.0, 0.05, 0.001)
        add_note(1.600, 0.30, 440.0, 0.6, 0.003)                 # over the quiet note
        add_note(2.200, 0.05, 0.0, 0.3, 0.0005, noise=True)
        add_note(2.450, 0.05, 0.0, 0.3, 0.0005, noise=True)
        add_note(3.000, 0.60, 523.25, 0.4, 0.010)
        found = onsets(roundtrip(signal, "onsets.wav"))
        expected.sort()
        matched = len(found) == len(expected)
        error = max(abs(a - b) for a, b in zip(found, expected)) if matched else None
        check(matched and error < 0.005, "onsets found %s, expected %s (worst error %s)"
              % (["%.4f" % v for v in found], expected, "%.4f s" % error if error is not None else "-"))

        # Silence: digital zero, -70 dBFS noise, and a quiet tone above the threshold.
        check(is_silent(roundtrip(np.zeros(rate), "zero.wav")), "digital silence is silent")
        check(is_silent(Audio(rng.normal(0.0, 10 ** (-75 / 20.0), rate), rate)), "noise at -75 dBFS is silent")
        check(not is_silent(Audio(tone(440.0, 0.5, 10 ** (-40 / 20.0)), rate)), "a -40 dBFS tone is not silent")
        check(is_silent(Audio(tone(440.0, 0.5, 10 ** (-40 / 20.0)), rate), threshold_db=-30.0),
              "the threshold is adjustable")

        # Decay: a burst followed by an exponential tail falling 30 dB per second (T60 2 s).
        burst = np.concatenate([np.zeros(int(0.5 * rate)), tone(300.0, 3.5, 0.5)])
        envelope = np.ones_like(burst)
        tail = np.arange(len(burst)) / float(rate) - 0.6
        envelope[tail > 0] = 10 ** (-30.0 * tail[tail > 0] / 20.0)
        decaying = burst * envelope + rng.normal(0.0, 1e-5, len(burst))
        decay = decay_after_last_onset(roundtrip(decaying, "decay.wav"))
        check(abs(decay.onset - 0.5) < 0.005, "decay: onset at %.4f s" % decay.onset)
        check(decay.slope_db_per_s is not None and abs(decay.slope_db_per_s + 30.0) < 1.5,
              "decay: slope %s dB/s, expected -30" % decay.slope_db_per_s)
        check(decay.t60 is not None and abs(decay.t60 - 2.0) < 0.1, "decay: T60 %s s, expected 2" % decay.t60)
        drop20 = decay.times_to_drop[20.0]
        check(drop20 is not None and abs(drop20 - (0.1 + 20.0 / 30.0)) < 0.01,
              "decay: 20 dB below the peak after %s s" % drop20)
        check(decay.end_time is not None and abs(decay.end_time - (0.6 + 51.0 / 30.0)) < 0.05,
              "decay: RMS below -60 dBFS for good at %s s" % decay.end_time)

        # Unreadable and malformed input give an AnalysisError.
        bad = os.path.join(temp, "bad.wav")
        with open(bad, "wb") as handle:
            handle.write(b"RIFF\x04\x00\x00\x00WAVE")
        for path in (bad, os.path.join(temp, "missing.wav")):
            try:
                read_wav(path)
                check(False, "%s is refused" % os.path.basename(path))
            except AnalysisError:
                check(True, "%s is refused" % os.path.basename(path))

    print("audio_analysis self-test: %s" % ("FAILED" if failures else "ok"))
    return 1 if failures else 0


def main(argv):
    parser = argparse.ArgumentParser(description="Measures levels, pitch, onsets and decay of a WAV file.")
    parser.add_argument("wav", nargs="?")
    parser.add_argument("--start", type=float, default=0.0, help="start of the span to measure (s)")
    parser.add_argument("--duration", type=float, default=None, help="length of the span (s)")
    parser.add_argument("--json", action="store_true", help="print the measurements as JSON")
    parser.add_argument("--self-test", action="store_true", help="check the measurements on synthetic WAVs")
    args = parser.parse_args(argv)
    if args.self_test:
        return _self_test()
    if not args.wav:
        parser.error("a WAV file is required")
    try:
        summary = summarize(read_wav(args.wav), args.start, args.duration)
    except AnalysisError as error:
        print("audio_analysis: %s" % error, file=sys.stderr)
        return 1
    if args.json:
        print(json.dumps(summary, indent=1, sort_keys=True))
        return 0
    print("%d Hz, %d channels, %.3f s" % (summary["rate"], summary["channels"], summary["duration"]))
    print("RMS  %s dBFS" % " ".join("%.2f" % v for v in summary["rms_db"]))
    print("peak %s dBFS" % " ".join("%.2f" % v for v in summary["peak_db"]))
    if summary["silent"]:
        print("silent (peak below %.0f dBFS)" % SILENCE_DB)
        return 0
    if summary.get("dominant_hz"):
        print("dominant %.3f Hz" % summary["dominant_hz"])
    print("onsets %s" % " ".join("%.3f" % v for v in summary["onsets"]))
    decay = summary.get("decay")
    if decay:
        print("decay after %.3f s: peak %.1f dBFS at %.3f s, slope %s dB/s, T60 %s s, silent from %s s"
              % (decay["onset"], decay["peak_db"], decay["peak_time"],
                 "%.1f" % decay["slope_db_per_s"] if decay["slope_db_per_s"] is not None else "-",
                 "%.2f" % decay["t60"] if decay["t60"] is not None else "-",
                 "%.3f" % decay["end_time"] if decay["end_time"] is not None else "-"))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
