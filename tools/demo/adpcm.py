#!/usr/bin/python3
"""PlayStation SPU ADPCM ("PS-ADPCM") encoder and decoder.

A sample is a run of 16-byte blocks. Each block carries 28 samples:

  byte 0      bits 0-3 shift (0..12), bits 4-6 prediction filter (0..4)
  byte 1      flags: bit 0 loop end, bit 1 repeat, bit 2 loop start
  bytes 2-15  28 signed 4-bit residuals, low nibble first

A residual r decodes to (r << 12) >> shift, plus the filter's prediction from
the two previous outputs, (old * K0 + older * K1 + 32) >> 6, clamped to 16 bits.

Flags written by this encoder:
  looped sample   blocks before the loop 0x00, first loop block 0x06 (start +
                  repeat), blocks inside the loop 0x02, last block 0x03 (end +
                  repeat: jump back to the loop start)
  one-shot sample every block 0x00, last block 0x01 (end without repeat: the
                  voice is released and falls silent after this block)

Run with --self-test to check that decode(encode(x)) stays close to x.
"""

import argparse
import math
import sys

import numpy as np

BLOCK_BYTES = 16
BLOCK_SAMPLES = 28
FILTERS = ((0, 0), (60, 0), (115, -52), (98, -55), (122, -60))
MAX_SHIFT = 12

FLAG_LOOP_END = 0x01
FLAG_REPEAT = 0x02
FLAG_LOOP_START = 0x04


def _clamp16(value):
    if value > 32767:
        return 32767
    if value < -32768:
        return -32768
    return value


def _encode_block_with(samples, filt, shift, old, older):
    """Quantises one block with a fixed filter and shift.

    Returns (squared error, nibbles, new old, new older). The prediction uses the
    decoded history, so rounding errors do not accumulate.
    """
    k0, k1 = FILTERS[filt]
    scale = 1 << shift
    error = 0
    nibbles = []
    for x in samples:
        prediction = (old * k0 + older * k1 + 32) >> 6
        residual = x - prediction
        # residual ~ (r << 12) >> shift  =>  r ~ residual * 2^shift / 4096
        r = int(math.floor(residual * scale / 4096.0 + 0.5))
        if r > 7:
            r = 7
        elif r < -8:
            r = -8
        decoded = _clamp16(((r << 12) >> shift) + prediction)
        diff = decoded - x
        error += diff * diff
        nibbles.append(r & 0x0F)
        older, old = old, decoded
    return error, nibbles, old, older


def _encode_block(samples, old, older):
    """Finds the filter and shift with the least squared error for one block."""
    best = None
    for filt in range(len(FILTERS)):
        for shift in range(MAX_SHIFT + 1):
            trial = _encode_block_with(samples, filt, shift, old, older)
            if best is None or trial[0] < best[0][0]:
                best = (trial, filt, shift)
                if trial[0] == 0:
                    break
        if best[0][0] == 0:
            break
    (error, nibbles, new_old, new_older), filt, shift = best
    return filt, shift, nibbles, new_old, new_older, error


def _block_flags(index, count, loop_start_block):
    if loop_start_block is None:
        return FLAG_LOOP_END if index == count - 1 else 0
    if index == count - 1:
        return FLAG_LOOP_END | FLAG_REPEAT
    if index == loop_start_block:
        return FLAG_LOOP_START | FLAG_REPEAT
    if index > loop_start_block:
        return FLAG_REPEAT
    return 0


def encode(samples, loop_start=None):
    """Encodes 16-bit samples into ADPCM blocks.

    samples: a sequence of integers (or a numpy array) in -32768..32767; the last
      block is padded with zeros.
    loop_start: None for a one-shot sample, else the sample index where the loop
      begins. It must be a multiple of 28, and the loop (from there to the end)
      must span at least two blocks, so the sample length should be a multiple
      of 28 as well.
    Returns the encoded bytes (a multiple of 16).
    """
    data = [int(v) for v in np.clip(np.round(np.asarray(samples, dtype=np.float64)), -32768, 32767)]
    if not data:
        raise ValueError("no samples to encode")
    count = (len(data) + BLOCK_SAMPLES - 1) // BLOCK_SAMPLES
    data += [0] * (count * BLOCK_SAMPLES - len(data))
    loop_block = None
    if loop_start is not None:
        if loop_start % BLOCK_SAMPLES != 0:
            raise ValueError("loop start %d is not a multiple of %d" % (loop_start, BLOCK_SAMPLES))
        loop_block = loop_start // BLOCK_SAMPLES
        if count - loop_block < 2:
            raise ValueError("a loop needs at least two blocks")
    out = bytearray()
    old = older = 0
    for index in range(count):
        block = data[index * BLOCK_SAMPLES:(index + 1) * BLOCK_SAMPLES]
        filt, shift, nibbles, old, older, _ = _encode_block(block, old, older)
        out.append((filt << 4) | shift)
        out.append(_block_flags(index, count, loop_block))
        for pair in range(0, BLOCK_SAMPLES, 2):
            out.append(nibbles[pair] | (nibbles[pair + 1] << 4))
    return bytes(out)


