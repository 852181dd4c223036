#!/usr/bin/env python3
"""How well `ondelis --piano FILE --measure --listen TAKE` measures a piano's strings.

Usage: piano.py ONDELIS WORKDIR

Synthetic pianos, whose every string is known: stiff strings, f_k = k f0 sqrt(1 + B k^2), B
along a curve of the shape measured on real pianos (Young 1952; Schuck & Young 1943):
about 2e-4 at A0, least near the break between the wound bass strings and the plain ones,
3e-4 around C4, rising to 1e-2 and more at C8. Each key has two strings (the bass) or three,
within half a cent of each other; the hammer strikes an eighth of the way along, so partials
near the 8th, 16th... are weak, its felt rounds off the high partials, and the soundboard
radiates the bass's first partials weakly (A0's some 20 dB under its strongest). Each
partial decays in two stages, a prompt sound and a slower aftersound, and the strike's thump,
a burst of noise, sounds over the attack. The keys are played one after another into one take
per piano, each ringing RING seconds before it is damped. Two pianos: the development piano
(every 4th key from A0) and the validation piano (every 4th key from B0, and C8), whose curve,
unisons, decays and noise differ and which was not looked at while the bench was written.

The sampled pianos the listening bench renders (bench/instruments.py: fluidsynth from
csound-soundfont's sf_GMbank.sf2 and timidity from freepats, the development set; both from
TimGM6mb, and fluidsynth from FluidR3_GM and MuseScore_General, the held-out set), every 3rd key
from A0, played the same way. Their strings'
stiffness is not known: B per key is set against the range measured on real pianos, whether
it rises toward the treble, and a fit of the same note's partials made here; the first partial
against the listening bench's truth of the note. A soundfont plays one sample over several keys,
shifting its pitch, which keeps its B: runs of keys of one B are named.

Csound's prepiano, a physical model of a piano's unison (finite differences of the stiff
string's equation, u_tt = gamma^2 u_xx - K^2 u_xxxx on a string of unit length, gamma = 2 f0,
struck by a felt hammer), every 3rd key from A0, given the B of the published curve
(PREPIANO_CURVE): its K is the dimensionless stiffness of that equation, whose partials lie at
n f0 sqrt(1 + B n^2) with B = K^2 pi^2 / gamma^2, so K = 2 f0 sqrt(B) / pi (B = K^2 pi^2 alone
would not scale with the pitch; rendering shows B falling as 1/f0^2 at one K). Its grid's
dispersion makes the B it sounds somewhat less: it is fitted offline as for the sampled pianos,
and the bench says how far it is from the B given. Rendered at four times the rate (the upper
octaves' coarse grid is silent at 44.1 kHz) and brought down to RATE.

For each take: the keys measured, the first partial's error in cents (synthetic: against the
mean of the key's strings), B's error (synthetic: against the B every string of the key has)
per region of the keyboard. Per-key figures in WORKDIR/piano.tsv.
"""
import math
import os
import shutil
import subprocess
import sys

import numpy as np

sys.dont_write_bytecode = True  # no __pycache__ in bench/
import instruments  # noqa: E402

RATE = 44100
RING = 3.0  # seconds each key sounds before its damper falls
GAP = 0.5  # seconds of silence after it
REGIONS = [("bass A0-B2", 1, 26), ("middle C3-B5", 27, 62), ("treble C6-C8", 63, 88)]
# The range of B measured on real pianos, for the sampled pianos. From C4 up, Young 1952's
# plain strings: their second partial 1.2 cents sharp at C4 (B = 1.2 / 3462, 3.5e-4), doubling
# every 8 keys, alike in all six pianos; half to twice that. Below, where B is least in the two
# octaves under C4 and rises again in the bass, more in small pianos than in large (Schuck &
# Young 1943): 5e-5 to 1e-3.
YOUNG_C4, YOUNG_DOUBLING = 1.2 / 3462, 8


# prepiano's strings: Young's plain strings from C4 up (as YOUNG_C4, doubling every 8 keys),
# and below the least near the break, rising again toward A0 (Schuck & Young).
PREPIANO_CURVE = [(1, 3e-4), (24, 1.2e-4), (40, YOUNG_C4), (88, YOUNG_C4 * 2 ** 6)]
PREPIANO_OVERSAMPLING = 4


