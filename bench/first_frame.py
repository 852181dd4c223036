#!/usr/bin/env python3
"""Time from the start of `PROGRAM 440 SECONDS file:FILE=f` to its first frame.

ALSA's file plugin writes what the program plays into `f`, here a FIFO, so the first bytes that
come out of it are the first frames the program handed to the device. The tone is then stopped
with SIGINT and the FIFO read to its end. Prints the median of RUNS runs, in seconds.

usage: first_frame.py PROGRAM SECONDS RUNS
"""
import os
import select
import signal
import statistics
import subprocess
import sys
import tempfile
import time

LIMIT = 120  # seconds: a program that never plays fails the benchmark instead of hanging it


def read_until(fd, deadline):
    """Waits for bytes on fd; returns them, b'' at the end, or None once the deadline passed."""
    poller = select.poll()
    poller.register(fd, select.POLLIN)
    while time.monotonic() < deadline:
        if poller.poll(100):
            try:
                return os.read(fd, 65536)
            except BlockingIOError:
                continue
    return None


def once(program, seconds, work):
    fifo = os.path.join(work, "f")
    os.mkfifo(fifo)
    # Opened without blocking before the program starts, so that a program that never opens the
    # device cannot hang the benchmark; no end-of-file is reported before a writer came.
    fd = os.open(fifo, os.O_RDONLY | os.O_NONBLOCK)
    try:
        start = time.monotonic()
        player = subprocess.Popen([program, "440", seconds, "file:FILE=f"], cwd=work,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        first = read_until(fd, start + LIMIT)
        elapsed = time.monotonic() - start
        player.send_signal(signal.SIGINT)
        while read_until(fd, time.monotonic() + LIMIT):
            pass
        player.wait(LIMIT)
        if not first:
            sys.exit(f"first_frame.py: {program} played nothing within {LIMIT} s")
        return elapsed
    finally:
        os.close(fd)
        os.unlink(fifo)


def main():
    program, seconds, runs = sys.argv[1], sys.argv[2], int(sys.argv[3])
    with tempfile.TemporaryDirectory() as work:
        times = [once(program, seconds, work) for _ in range(runs)]
    print(f"{statistics.median(times):.4f}")


if __name__ == "__main__":
    main()
