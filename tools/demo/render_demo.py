#!/usr/bin/python3
"""Builds a PSF of the demo song with lfqutil's batch mode and renders it with audacious.

  render_demo.py --lfqutil PATH [--seconds N] [--out WAV] [--psf PSF] [--expect-sound]

Runs `lfqutil MAKE SEQ demo.seq VH demo.vh VB demo.vb OUT demo.psf` in a temporary copy of
assets/demo, renders N seconds (default 8) with tools/render_psf.py and prints what
tools/audio_analysis.py measures. Exit status 1 when the build or the render fails, or, with
--expect-sound, when the render is silent.
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.normpath(os.path.join(HERE, "..", ".."))
sys.path.insert(0, os.path.join(SOURCE, "tools"))
import audio_analysis as aa  # noqa: E402
import render_psf  # noqa: E402


def main(argv):
    parser = argparse.ArgumentParser(description="Builds and renders the demo song.")
    parser.add_argument("--lfqutil", required=True, help="path of the lfqutil executable")
    parser.add_argument("--seconds", type=int, default=8)
    parser.add_argument("--out", help="keep the WAV here")
    parser.add_argument("--psf", help="keep the PSF here")
    parser.add_argument("--expect-sound", action="store_true", help="fail when the render is silent")
    args = parser.parse_args(argv)
    with tempfile.TemporaryDirectory(prefix="render_demo.") as temp:
        for name in ("demo.seq", "demo.vh", "demo.vb"):
            shutil.copy(os.path.join(SOURCE, "assets", "demo", name), temp)
        command = [os.path.abspath(args.lfqutil), "MAKE", "SEQ", "demo.seq", "VH", "demo.vh", "VB", "demo.vb",
                   "OUT", "demo.psf"]
        result = subprocess.run(command, cwd=temp, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, check=False)
        psf = os.path.join(temp, "demo.psf")
        if result.returncode != 0 or not os.path.exists(psf):
            print("render_demo: %s failed (exit %d): %s" % (" ".join(command), result.returncode,
                                                           result.stdout.decode("utf-8", "replace")))
            return 1
        if args.psf:
            shutil.copy(psf, args.psf)
        wav = args.out or os.path.join(temp, "demo.wav")
        try:
            render_psf.render_psf(psf, wav, seconds=args.seconds)
            audio = aa.read_wav(wav)
        except (render_psf.RenderError, aa.AnalysisError) as error:
            print("render_demo: %s" % error)
            return 1
        summary = aa.summarize(audio)
        print("render_demo: %.3f s, RMS %s dBFS, peak %s dBFS, %s"
              % (audio.duration, " ".join("%.1f" % v for v in summary["rms_db"]),
                 " ".join("%.1f" % v for v in summary["peak_db"]),
                 "silent" if summary["silent"] else "%d onsets, first at %s s" % (
                     len(summary["onsets"]), "%.3f" % summary["onsets"][0] if summary["onsets"] else "-")))
        if abs(audio.duration - args.seconds) > 0.05:
            print("render_demo: the render lasts %.3f s, not %d s" % (audio.duration, args.seconds))
            return 1
        if args.expect_sound and summary["silent"]:
            print("render_demo: the render is silent")
            return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
