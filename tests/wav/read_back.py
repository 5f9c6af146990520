"""Reads the WAV file on standard input with Python's wave module and checks
it against the Quenda file named by the first argument: mono, 16 bits, the
header's isf as rate, the frames equal to the bytes after the header."""
import struct
import sys
import wave

quenda = open(sys.argv[1], "rb").read()
nspbk, anz_header = struct.unpack_from("<ii", quenda, 20)
(isf,) = struct.unpack_from("<i", quenda, 244)
samples = quenda[anz_header * 512:]
samples = samples[: len(samples) // 2 * 2]

with wave.open(sys.stdin.buffer) as w:
    got = (w.getnchannels(), w.getsampwidth(), w.getframerate(), w.getnframes())
    frames = w.readframes(w.getnframes())
want = (1, 2, isf, len(samples) // 2)
if got != want or frames != samples:
    sys.exit(f"read back {got}, want {want}; frames equal: {frames == samples}")
print(f"channels {got[0]}, sample width {got[1]}, rate {got[2]}, frames {got[3]}")
