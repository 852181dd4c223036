"""The split listening bench's tables, in Markdown, to paste into bench/README.md."""
import math

import listen
import peers

LOW_HZ = 65.0  # the notes below this settle apart: a period of 15 ms and more
HEADER = ("| {what} | steady within 1 cent | within 2 | readings off > 50 cents | worst note "
          "| first within 5 cents | stays within 1 cent | below 65 Hz: stays within 1 cent "
          "| octave below / above (readings) | summary: one line a held note | vibrato: hops "
          "within a semitone |")
NAMES = {"ondelis": "Ondelis", "aubio yinfast": "aubio yinfast", "aubio yin": "aubio yin",
         "praat ac": "Praat ac"}


def median_ms(values):
    values = [v for v in values if not math.isnan(v)]
    return f"{1000 * listen.median(values):.0f} ms" if values else "-"


def row(label, rows):
    """One line of figures over rows of (file, tool, figures)."""
    every = [m for _, _, m in rows]
    n = len(every)
    within1 = sum(1 for m in every if abs(m["median"]) <= 1)
    within2 = sum(1 for m in every if abs(m["median"]) <= 2)
    readings = sum(m["readings"] for m in every)
    off = sum(m["off"] for m in every)
    worst = max((m["off"] / m["readings"] for m in every if m["readings"]), default=0)
    high = [m["settled"] for f, _, m in rows if f["hz"] >= LOW_HZ]
    low = [m["settled"] for f, _, m in rows if f["hz"] < LOW_HZ]
    low_cell = f"{median_ms(low)} ({sum(1 for v in low if not math.isnan(v))}/{len(low)})"
    summary = [m["summary_ok"] for m in every if m["summary_ok"] is not None]
    coverage = [m["coverage"] for m in every if not math.isnan(m["coverage"])]
    cells = [f"{within1}/{n}", f"{within2}/{n}", f"{100 * off / max(1, readings):.2f} %",
             f"{100 * worst:.1f} %", median_ms([m["first5"] for m in every]),
             median_ms(high), low_cell if low else "-",
             f"{sum(m['below'] for m in every)} / {sum(m['above'] for m in every)}",
             f"{sum(summary)}/{len(summary)}" if summary else "-",
             f"{100 * sum(coverage) / len(coverage):.1f} %" if coverage else "-"]
    print(f"| {label} | " + " | ".join(cells) + " |")


def table_head(what):
    header = HEADER.format(what=what)
    print(header)
    print("|" + "---|" * (header.count("|") - 1))


def sources_of(clean):
    """What each source of the half gave: notes rendered, measured, steady."""
    print("| source | notes | truth measured | steady |\n|---|---|---|---|")
    for source in dict.fromkeys(f["source"] for f in clean):
        mine = [f for f in clean if f["source"] == source]
        print(f"| {source} | {len(mine)} | {sum(1 for f in mine if f['hz'])} | "
              f"{sum(1 for f in mine if f['steady'])} |")
    print()


def clean(scored, names):
    """The clean notes: Ondelis per source, then every tool over all of them."""
    table_head("tool, source (clean notes)")
    chosen = [r for r in scored if r[0]["variant"] == "clean"]
    for source in names:
        rows = [r for r in chosen if r[1] == "ondelis" and r[0]["source"] == source]
        if rows:
            row(f"Ondelis, {source}", rows)
    for tool in peers.TOOLS:
        label = f"{NAMES[tool]}, all clean notes"
        row(f"**{label}**" if tool == "ondelis" else label, [r for r in chosen if r[1] == tool])
    print()


def by_variant(scored, names):
    """Ondelis per variant, every tool over all the variants, then each tool's notes within
    1 cent per variant side by side."""
    table_head("tool, variant")
    for name in names:
        row(f"Ondelis, {name}", [r for r in scored if r[1] == "ondelis" and
                                  r[0]["variant"] == name])
    for tool in peers.TOOLS:
        label = f"{NAMES[tool]}, all variants and clean"
        row(f"**{label}**" if tool == "ondelis" else label, [r for r in scored if r[1] == tool])
    print()
    print("| variant | " + " | ".join(f"{NAMES[t]}: within 1 cent, off > 50, octave"
                                        for t in peers.TOOLS) + " |")
    print("|---|" + "---|" * len(peers.TOOLS))
    for name in names:
        cells = []
        for tool in peers.TOOLS:
            rows = [m for f, t, m in scored if t == tool and f["variant"] == name]
            within = sum(1 for m in rows if abs(m["median"]) <= 1)
            off = sum(m["off"] for m in rows) / max(1, sum(m["readings"] for m in rows))
            octave = sum(m["below"] + m["above"] for m in rows)
            cells.append(f"{within}/{len(rows)}, {100 * off:.1f} %, {octave}")
        print(f"| {name} | " + " | ".join(cells) + " |")
