#!/usr/bin/env python3
"""Synthesises the client's five wave sounds: 16-bit PCM, mono, 16 kHz.

Run from anywhere: python3 res/sounds/make_sounds.py [output folder]
The output is deterministic, so running it again reproduces the committed files byte for byte.
"""
import math
import struct
import sys
import wave
from pathlib import Path

RATE = 16000


def note(frequency, start, length, amplitude, decay, partials=((1.0, 1.0),), attack=0.006):
    """One struck note: a sum of partials (ratio, weight) with an exponential decay."""
    return (frequency, start, length, amplitude, decay, partials, attack)


BELL = ((1.0, 1.0), (2.0, 0.35), (3.01, 0.12), (4.2, 0.06))
SOFT = ((1.0, 1.0), (2.0, 0.12))
MARIMBA = ((1.0, 1.0), (3.98, 0.18), (9.2, 0.03))


def render(notes, duration, fade_out=0.02):
    """Mixes the notes into a buffer of the duration; the last fade_out seconds ramp to silence,
    so a looping sound joins its own start without a click."""
    total = int(duration * RATE)
    samples = [0.0] * total
    for frequency, start, length, amplitude, decay, partials, attack in notes:
        first = int(start * RATE)
        count = min(int(length * RATE), total - first)
        weight_sum = sum(w for _, w in partials)
        for i in range(count):
            t = i / RATE
            envelope = min(1.0, t / attack) * math.exp(-t * decay)
            # a short release at the note's own end keeps every note click-free
            envelope *= min(1.0, (length - t) / 0.01)
            value = sum(w * math.sin(2 * math.pi * frequency * r * t) for r, w in partials)
            samples[first + i] += amplitude * envelope * value / weight_sum
    fade = int(fade_out * RATE)
    for i in range(fade):
        samples[total - 1 - i] *= i / fade
    return samples


def write(path, samples):
    peak = max(1e-9, max(abs(s) for s in samples))
    scale = min(1.0, 0.95 / peak)  # never clip
    frames = b"".join(struct.pack("<h", int(round(s * scale * 32767))) for s in samples)
    with wave.open(str(path), "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(RATE)
        out.writeframes(frames)


def ringin():
    # An incoming call: two quick marimba pairs (E6 C6, E6 C6), then a rest before it repeats.
    notes = []
    for pair_start in (0.0, 0.36):
        notes.append(note(1318.5, pair_start, 0.3, 0.8, 9.0, MARIMBA))
        notes.append(note(1046.5, pair_start + 0.15, 0.3, 0.8, 9.0, MARIMBA))
    return render(notes, 1.6)


def ringout():
    # Waiting for the partner: a soft swelling A4 with a slow tremolo, then a long rest.
    samples = [0.0] * int(2.5 * RATE)
    tone = int(1.0 * RATE)
    for i in range(tone):
        t = i / RATE
        envelope = math.sin(math.pi * t / 1.0) ** 2  # rises and falls smoothly to zero
        tremolo = 0.85 + 0.15 * math.sin(2 * math.pi * 5.0 * t)
        value = math.sin(2 * math.pi * 440.0 * t) + 0.25 * math.sin(2 * math.pi * 880.0 * t)
        samples[i] = 0.35 * envelope * tremolo * value / 1.25
    return samples


def chimes():
    # The conversation is open: a rising C major arpeggio of bells.
    notes = [note(f, 0.12 * k, 1.1 - 0.12 * k, 0.6, 4.0, BELL)
             for k, f in enumerate((523.25, 659.25, 783.99, 1046.5))]
    return render(notes, 1.2)


def ding():
    # A line arrived: one short bell.
    return render([note(1567.98, 0.0, 0.4, 0.7, 9.0, BELL)], 0.4)


def over():
    # The conversation ended: a falling G E C, softer at each step.
    notes = [note(f, 0.18 * k, 0.8 - 0.18 * k, a, 5.0, SOFT)
             for k, (f, a) in enumerate(((783.99, 0.6), (659.25, 0.5), (523.25, 0.45)))]
    return render(notes, 0.9)


def main():
    folder = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parent
    folder.mkdir(parents=True, exist_ok=True)
    for name, make in (("ringin", ringin), ("ringout", ringout), ("chimes", chimes),
                       ("ding", ding), ("over", over)):
        write(folder / f"{name}.wav", make())


if __name__ == "__main__":
    main()
