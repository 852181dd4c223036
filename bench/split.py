#!/usr/bin/env python3
"""The listening bench split by source into a development half and a validation half.

Usage: split.py ONDELIS WORKDIR HALF VARIANTS
  HALF: dev, validation or both; VARIANTS: 1 for every clean note's variants too, 0 without.

Each half renders its own sources' clean notes (bench/sources.py) into WORKDIR/HALF, measures
each note's truth offline as bench/instruments.py does (its first partial over a long window,
nothing of the estimator), makes the variants of each measured note (bench/variants.py; a
variant's truth is its clean note's), runs Ondelis and its peers on every file
(bench/peers.py) and prints a table per half: per source on the clean notes, per variant, and
per tool. Everything made is kept for the next run; only the program measured runs again.
Scored, as in bench/instruments.py, over the notes that are steady (their pitch held within
3 cents over the truth's window): the other notes hold no one pitch to be within a cent of.
"""
import math
import multiprocessing
import os
import sys

sys.dont_write_bytecode = True  # no __pycache__ in bench/
import instruments  # noqa: E402
import peers  # noqa: E402
import sources  # noqa: E402
import tables  # noqa: E402
import variants  # noqa: E402
from instruments import HOP, ONSET, RATE, TRUTH_FROM  # noqa: E402

JOBS = 2
OCTAVE = 50  # cents: a reading this near the octave below or above the truth is one


def make_variant(task):
    item, name = task
    path, params = variants.make(item["path"], name, item["seconds"], item["hz"])
    return dict(item, path=path, variant=name, params=params)


def files_of(workdir, half, with_variants, pool):
    """Every file of the half to read: dicts of source, instrument, midi, path, seconds, the
    truth (hz), whether the clean note is steady, the variant ('clean' or its name) and the
    variant's parameters."""
    made = sources.clean_notes(workdir, half)
    truths = instruments.truths_of(made, os.path.join(workdir, half), pool.map)
    clean = [dict(source=s, instrument=i, midi=m, path=p, seconds=sec, hz=hz, steady=steady,
                  variant="clean", params={})
             for (s, i, m, p, sec), (hz, steady) in zip(made, truths)]
    if not with_variants:
        return clean
    # Only the steady notes are scored, and so only theirs are varied.
    tasks = [(item, name) for item in clean if item["steady"] for name in variants.NAMES]
    return clean + pool.map(make_variant, tasks, chunksize=4)


def read_all(files, program, pool):
    """{(tool, path): (readings, summary lines or None)} and each tool's CPU seconds."""
    paths = [f["path"] for f in files]
    cpu = {tool: 0.0 for tool in peers.TOOLS}
    cpu["praat ac"] = sum(pool.map(peers.praat_batch, [paths[k::JOBS] for k in range(JOBS)]))
    tasks = [(tool, path, program) for path in paths for tool in peers.TOOLS]
    out = {}
    for tool, path, readings, summary, used in pool.imap_unordered(peers.run, tasks, 8):
        out[(tool, path)] = (readings, summary)
        cpu[tool] += used
    return out, cpu


def cents_of(readings, hz, seconds):
    return [(t, 1200 * math.log2(f / hz)) for t, f in readings if ONSET < t <= ONSET + seconds]


def vibrato_figures(sounding, item):
    """The mean over whole cycles of the vibrato from the sustain on (the pitch it swings
    about), and the share of the listener's hops of the sustain with a reading within a
    semitone of the truth."""
    rate, start = item["params"]["rate"], ONSET + TRUTH_FROM
    sustain = [(t, c) for t, c in sounding if t >= start]
    if not sustain:
        return float("nan"), 0.0
    first = sustain[0][0]
    cycles = math.floor((sustain[-1][0] - first) * rate)
    whole = [c for t, c in sustain if t < first + cycles / rate]
    hop = HOP / RATE
    hops = int((ONSET + item["seconds"] - start) / hop)
    covered = sum(1 for k in range(hops) if any(
        start + k * hop <= t < start + (k + 1) * hop and abs(c) <= 100 for t, c in sustain))
    return (sum(whole) / len(whole) if whole else float("nan")), covered / max(1, hops)


def figures(readings, summary, item):
    """One file's figures for one tool: those of instruments.score and the readings an
    octave off, the vibrato's, and the summary lines against those wanted."""
    m = instruments.score(readings, item["hz"], item["seconds"])
    sounding = cents_of(readings, item["hz"], item["seconds"])
    m["below"] = sum(1 for _, c in sounding if abs(c + 1200) <= OCTAVE)
    m["above"] = sum(1 for _, c in sounding if abs(c - 1200) <= OCTAVE)
    m["coverage"] = float("nan")
    if item["variant"] == "vibrato":
        m["median"], m["coverage"] = vibrato_figures(sounding, item)
    # The note struck or bowed again is two held notes; any other file one.
    m["summary_ok"] = None if summary is None else summary == (
        2 if item["variant"] == "again" else 1)
    return m


def score_all(files, read):
    """[(file, tool, figures)] for every file whose clean note is steady."""
    return [(f, tool, figures(*read[(tool, f["path"])], f))
            for f in files if f["hz"] and f["steady"] for tool in peers.TOOLS]


def write_detail(path, scored):
    with open(path, "w") as out:
        out.write("tool\tsource\tinstrument\tmidi\tvariant\ttruth Hz\tcents\treadings\toff >50"
                  "\toctave below\toctave above\tfirst 5c s\t1c 250ms s\tcoverage\tsummary\n")
        for f, tool, m in scored:
            out.write(f"{tool}\t{f['source']}\t{f['instrument']}\t{f['midi']}\t{f['variant']}\t"
                      f"{f['hz']:.4f}\t{m['median']:+.3f}\t{m['readings']}\t{m['off']}\t"
                      f"{m['below']}\t{m['above']}\t{m['first5']:.3f}\t{m['settled']:.3f}\t"
                      f"{m['coverage']:.3f}\t{m['summary_ok']}\n")


def run_half(program, workdir, half, with_variants, pool):
    files = files_of(workdir, half, with_variants, pool)
    clean = [f for f in files if f["variant"] == "clean"]
    read, cpu = read_all(files, program, pool)
    scored = score_all(files, read)
    detail = os.path.join(workdir, f"{half}.tsv")
    write_detail(detail, scored)
    audio = sum(ONSET + f["seconds"] + 0.5 for f in files)
    measured = sum(1 for f in clean if f["hz"])
    steady = sum(1 for f in clean if f["steady"])
    print(f"\n**The {half} half**: {len(clean)} clean notes ({measured} measured, {steady} "
          f"steady), {len(files)} files; per-file figures in {detail}\n")
    tables.sources_of(clean)
    tables.clean(scored, [s for s, _, _ in sources.HALVES[half]])
    if with_variants:
        tables.by_variant(scored, ["clean"] + variants.NAMES)
    print("\nCPU seconds per second of audio, tools run this time: " +
          ", ".join(f"{tool} {cpu[tool] / audio:.4f}" for tool in cpu if cpu[tool]))


def main():
    program, workdir, half, with_variants = sys.argv[1:5]
    if not instruments.check_truth():
        sys.exit("the truth is not measured within 0.01 cent of synthetic notes")
    halves = ["dev", "validation"] if half == "both" else [half]
    with multiprocessing.Pool(JOBS) as pool:
        for each in halves:
            run_half(program, workdir, each, with_variants == "1", pool)


if __name__ == "__main__":
    main()
