#!/usr/bin/env bash
# Times WAV export side by side with SoX and reports the peak memory per frame, then runs the
# generator micro-benchmarks. Builds a Release binary in build-bench first (an up-to-date build
# costs nothing).
#
#   bench/bench.sh                 # 21 runs of the 8 s tone, 5 of the 600 s tone
#   RUNS=41 LONG_RUNS=9 bench/bench.sh
#   MICRO=0 bench/bench.sh         # skip the Google Benchmark part
#
# Each pair of commands runs alternately, run by run, so that both see the same machine state;
# the figures are medians of wall-clock time for the whole process, start-up included.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

runs=${RUNS:-21}
long_runs=${LONG_RUNS:-5}
micro=${MICRO:-1}
build=${BUILD_DIR:-build-bench}

for tool in sox /usr/bin/time cmake; do
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
program=$(realpath "$build/ondelis")

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

# memory <label> <frames> <menu input>
memory() {
  local label=$1 frames=$2 menu=$3
  printf '%s' "$menu" >menu.txt
  kib=$(/usr/bin/time -f %M "$program" <menu.txt 2>&1 >/dev/null | tail -n 1)
  over=$(awk -v kib="$kib" -v frames="$frames" 'BEGIN { printf "%.3f", (kib * 1024 - 6 * 1048576) / frames }')
  awk -v label="$label" -v kib="$kib" -v frames="$frames" 'BEGIN {
    bytes = kib * 1024
    printf "%-28s %10d KiB %9d frames %8.3f bytes/frame   (%.3f over 6 MiB)\n",
      label, kib, frames, bytes / frames, (bytes - 6 * 1048576) / frames
  }'
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
echo "peak resident memory (/usr/bin/time -f %M)"
memory "8 s of 440 Hz (default)" 352800 "exp out.wav x"
memory "600 s of 440 Hz" 26460000 "l 600 exp out.wav x"
echo
verdict() { awk -v v="$1" -v limit="$2" 'BEGIN { print (v <= limit ? "met" : "MISSED") }'; }
echo "targets: default export <= 0.40 x SoX: $(verdict "$ratio_default" 0.40) ($ratio_default);" \
  "600 s export <= 0.55 x SoX: $(verdict "$ratio_long" 0.55) ($ratio_long);" \
  "memory <= 7.5 bytes/frame + 6 MiB: $(verdict "$over" 7.5) ($over)"

if [ "$micro" = 1 ]; then
  echo
  "$root/$build/bench/tone_bench" --benchmark_counters_tabular=true
fi
