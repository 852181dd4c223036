#!/usr/bin/env bash
# Plays the same tone with ondelis and with aplay, side by side, on a private PulseAudio and a
# private PipeWire server (each with a null sink, recorded), while two busy loops load the
# machine. Per server it prints the players' wake-ups (voluntary context switches) per second
# of tone, the median ratio of their CPU time, and whether every recording held the whole tone,
# bit for bit, without a gap or a lost frame.
#
#   bench/playback.sh                      # 3 rounds of a 5 s tone on each server
#   ROUNDS=5 TONE_SECONDS=6 bench/playback.sh  # more rounds, a longer tone
#   LOAD=0 bench/playback.sh               # without the busy loops
#   NOBUILD=1 bench/playback.sh            # the binary already in build-bench, as it is
#
# Rounds alternate which player goes first, so that both see the same machine state. It needs
# what the end-to-end tests need (scripts/install-deps.sh test installs it).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
rounds=${ROUNDS:-3}
seconds=${TONE_SECONDS:-5}
load=${LOAD:-1}
hz=82.41
build=${BUILD_DIR:-build-bench}

[ -n "${NOBUILD:-}" ] || cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
[ -n "${NOBUILD:-}" ] || cmake --build "$build" -j"$(nproc)" --target ondelis >/dev/null
program=$(realpath "$build/ondelis")
measure=(python3 "$root/bench/playback.py")
source "$root/bench/servers.sh"

work=$(mktemp -d)
busy=()
server_group=
cleanup() {
  [ ${#busy[@]} -gt 0 ] && kill "${busy[@]}" 2>/dev/null
  [ -n "$server_group" ] && stop_server "$server_group"
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work"

# The WAV that aplay plays holds the samples ondelis plays: the same tone, exported.
printf 'z %s l %s exp tone.wav x' "$hz" "$seconds" | "$program" >/dev/null

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# play SERVER NAME COMMAND...: one recorded play; appends "cpu wakeups verdict" to NAME.txt.
play() {
  local server=$1 name=$2 result verdict
  shift 2
  start_recorder "$server" rec.raw
  result=$("${measure[@]}" run "$@")
  sleep 0.3 # what the sink still held
  kill "$recorder"
  wait "$recorder" 2>/dev/null || true
  verdict=$("${measure[@]}" whole tone.wav rec.raw)
  [ "${result##* }" = 0 ] || verdict="exit_${result##* }"
  echo "${result% *} $verdict" >>"$name.txt"
}

if [ "$load" = 1 ]; then
  for _ in 1 2; do
    sh -c 'while :; do :; done' &
    busy+=($!)
  done
fi

printf '%s Hz for %s s, %s rounds, %s\n\n' "$hz" "$seconds" "$rounds" \
  "$([ "$load" = 1 ] && echo "two busy loops running" || echo "no load")"
printf '| Server | ondelis wake-ups/s | aplay wake-ups/s | CPU ondelis/aplay (median) | whole recordings |\n'
printf '|---|---|---|---|---|\n'
for server in pulseaudio pipewire; do
  lacking=$(missing_for "$server" "$root")
  if [ -n "$lacking" ]; then
    printf '| %s | %s | | | |\n' "$server" "$lacking"
    continue
  fi
  mkdir -p "$work/$server"
  start_server "$server" "$work/$server" "$root"
  rm -f ondelis.txt aplay.txt
  for round in $(seq "$rounds"); do
    if [ $((round % 2)) = 1 ]; then
      play "$server" ondelis "$program" "$hz" "$seconds" default
      play "$server" aplay aplay -q -D default tone.wav
    else
      play "$server" aplay aplay -q -D default tone.wav
      play "$server" ondelis "$program" "$hz" "$seconds" default
    fi
  done
  stop_server "$server_group"
  server_group=
  ratio=$(paste -d' ' ondelis.txt aplay.txt | awk '{ print $1 / $4 }' | median)
  wake() { awk -v s="$seconds" '{ print $2 / s }' "$1" | median; }
  whole=$(cat ondelis.txt aplay.txt | grep -c ' whole$' || true)
  printf '| %s | %.0f | %.0f | %.2f | %s of %s |\n' "$server" "$(wake ondelis.txt)" \
    "$(wake aplay.txt)" "$ratio" "$whole" $((2 * rounds))
  grep -v ' whole$' ondelis.txt aplay.txt | sed 's/^/  not whole: /' || true
done
