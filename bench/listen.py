#!/usr/bin/env python3
"""Pitch readings of Ondelis (--listen) beside aubio's aubiopitch on notes of known pitch.

Usage: listen.py ONDELIS WORKDIR

Generates its own notes into WORKDIR/notes (once; kept for the next run): B0 to C8 every
half octave, each as a pluck with a weak fundamental, partials without their fundamental, a
stiff string, the pluck in white noise at 20 and at 10 dB, with vibrato (5.5 Hz, +-20 cents),
and beside mains hum (50 Hz at -20 dB, 150 Hz at -30 dB).
Each note starts after 0.25 s of silence and sounds for 1.5 s. Then it runs every tool over
every note and prints, per tool and kind of note: the notes whose median reading over the
sustain is within 1 cent, the median of those medians (for a vibrato the mean over whole cycles of it), the share of readings off by more than
50 cents while the note sounds, the median delay to the first reading within 5 cents and to one
that stays within 1 cent for 250 ms, and the CPU seconds per second of audio.
"""
import math
import os
import random
import resource
import struct
import subprocess
import sys
import wave

RATE = 44100
SILENCE = 0.25  # seconds before the note
NOTE = 1.5  # seconds of note
SUSTAIN_FROM = 0.3  # seconds after the onset: the median is taken from here on
HIGHEST_PARTIAL = 12000.0
KINDS = ["pluck", "missing", "stiff", "noise20", "noise10", "vibrato", "hum"]
VIBRATO_HZ = 5.5  # cycles a second, +-20 cents
MIDI_NOTES = list(range(23, 108, 6)) + [108]  # B0 (30.87 Hz) ... C8 (4186 Hz)
NAMES = ["C", "C#", "D", "Eb", "E", "F", "F#", "G", "G#", "A", "Bb", "B"]


def hz_of(midi):
    return 440.0 * 2 ** ((midi - 69) / 12)


