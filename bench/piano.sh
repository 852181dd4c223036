#!/usr/bin/env bash
# How well `ondelis --piano FILE --measure --listen TAKE` measures a piano's strings: synthetic
# pianos of known stiffness (a development and a validation piano) and the sampled pianos of
# the listening bench (bench/piano.py says how each is made and measured).
#
#   bench/piano.sh              # builds a Release binary in build-bench, then measures
#   NOBUILD=1 bench/piano.sh    # the binary already in build-bench, as it is
#
# The takes are made once, into build-bench/piano, and kept. It needs Debian's python3-numpy
# (/usr/bin/python3); the sampled pianos need fluidsynth, timidity, csound-soundfont, freepats
# and timgm6mb-soundfont, none of which the program or its tests use (a missing soundfont's
# pianos are left out):
#   apt-get install --no-remove fluidsynth timidity csound-soundfont freepats \
#     timgm6mb-soundfont python3-numpy
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build-bench}
[ -n "${NOBUILD:-}" ] || cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
[ -n "${NOBUILD:-}" ] || cmake --build "$build" -j2 --target ondelis >/dev/null
mkdir -p "$build/piano"
cd bench && /usr/bin/python3 piano.py "$(realpath "../$build/ondelis")" "../$build/piano"
