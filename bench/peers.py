"""The readings of every tool on a file: Ondelis's (its readings and its --summary lines), and
its peers', aubio's aubiopitch (yin, yinfast) and Praat's "To Pitch (ac)". The peers' readings
of a file never change, so they are kept beside it and read again on the next run; only the
program measured is run every time."""
import os
import resource
import subprocess
import tempfile

import listen

PRAAT_SCRIPT = """form Pitch of each file
  sentence list
endform
paths$# = readLinesFromFile$# (list$)
for n to size (paths$#)
  path$ = paths$# [n]
  sound = Read from file: path$
  # The range the bench's notes span, 25 Hz to 5 kHz, at a step of 10 ms.
  pitch = To Pitch (ac): 0.01, 25, 15, "no", 0.03, 0.45, 0.01, 0.35, 0.14, 5000
  frames = Get number of frames
  out$ = ""
  for i to frames
    f = Get value in frame: i, "Hertz"
    t = Get time from frame number: i
    if f <> undefined
      out$ = out$ + fixed$ (t, 4) + tab$ + fixed$ (f, 4) + newline$
    endif
  endfor
  writeFile: path$ + ".praat.tsv", out$
  removeObject: sound, pitch
endfor
"""
TOOLS = ["ondelis", "aubio yinfast", "aubio yin", "praat ac"]


def cpu():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def ondelis(program, path):
    """(readings, summary lines, CPU seconds) of the program on the file."""
    before = cpu()
    readings = listen.ondelis_readings(program, path)
    used = cpu() - before
    summary = subprocess.run([program, "--summary", "--listen", path], capture_output=True,
                             text=True, check=True).stdout.splitlines()
    return readings, len(summary), used


def read_kept(path):
    with open(path) as f:
        return [tuple(float(v) for v in line.split("\t")) for line in f if line.strip()]


def aubio(method, path):
    """(readings, CPU seconds; 0 when kept from a run before) of aubiopitch on the file."""
    kept = f"{path}.aubio-{method}.tsv"
    if os.path.exists(kept):
        return read_kept(kept), 0.0
    before = cpu()
    readings = listen.aubio_readings(method, path)
    used = cpu() - before
    with open(kept + ".part", "w") as f:
        f.writelines(f"{t}\t{hz}\n" for t, hz in readings)
    os.replace(kept + ".part", kept)
    return readings, used


def praat_batch(paths):
    """Runs Praat once over those of the files it has not read yet; its CPU seconds."""
    wanted = [p for p in paths if not os.path.exists(p + ".praat.tsv")]
    if not wanted:
        return 0.0
    with tempfile.TemporaryDirectory() as folder:
        script, names = os.path.join(folder, "pitch.praat"), os.path.join(folder, "files")
        with open(script, "w") as f:
            f.write(PRAAT_SCRIPT)
        with open(names, "w") as f:
            f.writelines(os.path.abspath(p) + "\n" for p in wanted)
        before = cpu()
        subprocess.run(["praat", "--run", script, names], check=True, capture_output=True)
        return cpu() - before


def praat(path):
    return read_kept(path + ".praat.tsv")


def run(task):
    """One tool on one file, for a pool of workers: (tool, path, readings, summary lines or
    None, CPU seconds)."""
    tool, path, program = task
    if tool == "ondelis":
        return (tool, path, *ondelis(program, path))
    if tool == "praat ac":
        return tool, path, praat(path), None, 0.0
    readings, used = aubio(tool.split()[1], path)
    return tool, path, readings, None, used
