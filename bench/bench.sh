#!/usr/bin/env bash
# Times WAV export side by side with SoX, and with 8 partials against the pure sine, reports
# the peak memory of short and long tones and how soon their first frame reaches the device,
# then runs the generator micro-benchmarks.
# Builds a Release binary in build-bench first (an up-to-date build costs nothing).
#
#   bench/bench.sh                 # 21 runs of the 8 s tone, 5 of the 600 s tone
#   RUNS=41 LONG_RUNS=9 FIRST_RUNS=9 bench/bench.sh
#   MICRO=0 bench/bench.sh         # skip the Google Benchmark part
#   ONDELIS=/path/to/ondelis MICRO=0 bench/bench.sh
#                                  # measure another build (an older commit's, say) instead
#
# Each pair of commands runs alternately, run by run, so that both see the same machine state;
# the figures are medians of wall-clock time for the whole process, start-up included.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

runs=${RUNS:-21}
long_runs=${LONG_RUNS:-5}
first_runs=${FIRST_RUNS:-5}
micro=${MICRO:-1}
build=${BUILD_DIR:-build-bench}

for tool in sox /usr/bin/time cmake python3; do
  if ! command -v "$tool" >/dev/null; then
    echo "bench.sh: $tool is missing (scripts/install-deps.sh test installs it)" >&2
    exit 1
  fi
done

bench_option=OFF
[ "$micro" = 1 ] && bench_option=ON
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release \
  -DONDELIS_BENCH="$bench_option" >/dev/null
targets=(--target ondelis)
[ "$micro" = 1 ] && targets+=(--target tone_bench)
cmake --build "$build" -j"$(nproc)" "${targets[@]}" >/dev/null
program=$(realpath "${ONDELIS:-$build/ondelis}")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# Wall-clock seconds of one command, stdin from $1, stdout discarded.
elapsed() {
  local input=$1
  shift
  local start=$EPOCHREALTIME
  "$@" <"$input" >/dev/null
  local end=$EPOCHREALTIME
  echo "$start $end" | awk '{ printf "%.6f\n", $2 - $1 }'
}

