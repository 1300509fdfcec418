#!/usr/bin/python3
"""Renders a PSF to a WAV file with a real PSF player: audacious, run headless.

  render_psf.py IN.psf OUT.wav [--seconds N] [--timeout S] [--keep-temp]
  render_psf.py --self-test

The player runs with private HOME/XDG directories in a temporary directory, its only
enabled output being the file writer. It plays a copy of the PSF whose tag section is
replaced by length=M:SS and fade=0 for the requested seconds, so the render has a known
length whatever the file's own tags say. The result is 44.1 kHz, 16-bit stereo.

Exit status 0 with the WAV written; 1 with a message on stderr when the player wrote no WAV
(a refused file, a crash, a timeout) or the input is not a PSF.
"""

import argparse
import glob
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib

PSF_HEADER_SIZE = 16
PSF1_VERSION = 0x01
TAG_MARKER = b"[TAG]"
AUDACIOUS = "/usr/bin/audacious"

EXE_HEADER_SIZE = 2048
EXE_LOAD_ADDRESS = 0x80010000


class RenderError(Exception):
    """The PSF could not be rendered; the text says why."""


# ----------------------------------------------------------------------------------------
# PSF container


def psf_tag_offset(data):
    """Offset where the tag section of PSF bytes starts (16 + reserved + compressed size)."""
    if len(data) < PSF_HEADER_SIZE or data[:3] != b"PSF":
        raise RenderError("not a PSF file (no \"PSF\" signature)")
    reserved_size, program_size = struct.unpack_from("<II", data, 4)
    end = PSF_HEADER_SIZE + reserved_size + program_size
    if end > len(data):
        raise RenderError("PSF sizes run past the end of the file (%d > %d bytes)" % (end, len(data)))
    return end


