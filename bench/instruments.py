#!/usr/bin/env python3
"""Ondelis's readings beside aubio's on sampled instruments, each note's truth measured offline.

Usage: instruments.py ONDELIS WORKDIR [SF2]

Renders single notes with fluidsynth from Debian's csound-soundfont (sf_GMbank.sf2) and with
timidity from Debian's freepats, or with both from the SF2 given (kept aside from the tuning
of the estimator, a held-out check): piano, church organ, nylon and steel
guitars and a fingered bass left to ring, violin and cello bowed, flute and clarinet blown,
B0 to C8. Then the hard sounds built from them: two notes at once, a note over mains hum, a
note on a DC offset, and sines above the highest note.

The truth of each note is measured here, with nothing of the estimator: over a long window
(0.3 s after the onset to the end of the window below) each partial is found on its own as
the maximum of the windowed spectrum's magnitude between bins (from the lowest that sounds: an
organ's 16' rank an octave under the key, within 20 dB of the strongest); the first partial's own
frequency is the truth where it is within 20 dB of the strongest, else the first partial of
the stiff-string line (f_k / k)^2 = f0^2 (1 + B k^2) through the others. Before anything else
the method is tried on synthetic notes of known partials; it must hold them within 0.01 cent.
The truths are kept in WORKDIR/truths.tsv for the next run.
"""
import math
import os
import struct
import subprocess
import sys
import wave

import numpy as np

sys.dont_write_bytecode = True  # no __pycache__ in bench/
import listen  # noqa: E402

RATE = 44100
ONSET = 0.25  # seconds of silence before each note
FREEPATS = "/etc/timidity/freepats.cfg"
SF2 = "/usr/share/sounds/sf2/sf_GMbank.sf2"
TRUTH_FROM = 0.3  # seconds after the onset: the truth and the median reading from here
TRUTH_TO = 2.0  # to here at most
LOWEST = 25.0  # Hz: no note's fundamental is looked for below the lowest a tuner reads
STEADY_CENTS = 3.0  # the spread of a steady note's pitch over windows of 0.15 s
# (GM program, name, left to ring, lowest and highest MIDI note, step).
INSTRUMENTS = [
    (0, "piano", True, 21, 108, 7),
    (19, "organ", False, 24, 96, 8),
    (24, "nylon", True, 40, 76, 6),
    (25, "steel", True, 40, 76, 6),
    (33, "bass", True, 23, 55, 4),
    (40, "violin", False, 55, 100, 5),
    (42, "cello", False, 36, 76, 5),
    (73, "flute", False, 60, 96, 6),
    (71, "clarinet", False, 50, 89, 6),
]
RING_SECONDS = 4.0
HELD_SECONDS = 2.5
HOP = 1103  # samples: the listener's hop at RATE
# The attacks of the notes fall at the end of one of the listener's hops (ONSET is ten of them,
# within five samples); a player's fall anywhere in one. Each steady note is read again with
# its attack these shares of a hop later.
PHASES = (0.25, 0.5, 0.75)


def hz_of(midi):
    return 440.0 * 2 ** ((midi - 69) / 12)


# --- MIDI files -------------------------------------------------------------------------

def variable_length(n):
    out = [n & 0x7F]
    while n > 0x7F:
        n >>= 7
        out.append(0x80 | (n & 0x7F))
    return bytes(reversed(out))


def midi_file(program, notes, seconds):
    """A format-0 file: `notes` start together at ONSET and end after `seconds`."""
    ticks = 1000  # a tick a millisecond: 500 ticks a quarter at 120 bpm
    events = [(0, bytes([0xC0, program])), (0, bytes([0xB0, 91, 0])), (0, bytes([0xB0, 93, 0]))]
    events += [(int(ONSET * ticks), bytes([0x90, n, 100])) for n in notes]
    events += [(int((ONSET + seconds) * ticks), bytes([0x80, n, 0])) for n in notes]
    # A late event, so that the renderers let the release sound out.
    events.append((int((ONSET + seconds + 0.5) * ticks), bytes([0xB0, 7, 100])))
    track, now = b"", 0
    for at, message in sorted(events, key=lambda e: e[0]):
        track += variable_length(at - now) + message
        now = at
    track += b"\x00\xFF\x2F\x00"
    header = b"MThd" + struct.pack(">IHHH", 6, 0, 1, 500)
    return header + b"MTrk" + struct.pack(">I", len(track)) + track


