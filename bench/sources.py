"""The clean notes of the split listening bench, by source: soundfonts rendered by fluidsynth or
timidity, the Synthesis ToolKit's physical models (stk-demo) and Csound's waveguide and
piano-string models. Each note is rendered once into the bench's folder and kept.

A source belongs to one half of the bench only (HALVES below): the development half is what
the listener may be tuned on, the validation half what it is checked on afterwards."""
import os
import subprocess

import instruments
from instruments import RATE, hz_of, settle

SF2 = "/usr/share/sounds/sf2/"
RING_SECONDS = 3.0  # a plucked or struck note left to ring
HELD_SECONDS = 2.5  # a bowed or blown note held

# (GM program, name, rings, MIDI notes): each soundfont source plays all of these.
SAMPLED = [
    (0, "piano", True, [28, 40, 52, 64, 76, 88]),
    (19, "organ", False, [36, 60]),
    (24, "nylon", True, [40, 52, 64]),
    (33, "bass", True, [28, 35, 43]),
    (40, "violin", False, [57, 69, 81]),
    (42, "cello", False, [36, 50]),
    (73, "flute", False, [72, 84]),
    (71, "clarinet", False, [52, 67]),
]

# Physical models: (instrument, rings, MIDI notes), each within the range the model speaks in.
STK_DEV = [
    ("Plucked", True, [33, 45, 57, 69, 81]),
    ("Mandolin", True, [55, 64, 72, 81]),
    ("Bowed", False, [43, 55, 67, 79]),
    ("Clarinet", False, [50, 57, 64, 71]),
]
STK_VALIDATION = [
    ("StifKarp", True, [33, 45, 57, 69, 81]),
    ("Flute", False, [60, 67, 74, 81]),
    ("Saxofony", False, [49, 56, 63, 70]),
    # An electric piano by FM; the ToolKit's Brass gives no steady tone at these pitches.
    ("Rhodey", True, [48, 60, 72, 84]),
]
# Csound's models: (name, rings, MIDI notes); the orchestra line of each is in CSOUND below.
CSOUND_DEV = [
    ("wgpluck2", True, [40, 47, 52, 64, 76]),
    ("wgbow", False, [43, 55, 67]),
]
CSOUND_VALIDATION = [
    ("wgflute", False, [60, 72, 79]),
    ("wgclar", False, [50, 62, 69]),
    ("prepiano", True, [33, 45, 57, 69, 81]),
]
CSOUND = {
    "wgpluck2": "a1 wgpluck2 0.1, 0.5, p4, 0.2, 0.3",
    "wgbow": "a1 wgbow 0.3 * kenv, p4, 3, 0.127236, 0, 0, 1",
    "wgflute": "a1 wgflute 0.3 * kenv, p4, 0.32, 0.1, 0.1, 0.05, 0, 0, 1",
    "wgclar": "a1 wgclar 0.3 * kenv, p4, -0.2, 0.1, 0.1, 0.05, 0, 0, 1",
    # Three strings a cent apart, of stiffness 1, struck 0.09 of the way along.
    "prepiano": "a1, a2 prepiano p4, 3, 1, 1, 4, 0.002, 2, 2, 1, 5000, -0.01, 0.09, 30, 0, "
                "0.1, 0, 0",
}

# Each half: (source name, renderer, what it renders). Split by source, so that no sound of the
# validation half comes from a soundfont, a renderer's model or a physical model seen in the
# development half.
HALVES = {
    "dev": [
        ("fluidsynth sf_GMbank", "fluidsynth", SF2 + "sf_GMbank.sf2"),
        ("timidity freepats", "timidity", instruments.FREEPATS),
        ("stk dev", "stk", STK_DEV),
        ("csound dev", "csound", CSOUND_DEV),
    ],
    "validation": [
        ("fluidsynth FluidR3", "fluidsynth", SF2 + "FluidR3_GM.sf2"),
        ("fluidsynth MuseScore", "fluidsynth", "/usr/share/sounds/sf3/MuseScore_General.sf3"),
        ("timidity TimGM6mb", "timidity", SF2 + "TimGM6mb.sf2"),
        ("fluidsynth OPL-3 FM", "fluidsynth", SF2 + "OPL-3_FM_128M.sf2"),
        ("stk validation", "stk", STK_VALIDATION),
        ("csound validation", "csound", CSOUND_VALIDATION),
    ],
}