def decode_block(block, old, older):
    """Decodes one 16-byte block; returns (28 samples, new old, new older)."""
    shift = block[0] & 0x0F
    filt = (block[0] >> 4) & 0x07
    if shift > 12:
        shift = 9  # what the hardware does with the reserved shift values
    if filt > 4:
        filt = 0
    k0, k1 = FILTERS[filt]
    out = []
    for i in range(BLOCK_SAMPLES):
        byte = block[2 + i // 2]
        nibble = (byte >> 4) if (i & 1) else (byte & 0x0F)
        if nibble >= 8:
            nibble -= 16
        value = _clamp16(((nibble << 12) >> shift) + ((old * k0 + older * k1 + 32) >> 6))
        out.append(value)
        older, old = old, value
    return out, old, older


def decode(data, follow_loop=0):
    """Decodes ADPCM blocks into a numpy int16 array.

    Decoding stops after a block with the loop-end flag. With follow_loop > 0 a
    looped sample is played that many more times through its loop (start at the
    last block flagged loop start), as a voice would.
    """
    if len(data) % BLOCK_BYTES != 0:
        raise ValueError("ADPCM data is not a whole number of blocks")
    out = []
    old = older = 0
    repeat_at = 0
    index = 0
    remaining_loops = follow_loop
    count = len(data) // BLOCK_BYTES
    while index < count:
        block = data[index * BLOCK_BYTES:(index + 1) * BLOCK_BYTES]
        flags = block[1]
        if flags & FLAG_LOOP_START:
            repeat_at = index
        samples, old, older = decode_block(block, old, older)
        out.extend(samples)
        if flags & FLAG_LOOP_END:
            if (flags & FLAG_REPEAT) and remaining_loops > 0:
                remaining_loops -= 1
                index = repeat_at
                continue
            break
        index += 1
    return np.asarray(out, dtype=np.int16)


def block_flags(data):
    """The flag byte of every block, as a list."""
    return [data[i + 1] for i in range(0, len(data), BLOCK_BYTES)]


def snr_db(reference, decoded):
    """Signal-to-noise ratio in dB of decoded against reference."""
    ref = np.asarray(reference, dtype=np.float64)
    dec = np.asarray(decoded, dtype=np.float64)[:len(ref)]
    noise = np.sum((ref - dec) ** 2)
    power = np.sum(ref ** 2)
    if noise == 0:
        return float("inf")
    return 10.0 * math.log10(power / noise)


def _self_test():
    failures = []

    def check(condition, text):
        if not condition:
            failures.append(text)

    rate = 44100.0
    t = np.arange(28 * 80) / rate
    # A steady sine, a bright saw made of harmonics, a decaying chirp and noise.
    sine = 20000.0 * np.sin(2 * math.pi * 441.0 * t)
    saw = sum((12000.0 / k) * np.sin(2 * math.pi * 220.5 * k * t) for k in range(1, 30))
    chirp = 25000.0 * np.exp(-t * 20.0) * np.sin(2 * math.pi * (60.0 + 400.0 * t) * t * 10)
    rng = np.random.default_rng(7)
    noise = rng.uniform(-8000.0, 8000.0, len(t))
    for name, signal, minimum in (("sine", sine, 45.0), ("saw", saw, 30.0), ("chirp", chirp, 20.0),
                                  ("noise", noise, 10.0)):
        data = encode(signal)
        check(len(data) == 80 * BLOCK_BYTES, "%s: %d bytes" % (name, len(data)))
        decoded = decode(data)
        check(len(decoded) == len(signal), "%s: decoded %d samples" % (name, len(decoded)))
        snr = snr_db(signal, decoded)
        check(snr >= minimum, "%s: SNR %.1f dB below %.1f" % (name, snr, minimum))

    # Silence stays exact; a full-scale square survives with little error.
    check(np.all(decode(encode(np.zeros(56))) == 0), "silence is not exact")
    square = np.where((np.arange(56 * 4) // 28) % 2 == 0, 30000, -30000)
    check(snr_db(square, decode(encode(square))) > 20.0, "square SNR too low")

    # Flags of a one-shot sample and of a looped one.
    flags = block_flags(encode(sine[:28 * 4]))
    check(flags == [0, 0, 0, 0x01], "one-shot flags %s" % flags)
    flags = block_flags(encode(sine[:28 * 5], loop_start=28 * 2))
    check(flags == [0, 0, 0x06, 0x02, 0x03], "looped flags %s" % flags)
    flags = block_flags(encode(sine[:28 * 2], loop_start=0))
    check(flags == [0x06, 0x03], "two-block loop flags %s" % flags)
    for bad in ((sine[:28 * 3], 14), (sine[:28 * 3], 56)):
        try:
            encode(bad[0], loop_start=bad[1])
            failures.append("loop start %d was accepted" % bad[1])
        except ValueError:
            pass

    # Following the loop repeats the loop section.
    looped = encode(sine[:28 * 4], loop_start=28)
    check(len(decode(looped, follow_loop=2)) == 28 * (4 + 3 + 3), "loop following length")

    # A hand-made block: filter 1, shift 12, residuals 1, -1, 7, -8, then zeros.
    block = bytes([0x1C, 0x00, 0xF1, 0x87] + [0] * 12)
    samples, _, _ = decode_block(block, 0, 0)
    # 1; -1 + (1*60+32)>>6 = 0; 7 + 0 = 7; -8 + (7*60+32)>>6 = -8 + 7 = -1
    check(samples[:4] == [1, 0, 7, -1], "hand block decoded %s" % samples[:4])

    for text in failures:
        print("FAIL: " + text)
    print("adpcm self-test: %s" % ("FAILED" if failures else "ok"))
    return 1 if failures else 0


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--self-test", action="store_true", help="run the encoder/decoder checks")
    args = parser.parse_args(argv)
    if args.self_test:
        return _self_test()
    parser.print_help()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