# --- sound files ------------------------------------------------------------------------

def read_wav(path):
    with wave.open(path, "rb") as w:
        channels, width = w.getnchannels(), w.getsampwidth()
        data = np.frombuffer(w.readframes(w.getnframes()), dtype="<i2" if width == 2 else "<i4")
    x = data.reshape(-1, channels).astype(np.float64).mean(axis=1)
    return x / (32768.0 if width == 2 else 2147483648.0)


def write_wav(path, x):
    pcm = np.clip(np.round(x * 32767), -32768, 32767).astype("<i2")
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(pcm.tobytes())


def render(synth, program, notes, seconds, path, sf2):
    """Renders the notes with `synth` into a mono file at RATE, its peak at -6 dBFS."""
    if os.path.exists(path):
        return
    mid, raw = path + ".mid", path + ".raw.wav"
    with open(mid, "wb") as f:
        f.write(midi_file(program, notes, seconds))
    if synth == "fluidsynth":
        command = ["fluidsynth", "-ni", "-q", "-R", "0", "-C", "0", "-g", "0.5", "-r",
                   str(RATE), "-F", raw, sf2, mid]
    else:
        # Timidity plays the held-out soundfont too: freepats's notes are the main run's.
        config = FREEPATS
        if sf2 not in (SF2, FREEPATS):
            config = path + ".cfg"
            with open(config, "w") as f:
                f.write(f"soundfont {sf2}\n")
        command = ["timidity", "-c", config, "-Ow", "--output-mono", "-s", str(RATE),
                   "-EFreverb=0", "-EFchorus=0", "-o", raw, mid]
    subprocess.run(command, check=True, capture_output=True)
    if synth != "fluidsynth" and sf2 not in (SF2, FREEPATS):
        os.remove(path + ".cfg")
    os.remove(mid)
    settle(raw, path, seconds)


