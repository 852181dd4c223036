#!/usr/bin/env bash
# Runs the program as it is packaged (build-package: Release, Debian's hardening flags; the
# test build's sanitizers and valgrind exclude each other) under valgrind's memcheck: direct
# mode on the null device and on ALSA's file device, a menu session with plays, a preset and an
# export, and --listen reading a file. Fails on any memory error and on any definite, indirect or
# possible leak; only the caches alsa-lib keeps for the whole process are exempt (see
# valgrind.supp).
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
scripts/install-deps.sh test

# Up to date at once where the package stage has just built it.
scripts/package.sh >/dev/null
binary=$root/build-package/ondelis

work=$(mktemp -d "${TMPDIR:-/tmp}/ondelis-valgrind-XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

failures=0

# memcheck NAME INPUT ARGS...: runs the program on INPUT (a file) with ARGS and expects exit
# status 0 with a clean memcheck report.
memcheck() {
  local name=$1 input=$2
  shift 2
  local log=$work/$name.log status=0
  timeout -s KILL 300 valgrind --tool=memcheck --num-callers=50 --track-origins=yes \
    --leak-check=full --show-leak-kinds=definite,indirect,possible \
    --errors-for-leak-kinds=definite,indirect,possible \
    --suppressions="$root/tests/stages/valgrind.supp" \
    --error-exitcode=99 --log-file="$log" \
    "$binary" "$@" <"$input" >"$work/$name.out" 2>"$work/$name.err" || status=$?
  if [ "$status" -ne 0 ]; then
    echo "$name: FAILED (exit status $status; 99 is memcheck's)"
    cat "$log" "$work/$name.err"
    failures=$((failures + 1))
    return
  fi
  local leaks
  leaks=$(grep -oE '(definitely|indirectly|possibly) lost: [0-9,]+ bytes|suppressed: [0-9,]+ bytes' "$log" |
    paste -sd';' - | sed 's/;/, /g')
  echo "$name: $(grep -o 'ERROR SUMMARY: [0-9]* errors' "$log"); ${leaks:-no blocks in use at exit}"
}

# expect_size NAME FILE BYTES
expect_size() {
  local size
  size=$(stat -c %s "$2" 2>/dev/null || echo missing)
  if [ "$size" != "$3" ]; then
    echo "$1: $2 is $size bytes, expected $3"
    failures=$((failures + 1))
  fi
}

: >empty
memcheck direct-null empty 440 0.2 null
memcheck direct-file empty 440 0.2 file:FILE=direct.raw
# 0.2 s at 44100 Hz: 8820 stereo frames of two 3-byte samples.
expect_size direct-file direct.raw 52920

printf 's null l 0.1 a p G1 B4 cn -20 f# p exp menu.wav z 300 p h v 50 p x\n' >menu.in
memcheck menu menu.in
# 0.1 s at 44100 Hz: a 44-byte header and 4410 mono 3-byte samples.
expect_size menu menu.wav 13274
if [ "$(grep -c '^Frequency = ' menu.out)" -ne 8 ]; then
  echo "menu: expected 8 plays:"
  grep '^Frequency = ' menu.out || true
  failures=$((failures + 1))
fi

# --listen on a second of the low E string in Werckmeister III, read by its string.
"$binary" --temperament werckmeister3 -o tone.wav G6 1 >/dev/null 2>&1
memcheck listen empty --temperament werckmeister3 --instrument guitar --listen tone.wav
if [ "$(grep -c "$(printf '\tE2\t+0.00\tG6$')" listen.out)" -lt 20 ]; then
  echo "listen: expected at least 20 readings of E2 +0.00 G6:"
  cat listen.out
  failures=$((failures + 1))
fi

if [ "$failures" -ne 0 ]; then
  echo "valgrind stage: $failures failure(s)"
  exit 1
fi
