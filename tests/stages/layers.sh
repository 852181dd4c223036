#!/usr/bin/env bash
# The layers of src/ include only what flows into them, and their rooms stay readable:
#   synth/, listen/   pure: no ALSA, no libsndfile, no other layer (common/ aside)
#   device/           ALSA, but no other layer
#   input/            not app/, listen/ or synth/
#   output/           not app/, but in export.cpp (the menu's export reads its settings)
#   every header at most 150 lines, every source at most 400, every function at most 60.
# Each break is named with its file, line and include. Then the check is tried on copies of
# src/ with one wrong include planted in each, and must refuse every one of them.
#
#   tests/stages/layers.sh          checks src/ (and tries itself)
#   tests/stages/layers.sh DIR      checks DIR as if it were src/, without the trial
set -euo pipefail
[ $# -eq 0 ] || set -- "$(realpath "$1")"
cd "$(dirname "$0")/../.."

readonly kMostHeaderLines=150 kMostSourceLines=400 kMostFunctionLines=60

# Prints "FILE:LINE: INCLUDE" for each include in FILE that matches the pattern.
includes_matching() {
  grep -HnE "^[[:space:]]*#[[:space:]]*include[[:space:]]*[<\"]($2)" "$1" || true
}

# Breaks of the include rules in the tree $1, one line each.
include_breaks() {
  local root=$1 file
  local -r alsa='alsa/' sndfile='sndfile'
  for file in "$root"/synth/* "$root"/listen/*; do
    [ -f "$file" ] || continue
    includes_matching "$file" "$alsa|$sndfile|(\.\./)?(app|input|output|device|synth|listen)/" |
      grep -v "\"$(basename "$(dirname "$file")")/" || true
  done
  for file in "$root"/device/*; do
    [ -f "$file" ] && includes_matching "$file" '(\.\./)?(app|input|output|synth|listen)/'
  done
  for file in "$root"/input/*; do
    [ -f "$file" ] && includes_matching "$file" '(\.\./)?(app|listen|synth|output)/'
  done
  for file in "$root"/output/*; do
    [ -f "$file" ] && [ "$(basename "$file")" != export.cpp ] &&
      includes_matching "$file" '(\.\./)?(app|input|listen)/'
  done
  return 0
}

# Files over their size, and functions (from the line that opens their body at the left
# margin to the brace that closes it there) over theirs.
size_breaks() {
  local root=$1 file lines
  for file in "$root"/*/*.h "$root"/*/*.cpp; do
    [ -f "$file" ] || continue
    lines=$(wc -l <"$file")
    case $file in
      *.h) [ "$lines" -le $kMostHeaderLines ] || echo "$file: $lines lines (at most $kMostHeaderLines)" ;;
      *) [ "$lines" -le $kMostSourceLines ] || echo "$file: $lines lines (at most $kMostSourceLines)" ;;
    esac
  done
  for file in "$root"/*/*.cpp; do
    [ -f "$file" ] || continue
    awk -v most=$kMostFunctionLines -v file="$file" '
      start == 0 && /\{$/ && !/= \{$/ && !/^(namespace|struct|class|enum|union|#)/ &&
        (/^[A-Za-z]/ || (/^ +[^ ].*\) (const )?(noexcept )?\{$/ && previous ~ /^[A-Za-z]/)) {
        start = NR
      }
      start != 0 && /^}$/ {
        if (NR - start + 1 > most) {
          printf "%s:%d: a function of %d lines (at most %d)\n", file, start, NR - start + 1, most
        }
        start = 0
      }
      { if (start == 0) previous = $0 }
    ' "$file"
  done
  return 0
}

check() {
  local root=$1 breaks
  breaks=$(include_breaks "$root"; size_breaks "$root")
  if [ -n "$breaks" ]; then
    echo "layers: what a layer may not include, or a room too large:" >&2
    echo "$breaks" >&2
    return 1
  fi
}

if [ $# -gt 0 ]; then
  check "$1"
  exit
fi
check src

# The trial: each planted include must be refused, naming the file it was planted in.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
trial() {
  local target=$1 line=$2
  rm -rf "$scratch/src" && cp -r src "$scratch/src"
  sed -i "1i $line" "$scratch/src/$target"
  if out=$(bash "$0" "$scratch/src" 2>&1); then
    echo "layers: '$line' in $target passed the check" >&2
    exit 1
  fi
  grep -qF "src/$target:1:$line" <<<"$out" || {
    echo "layers: '$line' in $target was refused without being named: $out" >&2
    exit 1
  }
}
trial listen/listener.cpp '#include "app/app.h"'
trial synth/tone.cpp '#include <alsa/asoundlib.h>'
trial input/capture.cpp '#include "listen/listener.h"'
trial listen/analysis.cpp '#include <sndfile.h>'
trial output/play.cpp '#include "app/settings.h"'
trial device/pcm.cpp '#include "output/output.h"'
trial synth/pitch.cpp '#include "listen/listener.h"'
# And functions at the limit and one line past it, added at the end of a source.
long_function() {
  rm -rf "$scratch/src" && cp -r src "$scratch/src"
  { echo "int Long() {"; for _ in $(seq $(($1 - 2))); do echo "    ;"; done; echo "}"; } \
    >>"$scratch/src/synth/scale.cpp"
  local out
  out=$(bash "$0" "$scratch/src" 2>&1) || true
  grep -q "synth/scale.cpp:.*a function of $1 lines" <<<"$out"
}
if long_function $kMostFunctionLines || ! long_function $((kMostFunctionLines + 1)); then
  echo "layers: functions are not held to $kMostFunctionLines lines" >&2
  exit 1
fi
echo "layers: the includes keep to the layers, every room within its size; 7 planted includes and a long function refused"