def seconds_of(rings):
    return RING_SECONDS if rings else HELD_SECONDS


STK_CLOCK = "2020-01-01 00:00:00"


def render_stk(instrument, midi, seconds, path):
    score = path + ".ski"
    with open(score, "w") as f:
        # SKINI times are the delays since the line before.
        f.write(f"NoteOn 0.0 1 {midi} 100\nNoteOff {seconds} 1 {midi} 64\n"
                f"ControlChange 0.5 1 7 100\n")
    raw = path + ".raw.wav"
    # stk-demo seeds its noise (a pluck's excitation, a breath) from the clock: at a clock held
    # still every machine renders the same notes, and so measures the same bench.
    subprocess.run(["faketime", STK_CLOCK, "stk-demo", instrument, "-s", str(RATE), "-ow", raw, "-if", score],
                   check=True, capture_output=True)
    os.remove(score)
    settle(raw, path, seconds)


def render_csound(model, midi, seconds, path):
    orchestra = (f"sr = {RATE}\nksmps = 1\nnchnls = 1\n0dbfs = 1\ninstr 1\n"
                 "kenv linseg 0, 0.05, 1, p3 - 0.1, 1, 0.05, 0\n"
                 f"{CSOUND[model]}\nout a1\nendin\n")
    score = f"f1 0 4096 10 1\ni 1 0 {seconds + (0.5 if model != 'prepiano' else 0)} {hz_of(midi)}\n"
    csd = path + ".csd"
    raw = path + ".raw.wav"
    with open(csd, "w") as f:
        f.write(f"<CsoundSynthesizer>\n<CsOptions>\n-d -m0 -W -o {raw}\n</CsOptions>\n"
                f"<CsInstruments>\n{orchestra}</CsInstruments>\n"
                f"<CsScore>\n{score}</CsScore>\n</CsoundSynthesizer>\n")
    subprocess.run(["csound", csd], check=True, capture_output=True)
    os.remove(csd)
    settle(raw, path, seconds)


def model_notes(folder, renderer, models):
    """(instrument, midi, path, seconds) of a physical model source's notes, rendered once."""
    made = []
    for name, rings, notes in models:
        for midi in notes:
            path = os.path.join(folder, f"{renderer}-{name}-{midi}.wav")
            if not os.path.exists(path):
                (render_stk if renderer == "stk" else render_csound)(
                    name, midi, seconds_of(rings), path)
            made.append((name, midi, path, seconds_of(rings)))
    return made


def sampled(folder, renderer, soundfont):
    """(instrument, midi, path, seconds) of a soundfont source's notes, rendered once."""
    made = []
    for program, name, rings, notes in SAMPLED:
        for midi in notes:
            path = os.path.join(folder, f"{name}-{midi}.wav")
            instruments.render(renderer, program, [midi], seconds_of(rings), path, soundfont)
            made.append((name, midi, path, seconds_of(rings)))
    return made


def clean_notes(workdir, half):
    """(source, instrument, midi, path, seconds) of every clean note of the half."""
    made = []
    for source, renderer, what in HALVES[half]:
        folder = os.path.abspath(os.path.join(workdir, half, source.replace(" ", "-")))
        os.makedirs(folder, exist_ok=True)
        notes = (sampled(folder, renderer, what) if renderer in ("fluidsynth", "timidity")
                 else model_notes(folder, renderer, what))
        made += [(source, *note) for note in notes]
    return made