median() { sort -g | awk '{ v[NR] = $1 } END { printf "%.6f", NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# compare <label> <seconds of tone> <menu input> <runs>
compare() {
  local label=$1 seconds=$2 menu=$3 count=$4
  printf '%s' "$menu" >menu.txt
  : >ondelis.times
  : >sox.times
  # One untimed run of each warms the page cache and the dynamic loader.
  elapsed menu.txt "$program" >/dev/null
  elapsed /dev/null sox -n -b 24 -r 44100 -c 1 sox.wav synth "$seconds" sine 440 vol 0.25 >/dev/null
  for ((run = 0; run < count; run++)); do
    elapsed menu.txt "$program" >>ondelis.times
    elapsed /dev/null sox -n -b 24 -r 44100 -c 1 sox.wav synth "$seconds" sine 440 vol 0.25 >>sox.times
  done
  local size_ondelis size_sox
  size_ondelis=$(stat -c %s out.wav)
  size_sox=$(stat -c %s sox.wav)
  local ours theirs
  ours=$(median <ondelis.times)
  theirs=$(median <sox.times)
  ratio=$(awk -v a="$ours" -v b="$theirs" 'BEGIN { printf "%.3f", a / b }')
  printf '%-28s %10.4f s %10.4f s %8s   (%d runs; %d and %d bytes)\n' "$label" "$ours" \
    "$theirs" "$ratio" "$count" "$size_ondelis" "$size_sox"
}

# partials <seconds> <runs>: the export of the low E string of a bass (B4, 41.20 Hz) with 8
# partials against the same as a pure sine, both written by -o, run alternately as above.
partials() {
  local seconds=$1 count=$2
  : >pure.times
  : >partials.times
  elapsed /dev/null "$program" -o pure.wav B4 "$seconds" >/dev/null
  elapsed /dev/null "$program" --harmonics 8 -o partials.wav B4 "$seconds" >/dev/null
  for ((run = 0; run < count; run++)); do
    elapsed /dev/null "$program" -o pure.wav B4 "$seconds" >>pure.times
    elapsed /dev/null "$program" --harmonics 8 -o partials.wav B4 "$seconds" >>partials.times
  done
  local pure with
  pure=$(median <pure.times)
  with=$(median <partials.times)
  ratio=$(awk -v a="$with" -v b="$pure" 'BEGIN { printf "%.3f", a / b }')
  printf '%-28s %10.4f s %10.4f s %8s   (%d runs)\n' "$seconds s of B4 (41.20 Hz)" "$pure" \
    "$with" "$ratio" "$count"
}

# peak <label> <command...>: the command's peak resident memory in KiB (stdin from menu.txt).
peak() {
  local label=$1
  shift
  kib=$(/usr/bin/time -f %M "$@" <menu.txt 2>&1 >/dev/null | tail -n 1)
  printf '%-34s %9d KiB\n' "$label" "$kib" >&2
  echo "$kib"
}

# Seconds from a tone's start to its first frame at the device, median of first_runs runs.
first_frame() {
  python3 "$root/bench/first_frame.py" "$program" "$1" "$first_runs"
}

echo "ondelis: $program"
echo "sox:     $(command -v sox) ($(sox --version 2>&1 | sed -n 's/.*SoX v/v/p'))"
echo "machine: $(nproc) x $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)"
echo
printf '%-28s %12s %12s %8s\n' "export, median wall time" ondelis sox ratio
compare "8 s of 440 Hz (default)" 8 "exp out.wav x" "$runs"
ratio_default=$ratio
compare "600 s of 440 Hz" 600 "l 600 exp out.wav x" "$long_runs"
ratio_long=$ratio
echo
# A build from before --harmonics (ONDELIS=...) refuses the option: its row is left out.
ratio_partials=
if "$program" --harmonics 8 -o /dev/null B4 0 >/dev/null 2>&1; then
  printf '%-28s %12s %12s %8s\n' "export, median wall time" "pure sine" "8 partials" ratio
  partials 600 "$long_runs"
  ratio_partials=$ratio
  echo
fi
echo "peak resident memory (/usr/bin/time -f %M)"
: >menu.txt
play_1=$(peak "tone of 1 s to null" "$program" 440 1 null)
play_600=$(peak "tone of 600 s to null" "$program" 440 600 null)
play_3600=$(peak "tone of 3600 s to null" "$program" 440 3600 null)
printf 'l 1 exp out.wav x' >menu.txt
export_1=$(peak "export of 1 s" "$program")
printf 'l 600 exp out.wav x' >menu.txt
export_600=$(peak "export of 600 s" "$program")
echo
echo "first frame at the device (ALSA file plugin into a FIFO), median of $first_runs runs"
first_1=$(first_frame 1)
first_3600=$(first_frame 3600)
printf '%-34s %9.1f ms\n' "tone of 1 s" "$(awk -v s="$first_1" 'BEGIN { print s * 1000 }')"
printf '%-34s %9.1f ms\n' "tone of 3600 s" "$(awk -v s="$first_3600" 'BEGIN { print s * 1000 }')"
echo
verdict() { awk -v v="$1" -v limit="$2" 'BEGIN { print (v <= limit ? "met" : "MISSED") }'; }
echo "targets:"
echo "  default export <= 0.40 x SoX: $(verdict "$ratio_default" 0.40) ($ratio_default)"
echo "  600 s export <= 0.40 x SoX: $(verdict "$ratio_long" 0.40) ($ratio_long)"
if [ -n "$ratio_partials" ]; then
  echo "  600 s export with 8 partials <= 3 x the pure sine's:" \
    "$(verdict "$ratio_partials" 3) ($ratio_partials)"
fi
echo "  3600 s tone within 2048 KiB of the 1 s tone's memory:" \
  "$(verdict $((play_3600 - play_1)) 2048) ($((play_3600 - play_1)) KiB)"
echo "  600 s export within 2048 KiB of the 1 s export's memory:" \
  "$(verdict $((export_600 - export_1)) 2048) ($((export_600 - export_1)) KiB)"
late=$(awk -v a="$first_3600" -v b="$first_1" 'BEGIN { printf "%.1f", (a - b) * 1000 }')
echo "  first frame of the 3600 s tone within 50 ms of the 1 s tone's: $(verdict "$late" 50) ($late ms)"

if [ "$micro" = 1 ]; then
  echo
  "$root/$build/bench/tone_bench" --benchmark_counters_tabular=true
fi
