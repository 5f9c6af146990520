#!/usr/bin/env python3
"""Writes a corpus of texts and WAV recordings for bench/recordings.sh.

bench/make-recordings-corpus.py FOLDER [DIALOGS [TURNS]]

FOLDER/trl/NAME.trl holds DIALOGS dialogs (default 5) of TURNS turns each
(default 10) between two speakers; FOLDER/wav/KEY.wav a recording of each
turn but the last of the last dialog, and one recording without a turn:
16-bit mono PCM at 16000 Hz, a tone of about 0.4 s a word, every one
plausible, but for the faults planted: a clipped one, a silent one, one
with a DC offset, one at 8000 Hz.  FOLDER/faults lists the recordings to
spoil after their conversion (truncated, odd-byte) and FOLDER/texts the
text each recording's header is to carry ("ort"): the turn's words, except
for one recording that says other words.  The same bytes every time.
"""
import math
import os
import random
import struct
import sys
import wave

RATE = 16000
WORDS = ("ja nein gut also dann wir k\"onnen am Montag um zehn Uhr uns treffen "
         "oder lieber am Dienstag das geht leider nicht ich habe einen Termin "
         "in M\"unchen wie w\"are es mit Mittwoch Nachmittag sehr gerne bis dann").split()
FAULTS = ["truncated", "odd-byte", "clipped", "silent", "dc-offset", "rate"]


def utf8(word):
    for a, b in (('"a', "\u00e4"), ('"o', "\u00f6"), ('"u', "\u00fc"), ('"s', "\u00df")):
        word = word.replace(a, b)
    return word


def tone(seconds, pitch, rng):
    n = int(seconds * RATE)
    return [round(3000 * math.sin(2 * math.pi * pitch * i / RATE) + rng.uniform(-200, 200)) for i in range(n)]


def write_wav(path, samples, rate=RATE):
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(b"".join(struct.pack("<h", max(-32768, min(32767, s))) for s in samples))


def main():
    folder = sys.argv[1]
    dialogs = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    turns = int(sys.argv[3]) if len(sys.argv) > 3 else 10
    rng = random.Random(27)
    for sub in ("trl", "wav"):
        os.makedirs(os.path.join(folder, sub), exist_ok=True)
    faults, texts = [], []
    keys = []
    for d in range(dialogs):
        name = "b%03dtst%d" % (d + 1, d % 10)
        speakers = ("A%02d" % (d % 7), "B%02d" % (d % 5))
        speakers = tuple(s.replace("0", "X").replace("1", "Y").replace("2", "Z").replace("3", "Q")
                         .replace("4", "R").replace("5", "S").replace("6", "T") for s in speakers)
        text = ""
        for t in range(1, turns + 1):
            key = "%s_%03d_%s" % (name, t, speakers[t % 2])
            words = [rng.choice(WORDS) for _ in range(rng.randint(2, 9))]
            text += "%s_000000: %s .\n\n" % (key, " ".join(words))
            if d == dialogs - 1 and t == turns:
                continue  # a turn without a recording
            samples = tone(0.4 * len(words), 180 + 40 * (t % 2), rng)
            keys.append(key)
            write_wav(os.path.join(folder, "wav", key + ".wav"), samples)
            texts.append((key, " ".join(utf8(w) for w in words)))
        with open(os.path.join(folder, "trl", name + ".trl"), "w", encoding="ascii") as f:
            f.write(text)
    write_wav(os.path.join(folder, "wav", "b999tst9_001_AXX.wav"), tone(1.0, 200, rng))
    texts.append(("b999tst9_001_AXX", "ja"))
    # Faults spread over the corpus, and one recording whose text differs.
    for i, fault in enumerate(FAULTS):
        key = keys[3 + 7 * i]
        path = os.path.join(folder, "wav", key + ".wav")
        with wave.open(path, "rb") as w:
            n = w.getnframes()
        wave_of = {
            "clipped": lambda: [32767 if (i // 40) % 2 else -32768 for i in range(n)],
            "silent": lambda: [0] * n,
            "dc-offset": lambda: [s + 6000 for s in tone(n / RATE, 200, rng)],
        }
        if fault in wave_of:
            write_wav(path, wave_of[fault]())
        elif fault == "rate":
            write_wav(path, tone(n / RATE, 200, rng)[: n // 2], 8000)
        else:
            faults.append((key, fault))
    key, words = texts[1]
    texts[1] = (key, words + " und noch mehr")
    with open(os.path.join(folder, "faults"), "w") as f:
        f.writelines("%s %s\n" % kf for kf in faults)
    with open(os.path.join(folder, "texts"), "w", encoding="utf-8") as f:
        f.writelines("%s\t%s\n" % kt for kt in texts)


if __name__ == "__main__":
    main()
