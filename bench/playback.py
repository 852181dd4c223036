"""Helpers of playback.sh: runs a player and reports what it cost, and checks a recording.

  playback.py run COMMAND...            prints "cpu_seconds wakeups exit_status"
  playback.py whole WAV RECORDING       prints "whole", or what was wrong
"""
import os
import subprocess
import sys


def run(command):
    # wait4 gives the child's own rusage with microseconds, threads included.
    child = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(child.pid, 0)
    cpu = usage.ru_utime + usage.ru_stime
    print(f"{cpu:.4f} {usage.ru_nvcsw} {os.waitstatus_to_exitcode(status)}")


def pcm_after_header(data):
    """Skips a WAV header (pw-record writes one; parec records raw)."""
    if data[:4] != b"RIFF":
        return data
    at = data.find(b"data", 12)
    return data[at + 8:] if at >= 0 else b""


def sounding(samples):
    """The span from the first to the last non-zero 3-byte sample."""
    zero = b"\0\0\0"
    first = 0
    while first < len(samples) and samples[first:first + 3] == zero:
        first += 3
    last = len(samples)
    while last > first and samples[last - 3:last] == zero:
        last -= 3
    return samples[first:last]


def whole(wav_path, recording_path):
    with open(wav_path, "rb") as f:
        tone = sounding(pcm_after_header(f.read()))
    with open(recording_path, "rb") as f:
        stereo = pcm_after_header(f.read())
    stereo = stereo[:len(stereo) - len(stereo) % 6]
    left = b"".join(stereo[i:i + 3] for i in range(0, len(stereo), 6))
    right = b"".join(stereo[i + 3:i + 6] for i in range(0, len(stereo), 6))
    heard = sounding(left)
    if left != right:
        return "channels differ"
    if heard == tone:
        return "whole"
    frames = (len(heard) - len(tone)) // 3
    return f"{'extra' if frames > 0 else 'lost'}_{abs(frames)}_frames" if frames else "altered"


if __name__ == "__main__":
    if sys.argv[1] == "run":
        run(sys.argv[2:])
    else:
        print(whole(sys.argv[2], sys.argv[3]))