def name_of(midi):
    return NAMES[midi % 12] + str(midi // 12 - 1)


def stiffness(kind, midi):
    """A piano's inharmonicity, from about 1e-4 in the bass to 1e-2 in the top octave."""
    return 10 ** (-4 + 2 * (midi - 21) / 87) if kind == "stiff" else 0.0


def first_partial(kind, midi):
    """The frequency a reading should give: the first partial, f0 sqrt(1 + B)."""
    return hz_of(midi) * math.sqrt(1 + stiffness(kind, midi))


def partials(kind, f0, midi):
    """(number, frequency, amplitude, decay per second) of each partial."""
    out = []
    b = stiffness(kind, midi)
    for k in range(1, 40):
        f = k * f0 * math.sqrt(1 + b * k * k)
        if f > min(HIGHEST_PARTIAL, 0.45 * RATE):
            break
        if kind == "missing" and k == 1:
            continue
        amplitude = 1.0 / k
        if kind in ("pluck", "noise20", "noise10", "hum") and k == 1:
            amplitude = 0.1  # 20 dB below the second partial
        out.append((k, f, amplitude, 0.8 + 0.3 * k))
    return out


def render(kind, midi):
    f0 = hz_of(midi)
    parts = partials(kind, f0, midi)
    rng = random.Random(midi * 31 + KINDS.index(kind))
    total = int((SILENCE + NOTE) * RATE)
    start = int(SILENCE * RATE)
    samples = [0.0] * total
    scale = 0.5 / sum(a for _, _, a, _ in parts)
    vibrato = kind == "vibrato"
    for _, f, a, decay in parts:
        phase = 0.0
        step = 2 * math.pi * f / RATE
        for i in range(start, total):
            t = (i - start) / RATE
            if vibrato:
                phase += step * 2 ** (20 / 1200 * math.sin(2 * math.pi * VIBRATO_HZ * t))
            else:
                phase = step * (i - start)
            attack = min(1.0, t / 0.005)
            samples[i] += scale * a * attack * math.exp(-decay * t) * math.sin(phase)
    note = samples[start:start + int(0.5 * RATE)]
    power = sum(x * x for x in note) / len(note)
    if kind in ("noise20", "noise10"):
        sigma = math.sqrt(power / 10 ** ((20 if kind == "noise20" else 10) / 10))
        samples = [x + rng.gauss(0, sigma) for x in samples]
    if kind == "hum":
        # 50 Hz 20 dB and its third harmonic 30 dB below the note's first half second, from
        # the start of the file.
        rms = math.sqrt(power)
        for i in range(total):
            t = i / RATE
            samples[i] += rms * math.sqrt(2) * (0.1 * math.sin(2 * math.pi * 50 * t) +
                                                0.0316 * math.sin(2 * math.pi * 150 * t))
    return samples


def write_wav(path, samples):
    peak = max(1e-9, max(abs(x) for x in samples))
    gain = min(1.0, 0.9 / peak)
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(b"".join(
            struct.pack("<h", max(-32768, min(32767, round(x * gain * 32767)))) for x in samples))


def notes(workdir):
    folder = os.path.join(workdir, "notes")
    os.makedirs(folder, exist_ok=True)
    made = []
    for kind in KINDS:
        for midi in MIDI_NOTES:
            if len(partials(kind, hz_of(midi), midi)) < 2 and kind == "missing":
                continue  # its partials would all be above the highest: no note to hear
            path = os.path.join(folder, f"{kind}-{name_of(midi)}.wav")
            if not os.path.exists(path):
                write_wav(path + ".part", render(kind, midi))
                os.replace(path + ".part", path)
            made.append((kind, midi, path))
    return made


def children_cpu():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def ondelis_readings(program, path):
    out = subprocess.run([program, "--listen", path], capture_output=True, text=True, check=True)
    return [(float(line.split("\t")[0]), float(line.split("\t")[1]))
            for line in out.stdout.splitlines()]


def aubio_readings(method, path):
    out = subprocess.run(["aubiopitch", "-i", path, "-p", method, "-B", "4096", "-H", "512"],
                         capture_output=True, text=True, check=True)
    readings = []
    for line in out.stdout.splitlines():
        fields = line.split()
        if len(fields) >= 2 and float(fields[1]) > 0:
            readings.append((float(fields[0]), float(fields[1])))
    return readings


def median(values):
    values = sorted(values)
    if not values:
        return float("nan")
    middle = len(values) // 2
    return values[middle] if len(values) % 2 else (values[middle - 1] + values[middle]) / 2




def measure(readings, hz, kind):
    onset, end = SILENCE, SILENCE + NOTE
    # A reading at the onset itself depends on what came before the note alone.
    sounding = [(t, 1200 * math.log2(f / hz)) for t, f in readings if onset < t <= end]
    sustain = [c for t, c in sounding if t >= onset + SUSTAIN_FROM]
    if kind == "vibrato" and sustain:
        # The pitch a vibrato is centred on: the mean over whole cycles of it, since the
        # median of a part cycle leans to where the cut falls.
        first = next(t for t, _ in sounding if t >= onset + SUSTAIN_FROM)
        cycles = math.floor((sounding[-1][0] - first) * VIBRATO_HZ)
        whole = [c for t, c in sounding if first <= t < first + cycles / VIBRATO_HZ]
        sustain = [sum(whole) / len(whole)] if whole else sustain
    off = sum(1 for _, c in sounding if abs(c) > 50)
    first5 = next((t - onset for t, c in sounding if abs(c) <= 5), float("nan"))
    settled = float("nan")
    for i, (t, c) in enumerate(sounding):
        if abs(c) > 1:
            continue
        window = [cc for tt, cc in sounding[i:] if tt <= t + 0.25]
        if sounding[-1][0] >= t + 0.25 and all(abs(cc) <= 1 for cc in window):
            settled = t - onset
            break
    return {
        "median": median(sustain) if sustain else float("nan"),
        "readings": len(sounding),
        "off": off,
        "first5": first5,
        "settled": settled,
    }


def main():
    program, workdir = sys.argv[1], sys.argv[2]
    made = notes(workdir)
    audio_seconds = len(made) * (SILENCE + NOTE)
    tools = [("ondelis", lambda p: ondelis_readings(program, p)),
             ("aubio yin", lambda p: aubio_readings("yin", p)),
             ("aubio yinfast", lambda p: aubio_readings("yinfast", p))]
    results = {}
    cpu = {}
    for tool, run in tools:
        before = children_cpu()
        results[tool] = [(kind, midi, measure(run(path), first_partial(kind, midi), kind))
                         for kind, midi, path in made]
        cpu[tool] = (children_cpu() - before) / audio_seconds
    with open(os.path.join(workdir, "per-note.tsv"), "w") as detail:
        detail.write("tool\tkind\tnote\tmedian cents\treadings\toff >50\tfirst 5c s\t1c 250ms s\n")
        for tool, rows in results.items():
            for kind, midi, m in rows:
                detail.write(f"{tool}\t{kind}\t{name_of(midi)}\t{m['median']:+.3f}\t"
                             f"{m['readings']}\t{m['off']}\t{m['first5']:.3f}\t{m['settled']:.3f}\n")
    print(f"{len(MIDI_NOTES)} notes ({name_of(MIDI_NOTES[0])} to {name_of(MIDI_NOTES[-1])}) x "
          f"{len(KINDS)} kinds; per-note figures in {workdir}/per-note.tsv")
    header = (f"{'tool':14} {'kind':8} {'<=1c':>6} {'med|c|':>8} {'>50c':>7} {'5c ms':>7} "
              f"{'1c ms':>7}")
    print(header)
    for tool, rows in results.items():
        for kind in KINDS + ["all"]:
            chosen = [m for k, _, m in rows if kind in ("all", k)]
            within = sum(1 for m in chosen if abs(m["median"]) <= 1)
            medians = [abs(m["median"]) for m in chosen if not math.isnan(m["median"])]
            readings = sum(m["readings"] for m in chosen)
            off = sum(m["off"] for m in chosen)
            first5 = median([m["first5"] for m in chosen if not math.isnan(m["first5"])])
            settled = median([m["settled"] for m in chosen if not math.isnan(m["settled"])])
            print(f"{tool:14} {kind:8} {within:3}/{len(chosen):<3}{median(medians):8.3f} "
                  f"{100 * off / max(1, readings):6.2f}% {1000 * first5:7.0f} "
                  f"{1000 * settled:7.0f}")
    print("CPU seconds per second of audio: " +
          ", ".join(f"{tool} {cpu[tool]:.4f}" for tool in cpu))


if __name__ == "__main__":
    main()
