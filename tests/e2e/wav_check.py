#!/usr/bin/env python3
"""Checks a WAV file captured from the game's sound output.

  wav_check.py four-rows FILE   the four-row clear's sound is in it, louder
                                on the left (player 0's side) than the right
  wav_check.py silent FILE      every sample 0 (none at all when the game
                                never opened the device)

The game opens the device only while something sounds, so the file holds
one WAV stream for each spell of sound, one after the other (the capture
appends); times below count the sound only, not the quiet between.

The four-row sound is found by its highest note, E6 (1318.5 Hz), which no
other sound of the game holds: its level in 40 ms Hann windows, 20 ms apart,
in each channel. Exit status 0 when the check holds, 1 when not, 2 for a file
that cannot be read. Reads 16- and 32-bit integer and 32-bit float PCM.
"""
import math
import re
import struct
import sys

E6 = 1318.51
SOUND_RATE = 44100
MIN_LEVEL = 800      # the note's amplitude, in 16-bit steps, to count as heard
MIN_RATIO = 2.0      # left over right for player 0's side


def read_segment(data, pos, end):
    """One WAV stream (header and samples) in data[pos:end]."""
    pos, fmt = pos + 12, None
    while pos + 8 <= end:
        cid, size = data[pos:pos + 4], struct.unpack("<I", data[pos + 4:pos + 8])[0]
        body = pos + 8
        if cid == b"fmt ":
            fmt = struct.unpack("<HHIIHH", data[body:body + 16])
        elif cid == b"data":
            if fmt is None:
                raise ValueError("data before fmt")
            # Written to a pipe, the length is never filled in: the
            # samples run to the next stream or the end of the file.
            return fmt, data[body:min(end, body + size) if size not in (0, 0x7FFFFFFF, 0xFFFFFFFF) else end]
        pos = body + size + (size & 1)
    raise ValueError("no fmt or data chunk")


def read_wav(path):
    """Every WAV stream in the file, one after the other: the game opens the
    device for each spell of sound, and each opening writes a new header."""
    data = open(path, "rb").read()
    starts = [m.start() for m in re.finditer(b"RIFF....WAVEfmt ", data, re.S)]
    if not data:
        return SOUND_RATE, [], []
    if not starts or starts[0] != 0:
        raise ValueError("not a RIFF WAVE file")
    left, right, rate = [], [], None
    for i, pos in enumerate(starts):
        fmt, samples = read_segment(data, pos, starts[i + 1] if i + 1 < len(starts) else len(data))
        tag, channels, seg_rate, _, align, bits = fmt
        if rate not in (None, seg_rate):
            raise ValueError("the rate changed from %d to %d" % (rate, seg_rate))
        rate = seg_rate
        if channels < 2:
            raise ValueError("%d channel(s), not stereo" % channels)
        if (tag, bits) == (1, 16):
            code, scale = "h", 1.0
        elif (tag, bits) == (1, 32):
            code, scale = "i", 1.0 / 65536
        elif (tag, bits) == (3, 32):
            code, scale = "f", 32768.0
        else:
            raise ValueError("format %d with %d bits" % (tag, bits))
        frames = len(samples) // align
        values = struct.unpack("<%d%s" % (frames * channels, code), samples[:frames * align])
        left += [v * scale for v in values[0::channels]]
        right += [v * scale for v in values[1::channels]]
    return rate, left, right


def note_levels(signal, rate, freq):
    """Amplitude of freq in each window (Goertzel over a Hann window)."""
    size, hop = int(rate * 0.04), int(rate * 0.02)
    window = [0.5 - 0.5 * math.cos(2 * math.pi * i / size) for i in range(size)]
    coeff = 2 * math.cos(2 * math.pi * freq / rate)
    levels = []
    for start in range(0, len(signal) - size + 1, hop):
        s1 = s2 = 0.0
        for w, x in zip(window, signal[start:start + size]):
            s1, s2 = x * w + coeff * s1 - s2, s1
        power = s1 * s1 + s2 * s2 - coeff * s1 * s2
        levels.append(2 * math.sqrt(max(power, 0.0)) / (size / 2))
    return hop, levels


def main(argv):
    if len(argv) != 3 or argv[1] not in ("four-rows", "silent"):
        print(__doc__, file=sys.stderr)
        return 2
    try:
        rate, left, right = read_wav(argv[2])
    except (OSError, ValueError, struct.error) as e:
        print("cannot read %s: %s" % (argv[2], e))
        return 2
    seconds = len(left) / rate
    if argv[1] == "silent":
        loudest = max((abs(v) for v in left + right), default=0)
        print("%.1f s at %d Hz, loudest sample %d" % (seconds, rate, loudest))
        return 0 if loudest == 0 else 1
    hop, lefts = note_levels(left, rate, E6)
    _, rights = note_levels(right, rate, E6)
    best = max(range(len(lefts)), key=lambda i: lefts[i], default=None)
    if best is None:
        print("%.1f s: too short" % seconds)
        return 1
    l, r = lefts[best], rights[best]
    heard = sum(1 for v in lefts if v >= MIN_LEVEL)
    print("%.1f s at %d Hz; four-row note at %.2f s: left %.0f, right %.0f (ratio %.1f), heard in %d windows"
          % (seconds, rate, best * hop / rate, l, r, l / max(r, 1.0), heard))
    return 0 if l >= MIN_LEVEL and l >= MIN_RATIO * r else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