def settle(raw, path, seconds):
    """Writes the rendered note of `raw` to `path`, mono, its peak at -6 dBFS, from ONSET to
    half a second after it is let go, and removes `raw`. The note starts ONSET into the file
    whatever silence the renderer left before it (timidity leaves none): where it first
    reaches 1 % of its peak, less a millisecond."""
    x = read_wav(raw)
    start = max(0, int(np.argmax(np.abs(x) >= 0.01 * np.max(np.abs(x)))) - RATE // 1000)
    x = np.concatenate([np.zeros(int(ONSET * RATE)), x[start:]])[:int((ONSET + seconds + 0.5) * RATE)]
    write_wav(path, x * 0.5 / max(1e-9, np.max(np.abs(x))))
    os.remove(raw)


# --- the truth --------------------------------------------------------------------------

def window(n):
    """Blackman-Harris (4 terms): side lobes below -92 dB, so that a partial 40 dB under its
    neighbour is still found where it is."""
    x = 2 * np.pi * (np.arange(n) + 0.5) / n
    return 0.35875 - 0.48829 * np.cos(x) + 0.14128 * np.cos(2 * x) - 0.01168 * np.cos(3 * x)


class Spectrum:
    def __init__(self, x):
        self.xw = x * window(len(x))
        self.size = 1 << (8 * len(x) - 1).bit_length()  # zero padding to 8 times
        self.magnitude = np.abs(np.fft.rfft(self.xw, self.size))
        self.t = np.arange(len(x)) / RATE

    def at(self, hz):
        return abs(np.dot(self.xw, np.exp(-2j * np.pi * hz * self.t)))

    def peak(self, guess, width):
        """(Hz, magnitude) of the strongest peak within guess +- width, None at an edge."""
        bin_hz = RATE / self.size
        lo, hi = int((guess - width) / bin_hz), int((guess + width) / bin_hz) + 1
        if lo < 1 or hi >= len(self.magnitude) - 1:
            return None
        k = lo + int(np.argmax(self.magnitude[lo:hi + 1]))
        if k in (lo, hi):
            return None
        # Golden section on the transform itself between the neighbouring bins.
        a, b = (k - 1) * bin_hz, (k + 1) * bin_hz
        ratio = (math.sqrt(5) - 1) / 2
        c, d = b - ratio * (b - a), a + ratio * (b - a)
        fc, fd = self.at(c), self.at(d)
        for _ in range(36):
            if fc > fd:
                b, d, fd = d, c, fc
                c = b - ratio * (b - a)
                fc = self.at(c)
            else:
                a, c, fc = c, d, fd
                d = a + ratio * (b - a)
                fd = self.at(d)
        hz = (a + b) / 2
        return hz, self.at(hz)


def partials_of(x, nominal):
    """The first 12 partials of the note in x, near `nominal`, each found on its own where the
    stiff-string line through those found before puts it: (number, Hz, magnitude) each."""
    spectrum = Spectrum(x)
    found = []  # (number, Hz, magnitude)
    f0, stretch = nominal, 0.0
    for k in range(1, 13):
        guess = k * f0 * math.sqrt(1 + stretch * k * k)
        if guess > 0.4 * RATE:
            break
        peak = spectrum.peak(guess, min(0.3 * f0, guess * 0.06))
        if peak is None:
            continue
        found.append((k, peak[0], peak[1]))
        strong = [p for p in found if p[2] >= 0.01 * max(q[2] for q in found)]
        f0, stretch = fit(strong) if len(strong) >= 2 else (peak[0] / k, 0.0)
    return found


def first_partial(x, nominal):
    """The first partial's frequency (Hz) of the note in x, near `nominal` within a
    semitone, or None when its partials are not found."""
    found = partials_of(x, nominal)
    if not found:
        return None
    strongest = max(p[2] for p in found)
    if found[0][0] == 1 and found[0][2] >= 0.1 * strongest:
        return found[0][1]
    strong = [p for p in found if p[2] >= 0.01 * strongest]
    if len(strong) < 2:
        return None
    # Partials 2, 4, 6 alone (a bowed string's flautando, the odd ones 60 dB under) are the
    # whole series of the octave above: its period is half, and so is what sounds.
    common = math.gcd(*(k for k, _, _ in strong))
    f0, stretch = fit([(k // common, hz, m) for k, hz, m in strong])
    return f0 * math.sqrt(1 + stretch)


def fit(partials):
    """f0 and B of the line (f_k / k)^2 = f0^2 + f0^2 B k^2, weighted by power."""
    k2 = np.array([k * k for k, _, _ in partials], dtype=float)
    y = np.array([(hz / k) ** 2 for k, hz, _ in partials])
    w = np.array([m * m for _, _, m in partials])
    if len(set(k2)) < 2:
        return math.sqrt(np.average(y, weights=w)), 0.0
    slope, intercept = np.polyfit(k2, y, 1, w=np.sqrt(w))
    if intercept <= 0:
        return math.sqrt(np.average(y, weights=w)), 0.0
    return math.sqrt(intercept), max(0.0, slope / intercept)


def lowest_sounding(x, nominal):
    """The note's fundamental near `nominal` or an octave or two below it: an organ's 16'
    rank sounds an octave under the key, and the tone repeats at its period. The 16' rank is
    the sound's first partial, so the truth: the organ's E4 sounds E3 12 dB under its
    strongest partial and 5 dB over its key's own, and its other notes read at their 16'."""
    spectrum = Spectrum(x)
    strongest = max((p[1] for p in (spectrum.peak(k * nominal, 0.03 * k * nominal)
                                    for k in range(1, 5)) if p), default=0)
    for divisor in (4, 2):
        if nominal / divisor < LOWEST:
            continue
        below = spectrum.peak(nominal / divisor, 0.03 * nominal / divisor)
        if below and below[1] >= 0.1 * strongest:
            return nominal / divisor
    return nominal


def steady(x, f1):
    """Whether the note holds its pitch: its strongest partial and, where it is within 20 dB of
    the strongest (where the truth is read from it), its first, each measured over windows of
    0.15 s, stay within STEADY_CENTS (a vibrato, a drifting sample, a loop tuned apart from the
    attack, or a rank of two pipes apart does not)."""
    spectrum = Spectrum(x)
    peaks = [(p[1], k) for k in range(1, 9)
             if k * f1 < 0.4 * RATE and (p := spectrum.peak(k * f1, 0.01 * k * f1))]
    if not peaks:
        return False
    strongest, k = max(peaks)
    numbers = {k} | {n for magnitude, n in peaks if n == 1 and magnitude >= 0.1 * strongest}
    size, hop = int(0.15 * RATE), int(0.05 * RATE)
    for k in numbers:
        cents = []
        for start in range(0, len(x) - size, hop):
            peak = Spectrum(x[start:start + size]).peak(k * f1, 0.03 * k * f1)
            if peak is None:
                return False
            cents.append(1200 * math.log2(peak[0] / (k * f1)))
        if not cents or max(cents) - min(cents) > STEADY_CENTS:
            return False
    return True


def truth(path, nominal, seconds):
    """(first partial Hz over the window, steady?) or (None, False)."""
    x = read_wav(path)[int((ONSET + TRUTH_FROM) * RATE):int((ONSET + seconds) * RATE)]
    f1 = first_partial(x, lowest_sounding(x, nominal))
    return (f1, steady(x, f1)) if f1 else (None, False)


def truth_of(wanted):
    return truth(*wanted)


def truths_of(made, workdir, mapper=map):
    """The truth of every note, measured once and kept; `mapper` measures those not kept yet
    (a pool's map measures them side by side)."""
    kept_path = os.path.join(workdir, "truths.tsv")
    kept = {}
    if os.path.exists(kept_path):
        with open(kept_path) as f:
            for line in f:
                path, hz, steady = line.rstrip("\n").split("\t")
                kept[path] = (float(hz) or None, steady == "1")
    wanted = [(path, hz_of(midi), min(seconds, TRUTH_TO)) for _, _, midi, path, seconds in made
              if path not in kept]
    kept.update(zip((w[0] for w in wanted), mapper(truth_of, wanted)))
    out = [kept[path] for _, _, _, path, _ in made]
    with open(kept_path, "w") as f:
        for path, (hz, steady) in kept.items():
            f.write(f"{path}\t{hz or 0}\t{int(steady)}\n")
    return out


def check_truth():
    """The method on synthetic notes of known first partial: within 0.01 cent."""
    worst = 0.0
    for midi in range(23, 109, 10):
        for b, weak in ((0.0, 1.0), (1e-4, 0.1), (1e-3, 0.05), (5e-3, 0.03)):
            f0 = hz_of(midi) * 1.003
            t = np.arange(int(2.0 * RATE)) / RATE
            x = np.zeros_like(t)
            for k in range(1, 24):
                f = k * f0 * math.sqrt(1 + b * k * k)
                if f > 0.45 * RATE:
                    break
                amplitude = (weak if k == 1 else 1.0) / k
                x += amplitude * np.exp(-(0.5 + 0.2 * k) * t) * np.sin(2 * np.pi * f * t + k)
            measured = first_partial(x[int(0.3 * RATE):], hz_of(midi))
            off = abs(1200 * math.log2(measured / (f0 * math.sqrt(1 + b))))
            worst = max(worst, off)
    print(f"truth check: synthetic notes B0..C8, B 0..5e-3, the furthest {worst:.4f} cents")
    return worst <= 0.01


# --- the notes and the hard sounds ------------------------------------------------------

def folder_of(workdir, sf2):
    """Where the notes of `sf2` are kept: each soundfont's apart."""
    name = "" if sf2 == SF2 else "-" + os.path.splitext(os.path.basename(sf2))[0]
    return os.path.join(workdir, "instruments" + name)


def sampled_notes(workdir, sf2):
    """(synth, instrument, midi, path, seconds held) of every note, rendered once."""
    folder = folder_of(workdir, sf2)
    os.makedirs(folder, exist_ok=True)
    made = []
    for synth in ("fluidsynth", "timidity"):
        for program, name, rings, lowest, highest, step in INSTRUMENTS:
            seconds = RING_SECONDS if rings else HELD_SECONDS
            for midi in list(range(lowest, highest + 1, step)):
                path = os.path.join(folder, f"{synth}-{name}-{midi}.wav")
                render(synth, program, [midi], seconds, path, sf2)
                made.append((synth, name, midi, path, seconds))
    return made


def hard_sounds(workdir, sf2):
    """(name, path, the Hz of the notes played, the second their keys are let go) of the
    sounds that read right or not at all. Readings after that are not counted: the hum goes on
    alone once the string is damped, and reading it then is reading what sounds."""
    folder = folder_of(workdir, sf2)
    made = []
    for notes in ([40, 45], [57, 60], [40, 47]):
        path = os.path.join(folder, "two-" + "-".join(map(str, notes)) + ".wav")
        render("fluidsynth", 24, notes, RING_SECONDS, path, sf2)
        made.append(("two notes " + "+".join(map(str, notes)), path, [hz_of(n) for n in notes],
                     ONSET + RING_SECONDS))
    a2 = os.path.join(folder, "fluidsynth-nylon-45-alone.wav")
    render("fluidsynth", 24, [45], RING_SECONDS, a2, sf2)
    x = read_wav(a2)
    t = np.arange(len(x)) / RATE
    for name, extra in (("hum -46 dBFS", 0.005 * np.sin(2 * np.pi * 50 * t)),
                        ("DC 0.05", np.full_like(x, 0.05)), ("DC 0.3", np.full_like(x, 0.3))):
        path = os.path.join(folder, name.replace(" ", "_") + ".wav")
        if not os.path.exists(path):
            write_wav(path, x + extra)
        made.append(("A2 + " + name, path, [hz_of(45)], ONSET + RING_SECONDS))
    for hz in (7000, 8000, 10000, 12000, 15000):
        path = os.path.join(folder, f"sine-{hz}.wav")
        if not os.path.exists(path):
            s = np.arange(int(1.5 * RATE)) / RATE
            write_wav(path, 0.5 * np.sin(2 * np.pi * hz * s) * (s >= ONSET))
        made.append((f"sine {hz} Hz", path, [hz], 1.5))
    return made


# --- scoring ----------------------------------------------------------------------------

def score(readings, hz, seconds):
    """The figures of one note: the median (cents) over the window its truth was measured on,
    the readings while it sounds, those off by more than 50 cents, and the delays of
    listen.measure."""
    listen.SILENCE, listen.NOTE = ONSET, seconds
    figures = listen.measure(readings, hz, "sampled")
    window = [1200 * math.log2(f / hz) for t, f in readings
              if ONSET + TRUTH_FROM <= t <= ONSET + min(seconds, TRUTH_TO)]
    figures["median"] = listen.median(window)
    return figures


def first_as_sounds(readings, path, hz):
    """The delay to the first reading within 5 cents of the pitch that sounds then: the first
    partial, measured as the truth is, over the last 0.1 s before the reading (since the onset,
    if that is nearer). A sample's attack may sound 15 cents from where it settles, and a tuner
    that shows it is right."""
    x = read_wav(path)
    for t, f in readings:
        if not ONSET < t <= ONSET + 0.3:
            continue
        segment = x[int(max(ONSET, t - 0.1) * RATE):int(t * RATE)]
        if len(segment) < 3 * RATE / hz:
            continue
        sounding = first_partial(segment, hz)
        if sounding and abs(1200 * math.log2(f / sounding)) <= 5:
            return t - ONSET
    return float("nan")


def sound_delays(path, hz):
    """The delays, on the listener's grid of readings, by which the sound itself comes within 5
    cents of its truth (its first partial measured as the truth is, over the sound since the
    onset) and stays within 1 cent (over the last 0.1 s, every hop for 0.25 s). They measure
    the sound apart from any tool, but their windows lag a pitch that moves: a reading may come
    sooner."""
    x = read_wav(path)
    hop = HOP / RATE

    def cents(start, end):
        segment = x[int((ONSET + start) * RATE):int((ONSET + end) * RATE)]
        if len(segment) < 3 * RATE / hz:
            return float("nan")
        sounding = first_partial(segment, hz)
        return 1200 * math.log2(sounding / hz) if sounding else float("nan")

    # Three ends a hop over the first quarter second, as the listener reads a young note.
    ends = sorted({k * hop / 3 for k in range(1, 31)} |
                  {k * hop for k in range(11, int(0.8 / hop) + 1)})
    first5 = next((t for t in ends if abs(cents(0, t)) <= 5), float("nan"))
    last = {t: cents(max(0, t - 0.1), t) for t in ends}
    settled = next((t for t in ends if all(abs(last[u]) <= 1 for u in ends
                                           if t <= u <= t + 0.25 + hop / 2)
                    and t + 0.25 <= ends[-1]), float("nan"))
    return first5, settled


def later(path, share):
    """The note of `path` with its attack `share` of a hop later, and how much later (s)."""
    samples = round(share * HOP)
    out = os.path.join(os.path.dirname(path), "phases",
                       f"{os.path.basename(path)[:-4]}-{samples}.wav")
    if not os.path.exists(out):
        os.makedirs(os.path.dirname(out), exist_ok=True)
        write_wav(out, np.concatenate([np.zeros(samples), read_wav(path)]))
    return out, samples / RATE


def at_phases(run, made, truths):
    """The figures of each steady note read with its attack at each of PHASES of a hop."""
    figures = []
    for (_, _, _, path, seconds), (hz, steady) in zip(made, truths):
        if hz and steady:
            for share in PHASES:
                moved, delay = later(path, share)
                figures.append(score([(t - delay, f) for t, f in run(moved)], hz, seconds))
    return figures


def report_phases(made, truths, results, phased):
    """Over the steady notes with their attacks at every phase: 0 and PHASES of a hop."""
    print(f"attacks anywhere in a hop (0, {', '.join(str(p) for p in PHASES)} of it), "
          f"{len(PHASES) + 1} readings of each steady note:")
    print(f"{'tool':14} {'>50c':>7} {'worst note':>10} {'5c ms':>6} {'1c ms':>6}")
    for tool, rows in results.items():
        every = [m for m, (hz, steady) in zip(rows, truths) if hz and steady] + phased[tool]
        readings = sum(m["readings"] for m in every)
        off = sum(m["off"] for m in every)
        worst = max((m["off"] / m["readings"] for m in every if m["readings"]), default=0)
        first5, settled = (listen.median([m[key] for m in every if not math.isnan(m[key])])
                           for key in ("first5", "settled"))
        print(f"{tool:14} {100 * off / max(1, readings):6.2f}% {100 * worst:9.1f}% "
              f"{1000 * first5:6.0f} {1000 * settled:6.0f}")


def wrong(readings, played):
    """Readings that name none of the notes played."""
    return sum(1 for t, f in readings if t > ONSET and
               all(abs(1200 * math.log2(f / p)) > 50 for p in played))


def run_tools(program):
    return [("ondelis", lambda p: listen.ondelis_readings(program, p)),
            ("aubio yinfast", lambda p: listen.aubio_readings("yinfast", p)),
            ("aubio yin", lambda p: listen.aubio_readings("yin", p))]


def report_notes(made, truths, results, path):
    with open(path, "w") as detail:
        detail.write("tool\tsynth\tinstrument\tmidi\ttruth Hz\tsteady\tmedian cents\treadings"
                     "\toff >50\tfirst 5c s\t1c 250ms s\n")
        for tool, rows in results.items():
            for (synth, name, midi, _, _), (hz, steady), m in zip(made, truths, rows):
                detail.write(f"{tool}\t{synth}\t{name}\t{midi}\t{hz or 0:.4f}\t{int(steady)}\t"
                             f"{m['median']:+.3f}\t{m['readings']}\t{m['off']}\t"
                             f"{m['first5']:.3f}\t{m['settled']:.3f}\n")
    print(f"{'tool':14} {'synth':10} {'steady <=1c':>12} {'<=2c':>8} {'>50c':>7} "
          f"{'worst note':>10} {'5c ms':>6} {'1c ms':>6} {'5c of what sounds':>18} "
          f"{'the sound 5c':>12} {'1c ms':>6}")
    for tool, rows in results.items():
        for synth in ("fluidsynth", "timidity", "all"):
            chosen = [m for (s, *_), (hz, steady), m in zip(made, truths, rows)
                      if synth in ("all", s) and hz and steady]
            within1 = sum(1 for m in chosen if abs(m["median"]) <= 1)
            within2 = sum(1 for m in chosen if abs(m["median"]) <= 2)
            # Readings off are counted where the truth is sure: a vibrato's or a drifting
            # sample's long window holds no one pitch to be off from.
            every = chosen
            readings = sum(m["readings"] for m in every)
            off = sum(m["off"] for m in every)
            worst = max((m["off"] / m["readings"] for m in every if m["readings"]), default=0)
            first5 = listen.median([m["first5"] for m in every if not math.isnan(m["first5"])])
            settled = listen.median([m["settled"] for m in every
                                     if not math.isnan(m["settled"])])
            as_sounds = listen.median([m["as_sounds"] for m in every
                                       if not math.isnan(m["as_sounds"])])
            sound5, sound1 = (listen.median([m[key] for m in every if not math.isnan(m[key])])
                              for key in ("sound5", "sound1"))
            print(f"{tool:14} {synth:10} {within1:5}/{len(chosen):<6}{within2:5}/{len(chosen):<3}"
                  f"{100 * off / max(1, readings):6.2f}% {100 * worst:9.1f}% "
                  f"{1000 * first5:6.0f} {1000 * settled:6.0f} {1000 * as_sounds:18.0f} "
                  f"{1000 * sound5:12.0f} {1000 * sound1:6.0f}")


def main():
    program, workdir = sys.argv[1], sys.argv[2]
    sf2 = sys.argv[3] if len(sys.argv) > 3 else SF2
    if not check_truth():
        sys.exit("the truth is not measured within 0.01 cent of synthetic notes")
    made = sampled_notes(workdir, sf2)
    truths = truths_of(made, workdir)
    # Each soundfont's figures apart, as its notes are: the held-out run keeps the main one's.
    detail_path = folder_of(workdir, sf2) + ".tsv"
    measured = [t for t in truths if t[0]]
    print(f"{len(made)} sampled notes ({len(measured)} measured, "
          f"{sum(1 for t in measured if t[1])} steady) from {os.path.basename(sf2)}"
          f"{' and freepats' if sf2 == SF2 else ''}; "
          f"per-note figures in {detail_path}")
    # When the sound itself comes within 5 cents and stays within 1: the same for every tool.
    delays = [sound_delays(path, hz) if hz and steady else (float("nan"),) * 2
              for (_, _, _, path, _), (hz, steady) in zip(made, truths)]
    results, cpu = {}, {}
    audio = sum(ONSET + s + 0.5 for *_, s in made)
    for tool, run in run_tools(program):
        before = listen.children_cpu()
        results[tool] = []
        for (_, _, midi, path, seconds), (hz, steady) in zip(made, truths):
            readings = run(path)
            figures = score(readings, hz or hz_of(midi), seconds)
            figures["as_sounds"] = (first_as_sounds(readings, path, hz) if hz and steady
                                    else float("nan"))
            results[tool].append(figures)
        for figures, (sound5, sound1) in zip(results[tool], delays):
            figures["sound5"], figures["sound1"] = sound5, sound1
        cpu[tool] = (listen.children_cpu() - before) / audio
    report_notes(made, truths, results, detail_path)
    print("CPU seconds per second of audio: " +
          ", ".join(f"{tool} {cpu[tool]:.4f}" for tool in cpu))
    report_phases(made, truths, results,
                  {tool: at_phases(run, made, truths) for tool, run in run_tools(program)})
    print(f"{'hard sound':24} " + " ".join(f"{tool:>16}" for tool, _ in run_tools(program)))
    for name, path, played, end in hard_sounds(workdir, sf2):
        cells = []
        for _, run in run_tools(program):
            readings = [r for r in run(path) if ONSET < r[0] <= end]
            cells.append(f"{wrong(readings, played):4} of {len(readings):4} wrong")
        print(f"{name:24} " + " ".join(f"{c:>16}" for c in cells))


if __name__ == "__main__":
    main()
