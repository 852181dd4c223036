#!/usr/bin/python3
"""Per clean plucked note of one half of the split bench: when Ondelis first reads it within
5 cents and when it settles within 1 cent, beside when the sound itself does
(instruments.sound_delays) and aubio's (yin) figures from the half's cached tsv.

Usage: bench/pluck_delays.py ONDELIS WORKDIR HALF
  WORKDIR: the split bench's folder (holds HALF/truths.tsv, HALF.tsv and the rendered notes).
Prints a Markdown table; reads only, writes nothing. The lag of a reading behind the sound's
own delay is what a listener may still win; the sound's own delay is the floor, though its
windows lag a pitch that moves, so a reading may come sooner."""
import csv
import math
import multiprocessing
import os
import re
import statistics
import sys

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import instruments  # noqa: E402
import peers  # noqa: E402
import sources  # noqa: E402

PLUCKED = re.compile(r"^(piano|nylon|bass|StifKarp|prepiano|Plucked|wgpluck2|Mandolin)$")


def notes(workdir, half):
    truths = {}
    with open(os.path.join(workdir, half, "truths.tsv")) as f:
        for line in f:
            path, hz, steady = line.rstrip("\n").split("\t")
            truths[path] = (float(hz) or None, steady == "1")
    for source, instrument, midi, path, seconds in sources.clean_notes(workdir, half):
        hz, steady = truths.get(path, (None, False))
        if hz and steady and PLUCKED.match(instrument):
            yield source, instrument, midi, path, seconds, hz


def measure(task):
    program, (source, instrument, midi, path, seconds, hz) = task
    readings, _, _ = peers.ondelis(program, path)
    ours = instruments.score(readings, hz, seconds)
    return ours["first5"], ours["settled"], instruments.sound_delays(path, hz)


def aubio_rows(workdir, half):
    rows = {}
    with open(os.path.join(workdir, f"{half}.tsv")) as f:
        for r in csv.DictReader(f, delimiter="\t"):
            if r["tool"] == "aubio yin" and r["variant"] == "clean":
                rows[(r["source"], r["instrument"], r["midi"])] = (float(r["first 5c s"]),
                                                                   float(r["1c 250ms s"]))
    return rows


def ms(value):
    return "-" if math.isnan(value) else f"{1000 * value:.0f}"


def median_ms(values):
    kept = [v for v in values if not math.isnan(v)]
    return f"{1000 * statistics.median(kept):.0f}" if kept else "-"


def main():
    program, workdir, half = sys.argv[1:4]
    chosen = list(notes(workdir, half))
    with multiprocessing.Pool(2) as pool:
        measured = pool.map(measure, [(program, n) for n in chosen])
    aubio = aubio_rows(workdir, half)
    print("| note | Hz | within 5 cents (ms): Ondelis | the sound | aubio yin "
          "| stays within 1 cent (ms): Ondelis | the sound | aubio yin |")
    print("|---|---|---|---|---|---|---|---|")
    columns = [[] for _ in range(6)]
    for (source, instrument, midi, _, _, hz), (f5, s1, (sound5, sound1)) in zip(chosen, measured):
        a5, a1 = aubio.get((source, instrument, str(midi)), (math.nan, math.nan))
        values = (f5, sound5, a5, s1, sound1, a1)
        for column, value in zip(columns, values):
            column.append(value)
        print(f"| {source} {instrument} {midi} | {hz:.2f} | " +
              " | ".join(ms(v) for v in values) + " |")
    print(f"| **median, {len(chosen)} notes** | | " +
          " | ".join(f"**{median_ms(c)}**" for c in columns) + " |")


if __name__ == "__main__":
    main()