def hz_of_key(key):
    return 440.0 * 2 ** ((key - 49) / 12)


def name_of_key(key):
    return ["A", "A#", "B", "C", "C#", "D", "D#", "E", "F", "F#", "G", "G#"][(key - 1) % 12] + \
        str((key + 8) // 12)


def key_of_name(name):
    """The key of a note as the piano file names it: "A0", "C#4", "Bb3"."""
    semitone = {"C": -9, "D": -7, "E": -5, "F": -4, "G": -2, "A": 0, "B": 2}[name[0].upper()]
    semitone += {"#": 1, "b": -1}.get(name[1], 0)
    return 49 + semitone + 12 * (int(name.lstrip("ABCDEFGabcdefg#")) - 4)


# (key, log10 B) knots of each synthetic piano's curve, log-linear between them, and what
# else sets the pianos apart.
PIANOS = {
    "development": {
        "curve": [(1, 2e-4), (24, 1e-4), (40, 3e-4), (88, 1.5e-2)],
        "keys": list(range(1, 89, 4)),
        "three_from": 29,  # the first key with three strings
        "detune": 0.5,  # cents: each string of a unison within this of the others' mean
        "prompt": 0.45,  # seconds: the prompt sound's time constant at 200 Hz
        "after": 0.2,  # the aftersound's share of the strike
        "thump": 0.3,  # the thump's peak against the note's
        "seed": 1,
    },
    "validation": {
        "curve": [(1, 3.5e-4), (20, 1.3e-4), (40, 4e-4), (88, 2e-2)],
        "keys": list(range(3, 89, 4)) + [88],
        "three_from": 25,
        "detune": 0.5,
        "prompt": 0.35,
        "after": 0.12,
        "thump": 0.5,
        "seed": 2,
    },
}


def curve_b(curve, key):
    for (k0, b0), (k1, b1) in zip(curve, curve[1:]):
        if k0 <= key <= k1:
            share = (key - k0) / (k1 - k0)
            return 10 ** (math.log10(b0) + share * (math.log10(b1) - math.log10(b0)))
    raise ValueError(key)


def strike(piano, key, rng):
    """The samples of one key struck and left to ring for RING seconds, then damped."""
    b = curve_b(piano["curve"], key)
    f0 = hz_of_key(key) / math.sqrt(1 + b)  # the first partial is the key's tempered pitch
    strings = 3 if key >= piano["three_from"] else 2
    cents = rng.uniform(-piano["detune"], piano["detune"], strings)
    cents -= cents.mean()  # the unison's mean is the key's pitch
    t = np.arange(int((RING + GAP) * RATE)) / RATE
    damper = np.clip((RING + 0.05 - t) / 0.05, 0, 1)  # the damper stops it over 50 ms
    felt = 700 * (hz_of_key(key) / 27.5) ** 0.55  # Hz: the hammer's felt rounds off above
    x = np.zeros_like(t)
    for n in range(1, 80):
        fn = n * f0 * math.sqrt(1 + b * n * n)
        if fn > 0.4 * RATE:
            break
        radiated = (fn / 250) ** 2 / (1 + (fn / 250) ** 2)  # the soundboard's weak bass
        amplitude = abs(math.sin(math.pi * n / 8.3)) / n * radiated / (1 + (fn / felt) ** 2)
        prompt = min(4.0, max(0.08, piano["prompt"] * math.sqrt(200 / fn)))
        envelope = (1 - piano["after"]) * np.exp(-t / prompt) + \
            piano["after"] * np.exp(-t / (6 * prompt))
        for c in cents:
            phase = 2 * math.pi * fn * 2 ** (c / 1200) * t + rng.uniform(0, 2 * math.pi)
            x += amplitude * envelope * np.sin(phase)
    x *= damper
    # The thump: noise through a one-pole low-pass at 1 kHz, dying away over 15 ms.
    burst = np.arange(int(0.1 * RATE))
    noise = rng.standard_normal(len(burst)) * np.exp(-burst / (0.015 * RATE))
    pole = math.exp(-2 * math.pi * 1000 / RATE)
    thump = np.zeros_like(noise)
    for i in range(1, len(noise)):
        thump[i] = (1 - pole) * noise[i] + pole * thump[i - 1]
    x[:len(thump)] += thump * piano["thump"] * np.max(np.abs(x)) / max(1e-12, np.max(np.abs(thump)))
    return x / np.max(np.abs(x)) * 0.5, b


def first_partial_strength(piano, key):
    """dB of the first partial under the key's strongest (the model's, before decay)."""
    b = curve_b(piano["curve"], key)
    f0 = hz_of_key(key) / math.sqrt(1 + b)
    felt = 700 * (hz_of_key(key) / 27.5) ** 0.55
    amplitudes = []
    for n in range(1, 80):
        fn = n * f0 * math.sqrt(1 + b * n * n)
        if fn > 0.4 * RATE:
            break
        radiated = (fn / 250) ** 2 / (1 + (fn / 250) ** 2)
        amplitudes.append(abs(math.sin(math.pi * n / 8.3)) / n * radiated / (1 + (fn / felt) ** 2))
    return 20 * math.log10(amplitudes[0] / max(amplitudes))


def synthetic_take(workdir, name):
    """The take of a synthetic piano, made once, and the B of each key in it."""
    piano = PIANOS[name]
    path = os.path.join(workdir, f"synthetic-{name}.wav")
    truth = {key: curve_b(piano["curve"], key) for key in piano["keys"]}
    if not os.path.exists(path):
        rng = np.random.default_rng(piano["seed"])
        take = [np.zeros(int(0.25 * RATE))] + [strike(piano, key, rng)[0] for key in piano["keys"]]
        instruments.write_wav(path + ".part.wav", np.concatenate(take))
        os.replace(path + ".part.wav", path)
    return path, truth


def sampled_take(workdir, synth, sf2):
    """The take of a sampled piano: its keys rendered as the listening bench renders them."""
    tag = os.path.splitext(os.path.basename(sf2))[0]
    folder = os.path.join(workdir, "sampled")
    os.makedirs(folder, exist_ok=True)
    path = os.path.join(workdir, f"sampled-{synth}-{tag}.wav")
    keys = list(range(1, 89, 3))
    notes = {key: os.path.join(folder, f"{synth}-{tag}-{key}.wav") for key in keys}
    if not os.path.exists(path):
        take = []
        for key in keys:
            instruments.render(synth, 0, [key + 20], RING, notes[key], sf2)
            x = instruments.read_wav(notes[key])[:int((0.25 + RING + GAP) * RATE)]
            x[int((0.25 + RING) * RATE):] = 0  # the damper: the renderers' release rings on
            take.append(x)
        instruments.write_wav(path + ".part.wav", np.concatenate(take))
        os.replace(path + ".part.wav", path)
    return path, notes


def prepiano_stiffness(hz, b):
    """prepiano's K for a string of stiffness B at `hz`: B = K^2 pi^2 / (2 hz)^2."""
    return 2 * hz * math.sqrt(b) / math.pi


def prepiano_note(key, b, path):
    """One key of prepiano struck and left to ring RING seconds, damped, ONSET into the file."""
    # Two or three strings 0.3 cent apart, decaying 30 dB in 4 s, pivoting ends; a hard, fast
    # hammer (its own vibrations at 20 kHz, velocity 200) for partials above the first few.
    rate = PREPIANO_OVERSAMPLING * RATE
    raw = path + ".f32"
    strings = 3 if key >= 29 else 2
    orchestra = (f"sr = {rate}\nksmps = 32\nnchnls = 1\n0dbfs = 1\ninstr 1\n"
                 f"aout prepiano {hz_of_key(key)}, {strings}, 0.3, "
                 f"{prepiano_stiffness(hz_of_key(key), b)}, 4, 0.002, 2, 2, 1, 20000, -0.01, "
                 "0.09, 200, 0, 0.1\nout aout\nendin\n")
    csd = (f"<CsoundSynthesizer>\n<CsOptions>\n-d -m0 -f -h -o {raw}\n</CsOptions>\n"
           f"<CsInstruments>\n{orchestra}</CsInstruments>\n"
           f"<CsScore>\ni1 0 {RING + GAP}\n</CsScore>\n</CsoundSynthesizer>\n")
    with open(path + ".csd", "w") as f:
        f.write(csd)
    subprocess.run(["csound", path + ".csd"], check=True, capture_output=True)
    x = np.fromfile(raw, dtype="<f4").astype(np.float64)
    os.remove(raw)
    os.remove(path + ".csd")
    # Down to RATE by cutting the spectrum above its half: the note starts and ends in silence.
    x = x[:len(x) // PREPIANO_OVERSAMPLING * PREPIANO_OVERSAMPLING]
    n = len(x) // PREPIANO_OVERSAMPLING
    x = np.fft.irfft(np.fft.rfft(x)[:n // 2 + 1], n) / PREPIANO_OVERSAMPLING
    x = np.concatenate([np.zeros(int(instruments.ONSET * RATE)), x])
    x[int((instruments.ONSET + RING) * RATE):] = 0
    instruments.write_wav(path, x * 0.5 / max(1e-12, np.max(np.abs(x))))


def prepiano_take(workdir):
    """The take of prepiano's keys, made once, the file of each key and the B each was given."""
    folder = os.path.join(workdir, "prepiano")
    os.makedirs(folder, exist_ok=True)
    path = os.path.join(workdir, "prepiano.wav")
    keys = list(range(1, 89, 3))
    given = {key: curve_b(PREPIANO_CURVE, key) for key in keys}
    notes = {key: os.path.join(folder, f"prepiano-{key}.wav") for key in keys}
    for key in keys:
        if not os.path.exists(notes[key]):
            prepiano_note(key, given[key], notes[key])
    if not os.path.exists(path):
        take = [instruments.read_wav(notes[key])[:int((0.25 + RING + GAP) * RATE)] for key in keys]
        instruments.write_wav(path + ".part.wav", np.concatenate(take))
        os.replace(path + ".part.wav", path)
    return path, notes, given


def report_given(notes, given):
    """How far the B prepiano sounds (the offline fit) is from the B it was given."""
    ratios = [(key, offline_b(notes[key], key) / b) for key, b in sorted(given.items())
              if offline_b(notes[key], key)]
    if ratios:
        print(f"  offline fit against the B given: median {median([r for _, r in ratios]):.2f} "
              f"times it, from {min(r for _, r in ratios):.2f} to "
              f"{max(r for _, r in ratios):.2f}, over {len(ratios)} of {len(given)} keys "
              "(fewer than three partials leave no fit)")


def offline_b(path, key):
    """B of a rendered key as the listening bench's truth fits it, sharing nothing with the
    program: each of the first 12 partials found on its own over 0.3 to 2 s after the onset,
    the stiff-string line through those within 40 dB of the strongest; None when fewer than
    three are."""
    x = instruments.read_wav(path)[int(0.55 * RATE):int(2.25 * RATE)]
    found = instruments.partials_of(x, hz_of_key(key))
    strong = [p for p in found if p[2] >= 0.01 * max(q[2] for q in found)] if found else []
    return instruments.fit(strong)[1] if len(strong) >= 3 else None


def measure(program, take, workdir):
    """{key: (first partial Hz, B, partials)} as `--piano FILE --measure --listen` writes them,
    and the lines it said on standard error (the keys it refused)."""
    piano_file = os.path.join(workdir, os.path.basename(take)[:-4] + ".piano")
    if os.path.exists(piano_file):
        os.remove(piano_file)
    out = subprocess.run([program, "--piano", piano_file, "--measure", "--listen", take],
                         capture_output=True, text=True, timeout=600)
    if out.returncode != 0:
        sys.exit(f"{program} --measure on {take}: status {out.returncode}: {out.stderr}")
    measured = {}
    with open(piano_file) as f:
        for line in f:
            fields = line.split()
            if fields and not fields[0].startswith("#"):
                key = key_of_name(fields[0])
                measured[key] = (float(fields[1]), float(fields[2]), int(fields[3]))
    return measured, [line for line in out.stderr.splitlines() if line]


def median(values):
    values = sorted(values)
    return values[len(values) // 2] if values else float("nan")


def report_synthetic(name, measured, truth, detail):
    rows = []
    for key, b in truth.items():
        if key in measured:
            hz, mb, partials = measured[key]
            rows.append((key, 1200 * math.log2(hz / hz_of_key(key)), 100 * (mb - b) / b, b, mb,
                         partials))
            detail.write(f"synthetic {name}\t{name_of_key(key)}\t{hz_of_key(key):.3f}\t{hz:.3f}"
                         f"\t{rows[-1][1]:+.3f}\t{b:.4e}\t{mb:.4e}\t{rows[-1][2]:+.1f}"
                         f"\t{partials}\n")
        else:
            detail.write(f"synthetic {name}\t{name_of_key(key)}\t{hz_of_key(key):.3f}\t\t\t"
                         f"{b:.4e}\t\t\t\n")
    report_misnamed(measured, truth)
    for region, lo, hi in REGIONS + [("all", 1, 88)]:
        chosen = [r for r in rows if lo <= r[0] <= hi]
        worst = max(chosen, key=lambda r: abs(r[2]), default=None)
        asked = sum(1 for k in truth if lo <= k <= hi)
        if not chosen:
            print(f"  {region:14} 0/{asked} measured")
            continue
        print(f"  {region:14} {len(chosen):2}/{asked:<2} measured; first partial: median "
              f"|error| {median([abs(r[1]) for r in chosen]):.3f} cents, worst "
              f"{max(abs(r[1]) for r in chosen):.3f}; B: median |error| "
              f"{median([abs(r[2]) for r in chosen]):.1f} %, worst "
              f"{abs(worst[2]):.1f} % ({name_of_key(worst[0])}); "
              f"median partials {median([r[5] for r in chosen])}")


def report_misnamed(measured, played):
    """The keys written that were not played: a key the measure named wrongly."""
    wrong = sorted(set(measured) - set(played))
    if wrong:
        print(f"  {len(wrong)} keys written that were not played: " +
              " ".join(f"{name_of_key(k)} ({measured[k][0]:.1f} Hz)" for k in wrong))


def published_range(key):
    if key < 40:
        return 5e-5, 1e-3
    young = YOUNG_C4 * 2 ** ((key - 40) / YOUNG_DOUBLING)
    return young / 2, young * 2


def report_shared_samples(fitted):
    """Runs of keys whose offline B is one within 2 %: a soundfont plays one sample over several
    keys, shifting its pitch, which scales every partial alike and keeps its B."""
    runs, run = [], []
    for key in sorted(fitted):
        b = fitted[key]
        if run and b and fitted[run[-1]] and abs(b / fitted[run[-1]] - 1) <= 0.02:
            run.append(key)
            continue
        if len(run) >= 2:
            runs.append(run)
        run = [key] if b else []
    if len(run) >= 2:
        runs.append(run)
    if runs:
        print(f"  keys that keep one B (one sample pitch-shifted over them): " +
              ", ".join(f"{'-'.join(name_of_key(k) for k in r)} ({fitted[r[0]]:.1e})"
                        for r in runs))


def report_sampled(name, measured, notes, detail):
    inside, errors, cents = 0, [], []
    keys = sorted(notes)
    for key in keys:
        fitted = offline_b(notes[key], key)
        truth, held = instruments.truth(notes[key], hz_of_key(key), 2.0)
        if key in measured and truth:
            cents.append((1200 * math.log2(measured[key][0] / truth), held))
        fitted_text = f"{fitted:.4e}" if fitted is not None else ""
        if key in measured:
            hz, b, partials = measured[key]
            lo, hi = published_range(key)
            inside += lo <= b <= hi
            error = ""
            if fitted:
                errors.append((key, 100 * (b - fitted) / fitted))
                error = f"{errors[-1][1]:+.1f}"
            detail.write(f"sampled {name}\t{name_of_key(key)}\t{hz_of_key(key):.3f}\t{hz:.3f}\t"
                         f"{1200 * math.log2(hz / hz_of_key(key)):+.3f}\t{fitted_text}\t{b:.4e}\t"
                         f"{error}\t{partials}\n")
        else:
            detail.write(f"sampled {name}\t{name_of_key(key)}\t{hz_of_key(key):.3f}\t\t\t"
                         f"{fitted_text}\t\t\t\n")
    report_shared_samples({key: offline_b(notes[key], key) for key in keys})
    if cents:
        steady = [abs(c) for c, held in cents if held]
        print(f"  first partial against the listening bench's truth of the same note: median "
              f"|error| {median([abs(c) for c, _ in cents]):.2f} cents over {len(cents)} keys, "
              f"{median(steady):.2f} over the {len(steady)} steady ones, within 1 cent "
              f"{sum(1 for c in steady if c <= 1)} of them")
    if errors:
        print(f"  B against the offline fit of the same note (its partials 1 to 12): median "
              f"|error| {median([abs(e) for _, e in errors]):.1f} %, within 10 %: "
              f"{sum(1 for _, e in errors if abs(e) <= 10)} of {len(errors)}")
    got = sorted((k, m) for k, m in measured.items() if k in notes)
    print(f"  {len(got)}/{len(keys)} keys measured, {inside} of them with B in the published "
          f"range")
    report_misnamed(measured, keys)
    for region, lo, hi in REGIONS:
        bs = [m[1] for k, m in got if lo <= k <= hi]
        if bs:
            print(f"  {region:14} B median {median(bs):.2e}, from {min(bs):.2e} to {max(bs):.2e}"
                  f" ({len(bs)} keys)")
    # Rising toward the treble: the slope of log10 B on the key over the keys from C3 up, and
    # how many steps from one measured key to the next go up.
    upper = [(k, m[1]) for k, m in got if k >= 27 and m[1] > 0]
    if len(upper) >= 2:
        slope = np.polyfit([k for k, _ in upper], [math.log10(b) for _, b in upper], 1)[0]
        ups = sum(1 for (_, a), (_, c) in zip(upper, upper[1:]) if c > a)
        print(f"  from C3 up: B doubles every {math.log10(2) / slope:.1f} keys (Young: "
              f"{YOUNG_DOUBLING})"
              if slope > 0 else f"  from C3 up: B falls ({slope:.4f} decades a key)",
              f"({ups} of {len(upper) - 1} steps up)")
    print("  B per key: " + " ".join(f"{name_of_key(k)} {m[1]:.1e}" for k, m in got))


def main():
    program, workdir = sys.argv[1], sys.argv[2]
    os.makedirs(workdir, exist_ok=True)
    detail = open(os.path.join(workdir, "piano.tsv"), "w")
    detail.write("take\tkey\ttempered Hz\tmeasured Hz\tcents\ttrue B (sampled: fitted)"
                 "\tmeasured B\tB error %"
                 "\tpartials\n")
    for name, piano in PIANOS.items():
        take, truth = synthetic_take(workdir, name)
        measured, said = measure(program, take, workdir)
        bass = [first_partial_strength(piano, k) for k in piano["keys"] if k <= 12]
        print(f"synthetic {name} piano ({len(truth)} keys, {take}; first partial "
              f"{-max(bass):.0f} to {-min(bass):.0f} dB under the strongest from A0 to G#1):")
        report_synthetic(name, measured, truth, detail)
        for line in said:
            print("  ondelis: " + line)
    if shutil.which("csound"):
        take, notes, given = prepiano_take(workdir)
        measured, said = measure(program, take, workdir)
        print(f"modelled piano, Csound's prepiano (every 3rd key, B along Young's curve):")
        report_sampled("csound prepiano", measured, notes, detail)
        report_given(notes, given)
        for line in said:
            print("  ondelis: " + line)
    else:
        print("modelled piano: csound is missing (apt-get install --no-remove csound)")
    for synth, sf2, part in (("fluidsynth", instruments.SF2, "development"),
                             ("timidity", instruments.SF2, "development"),
                             ("fluidsynth", "/usr/share/sounds/sf2/TimGM6mb.sf2", "validation"),
                             ("timidity", "/usr/share/sounds/sf2/TimGM6mb.sf2", "validation"),
                             ("fluidsynth", "/usr/share/sounds/sf2/FluidR3_GM.sf2", "validation"),
                             ("fluidsynth", "/usr/share/sounds/sf3/MuseScore_General.sf3",
                              "validation")):
        if not os.path.exists(sf2):
            print(f"sampled: {sf2} is missing (apt-get install --no-remove csound-soundfont "
                  "timgm6mb-soundfont fluid-soundfont-gm musescore-general-soundfont freepats "
                  "fluidsynth timidity)")
            continue
        source = ("freepats" if synth == "timidity" and sf2 == instruments.SF2
                  else os.path.basename(sf2))
        take, notes = sampled_take(workdir, synth, sf2)
        measured, said = measure(program, take, workdir)
        print(f"sampled piano, {synth} from {source} ({part}):")
        report_sampled(f"{synth} {source}", measured, notes, detail)
        for line in said:
            print("  ondelis: " + line)
    detail.close()
    print(f"per-key figures in {os.path.join(workdir, 'piano.tsv')}")


if __name__ == "__main__":
    main()
