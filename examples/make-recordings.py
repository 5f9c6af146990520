#!/usr/bin/env python3
"""Writes the example recordings of examples/dialog.trl into examples/audio/.

One recording per turn, named by the turn's key (its identification
without the CD-ROM number), except the last turn's, and one recording
whose turn is not in the text: `quenda-corpus pair` has something to say.
Each is a version-1 Quenda file (one 512-byte header block, the numbers
little-endian) of 16-bit samples at 16000 Hz: a quiet tone, longer for
each turn.  Run from anywhere; it writes the same bytes every time.
"""
import math
import os
import struct

RATE = 16000
KEYS = ["g071ach1_001_ABC", "g071ach1_002_XYZ", "g071ach1_003_ABC",
        "g071ach1_004_XYZ", "g071ach1_005_ABC", "g071ach1_007_ABC"]


def quenda_file(samples):
    header = bytearray(512)
    struct.pack_into("<i", header, 20, len(samples) // 256)   # nspbk
    struct.pack_into("<i", header, 24, 1)                     # anz_header
    struct.pack_into("<i", header, 244, RATE)                 # isf
    header[293] = 1                                           # version
    struct.pack_into("<h", header, 294, 16)                   # adc_bits
    return bytes(header) + b"".join(struct.pack("<h", s) for s in samples)


def main():
    folder = os.path.join(os.path.dirname(os.path.abspath(__file__)), "audio")
    os.makedirs(folder, exist_ok=True)
    for n, key in enumerate(KEYS, start=1):
        count = 1536 * n
        samples = [round(2000 * math.sin(2 * math.pi * 220 * n * i / RATE)) for i in range(count)]
        with open(os.path.join(folder, key + ".qnd"), "wb") as f:
            f.write(quenda_file(samples))


if __name__ == "__main__":
    main()
