#!/usr/bin/env bash
# The live row of the listening benchmark: on a private PulseAudio and a private PipeWire
# server (a null sink, as the end-to-end tests start them), Ondelis plays a tone into the sink
# while `ondelis --listen` and arecord each capture the sink's monitor for the same time.
# Per server it prints their wake-ups (voluntary context switches, from wait4) per second of
# listening, their CPU time, and the readings Ondelis made and how far they stray from the note.
#
#   bench/listen_live.sh                 # 10 s on each server
#   SECONDS_LIVE=5 bench/listen_live.sh  # shorter
#   NOBUILD=1 bench/listen_live.sh       # the binary already in build-bench, as it is
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
seconds=${SECONDS_LIVE:-10}
build=${BUILD_DIR:-build-bench}

[ -n "${NOBUILD:-}" ] || cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
[ -n "${NOBUILD:-}" ] || cmake --build "$build" -j"$(nproc)" --target ondelis >/dev/null
program=$(realpath "$build/ondelis")
source "$root/bench/servers.sh"
command -v arecord >/dev/null || { echo "arecord is missing (alsa-utils)"; exit 1; }

work=$(mktemp -d)
server_group=
player=
cleanup() {
  [ -n "$player" ] && kill "$player" 2>/dev/null
  [ -n "$server_group" ] && stop_server "$server_group"
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work"

# The sink's monitor as ALSA's "default" capture device on each server.
monitor_env() {
  if [ "$1" = pulseaudio ]; then
    echo PULSE_SOURCE=tap.monitor
  else
    echo PIPEWIRE_NODE=tap
  fi
}
export PIPEWIRE_PROPS='{ stream.capture.sink=true }'

# Runs a command, printing "cpu_seconds wakeups exit_status" after it; its standard output
# goes to the file named first.
measured() {
  local out=$1
  shift
  python3 - "$out" "$@" <<'PY'
import os, subprocess, sys
with open(sys.argv[1], "wb") as out:
    child = subprocess.Popen(sys.argv[2:], stdout=out, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(child.pid, 0)
print(f"{usage.ru_utime + usage.ru_stime:.4f} {usage.ru_nvcsw} {os.waitstatus_to_exitcode(status)}")
PY
}

printf '%-10s %-16s %12s %10s %9s %12s\n' server program wake-ups/s "CPU s" readings "worst cents"
for server in pulseaudio pipewire; do
  why=$(missing_for "$server" "$root") || true
  if [ -n "$why" ]; then
    echo "$server: skipped, $why"
    continue
  fi
  mkdir -p "$work/$server"
  start_server "$server" "$work/$server" "$root"
  "$program" G6 $((2 * seconds + 10)) default >/dev/null 2>&1 &
  player=$!
  sleep 1
  env_word=$(monitor_env "$server")
  read -r cpu wakeups status < <(measured heard env "$env_word" "$program" --listen default "$seconds")
  readings=$(wc -l <heard)
  worst=$(awk '{ c = $4 < 0 ? -$4 : $4; if (c > w) w = c } END { printf "%.3f", w }' heard)
  printf '%-10s %-16s %12.1f %10.3f %9s %12s\n' "$server" "ondelis --listen" \
    "$(awk -v w="$wakeups" -v s="$seconds" 'BEGIN { print w / s }')" "$cpu" "$readings" "$worst"
  # arecord as it comes, and with the 25 ms periods that Ondelis asks for.
  for period in "" 25000; do
    read -r cpu wakeups status < <(measured /dev/null env "$env_word" arecord -q -D default \
      -f S16_LE -r 44100 -c 1 -d "$seconds" ${period:+--period-time=$period} /dev/null)
    printf '%-10s %-16s %12.1f %10.3f\n' "$server" "arecord${period:+ 25 ms}" \
      "$(awk -v w="$wakeups" -v s="$seconds" 'BEGIN { print w / s }')" "$cpu"
  done
  kill "$player" 2>/dev/null || true
  wait "$player" 2>/dev/null || true
  player=
  stop_server "$server_group"
  server_group=
done