def length_tag_text(seconds):
    """The tag text that makes the player stop after whole seconds: length=M:SS, fade=0."""
    seconds = int(seconds)
    if seconds < 1:
        raise RenderError("render length must be at least 1 second")
    return "length=%d:%02d\nfade=0\n" % (seconds // 60, seconds % 60)


def library_tag_text(data):
    """The _lib, _lib2, ... lines of a PSF's tag section: a minipsf plays only with its libraries."""
    section = bytes(data[psf_tag_offset(data):])
    if not section.startswith(TAG_MARKER):
        return ""
    lines = section[len(TAG_MARKER):].decode("utf-8", "replace").split("\n")
    return "".join(line.strip() + "\n" for line in lines if line.strip().lower().startswith("_lib"))


def retag_psf(data, seconds):
    """PSF bytes with the tag section replaced by a length/fade tag for the given seconds (library
    links kept)."""
    end = psf_tag_offset(data)
    return bytes(data[:end]) + TAG_MARKER + (library_tag_text(data) + length_tag_text(seconds)).encode("utf-8")


def build_psf(program, tag_text=None, reserved=b""):
    """A PSF1 file: header, zlib-compressed program (a PS-X EXE image), optional tags."""
    compressed = zlib.compress(bytes(program), 9)
    out = bytearray(b"PSF" + bytes([PSF1_VERSION]))
    out += struct.pack("<III", len(reserved), len(compressed), zlib.crc32(compressed) & 0xFFFFFFFF)
    out += reserved + compressed
    if tag_text is not None:
        out += TAG_MARKER + tag_text.encode("utf-8")
    return bytes(out)


def make_ps_exe(text, pc=EXE_LOAD_ADDRESS, stack=0x801FFFF0, region="North America"):
    """A PS-X EXE: 2048-byte header, then the text loaded at 0x80010000 (padded to 2048)."""
    text = bytes(text)
    text += bytes(-len(text) % EXE_HEADER_SIZE)
    header = bytearray(EXE_HEADER_SIZE)
    header[0:8] = b"PS-X EXE"
    struct.pack_into("<I", header, 0x10, pc)
    struct.pack_into("<I", header, 0x18, EXE_LOAD_ADDRESS)
    struct.pack_into("<I", header, 0x1C, len(text))
    struct.pack_into("<I", header, 0x30, stack)
    marker = ("Sony Computer Entertainment Inc. for %s area" % region).encode("ascii")
    header[0x4C:0x4C + len(marker)] = marker
    return bytes(header) + text


# ----------------------------------------------------------------------------------------
# The player


def _player_environment(root):
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS")}
    dirs = {}
    for name, var in (("home", "HOME"), ("config", "XDG_CONFIG_HOME"), ("data", "XDG_DATA_HOME"),
                      ("cache", "XDG_CACHE_HOME"), ("runtime", "XDG_RUNTIME_DIR")):
        path = os.path.join(root, name)
        os.makedirs(path, mode=0o700, exist_ok=True)
        os.chmod(path, 0o700)
        env[var] = path
        dirs[name] = path
    return env, dirs


def _enable_filewriter_only(registry_path):
    """Enables the file writer output and disables every other output and general plugin."""
    with open(registry_path, encoding="utf-8", errors="surrogateescape") as handle:
        lines = handle.read().split("\n")
    kind = path = None
    found = False
    for index, line in enumerate(lines):
        words = line.split(" ", 1)
        if len(words) == 2 and words[0] in ("output", "general", "input", "effect", "iface", "playlist",
                                            "transport", "visualization"):
            kind, path = words
            if kind == "output" and path.endswith("filewriter.so"):
                found = True
        elif line.startswith("enabled ") and kind in ("output", "general"):
            wanted = 1 if (kind == "output" and path.endswith("filewriter.so")) else 0
            lines[index] = "enabled %d" % wanted
    if not found:
        raise RenderError("the audacious file writer plugin is not installed (package audacious-plugins)")
    with open(registry_path, "w", encoding="utf-8", errors="surrogateescape") as handle:
        handle.write("\n".join(lines))


def _write_config(config_path, wav_dir):
    text = ("[audacious]\n"
            "output_bit_depth=16\n"
            "software_volume_control=FALSE\n"
            "enable_replay_gain=FALSE\n"
            "soft_clipping=FALSE\n"
            "resume_playback_on_startup=FALSE\n"
            "\n"
            "[filewriter]\n"
            "file_path=file://%s\n"
            "fileext=0\n"
            "filenamefromtags=FALSE\n"
            "use_suffix=FALSE\n"
            "save_original=FALSE\n"
            "prependnumber=FALSE\n" % wav_dir)
    with open(config_path, "w", encoding="utf-8") as handle:
        handle.write(text)


def _run_player(env, target, timeout, log):
    command = ["timeout", "--kill-after=5", str(int(timeout)), AUDACIOUS, "-H", "-q", target]
    result = subprocess.run(command, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT, check=False)
    log.append("$ %s\n%s[exit %d]\n" % (" ".join(command), result.stdout.decode("utf-8", "replace"),
                                        result.returncode))
    return result.returncode


def render_psf(psf_path, wav_path, seconds=10, timeout=None, keep_temp=False):
    """Renders psf_path for `seconds` whole seconds into wav_path; returns wav_path.

    Raises RenderError when the input is not a PSF or the player wrote no WAV. The WAV is
    44.1 kHz 16-bit stereo. timeout (seconds) bounds each player run; default 60 + 2 x seconds.
    """
    if not os.path.exists(AUDACIOUS):
        raise RenderError("%s is missing (package audacious)" % AUDACIOUS)
    try:
        with open(psf_path, "rb") as handle:
            data = handle.read()
    except OSError as error:
        raise RenderError("cannot read %s: %s" % (psf_path, error.strerror)) from error
    tagged = retag_psf(data, seconds)
    if timeout is None:
        timeout = 60 + 2 * int(seconds)
    root = tempfile.mkdtemp(prefix="render_psf.")
    beside = None
    log = []
    try:
        env, dirs = _player_environment(root)
        wav_dir = os.path.join(root, "out")
        os.makedirs(wav_dir)
        # First run on a missing file: creates the plugin registry.
        _run_player(env, os.path.join(root, "missing.psf"), 30, [])
        registry = os.path.join(dirs["config"], "audacious", "plugin-registry")
        if not os.path.exists(registry):
            raise RenderError("audacious created no plugin registry in %s" % dirs["config"])
        _enable_filewriter_only(registry)
        _write_config(os.path.join(dirs["config"], "audacious", "config"), wav_dir)
        if library_tag_text(data):
            # A minipsf finds its libraries relative to itself: its copy lies beside it.
            handle, target = tempfile.mkstemp(prefix="render_psf.", suffix=".minipsf",
                                              dir=os.path.dirname(os.path.abspath(psf_path)))
            os.close(handle)
            beside = target
        else:
            target = os.path.join(root, "render.psf")
        with open(target, "wb") as handle:
            handle.write(tagged)
        status = _run_player(env, target, timeout, log)
        wavs = sorted(glob.glob(os.path.join(wav_dir, "*.wav")) + glob.glob(os.path.join(wav_dir, "*.WAV")))
        if not wavs or os.path.getsize(wavs[0]) <= 44:
            reason = "timed out after %d s" % timeout if status in (124, 137) else "exit status %d" % status
            tail = "\n".join("".join(log).splitlines()[-40:])
            raise RenderError("the player wrote no WAV for %s (%s); it refuses files with a bad CRC or "
                              "stream; player log:\n%s" % (psf_path, reason, tail))
        out_dir = os.path.dirname(os.path.abspath(wav_path))
        os.makedirs(out_dir, exist_ok=True)
        shutil.move(wavs[0], wav_path)
        return wav_path
    finally:
        if beside:
            os.remove(beside)
        if keep_temp:
            print("render_psf: kept %s" % root, file=sys.stderr)
        else:
            shutil.rmtree(root, ignore_errors=True)


# ----------------------------------------------------------------------------------------
# PSFs made here: one that keys a single SPU voice on given ADPCM data (to hear a sample as
# the player's SPU plays it, with no driver involved), and an idle one.


def _mips_voice_program(data_address, data_size, pitch, adsr1, adsr2):
    """MIPS code: uploads data_size bytes at data_address to SPU RAM 0x1000 by DMA, keys voice 0."""
    code = []
    t0, t1, t2 = 8, 9, 10

    def lui(rt, imm):
        code.append(0x3C000000 | (rt << 16) | (imm & 0xFFFF))

    def ori(rt, rs, imm):
        code.append(0x34000000 | (rs << 21) | (rt << 16) | (imm & 0xFFFF))

    def addiu(rt, rs, imm):
        code.append(0x24000000 | (rs << 21) | (rt << 16) | (imm & 0xFFFF))

    def sh(rt, offset, rs):
        code.append(0xA4000000 | (rs << 21) | (rt << 16) | (offset & 0xFFFF))

    def sw(rt, offset, rs):
        code.append(0xAC000000 | (rs << 21) | (rt << 16) | (offset & 0xFFFF))

    def bne(rs, rt, words_back):
        code.append(0x14000000 | (rs << 21) | (rt << 16) | ((-words_back) & 0xFFFF))

    def store16(address, value):
        lui(t1, address >> 16)
        ori(t2, 0, value)
        sh(t2, address & 0xFFFF, t1)

    def store32(address, value):
        lui(t1, address >> 16)
        lui(t2, value >> 16)
        ori(t2, t2, value & 0xFFFF)
        sw(t2, address & 0xFFFF, t1)

    def delay(count):
        lui(t0, count >> 16)
        ori(t0, t0, count & 0xFFFF)
        addiu(t0, t0, -1)          # loop:
        bne(t0, 0, 2)              # back to the addiu
        code.append(0)             # delay slot

    code.append(0x40806000)        # mtc0 $zero, SR: interrupts off
    code += [0, 0]
    store32(0x1F801074, 0)         # I_MASK
    store16(0x1F801DAA, 0x0000)    # SPUCNT off
    delay(2000)
    store16(0x1F801DAC, 0x0004)    # transfer control
    store16(0x1F801DAA, 0xC000)
    delay(2000)
    store16(0x1F801DA6, 0x1000 // 8)   # transfer address
    store16(0x1F801DAA, 0xC020)    # DMA write
    delay(2000)
    store32(0x1F8010F0, 0x07654321 | 0x00080000)  # DPCR: reset value plus channel 4 enable
    store32(0x1F8010C0, data_address)
    blocks = (data_size + 63) // 64
    store32(0x1F8010C4, (blocks << 16) | 16)
    store32(0x1F8010C8, 0x01000201)
    delay(20000)
    store16(0x1F801DAA, 0xC000)
    store16(0x1F801D80, 0x3FFF)    # main volume
    store16(0x1F801D82, 0x3FFF)
    store16(0x1F801C00, 0x3FFF)    # voice 0 volume
    store16(0x1F801C02, 0x3FFF)
    store16(0x1F801C04, pitch)     # 0x1000: 44.1 kHz
    store16(0x1F801C06, 0x1000 // 8)
    store16(0x1F801C08, adsr1)
    store16(0x1F801C0A, adsr2)
    store16(0x1F801D88, 0x0001)    # key on voice 0
    store16(0x1F801D8A, 0x0000)
    here = EXE_LOAD_ADDRESS + 4 * len(code)
    code.append(0x08000000 | ((here >> 2) & 0x03FFFFFF))  # j here
    code.append(0)
    return b"".join(struct.pack("<I", word) for word in code)


def make_voice_psf(adpcm_data, seconds=None, pitch=0x1000, adsr1=0x00FF, adsr2=0x1FC0):
    """A PSF whose program plays ADPCM data on one SPU voice and then idles.

    The data goes to SPU RAM 0x1000 by DMA; voice 0 is keyed on at `pitch` (0x1000 = 44.1 kHz)
    with the envelope words adsr1/adsr2 (default: instant attack, hold at full level) and is
    never keyed off. seconds: optional length tag. The data must end with a loop-end flag.
    """
    if not 0 < pitch <= 0x3FFF:
        raise RenderError("pitch 0x%X outside 1..0x3FFF" % pitch)
    data_offset = 0x1000
    code = _mips_voice_program(EXE_LOAD_ADDRESS + data_offset, len(adpcm_data), pitch, adsr1, adsr2)
    if len(code) > data_offset:
        raise RenderError("voice program too long")
    text = code + bytes(data_offset - len(code)) + bytes(adpcm_data) + bytes(64)
    return build_psf(make_ps_exe(text), length_tag_text(seconds) if seconds else None)


def _tone_psf(seconds):
    sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "demo"))
    import math
    import adpcm  # our encoder
    period = 56
    samples = [int(round(20000 * math.sin(2 * math.pi * i / period))) for i in range(period)]
    return make_voice_psf(adpcm.encode(samples, loop_start=0), seconds), 44100.0 / period


def _idle_psf():
    # j 0x80010000 ; nop  -- the program spins at its entry point forever.
    text = struct.pack("<II", 0x08000000 | ((EXE_LOAD_ADDRESS >> 2) & 0x03FFFFFF), 0)
    return build_psf(make_ps_exe(text), "length=9:59\nfade=10\ntitle=idle\n")


def _self_test():
    sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
    import audio_analysis as aa
    failures = []

    def check(condition, text):
        if not condition:
            failures.append(text)
        print("%s: %s" % ("ok  " if condition else "FAIL", text))

    # The tag section is replaced, whatever followed the program.
    psf = _idle_psf()
    retagged = retag_psf(psf, 75)
    check(retagged.endswith(b"[TAG]length=1:15\nfade=0\n"), "retag writes length=1:15 and fade=0")
    check(retag_psf(psf[:psf_tag_offset(psf)], 3).endswith(b"[TAG]length=0:03\nfade=0\n"),
          "retag adds a tag section to an untagged PSF")
    for bad, what in ((b"XYZ\x01" + bytes(12), "signature"), (psf[:20], "truncated program")):
        try:
            retag_psf(bad, 3)
            check(False, "a PSF with a bad %s is refused" % what)
        except RenderError:
            check(True, "a PSF with a bad %s is refused" % what)

    with tempfile.TemporaryDirectory(prefix="render_psf_test.") as temp:
        def render_bytes(name, data, seconds, timeout=None):
            path = os.path.join(temp, name + ".psf")
            with open(path, "wb") as handle:
                handle.write(data)
            wav = os.path.join(temp, name + ".wav")
            render_psf(path, wav, seconds=seconds, timeout=timeout)
            return aa.read_wav(wav)

        try:
            audio = render_bytes("idle", psf, 3)
            check(audio.rate == 44100 and audio.channels == 2, "idle render is 44.1 kHz stereo")
            check(abs(audio.duration - 3.0) < 0.1, "idle render lasts 3 s (%.3f s)" % audio.duration)
            check(aa.is_silent(audio), "idle render is silent (peak %.1f dBFS)" % max(aa.peak_db(audio)))
        except RenderError as error:
            check(False, "idle PSF renders: %s" % error)

        tone, expected = _tone_psf(4)
        try:
            audio = render_bytes("tone", tone, 2)
            check(abs(audio.duration - 2.0) < 0.1, "tone render lasts 2 s (%.3f s)" % audio.duration)
            check(not aa.is_silent(audio), "tone render is not silent (RMS %s dBFS)"
                  % ", ".join("%.1f" % v for v in aa.rms_db(audio)))
            frequency = aa.dominant_frequency(audio, start=0.5, duration=1.0)
            cents = aa.cents(frequency, expected)
            check(abs(cents) < 5.0, "tone is %.2f Hz, %.2f cents from %.2f Hz" % (frequency, cents, expected))
        except RenderError as error:
            check(False, "tone PSF renders: %s" % error)

        # A PSF whose CRC does not match is refused by the player: no WAV, a clear error.
        broken = bytearray(psf)
        broken[12] ^= 0xFF
        try:
            render_bytes("broken", bytes(broken), 2, timeout=30)
            check(False, "a PSF with a bad CRC gives an error")
        except RenderError as error:
            check("wrote no WAV" in str(error), "a PSF with a bad CRC gives an error")
            check(not os.path.exists(os.path.join(temp, "broken.wav")), "no WAV is left for a refused PSF")

    print("render_psf self-test: %s" % ("FAILED" if failures else "ok"))
    return 1 if failures else 0


def main(argv):
    parser = argparse.ArgumentParser(description="Renders a PSF to WAV with audacious, headless.")
    parser.add_argument("psf", nargs="?", help="input PSF")
    parser.add_argument("wav", nargs="?", help="output WAV")
    parser.add_argument("--seconds", type=int, default=10, help="length to render (whole seconds, default 10)")
    parser.add_argument("--timeout", type=int, default=None, help="bound on the player run in seconds")
    parser.add_argument("--keep-temp", action="store_true", help="keep the player's temporary directory")
    parser.add_argument("--self-test", action="store_true", help="render PSFs made here and check them")
    args = parser.parse_args(argv)
    if args.self_test:
        return _self_test()
    if not args.psf or not args.wav:
        parser.error("IN.psf and OUT.wav are required")
    try:
        render_psf(args.psf, args.wav, seconds=args.seconds, timeout=args.timeout, keep_temp=args.keep_temp)
    except RenderError as error:
        print("render_psf: %s" % error, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
