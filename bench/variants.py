"""The variants of a clean note, each made offline from it (numpy, SoX, opusenc): what a tuner
hears beside a clean recording. A variant's truth is its clean note's: vibrato swings about the
clean pitch, and the rest add sound to the note or take some away without moving its pitch.

Each variant's parameters are drawn once per note from a generator seeded by the note's file
name, so that a rerun makes the same files."""
import json
import math
import os
import subprocess
import zlib

import numpy as np

from instruments import ONSET, RATE, TRUTH_FROM, TRUTH_TO, read_wav, write_wav

AGAIN_AT = 1.2  # seconds after the onset: the note struck or bowed again


def generator(path, name):
    return np.random.default_rng(zlib.crc32(f"{os.path.basename(path)}:{name}".encode()))


def power(x, seconds):
    """The note's mean power over the window its truth is measured on."""
    part = x[int((ONSET + TRUTH_FROM) * RATE):int((ONSET + min(seconds, TRUTH_TO)) * RATE)]
    return float(np.mean(part * part))


def shaped_noise(rng, n, gain_of_hz):
    """Gaussian noise of n samples whose spectrum's magnitude follows gain_of_hz, unit power."""
    spectrum = rng.normal(size=n // 2 + 1) + 1j * rng.normal(size=n // 2 + 1)
    hz = np.fft.rfftfreq(n, 1 / RATE)
    spectrum *= gain_of_hz(np.maximum(hz, 1.0))
    spectrum[0] = 0
    noise = np.fft.irfft(spectrum, n)
    return noise / math.sqrt(np.mean(noise * noise))


def filtered(x, gain_of_hz):
    """x through a zero-phase filter of the magnitude gain_of_hz."""
    hz = np.fft.rfftfreq(len(x), 1 / RATE)
    return np.fft.irfft(np.fft.rfft(x) * gain_of_hz(np.maximum(hz, 1e-3)), len(x))


def under(x, seconds, noise, db):
    """x with `noise` (unit power) db under the note's power."""
    return x + noise * math.sqrt(power(x, seconds) / 10 ** (db / 10))


def vibrato(x, rng, seconds):
    """A vibrato from the onset on, its depth (cents) and rate (Hz) drawn: the note read at a
    time that runs faster and slower about the clock, so its every partial swings alike."""
    depth, rate = rng.uniform(5, 30), rng.uniform(4, 7)
    t = np.arange(len(x)) / RATE - ONSET
    ratio = 2 ** (depth / 1200 * np.sin(2 * np.pi * rate * np.maximum(t, 0)))
    clock = np.cumsum(np.where(t > 0, ratio, 1.0)) - 1
    warped = np.interp(np.clip(clock, 0, len(x) - 1), np.arange(len(x)), x)
    return warped, {"depth": depth, "rate": rate}


def again(x, rng, seconds):
    """The note struck, plucked or bowed again: at AGAIN_AT it fades over 20 ms to what was
    sounding at a tenth and starts over from its onset."""
    at = int((ONSET + AGAIN_AT) * RATE)
    fade = int(0.02 * RATE)
    first = x.copy()
    first[at:at + fade] *= np.linspace(1, 0.1, fade)
    first[at + fade:] *= 0.1
    out = first
    out[at:] += x[int(ONSET * RATE):int(ONSET * RATE) + len(x) - at]
    return out, {}


def rumble(x, rng, seconds):
    """White noise low-passed at 70 Hz (fourth order), 8 dB under the note."""
    noise = shaped_noise(rng, len(x), lambda f: 1 / np.sqrt(1 + (f / 70) ** 8))
    return under(x, seconds, noise, 8), {}


def chord(x, rng, seconds, hz):
    """Quiet tones of a chord on odd multiples of half the note's frequency (a fifth and a major
    tenth above it: E2 with B2 and G#3), each 10 to 18 dB under it, decaying as a struck chord
    does. Together they are the odd partials of the octave below, which the note must not read."""
    t = np.arange(len(x)) / RATE - ONSET
    levels = rng.uniform(10, 18, 2)
    out = x.copy()
    for multiple, db in zip((1.5, 2.5), levels):
        tone = np.sin(2 * np.pi * multiple * hz * t) * np.exp(-0.5 * np.maximum(t, 0)) * (t > 0)
        out += math.sqrt(2 * power(x, seconds) / 10 ** (db / 10)) * tone
    return out, {"levels": [float(v) for v in levels]}


def room(x, rng, seconds, db):
    """Room noise as recorded: pink and brown noise, equal in power, db under the note."""
    pink = shaped_noise(rng, len(x), lambda f: 1 / np.sqrt(f))
    brown = shaped_noise(rng, len(x), lambda f: 1 / f)
    return under(x, seconds, (pink + brown) / math.sqrt(2), db), {}


def phone(x, rng, seconds):
    """A phone's microphone: high-passed (fourth order) at 150 to 200 Hz."""
    corner = rng.uniform(150, 200)
    return filtered(x, lambda f: 1 / np.sqrt(1 + (corner / f) ** 8)), {"corner": corner}


def clip(x, rng, seconds):
    """Driven 12 dB over full scale and clipped."""
    return np.clip(x * 4, -0.99, 0.99), {}


def sox_reverb(path, out):
    subprocess.run(["sox", path, out, "reverb", "50", "50", "80", "100", "20"], check=True,
                   capture_output=True)


def opus(path, out):
    """Through Opus at 64 kbit/s and back."""
    coded = out + ".opus"
    subprocess.run(["opusenc", "--quiet", "--bitrate", "64", path, coded], check=True,
                   capture_output=True)
    subprocess.run(["opusdec", "--quiet", "--rate", str(RATE), coded, out], check=True,
                   capture_output=True)
    os.remove(coded)


# Made with numpy from the samples: name -> function(x, rng, seconds[, hz]).
NUMERIC = {
    "vibrato": vibrato,
    "again": again,
    "rumble": rumble,
    "chord": chord,
    "room 20 dB": lambda x, rng, s: room(x, rng, s, 20),
    "room 10 dB": lambda x, rng, s: room(x, rng, s, 10),
    "phone": phone,
    "clipped": clip,
}
# Made by another program from the file: name -> function(path, out).
EXTERNAL = {"reverb": sox_reverb, "opus 64k": opus}
NAMES = list(NUMERIC) + list(EXTERNAL)


def variant_path(path, name):
    folder = os.path.join(os.path.dirname(path), "variants")
    return os.path.join(folder, f"{os.path.basename(path)[:-4]}-{name.replace(' ', '_')}.wav")


def make(path, name, seconds, hz):
    """The variant `name` of the clean note in `path` (truth hz), made once: its path and the
    parameters drawn (the vibrato's rate among them, which its score needs)."""
    out = variant_path(path, name)
    os.makedirs(os.path.dirname(out), exist_ok=True)
    params_path = out[:-4] + ".json"
    if not os.path.exists(out):
        if name in EXTERNAL:
            EXTERNAL[name](path, out + ".part.wav")
            params = {}
        else:
            rng = generator(path, name)
            x = read_wav(path)
            y, params = (chord(x, rng, seconds, hz) if name == "chord"
                         else NUMERIC[name](x, rng, seconds))
            write_wav(out + ".part.wav", y * min(1.0, 0.99 / max(1e-9, np.max(np.abs(y)))))
        with open(params_path, "w") as f:
            json.dump(params, f)
        os.replace(out + ".part.wav", out)
    with open(params_path) as f:
        return out, json.load(f)
